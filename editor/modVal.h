#pragma once
// Reading numbers out of the texts of specification files and command words
// the way the editor's files have always been read: the number at the start
// of a text counts, the rest is ignored, and a text without one reads as 0.
#include <cstdint>
#include <string_view>

namespace tabwright {

// The leading decimal number (blanks skipped, sign, digits, point, exponent);
// 0 when the text does not start with one.
double Val(std::string_view text);

// Whole numbers from doubles: ties to the even neighbour (7.5 -> 8, 6.5 -> 6)
// or away from zero (6.5 -> 7, -6.5 -> -7).
long long RoundHalfEven(double value);
long long RoundHalfAway(double value);

// RoundHalfEven clamped into the 16-bit range.
int16_t ToInt16(double value);

}  // namespace tabwright
