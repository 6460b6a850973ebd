#pragma once
// Small text tests shared by the number, date and pattern code of the cell
// formatting: ASCII only, never the machine's locale.
#include "common/modUtil.h"

#include <array>
#include <string>
#include <string_view>

namespace cellformat {

using ::Lower;
inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
inline bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline std::string LowerAscii(std::string_view s)
{
    return ::Lower(std::string(s));
}

inline bool IEquals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

inline std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Error values as the spreadsheet shows them; they have no number or date.
inline bool IsErrorText(std::string_view v)
{
    static constexpr std::array<std::string_view, 10> errors = {
        "#DIV/0!", "#N/A", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#NULL!", "#SPILL!", "#CALC!", "#GETTING_DATA"};
    for (auto e : errors)
        if (v == e)
            return true;
    return false;
}

}  // namespace cellformat
