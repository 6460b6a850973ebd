#include "workbook/ShortestDigits.h"

#include <charconv>
#include <limits>

namespace wb {

int ShownDigits(double x, char* digits, int& point)
{
    int count;
    if (QuickShortestDigits(x, digits, count, point))
        return count;
    char buf[64];
    // A normal double's shortest text of at most 15 digits is also its
    // nearest 15-digit decimal (those lie over four units in the last place
    // apart), so rounding to 15 digits gives the answer in one step. Below
    // the normal range fewer digits tell numbers apart: shortest first.
    const bool normal = std::fabs(x) >= std::numeric_limits<double>::min();
    auto res = normal ? std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14)
                      : std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific);
    // Mantissa digits without the point, and the exponent.
    auto digitsOf = [&](const char* end) {
        count = 0;
        const char* p = buf;
        for (; p < end && *p != 'e'; ++p)
            if (*p != '.')
                digits[count++] = *p;
        int exp = 0;
        std::from_chars(p + 1 + (p + 1 < end && p[1] == '+'), end, exp);
        point = exp + 1;
    };
    digitsOf(res.ptr);
    if (count > 15) {
        res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14);
        digitsOf(res.ptr);
    }
    while (count > 1 && digits[count - 1] == '0')
        --count;
    return count;
}

}  // namespace wb
