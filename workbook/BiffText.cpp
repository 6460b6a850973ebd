#include "workbook/BiffText.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace wb::detail {

namespace {

void AppendCodePoint(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

constexpr uint32_t kReplacement = 0xFFFD;

// Code page 1252 at 0x80-0x9F; the rest of its upper half equals Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// The iconv name of a CODEPAGE value; empty for the built-in 1252 table.
std::string IconvName(int cp)
{
    switch (cp) {
    case 367:     // ASCII
    case 1200:    // UTF-16: 8-bit text is then read as Latin text
    case 1252:
    case 0x8001:  // Windows 1252 as older writers record it
        return {};
    case 0x8000:
    case 10000: return "MACINTOSH";
    case 1361: return "JOHAB";
    default: break;
    }
    if ((cp >= 437 && cp <= 1258) || cp == 874) return "CP" + std::to_string(cp);
    return {};
}

}  // namespace

void AppendUtf16(std::string& out, const uint8_t* data, size_t units)
{
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = data[2 * i] | (uint32_t(data[2 * i + 1]) << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            uint32_t lo = data[2 * i + 2] | (uint32_t(data[2 * i + 3]) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = kReplacement;
        AppendCodePoint(out, u);
    }
}

void AppendLatin1(std::string& out, const uint8_t* data, size_t count)
{
    for (size_t i = 0; i < count; ++i) AppendCodePoint(out, data[i]);
}

CodePage::CodePage(int codePage) { Set(codePage); }

CodePage::~CodePage() { Close(); }

void CodePage::Close()
{
    if (iconv_) iconv_close(iconv_t(iconv_));
    iconv_ = nullptr;
    iconvTried_ = false;
}

void CodePage::Set(int codePage)
{
    if (codePage == number_ && iconvTried_) return;
    Close();
    number_ = codePage;
    builtin_ = IconvName(codePage).empty();
}

void CodePage::Append(std::string& out, const uint8_t* data, size_t count)
{
    size_t ascii = 0;
    while (ascii < count && data[ascii] < 0x80) ++ascii;
    out.append(reinterpret_cast<const char*>(data), ascii);
    if (ascii == count) return;
    data += ascii;
    count -= ascii;

    if (!builtin_ && !iconvTried_) {
        iconvTried_ = true;
        iconv_t cd = iconv_open("UTF-8", IconvName(number_).c_str());
        if (cd != iconv_t(-1)) iconv_ = cd;
    }
    if (!iconv_) {
        for (size_t i = 0; i < count; ++i) {
            uint8_t b = data[i];
            AppendCodePoint(out, b < 0x80 ? b : b < 0xA0 ? kCp1252High[b - 0x80] : b);
        }
        return;
    }

    iconv_t cd = iconv_t(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
    size_t inLeft = count;
    char buf[512];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, size_t(o - buf));
        if (r == size_t(-1)) {
            if (errno == E2BIG) continue;
            // Undefined byte or a multi-byte sequence cut short: one
            // replacement character, then go on after it.
            AppendCodePoint(out, kReplacement);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

}  // namespace wb::detail
