#pragma once
// The harvester's command-line splitter: up to 20 words from 0.
#include <array>
#include <cstdint>
#include <string>

class clsCmdline {
public:
    int16_t argc = 0;

    void setCmdline(const std::string& s);
    std::string argv(int x) const;  // RtError 9 outside 0..19 or before setCmdline
    std::string arg(int x) const { return RmQuotes(argv(x)); }
    static std::string RmQuotes(const std::string& s);

private:
    bool set_ = false;
    std::string cmdline_;
    std::array<std::string, 20> words_;
};
