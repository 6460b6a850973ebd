#pragma once
// The two ways a batch run ends other than by working through its list.
#include <stdexcept>
#include <string>

// Found before the run starts, or in what an earlier run left behind: the
// sentence names the path and the reason. Nothing has been harvested.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The data file itself failed during the run (no space, I/O error, replaced
// under the run): the run stops. `unsettled` when lines were appended that
// could not be taken out again; the journal then stays for the next run.
class DataFileError : public std::runtime_error {
public:
    DataFileError(const std::string& what, bool unsettled = false) : std::runtime_error(what), unsettled_(unsettled) {}
    bool Unsettled() const { return unsettled_; }

private:
    bool unsettled_;
};
