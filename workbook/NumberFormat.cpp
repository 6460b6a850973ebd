// Date detection of number formats, shared by the BIFF and OOXML readers.
#include "workbook/NumberFormat.h"

#include <cctype>
#include <unordered_map>

namespace wb::detail {

bool IsBuiltinDateFormat(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

namespace {

char Lower(char c)
{
    return char(std::tolower(static_cast<unsigned char>(c)));
}

// [h], [hh], [mm], [ss]: elapsed time, a time format.
bool IsElapsedBracket(const std::string& s)
{
    if (s.empty())
        return false;
    const char first = Lower(s[0]);
    if (first != 'h' && first != 'm' && first != 's')
        return false;
    for (char c : s)
        if (Lower(c) != first)
            return false;
    return true;
}

}  // namespace

bool IsDateFormatCode(const std::string& code)
{
    const size_t n = code.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = code[i];
        switch (c) {
        case '"': {  // literal text
            const size_t end = code.find('"', i + 1);
            if (end == std::string::npos)
                return false;
            i = end;
            continue;
        }
        case '\\':  // escaped character
        case '_':   // space as wide as the next character
        case '*':   // fill with the next character
            ++i;
            continue;
        case '[': {  // colour, condition, locale or elapsed time
            const size_t end = code.find(']', i + 1);
            if (end == std::string::npos)
                return false;
            if (IsElapsedBracket(code.substr(i + 1, end - i - 1)))
                return true;
            i = end;
            continue;
        }
        default:
            break;
        }
        const char l = Lower(c);
        if (l == 'g' && n - i >= 7) {
            // "General" is the plain number format, not an era code.
            std::string word;
            for (size_t k = i; k < i + 7; ++k)
                word += Lower(code[k]);
            if (word == "general") {
                i += 6;
                continue;
            }
        }
        if (l == 'e' && i + 1 < n && (code[i + 1] == '+' || code[i + 1] == '-'))
            continue;  // scientific exponent
        if (l == 'd' || l == 'm' || l == 'y' || l == 'h' || l == 's' || l == 'e' || l == 'g' || l == 'b')
            return true;
    }
    return false;
}

std::string BuiltinFormatCode(int id)
{
    // [MS-XLSX]/ECMA-376 18.8.30, the ids every reader knows without a numFmt.
    static const std::unordered_map<int, const char*> codes = {{1, "0"},
                                                               {2, "0.00"},
                                                               {3, "#,##0"},
                                                               {4, "#,##0.00"},
                                                               {9, "0%"},
                                                               {10, "0.00%"},
                                                               {11, "0.00E+00"},
                                                               {12, "# ?/?"},
                                                               {13, "# ?"
                                                                    "?/?"
                                                                    "?"},
                                                               {14, "mm-dd-yy"},
                                                               {15, "d-mmm-yy"},
                                                               {16, "d-mmm"},
                                                               {17, "mmm-yy"},
                                                               {18, "h:mm AM/PM"},
                                                               {19, "h:mm:ss AM/PM"},
                                                               {20, "h:mm"},
                                                               {21, "h:mm:ss"},
                                                               {22, "m/d/yy h:mm"},
                                                               {37, "#,##0 ;(#,##0)"},
                                                               {38, "#,##0 ;[Red](#,##0)"},
                                                               {39, "#,##0.00;(#,##0.00)"},
                                                               {40, "#,##0.00;[Red](#,##0.00)"},
                                                               {45, "mm:ss"},
                                                               {46, "[h]:mm:ss"},
                                                               {47, "mmss.0"},
                                                               {48, "##0.0E+0"},
                                                               {49, "@"}};
    auto it = codes.find(id);
    return it == codes.end() ? std::string() : std::string(it->second);
}

std::string StyleFormatCode(int style, const std::vector<int>& formatIdOfStyle,
                            const std::unordered_map<int, std::string>& custom)
{
    if (style < 0 || size_t(style) >= formatIdOfStyle.size())
        return {};
    const int id = formatIdOfStyle[size_t(style)];
    auto c = custom.find(id);
    if (c == custom.end())
        return BuiltinFormatCode(id);
    std::string folded = c->second;
    for (char& ch : folded)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return folded == "general" ? std::string() : c->second;
}

}  // namespace wb::detail
