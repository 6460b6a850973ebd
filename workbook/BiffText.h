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

// The code page that a FONT record's character set (bCharSet) implies, or
// 0 when it implies none (the default and symbol sets, unknown values).
int CodePageOfCharset(int charset);

// The 8-bit and double-byte code pages a CODEPAGE record can name: the
// Windows ANSI and OEM ones, the Macintosh ones (10000-10082, and 32768
// for Mac Roman) and 32769 for 1252. Single-byte tables of our own for
// 1252 and for what glibc's iconv lacks or gets wrong; iconv for the rest.
// A byte or sequence the code page does not define becomes U+FFFD and
// decoding goes on after it. An unknown code page reads as 1252.
class CodePage {
public:
    explicit CodePage(int codePage = 1252);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    void Set(int codePage);
    int Number() const { return number_; }
    // False when `codePage` is not one we decode, so that it reads as 1252.
    static bool Known(int codePage);
    void Append(std::string& out, const uint8_t* data, size_t count);

private:
    void Close();
    void AppendIconv(std::string& out, const uint8_t* data, size_t count);
    int number_ = 1252;
    const uint32_t* table_ = nullptr;  // 0x80-0xFF, when not through iconv
    bool asciiKept_ = true;            // bytes below 0x80 read as ASCII
    void* iconv_ = nullptr;            // iconv_t, opened on the first non-ASCII text
    bool iconvTried_ = false;
};

}  // namespace wb::detail
