#include "common/modCodePage.h"

#include <cstdint>

namespace {

// Code points of bytes 80 to 9F; the rest of the code page is Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at s[i], 0 when it is not one.
std::size_t SequenceLength(std::string_view s, std::size_t i, char32_t* cp)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    std::size_t n;
    char32_t v;
    char32_t min;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, v = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, v = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, v = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (b(i + k) & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0;
    *cp = v;
    return n;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes)
{
    char32_t cp;
    for (std::size_t i = 0; i < bytes.size();) {
        // Runs of ASCII are the common case.
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = SequenceLength(bytes, i, &cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else
            AppendUtf8(out, c < 0xA0 ? kHigh[c - 0x80] : c);
    }
    return out;
}

bool Utf8ToWindows1252(std::string_view utf8, std::string& out, std::string* bad)
{
    out.clear();
    out.reserve(utf8.size());
    char32_t cp = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t n = SequenceLength(utf8, i, &cp);
        if (n == 0) {
            if (bad)
                *bad = std::string(utf8.substr(i, 1));
            return false;
        }
        int byte = -1;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            byte = static_cast<int>(cp);
        } else {
            for (int k = 0; k < 32; ++k)
                if (kHigh[k] == cp)
                    byte = 0x80 + k;
        }
        if (byte < 0) {
            if (bad)
                *bad = std::string(utf8.substr(i, n));
            return false;
        }
        out += static_cast<char>(byte);
        i += n;
    }
    return true;
}

const char* EncodingName(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf8 ? "UTF-8" : "Windows-1252";
}
