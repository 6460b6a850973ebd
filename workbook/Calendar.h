#pragma once
// Calendar arithmetic on the proleptic Gregorian calendar, and the
// spreadsheet's day serials.
#include <optional>
#include <string_view>

namespace wb {

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

struct CivilDate {
    long long y;
    unsigned m, d;
};

// The civil date of a day count since 1970-01-01.
constexpr CivilDate CivilFromDays(long long z)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {(long long)yoe + era * 400 + (m <= 2), m, d};
}

constexpr unsigned DaysInMonth(long long y, unsigned m)
{
    constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

}  // namespace wb

namespace wb::detail {

// Serial number in the workbook's date system of a day count from
// 1899-12-30 (with a time fraction).
double SerialFromDays(double days1899, bool date1904);
// "2009-03-02", "2009-03-02T12:30:00(.5)(Z)", "12:30:00" -> serial; nullopt
// when the text is no such date.
std::optional<double> IsoDateSerial(std::string_view s, bool date1904);

}  // namespace wb::detail
