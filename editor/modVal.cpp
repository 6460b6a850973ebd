#include "editor/modVal.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tabwright {

double Val(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            number += '-';
        ++i;
    }
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        number += text[i++], digits = true;
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            number += text[i++], digits = true;
    }
    if (!digits)
        return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            exponent += text[j++];
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                exponent += text[j++];
            number += exponent;
        }
    }
    // from_chars ignores the locale (a Qt program runs under the user's one).
    double value = 0.0;
    const char* first = number.data();
    if (*first == '-')
        ++first;
    auto [ptr, ec] = std::from_chars(first, number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = std::numeric_limits<double>::infinity();
    else if (ec != std::errc())
        return 0.0;
    return number[0] == '-' ? -value : value;
}

namespace {

// A whole number held in a double, held at the ends of long long's range
// (NaN at the top) where the cast would overflow.
long long Saturated(double whole)
{
    if (!std::isfinite(whole))
        return whole < 0 ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    if (whole >= 9.2e18)
        return std::numeric_limits<long long>::max();
    if (whole <= -9.2e18)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(whole);
}

}  // namespace

long long RoundHalfEven(double value)
{
    return Saturated(std::nearbyint(value));  // default rounding mode: ties to even
}

long long RoundHalfAway(double value)
{
    return Saturated(std::round(value));
}

int16_t ToInt16(double value)
{
    const long long v = RoundHalfEven(value);
    if (v > 32767)
        return 32767;
    if (v < -32768)
        return -32768;
    return static_cast<int16_t>(v);
}

}  // namespace tabwright
