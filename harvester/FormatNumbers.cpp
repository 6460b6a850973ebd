// Numbers of the cell formatting. Rounding works on the decimal digits a
// spreadsheet shows, not on the binary double; see docs/number-patterns.md.
#include "harvester/FormatNumbers.h"

#include "common/RtError.h"
#include "harvester/FormatText.h"
#include "workbook/ShortestDigits.h"

#include <charconv>
#include <cmath>

namespace cellformat {

// Keeps the first n significant digits, rounding halves away from zero.
void RoundDigits(Decimal& d, int n)
{
    if (n >= int(d.digits.size()))
        return;
    if (n < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[size_t(n)] >= '5';
    d.digits.resize(size_t(n));
    if (up) {
        int i = n - 1;
        while (i >= 0 && d.digits[size_t(i)] == '9')
            d.digits[size_t(i--)] = '0';
        if (i >= 0) {
            ++d.digits[size_t(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.point;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
}

// The decimal text a spreadsheet shows for x: the shortest digits that read
// back to x, cut to 15 significant digits.
Decimal ToDecimal(double x)
{
    Decimal d;
    if (x == 0 || !std::isfinite(x))
        return d;
    d.negative = x < 0;
    char quick[16];
    int count;
    if (wb::QuickShortestDigits(x, quick, count, d.point)) {
        d.digits.assign(quick, size_t(count));  // at most 15: nothing to round
        return d;
    }
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific);
    const std::string_view s(buf, size_t(res.ptr - buf));
    const size_t e = s.find('e');
    for (char c : s.substr(0, e))
        if (IsDigit(c))
            d.digits += c;
    int exp10 = 0;
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exp10);
    d.point = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    RoundDigits(d, 15);
    return d;
}

// The digits of d before the decimal point ("" below 1) and exactly
// `decimals` digits after it, rounded halves away from zero.
std::pair<std::string, std::string> FixedParts(Decimal d, int decimals)
{
    RoundDigits(d, d.point + decimals);
    if (d.digits.empty())
        d.point = std::min(d.point, 0);  // zero has no digits; "%" must not make it 00
    std::string whole, frac;
    for (int i = 0; i < d.point; ++i)
        whole += i < int(d.digits.size()) ? d.digits[size_t(i)] : '0';
    for (int i = d.point; i < d.point + decimals; ++i)
        frac += (i >= 0 && i < int(d.digits.size())) ? d.digits[size_t(i)] : '0';
    return {whole, frac};
}

bool AllZeros(std::string_view s)
{
    return s.find_first_not_of('0') == std::string_view::npos;
}

// The number words: "0" to "0.000".
std::string FormatFixed(double x, int decimals)
{
    std::string out;
    AppendFixed(out, x, decimals);
    return out;
}

void AppendFixed(std::string& out, double x, int decimals)
{
    AppendFixed(out, ToDecimal(x), decimals);
}

void AppendFixed(std::string& out, Decimal d, int decimals)
{
    // FixedParts without its strings: the digits before the point, then
    // exactly `decimals` after it.
    RoundDigits(d, d.point + decimals);
    if (d.digits.empty())
        d.point = std::min(d.point, 0);
    const int n = int(d.digits.size());
    // Rounded to the shown decimals, any digit left is one that shows.
    if (d.negative && n > 0)
        out += '-';
    if (d.point <= 0)
        out += '0';
    for (int i = 0; i < d.point; ++i)
        out += i < n ? d.digits[size_t(i)] : '0';
    if (decimals > 0) {
        out += '.';
        for (int i = d.point; i < d.point + decimals; ++i)
            out += (i >= 0 && i < n) ? d.digits[size_t(i)] : '0';
    }
}

// Plain decimal text, no exponent, at most 15 significant digits.
std::string NumberText(double x)
{
    const Decimal d = ToDecimal(x);
    if (d.digits.empty())
        return "0";
    std::string out = d.negative ? "-" : "";
    if (d.point <= 0)
        out += "0." + std::string(size_t(-d.point), '0') + d.digits;
    else if (d.point >= int(d.digits.size()))
        out += d.digits + std::string(size_t(d.point) - d.digits.size(), '0');
    else
        out += d.digits.substr(0, size_t(d.point)) + "." + d.digits.substr(size_t(d.point));
    return out;
}

// Reads a decimal number from s (digits, ".", optional exponent, no sign)
// starting at i; advances i past it. nullopt when no digit starts it.
// Throws 6 when the number is too large for a double.
std::optional<double> ScanDecimal(std::string_view s, size_t& i, std::string_view subject)
{
    const size_t start = i;
    size_t digits = 0;
    while (i < s.size() && IsDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) {
        i = start;
        return std::nullopt;
    }
    const size_t mantissaEnd = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j]))
                ++j;
            i = j;
        }
    }
    double value = 0;
    const auto res = std::from_chars(s.data() + start, s.data() + i, value);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: tell them apart by the decimal magnitude.
        const std::string_view m = s.substr(start, mantissaEnd - start);
        const size_t dot = m.find('.');
        const std::string_view intPart = m.substr(0, dot);
        const size_t firstNonZero = intPart.find_first_not_of('0');
        long magnitude = firstNonZero == std::string_view::npos ? -1 : long(intPart.size() - firstNonZero);
        long exp10 = 0;
        if (i > mantissaEnd) {
            std::string_view e = s.substr(mantissaEnd + 1, i - mantissaEnd - 1);
            const bool neg = e.front() == '-';
            if (e.front() == '+' || e.front() == '-')
                e.remove_prefix(1);
            for (char c : e)
                exp10 = std::min(exp10 * 10 + (c - '0'), 1000000L);
            if (neg)
                exp10 = -exp10;
        }
        if (magnitude + exp10 > 0)
            throw rt::RtError(rt::Overflow, std::string(subject));
        value = 0;
    }
    return value;
}

// A text that is one number and nothing else (blanks around it allowed).
std::optional<double> StrictNumber(std::string_view v)
{
    v = Trim(v);
    bool negative = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    size_t i = 0;
    std::optional<double> x;
    try {
        x = ScanDecimal(v, i, v);
    } catch (const rt::RtError&) {
        return std::nullopt;
    }
    if (!x || i != v.size())
        return std::nullopt;
    return negative ? -*x : *x;
}
double LenientNumber(const std::string& v)
{
    std::string s;
    s.reserve(v.size());
    for (char c : v)
        if (c != ' ' && c != '\t' && c != '\n')
            s += c;
    if (s.size() >= 2 && s[0] == '&' && (Lower(s[1]) == 'h' || Lower(s[1]) == 'o')) {
        const int base = Lower(s[1]) == 'h' ? 16 : 8;
        double n = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            const char c = Lower(s[i]);
            const int digit = IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : 99;
            if (digit >= base)
                break;
            n = n * base + digit;
        }
        if (!std::isfinite(n))
            throw rt::RtError(rt::Overflow, v);
        return n;
    }
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    const auto x = ScanDecimal(s, i, v);
    if (!x)
        return 0;
    return negative ? -*x : *x;
}

}  // namespace cellformat
