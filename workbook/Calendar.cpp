// The spreadsheet's day serials.
#include "workbook/Calendar.h"

namespace wb::detail {

double SerialFromDays(double days1899, bool date1904)
{
    if (date1904)
        return days1899 - 1462;
    // Before 1 March 1900 the 1900 system is one day off, for its 29 February.
    return days1899 < 61 ? days1899 - 1 : days1899;
}

std::optional<double> IsoDateSerial(std::string_view s, bool date1904)
{
    auto num = [&](size_t& i, size_t digits, int& out) {
        if (i + digits > s.size())
            return false;
        out = 0;
        for (size_t k = 0; k < digits; ++k) {
            const char c = s[i + k];
            if (c < '0' || c > '9')
                return false;
            out = out * 10 + (c - '0');
        }
        i += digits;
        return true;
    };
    size_t i = 0;
    double days = 0;
    bool hasDate = false;
    if (s.size() >= 10 && s[4] == '-') {
        int y, m, d;
        if (!num(i, 4, y) || s[i++] != '-' || !num(i, 2, m) || s[i++] != '-' || !num(i, 2, d))
            return std::nullopt;
        if (m < 1 || m > 12 || d < 1 || d > 31)
            return std::nullopt;
        days = double(DaysFromCivil(y, unsigned(m), unsigned(d)) - DaysFromCivil(1899, 12, 30));
        hasDate = true;
        if (i < s.size() && (s[i] == 'T' || s[i] == ' '))
            ++i;
    }
    double frac = 0;
    if (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        int hh, mm, ss = 0;
        if (!num(i, 2, hh) || i >= s.size() || s[i++] != ':' || !num(i, 2, mm))
            return std::nullopt;
        double sec = 0;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!num(i, 2, ss))
                return std::nullopt;
            sec = ss;
            if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
                double scale = 0.1;
                for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10)
                    sec += (s[i] - '0') * scale;
            }
        }
        if (hh > 24 || mm > 59 || sec >= 61)
            return std::nullopt;
        frac = (hh * 3600.0 + mm * 60.0 + sec) / 86400.0;
    } else if (!hasDate) {
        return std::nullopt;
    }
    // A zone suffix (Z, +01:00) is ignored: the value is a local wall-clock time.
    if (i < s.size() && s[i] != 'Z' && s[i] != '+' && s[i] != '-')
        return std::nullopt;
    if (!hasDate)
        return frac;  // a time of day alone
    return SerialFromDays(days, date1904) + frac;
}

}  // namespace wb::detail
