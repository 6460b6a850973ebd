#pragma once
// Dates of the cell formatting: the date scanner that reads date texts, and
// the parts of a day count for showing it.
#include "workbook/Calendar.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace cellformat {

// Dates are kept as a continuous day count with the time as fraction:
// 0 = 1899-12-30 (so 2 = 1900-01-01, 61 = 1900-03-01). The 1900-system serial
// of the spreadsheet agrees from 1900-03-01 on and is one less before it,
// where it counts the phantom 29 February 1900 (serial 60).
constexpr long kDay0 = long(wb::DaysFromCivil(1899, 12, 30));
constexpr double kFirstDate = 2;                                             // 1900-01-01
constexpr double kEndDate = double(wb::DaysFromCivil(10000, 1, 1) - kDay0);  // after 9999-12-31

double SerialFromDay(double day);
std::optional<double> DayFromSerial(double serial);

constexpr std::array<std::string_view, 12> kMonths = {"January",   "February", "March",    "April",
                                                      "May",       "June",     "July",     "August",
                                                      "September", "October",  "November", "December"};
constexpr std::array<std::string_view, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};

// A date text or a 1900-system serial as a day count (time of day alone
// included); the accepted texts are listed in docs/number-patterns.md.
std::optional<double> DayOfText(std::string_view v);
// The day count of a text under a date word: 1900-01-01 to 9999-12-31.
std::optional<double> DateWordDay(std::string_view v);

struct DateParts {
    long y;
    unsigned m, d, weekday;  // weekday 0 = Sunday
    unsigned h, n, s;
};

DateParts Split(double day);
// n in decimal, zeros in front up to `width` digits.
std::string Pad(long n, size_t width);

}  // namespace cellformat
