#pragma once
// The shortest decimal digits of a double: the quick way for the numbers
// forms hold (whole numbers and a few decimals), else std::to_chars.
#include <cmath>

namespace wb {

// When x (sign ignored) is below 1e15 and its shortest round-trip decimal
// text has at most 15 decimals, writes those digits to `digits` (no leading
// or trailing zeros, at most 15 of them) with `count` and `point` (digits
// before the decimal point: |x| = 0.digits * 10^point) and returns true;
// the digits are then exactly those std::to_chars gives. False otherwise
// (zero, not finite, too large, or too many decimals): use std::to_chars.
//
// Why it is exact: below 1e15 the decimals that read back to x are less
// than a quarter apart at any number of decimals j tried, so at most one
// candidate n / 10^j exists, it is the nearest integer to x * 10^j, and
// the division, rounded correctly, reads back as a parser would. The
// first j that reads back gives the fewest digits.
inline bool QuickShortestDigits(double x, char* digits, int& count, int& point)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    x = std::fabs(x);
    if (!(x > 0) || !(x < 1e15))
        return false;
    for (int j = 0; j <= 15; ++j) {
        const double y = x * kPow10[j];
        if (!(y < 1e15))
            return false;
        const double n = std::nearbyint(y);
        if (n == 0 || n / kPow10[j] != x)
            continue;
        unsigned long long u = (unsigned long long)n;
        char rev[20];
        int len = 0;
        while (u) {
            rev[len++] = char('0' + u % 10);
            u /= 10;
        }
        int low = 0;  // trailing zeros, only when j == 0
        while (low < len && rev[low] == '0')
            ++low;
        count = len - low;
        for (int i = 0; i < count; ++i)
            digits[i] = rev[len - 1 - i];
        point = len - j;
        return true;
    }
    return false;
}

// The digits of the text a cell shows for x (finite, not zero): the
// shortest that read back to x, or, when those are more than 15, x rounded
// to 15 significant digits; no trailing zeros. |x| = 0.digits * 10^point.
// Writes at most 17 digits; returns their count.
int ShownDigits(double x, char* digits, int& point);

}  // namespace wb
