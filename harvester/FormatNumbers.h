#pragma once
// Numbers of the cell formatting: reading them from cell texts, and their
// decimal digits as a spreadsheet shows them.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace cellformat {

// A number as decimal digits: value = 0.digits * 10^point, sign apart.
struct Decimal {
    bool negative = false;
    std::string digits;  // no leading or trailing zeros; empty for zero
    int point = 0;       // how many digits stand before the decimal point
};

// Keeps the first n significant digits, rounding halves away from zero.
void RoundDigits(Decimal& d, int n);
// The decimal text a spreadsheet shows for x: the shortest digits that read
// back to x, cut to 15 significant digits.
Decimal ToDecimal(double x);
// The digits of d before the decimal point ("" below 1) and exactly
// `decimals` digits after it, rounded halves away from zero.
std::pair<std::string, std::string> FixedParts(Decimal d, int decimals);
bool AllZeros(std::string_view s);
// The number words: "0" to "0.000".
std::string FormatFixed(double x, int decimals);
void AppendFixed(std::string& out, double x, int decimals);
void AppendFixed(std::string& out, Decimal d, int decimals);
// Plain decimal text, no exponent, at most 15 significant digits.
std::string NumberText(double x);

// Reads a decimal number from s (digits, ".", optional exponent, no sign)
// starting at i; advances i past it. nullopt when no digit starts it.
// Throws 6 when the number is too large for a double.
std::optional<double> ScanDecimal(std::string_view s, size_t& i, std::string_view subject);
// A text that is one number and nothing else (blanks around it allowed).
std::optional<double> StrictNumber(std::string_view v);
// Lenient reading, see ReadNumber.
double LenientNumber(const std::string& v);

}  // namespace cellformat
