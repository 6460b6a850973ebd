#pragma once
// Text of BIFF records as UTF-8: 16-bit and "compressed" 8-bit characters of
// BIFF8, and the 8-bit code page text of BIFF5 (CODEPAGE record).
#include <cstddef>
#include <cstdint>
#include <string>

namespace wb::detail {

// UTF-16LE code units (lone surrogates become U+FFFD).
void AppendUtf16(std::string& out, const uint8_t* data, size_t units);
// BIFF8 compressed characters: the high byte of each UTF-16 unit is zero.
void AppendLatin1(std::string& out, const uint8_t* data, size_t count);

// An 8-bit Windows or Mac code page, converted with a built-in table for
// code page 1252 (and ASCII) and with iconv for the others. Bytes the code
// page does not define become U+FFFD; an unknown code page reads as 1252.
class CodePage {
public:
    explicit CodePage(int codePage = 1252);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    void Set(int codePage);
    int Number() const { return number_; }
    void Append(std::string& out, const uint8_t* data, size_t count);

private:
    void Close();
    int number_ = 1252;
    bool builtin_ = true;
    void* iconv_ = nullptr;  // iconv_t, opened on the first non-ASCII text
    bool iconvTried_ = false;
};

}  // namespace wb::detail
