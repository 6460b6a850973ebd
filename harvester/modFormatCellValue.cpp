// Turning one cell's text into the text written to the data file.
//
// Cell texts come from the workbook reader: numbers as their shortest decimal
// text ("7.25"), dates as "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss", booleans as
// TRUE/FALSE, error values as the spreadsheet shows them ("#DIV/0!"), text as
// typed. Output never depends on the machine's locale: "." as decimal point,
// "/" between date parts, English month and day names.
//
// Format words (case-insensitive, surrounding blanks ignored; a leading "+"
// adds the item index k to the number, or k days to the date):
//   text                 v in double quotes, inner quotes doubled; no offset
//   0 0.0 0.00 0.000     the number of v rounded to 0-3 decimals
//   dmy mdy ymd          the date of v as dd/mm/yyyy, mm/dd/yyyy, yyyymmdd
//   anything else        v through FormatPattern, no offset; "" copies v
// An error value under a number or date word, or under a pattern, and a
// text that is not a date under a date word, throw rt::RtError 13 with v as
// subject; a date pushed past 9999-12-31 by the offset throws 6.
//
// Numbers. The number words read v leniently (ReadNumber), except that
// TRUE/FALSE count 1/0 and an ISO date text counts as its day serial. Rounding
// works on the decimal text the spreadsheet shows, not on the binary double:
// the value is cut to 15 significant digits (halves away from zero), then
// rounded to the shown decimals, halves away from zero. So 7.25 gives 7.3,
// 2.675 gives 2.68 and 1.005 + 1 gives 2.01, as a user reading the cell
// expects, though the doubles behind them lie just below the half. A result
// that shows only zeros carries no minus sign ("-0.001" gives "0.00").
//
// Dates (ReadDate and the date words) accept, with an optional time
// "hh:mm", "hh:mm:ss" or "hh:mm:ss.fff" (optionally "AM"/"PM") after a blank
// or "T":
//   2009-03-02, 2009/03/02, 2009.03.02      year first
//   2/3/2009, 02.03.2009, 2-3-09            day first, as the dmy output
//   2 March 2009, 2-Mar-09, 02 Mar 2009     day, English month name or
//   March 2, 2009                            three-letter abbreviation
//   Monday, 2 March 2009                     a leading weekday is skipped
//   39874                                    a plain number: a day serial of
//                                            the 1900 system (1 = 1900-01-01)
// Two-digit years 00-29 are 2000-2029, 30-99 are 1930-1999. Day, month and
// time fields are checked against the real calendar (1900 is no leap year);
// serial 60, the spreadsheet's phantom 29 February 1900, is no date. Date
// words take 1900-01-01 to 9999-12-31; a time of day alone is no date.
// Patterns also take a time alone: "08:30", or on the day before the first
// ("1899-12-30 08:30:00", "1899-12-31 08:30:00", "1900-01-00 08:30:00").
//
// Patterns (FormatPattern), a subset of the classic pattern language:
//   Named formats (case-insensitive): "General Number" (plain number text),
//   "Fixed" (0.00), "Standard" (#,##0.00), "Currency" (#,##0.00;(#,##0.00):
//   no currency symbol, since the data file carries no locale, and negative
//   amounts in parentheses), "Percent" (0.00%), "Scientific"
//   (0.00E+00), "Short Date" (dd/mm/yyyy, as dmy), "Medium Date" (dd-mmm-yy),
//   "Long Date" (dd mmmm yyyy), "General Date" (dd/mm/yyyy hh:nn:ss, the
//   empty part left out), "Long Time" (hh:nn:ss), "Medium Time"
//   (hh:nn AM/PM), "Short Time" (hh:nn), "Yes/No", "True/False", "On/Off"
//   (zero or FALSE gives the second word, any other number or TRUE the first).
//   Number sections: 0 (digit or 0), # (digit or nothing), "." decimal point,
//   "," between integer placeholders groups thousands, "," right of the
//   integer placeholders or after the last placeholder divides by 1000,
//   "%" multiplies by 100, E+ E- e+ e- scientific (the mantissa gets as many
//   integer digits as it has integer placeholders; "E-" shows only a minus).
//   Whole digits beyond the placeholders all show ("0" on 1234 is 1234).
//   Date sections: d dd ddd dddd, m mm mmm mmmm (m or mm right after an hour
//   or right before a second means minutes), y yy (two-digit year), yyy yyyy
//   (four-digit), h hh, n nn, s ss, AM/PM am/pm A/P a/p (12-hour clock).
//   A section without 0 or # that holds any of d m y h n s is a date
//   section; in a number section those letters are literal ("0.0 m").
//   Text: "@" stands for the value's own text. A section with "@" is a text
//   section: the first one takes text values (without one, text is returned
//   unchanged); as the first section it takes every value.
//   Literals: "quoted text", \x, and every other character as itself;
//   [Red]-style brackets are skipped. In a date section, letters that are
//   placeholders must be quoted to show as text ("h" in "hours").
//   A first section with no place for a number (no 0, #, date part or "@",
//   such as ">" or "kg") throws 13 naming the pattern, for any number.
//   Sections: one for all values (a minus sign is added); two for
//   positive-and-zero;negative (no sign added); three for
//   positive;negative;zero, chosen by the value before rounding. An empty
//   section falls back to the first one. Date patterns use the first section.
// A number shown by a date pattern is a 1900-system serial; a date shown by
// a number pattern is its serial. A number that is no valid date under a
// date pattern throws 13. A text that is neither a number (whole text,
// strict) nor a date, TRUE/FALSE under the Yes/No-style names excepted, is
// returned unchanged.
#include "harvester/modFormatCellValue.h"

#include "common/RtError.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------- text helpers

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool IEquals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Error values as the spreadsheet shows them; they have no number or date.
bool IsErrorText(std::string_view v)
{
    static constexpr std::array<std::string_view, 10> errors = {
        "#DIV/0!", "#N/A", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#NULL!",
        "#SPILL!", "#CALC!", "#GETTING_DATA"};
    for (auto e : errors)
        if (v == e)
            return true;
    return false;
}

// ------------------------------------------------------- decimal digits of a double

// A number as decimal digits: value = 0.digits * 10^point, sign apart.
struct Decimal {
    bool negative = false;
    std::string digits;  // no leading or trailing zeros; empty for zero
    int point = 0;       // how many digits stand before the decimal point
};

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

bool AllZeros(std::string_view s) { return s.find_first_not_of('0') == std::string_view::npos; }

// The number words: "0" to "0.000".
std::string FormatFixed(double x, int decimals)
{
    const Decimal d = ToDecimal(x);
    auto [whole, frac] = FixedParts(d, decimals);
    std::string out = whole.empty() ? "0" : whole;
    if (decimals > 0)
        out += "." + frac;
    if (d.negative && !(AllZeros(whole) && AllZeros(frac)))
        out.insert(out.begin(), '-');
    return out;
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

// ------------------------------------------------------------- number reading

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

// ------------------------------------------------------------------ calendar

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr long DaysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + long(doe) - 719468;
}

struct Civil {
    long y;
    unsigned m, d;
};

Civil CivilFromDays(long z)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {long(yoe) + era * 400 + (m <= 2), m, d};
}

unsigned DaysInMonth(long y, unsigned m)
{
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// Dates are kept as a continuous day count with the time as fraction:
// 0 = 1899-12-30 (so 2 = 1900-01-01, 61 = 1900-03-01). The 1900-system serial
// of the spreadsheet agrees from 1900-03-01 on and is one less before it,
// where it counts the phantom 29 February 1900 (serial 60).
constexpr long kDay0 = DaysFromCivil(1899, 12, 30);
constexpr double kFirstDate = 2;                                    // 1900-01-01
constexpr double kEndDate = double(DaysFromCivil(10000, 1, 1) - kDay0);  // after 9999-12-31

double SerialFromDay(double day)
{
    if (day < 1)  // a time of day alone
        return day;
    return day < 61 ? day - 1 : day;
}

std::optional<double> DayFromSerial(double serial)
{
    if (serial < 0 || serial >= kEndDate || (serial >= 60 && serial < 61))
        return std::nullopt;
    if (serial < 1)
        return serial;
    return serial < 60 ? serial + 1 : serial;
}

constexpr std::array<std::string_view, 12> kMonths = {"January", "February", "March", "April", "May", "June",
    "July", "August", "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kWeekdays = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
    "Friday", "Saturday"};

// 1-12 for an English month name or its three-letter abbreviation ("Sept" too).
unsigned MonthFromName(std::string_view w)
{
    for (unsigned i = 0; i < 12; ++i)
        if (IEquals(w, kMonths[i]) || IEquals(w, kMonths[i].substr(0, 3)) || (i == 8 && IEquals(w, "Sept")))
            return i + 1;
    return 0;
}

bool IsWeekdayName(std::string_view w)
{
    for (auto day : kWeekdays)
        if (IEquals(w, day) || IEquals(w, day.substr(0, 3)))
            return true;
    return false;
}

// --------------------------------------------------------------- date reading

// Date texts split into runs of digits, runs of letters, runs of blanks
// (one token " ") and single other characters.
struct Token {
    enum Kind { Num, Word, Sep } kind;
    std::string_view text;
};

class DateScanner {
public:
    explicit DateScanner(std::string_view s)
    {
        size_t i = 0;
        while (i < s.size()) {
            const size_t start = i;
            if (IsDigit(s[i])) {
                while (i < s.size() && IsDigit(s[i]))
                    ++i;
                tokens_.push_back({Token::Num, s.substr(start, i - start)});
            } else if (IsAlpha(s[i])) {
                while (i < s.size() && IsAlpha(s[i]))
                    ++i;
                tokens_.push_back({Token::Word, s.substr(start, i - start)});
            } else if (IsBlank(s[i])) {
                while (i < s.size() && IsBlank(s[i]))
                    ++i;
                tokens_.push_back({Token::Sep, " "});
            } else {
                tokens_.push_back({Token::Sep, s.substr(i++, 1)});
            }
        }
    }

    // The whole text as a date and optional time, or a time alone.
    std::optional<double> DateTime()
    {
        if (auto t = Time(); t && AtEnd())
            return t;
        pos_ = 0;
        const auto day = Date();
        if (!day)
            return std::nullopt;
        if (AtEnd())
            return double(*day);
        if (!Sep(' ') && !WordIs("T"))
            return std::nullopt;
        const auto t = Time();
        if (!t || !AtEnd())
            return std::nullopt;
        return *day + *t;
    }

private:
    std::vector<Token> tokens_;
    size_t pos_ = 0;

    bool AtEnd() const { return pos_ == tokens_.size(); }
    const Token* Peek(Token::Kind kind) const
    {
        return pos_ < tokens_.size() && tokens_[pos_].kind == kind ? &tokens_[pos_] : nullptr;
    }
    bool Sep(char c)
    {
        const Token* t = Peek(Token::Sep);
        if (!t || t->text[0] != c)
            return false;
        ++pos_;
        return true;
    }
    // Any one of the characters in seps; returns it, or 0.
    char SepOf(std::string_view seps)
    {
        const Token* t = Peek(Token::Sep);
        if (!t || seps.find(t->text[0]) == std::string_view::npos)
            return 0;
        ++pos_;
        return t->text[0];
    }
    bool WordIs(std::string_view w)
    {
        const Token* t = Peek(Token::Word);
        if (!t || !IEquals(t->text, w))
            return false;
        ++pos_;
        return true;
    }
    // A number of minLen to maxLen digits.
    std::optional<long> Num(size_t minLen, size_t maxLen)
    {
        const Token* t = Peek(Token::Num);
        if (!t || t->text.size() < minLen || t->text.size() > maxLen)
            return std::nullopt;
        ++pos_;
        long n = 0;
        for (char c : t->text)
            n = n * 10 + (c - '0');
        return n;
    }
    unsigned MonthName()
    {
        const Token* t = Peek(Token::Word);
        const unsigned m = t ? MonthFromName(t->text) : 0;
        if (m)
            ++pos_;
        return m;
    }
    // A year of four digits, or of two (00-29: 2000s, 30-99: 1900s).
    std::optional<long> Year()
    {
        const Token* t = Peek(Token::Num);
        if (!t || (t->text.size() != 2 && t->text.size() != 4))
            return std::nullopt;
        const long y = *Num(2, 4);
        return t->text.size() == 4 ? y : y < 30 ? 2000 + y : 1900 + y;
    }

    // The date part as a day count; the forms are listed at the top of the file.
    std::optional<long> Date()
    {
        if (const Token* t = Peek(Token::Word); t && IsWeekdayName(t->text)) {
            ++pos_;
            Sep(',');
            Sep(' ');
        }
        const size_t start = pos_;
        long y = 0, m = 0, d = 0;
        bool ok = false;
        if (auto yy = Num(4, 4)) {  // year first
            const char sep = SepOf("-/.");
            auto mm = sep ? Num(1, 2) : std::nullopt;
            auto dd = mm && Sep(sep) ? Num(1, 2) : std::nullopt;
            if (dd)
                y = *yy, m = *mm, d = *dd, ok = true;
        } else if (auto dd = Num(1, 2)) {  // day first, numeric or named month
            const size_t afterDay = pos_;
            const char sep = SepOf("-/.");
            auto mm = sep ? Num(1, 2) : std::nullopt;
            auto yy = mm && Sep(sep) ? Year() : std::nullopt;
            if (yy) {
                y = *yy, m = *mm, d = *dd, ok = true;
            } else {
                pos_ = afterDay;
                const char sep1 = SepOf(" -/.");
                if (const unsigned name = MonthName()) {
                    const char sep2 = SepOf(" -/.");
                    auto year = sep1 == sep2 ? Year() : std::nullopt;
                    if (year)
                        y = *year, m = name, d = *dd, ok = true;
                }
            }
        } else if (const unsigned name = MonthName()) {  // March 2, 2009
            if (Sep(' ')) {
                auto dd = Num(1, 2);
                if (dd) {
                    Sep(',');
                    Sep(' ');
                    if (auto year = Year())
                        y = *year, m = name, d = *dd, ok = true;
                }
            }
        }
        if (ok && y == 1900 && m == 1 && d == 0)  // how the spreadsheet shows serial 0
            return 1;
        if (!ok || m < 1 || m > 12 || d < 1 || unsigned(d) > DaysInMonth(y, unsigned(m))) {
            pos_ = start;
            return std::nullopt;
        }
        return DaysFromCivil(y, unsigned(m), unsigned(d)) - kDay0;
    }

    // hh:mm[:ss[.fff]] [AM|PM] as a fraction of a day.
    std::optional<double> Time()
    {
        const size_t start = pos_;
        auto fail = [&] { pos_ = start; return std::nullopt; };
        auto h = Num(1, 2);
        if (!h || !Sep(':'))
            return fail();
        auto n = Num(2, 2);
        if (!n)
            return fail();
        double s = 0;
        if (Sep(':')) {
            auto ss = Num(2, 2);
            if (!ss)
                return fail();
            s = double(*ss);
            if (Sep('.')) {
                const Token* f = Peek(Token::Num);
                if (!f)
                    return fail();
                ++pos_;
                double frac = 0, scale = 1;
                for (char c : f->text)
                    if ((scale /= 10) > 1e-9)
                        frac += (c - '0') * scale;
                s += frac;
            }
        }
        const size_t beforeSuffix = pos_;
        Sep(' ');
        int half = -1;  // -1: 24-hour clock, 0: AM, 12: PM
        if (WordIs("AM") || WordIs("A"))
            half = 0;
        else if (WordIs("PM") || WordIs("P"))
            half = 12;
        else
            pos_ = beforeSuffix;
        long hour = *h;
        if (half >= 0) {
            if (hour < 1 || hour > 12)
                return fail();
            hour = hour % 12 + half;
        }
        if (hour > 23 || *n > 59 || s >= 60)
            return fail();
        return (double(hour) * 3600 + double(*n) * 60 + s) / 86400;
    }
};

// A date text or a 1900-system serial as a day count (time of day alone included).
std::optional<double> DayOfText(std::string_view v)
{
    v = Trim(v);
    if (auto serial = StrictNumber(v))
        return DayFromSerial(*serial);
    if (auto day = DateScanner(v).DateTime(); day && *day >= 0 && *day < kEndDate)
        return day;
    return std::nullopt;
}

// The day count of a text under a date word: 1900-01-01 to 9999-12-31.
std::optional<double> DateWordDay(std::string_view v)
{
    auto day = DayOfText(v);
    if (!day || *day < kFirstDate)
        return std::nullopt;
    return day;
}

// The number of a cell text under a number word.
double NumericValue(const std::string& v)
{
    if (v == "TRUE")
        return 1;
    if (v == "FALSE")
        return 0;
    // The reader's date form (yyyy-mm-dd...) counts as its serial, not as the year.
    if (v.size() >= 10 && IsDigit(v[0]) && IsDigit(v[3]) && v[4] == '-' && v[7] == '-')
        if (auto day = DayOfText(v))
            return SerialFromDay(*day);
    return ReadNumber(v);
}

// --------------------------------------------------------------- date output

struct DateParts {
    long y;
    unsigned m, d, weekday;  // weekday 0 = Sunday
    unsigned h, n, s;
};

DateParts Split(double day)
{
    long whole = long(std::floor(day));
    long seconds = std::lround((day - double(whole)) * 86400);
    if (seconds >= 86400)
        ++whole, seconds -= 86400;
    const long days1970 = whole + kDay0;
    const Civil c = CivilFromDays(days1970);
    const unsigned weekday = unsigned(((days1970 % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    return {c.y, c.m, c.d, weekday, unsigned(seconds / 3600), unsigned(seconds / 60 % 60), unsigned(seconds % 60)};
}

std::string Pad(long n, size_t width)
{
    std::string s = std::to_string(n);
    if (s.size() < width)
        s.insert(0, width - s.size(), '0');
    return s;
}

// ------------------------------------------------------------ pattern language

struct PatToken {
    enum Kind { Lit, Digit, Point, Comma, Percent, Exp, DatePart, AmPm, At } kind;
    std::string text;  // as written; Digit: "0"/"#"; Exp: "E+" etc.; DatePart: "dd" or "DD"
};

using Section = std::vector<PatToken>;

std::vector<Section> ParsePattern(std::string_view p)
{
    std::vector<Section> sections(1);
    auto lit = [&](std::string_view s) {
        Section& sec = sections.back();
        if (!sec.empty() && sec.back().kind == PatToken::Lit)
            sec.back().text += s;
        else
            sec.push_back({PatToken::Lit, std::string(s)});
    };
    size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        const char lc = Lower(c);
        Section& sec = sections.back();
        if (c == '"') {
            const size_t end = p.find('"', i + 1);
            lit(p.substr(i + 1, (end == std::string_view::npos ? p.size() : end) - i - 1));
            i = end == std::string_view::npos ? p.size() : end + 1;
        } else if (c == '\\') {
            if (i + 1 < p.size())
                lit(p.substr(i + 1, 1));
            i += 2;
        } else if (c == '[') {
            const size_t end = p.find(']', i);
            i = end == std::string_view::npos ? p.size() : end + 1;
        } else if (c == ';') {
            sections.emplace_back();
            ++i;
        } else if (c == '0' || c == '#') {
            sec.push_back({PatToken::Digit, std::string(1, c)});
            ++i;
        } else if (c == '.') {
            sec.push_back({PatToken::Point, "."});
            ++i;
        } else if (c == ',') {
            sec.push_back({PatToken::Comma, ","});
            ++i;
        } else if (c == '%') {
            sec.push_back({PatToken::Percent, "%"});
            ++i;
        } else if (c == '@') {
            sec.push_back({PatToken::At, "@"});
            ++i;
        } else if (lc == 'e' && i + 1 < p.size() && (p[i + 1] == '+' || p[i + 1] == '-')) {
            sec.push_back({PatToken::Exp, std::string(p.substr(i, 2))});
            i += 2;
        } else if (IEquals(p.substr(i, 5), "AM/PM")) {
            sec.push_back({PatToken::AmPm, std::string(p.substr(i, 5))});
            i += 5;
        } else if (IEquals(p.substr(i, 3), "A/P")) {
            sec.push_back({PatToken::AmPm, std::string(p.substr(i, 3))});
            i += 3;
        } else if (std::string_view("dmyhns").find(lc) != std::string_view::npos) {
            size_t j = i;
            while (j < p.size() && Lower(p[j]) == lc)
                ++j;
            sec.push_back({PatToken::DatePart, std::string(p.substr(i, j - i))});
            i = j;
        } else {
            lit(p.substr(i, 1));
            ++i;
        }
    }
    return sections;
}

bool Has(const Section& sec, PatToken::Kind kind)
{
    for (const auto& t : sec)
        if (t.kind == kind)
            return true;
    return false;
}

// A section with a digit placeholder is a number section, and its letters
// are literal text ("0.0 m", "0 hours"); without one, date letters make it a
// date section.
bool IsDateSection(const Section& sec)
{
    return !Has(sec, PatToken::Digit) && (Has(sec, PatToken::DatePart) || Has(sec, PatToken::AmPm));
}

// A section with "@" shows the value's own text there; the rest is literal.
std::string FormatTextSection(const Section& sec, const std::string& v)
{
    std::string out;
    for (const auto& t : sec)
        out += t.kind == PatToken::At ? v : t.text;
    return out;
}

std::string FormatDateSection(const Section& sec, double day)
{
    const DateParts p = Split(day);
    bool twelveHour = false;
    for (const auto& t : sec)
        twelveHour |= t.kind == PatToken::AmPm;
    // m or mm means minutes right after an hour or right before a second.
    auto neighbour = [&](size_t i, int step) -> const PatToken* {
        for (long j = long(i) + step; j >= 0 && j < long(sec.size()); j += step)
            if (sec[size_t(j)].kind == PatToken::DatePart)
                return &sec[size_t(j)];
        return nullptr;
    };
    std::string out;
    for (size_t i = 0; i < sec.size(); ++i) {
        const PatToken& t = sec[i];
        const size_t len = t.text.size();
        switch (t.kind) {
        case PatToken::DatePart:
            switch (Lower(t.text[0])) {
            case 'd':
                out += len == 1 ? std::to_string(p.d)
                    : len == 2  ? Pad(p.d, 2)
                    : len == 3  ? std::string(kWeekdays[p.weekday].substr(0, 3))
                                : std::string(kWeekdays[p.weekday]);
                break;
            case 'm': {
                const PatToken* before = neighbour(i, -1);
                const PatToken* after = neighbour(i, 1);
                const bool minutes =
                    len <= 2 && ((before && Lower(before->text[0]) == 'h') || (after && Lower(after->text[0]) == 's'));
                if (minutes)
                    out += len == 1 ? std::to_string(p.n) : Pad(p.n, 2);
                else
                    out += len == 1 ? std::to_string(p.m)
                        : len == 2  ? Pad(p.m, 2)
                        : len == 3  ? std::string(kMonths[p.m - 1].substr(0, 3))
                                    : std::string(kMonths[p.m - 1]);
                break;
            }
            case 'y':
                out += len <= 2 ? Pad(p.y % 100, 2) : Pad(p.y, 4);
                break;
            case 'h': {
                const unsigned h = twelveHour ? (p.h % 12 == 0 ? 12 : p.h % 12) : p.h;
                out += len == 1 ? std::to_string(h) : Pad(h, 2);
                break;
            }
            case 'n':
                out += len == 1 ? std::to_string(p.n) : Pad(p.n, 2);
                break;
            case 's':
                out += len == 1 ? std::to_string(p.s) : Pad(p.s, 2);
                break;
            }
            break;
        case PatToken::AmPm: {
            const bool pm = p.h >= 12;
            const bool lower = t.text[0] == 'a' || t.text[0] == 'p';
            std::string word = len == 5 ? (pm ? "PM" : "AM") : (pm ? "P" : "A");
            out += lower ? LowerAscii(word) : word;
            break;
        }
        default:
            out += t.text;  // everything else is literal in a date section
        }
    }
    return out;
}

// One number section; sign handling is the caller's.
std::string FormatNumberSection(const Section& sec, Decimal d)
{
    // The section's parts: integer tokens, fraction tokens, exponent tokens.
    size_t point = sec.size(), exp = sec.size();
    for (size_t i = 0; i < sec.size(); ++i) {
        if (sec[i].kind == PatToken::Exp && exp == sec.size())
            exp = i;
        if (sec[i].kind == PatToken::Point && point == sec.size() && exp == sec.size())
            point = i;
    }
    const size_t intEnd = std::min(point, exp);
    int intDigits = 0, intZeros = 0, fracDigits = 0, expZeros = 0, digitsTotal = 0;
    bool grouping = false;
    int scale = 0;  // powers of ten
    for (size_t i = 0; i < sec.size(); ++i) {
        const PatToken& t = sec[i];
        if (t.kind == PatToken::Percent)
            scale += 2;
        if (t.kind == PatToken::Digit) {
            ++digitsTotal;
            if (i < intEnd)
                ++intDigits, intZeros += t.text == "0";
            else if (i < exp)
                ++fracDigits;
            else
                expZeros += t.text == "0";
        }
        if (t.kind == PatToken::Comma && i < exp) {
            // Between integer digits it groups; right of the integer digits
            // or after the last digit it divides by 1000.
            bool intDigitFollows = false, digitFollows = false;
            for (size_t j = i + 1; j < exp; ++j) {
                intDigitFollows |= j < intEnd && sec[j].kind == PatToken::Digit;
                digitFollows |= sec[j].kind == PatToken::Digit;
            }
            if (intDigitFollows)
                grouping = true;
            else if (i < intEnd || !digitFollows)
                scale -= 3;
        }
    }
    if (digitsTotal == 0) {  // literal text only
        std::string out;
        for (const auto& t : sec)
            if (t.kind != PatToken::Comma)
                out += t.text;
        return out;
    }

    d.point += scale;
    std::string expText;
    if (exp < sec.size()) {
        const int n = std::max(intDigits, 1);
        int e = 0;
        if (!d.digits.empty()) {
            e = d.point - n;
            d.point = n;
            RoundDigits(d, n + fracDigits);
            if (d.point > n)  // 9.99 rounded up to 10.0
                ++e, --d.point;
        }
        const bool plus = sec[exp].text[1] == '+';
        expText = sec[exp].text.substr(0, 1) + (e < 0 ? "-" : plus ? "+" : "") + Pad(std::abs(e), size_t(std::max(expZeros, 1)));
    }
    const auto [whole, frac] = FixedParts(d, fracDigits);

    // Integer placeholders filled from the right; the leftmost takes what is left.
    const std::string intText = whole.size() < size_t(intZeros) ? std::string(size_t(intZeros) - whole.size(), '0') + whole : whole;
    size_t left = intText.size();  // digits of intText not yet placed
    int placed = 0;
    std::string rev;  // the integer part, built backwards
    auto put = [&](char digit) {
        if (grouping && placed > 0 && placed % 3 == 0)
            rev += ',';
        rev += digit;
        ++placed;
    };
    int digitsSeen = 0;
    for (size_t i = intEnd; i-- > 0;) {
        const PatToken& t = sec[i];
        if (t.kind == PatToken::Digit) {
            if (++digitsSeen == intDigits)
                while (left > 0)
                    put(intText[--left]);
            else if (left > 0)
                put(intText[--left]);
            else if (t.text == "0")
                put('0');
        } else if (t.kind != PatToken::Comma) {
            rev.append(t.text.rbegin(), t.text.rend());
        }
    }
    std::string out(rev.rbegin(), rev.rend());
    if (intDigits == 0 && left > 0 && !AllZeros(intText))  // ".00" still shows whole numbers
        out += intText;

    // Fraction placeholders from the left; trailing zeros of trailing # dropped.
    size_t keep = frac.size();
    {
        size_t k = frac.size();
        for (size_t i = exp; i-- > intEnd && k > 0;) {
            if (sec[i].kind != PatToken::Digit)
                continue;
            if (sec[i].text == "#" && keep == k && frac[k - 1] == '0')
                --keep;
            --k;
        }
    }
    size_t f = 0;
    for (size_t i = intEnd; i < sec.size(); ++i) {
        const PatToken& t = sec[i];
        if (i == exp) {
            out += expText;
        } else if (t.kind == PatToken::Digit) {
            if (i < exp) {
                if (f < keep)
                    out += frac[f];
                ++f;
            }
        } else if (t.kind != PatToken::Comma) {
            out += t.text;
        }
    }
    return out;
}

std::string FormatNumberPattern(const std::vector<Section>& sections, double x)
{
    const Decimal d = ToDecimal(x);
    const bool negative = d.negative;
    size_t pick = 0;
    if (negative && sections.size() >= 2 && !sections[1].empty())
        pick = 1;
    else if (d.digits.empty() && sections.size() >= 3 && !sections[2].empty())
        pick = 2;
    Decimal magnitude = d;
    magnitude.negative = false;
    std::string out = FormatNumberSection(sections[pick], magnitude);
    if (negative && pick == 0) {
        // The sign only when a non-zero digit shows.
        bool nonZero = false;
        for (char c : out)
            nonZero |= c >= '1' && c <= '9';
        if (nonZero)
            out.insert(out.begin(), '-');
    }
    return out;
}

// Named formats that are just patterns.
std::optional<std::string_view> NamedPattern(std::string_view name)
{
    static constexpr std::pair<std::string_view, std::string_view> named[] = {
        {"fixed", "0.00"},
        {"standard", "#,##0.00"},
        {"currency", "#,##0.00;(#,##0.00)"},
        {"percent", "0.00%"},
        {"scientific", "0.00E+00"},
        {"short date", "dd/mm/yyyy"},
        {"medium date", "dd-mmm-yy"},
        {"long date", "dd mmmm yyyy"},
        {"long time", "hh:nn:ss"},
        {"medium time", "hh:nn AM/PM"},
        {"short time", "hh:nn"},
    };
    for (const auto& [n, p] : named)
        if (IEquals(name, n))
            return p;
    return std::nullopt;
}

}  // namespace

// ------------------------------------------------------------------ public

std::string QuoteText(const std::string& v)
{
    std::string out;
    out.reserve(v.size() + 2);
    out += '"';
    for (char c : v) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

double ReadNumber(const std::string& v)
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

bool ReadDate(const std::string& v, double& serial)
{
    const auto day = DateWordDay(v);
    if (!day)
        return false;
    serial = SerialFromDay(*day);
    return true;
}

std::string FormatPattern(const std::string& v, const std::string& pattern)
{
    const std::string_view name = Trim(pattern);
    if (name.empty())
        return v;

    // The value: a number, a date (as a day count), or neither.
    std::optional<double> number = StrictNumber(v);
    std::optional<double> day;
    if (!number) {
        day = DayOfText(v);
        if (day)
            number = SerialFromDay(*day);
    }

    static constexpr std::array<std::array<std::string_view, 2>, 3> kBooleans = {
        {{"Yes", "No"}, {"True", "False"}, {"On", "Off"}}};
    for (const auto& words : kBooleans) {
        if (!IEquals(name, std::string(words[0]) + "/" + std::string(words[1])))
            continue;
        const std::string_view t = Trim(v);
        if (IEquals(t, "TRUE") || IEquals(t, "FALSE"))
            return std::string(IEquals(t, "TRUE") ? words[0] : words[1]);
        if (!number)
            return v;
        return std::string(*number != 0 ? words[0] : words[1]);
    }
    if (IEquals(name, "General Number"))
        return number ? NumberText(*number) : v;
    if (IEquals(name, "General Date")) {
        if (!number)
            return v;
        const double dd = day ? *day : DayFromSerial(*number).value_or(-1);
        if (dd < 0)
            throw rt::RtError(rt::TypeMismatch, v);
        const double whole = std::floor(dd);
        const DateParts p = Split(dd);
        const bool hasTime = p.h || p.n || p.s;
        std::string pat = whole >= 1 || !hasTime ? "dd/mm/yyyy" : "";
        if (hasTime)
            pat += pat.empty() ? "hh:nn:ss" : " hh:nn:ss";
        return FormatDateSection(ParsePattern(pat)[0], dd);
    }

    const auto named = NamedPattern(name);
    std::vector<Section> sections = ParsePattern(named ? *named : pattern);
    // Sections with "@" are for text; one in front serves every value.
    size_t textSection = 0;
    while (textSection < sections.size() && !Has(sections[textSection], PatToken::At))
        ++textSection;
    if (!number || textSection == 0)
        return textSection < sections.size() ? FormatTextSection(sections[textSection], v) : v;
    sections.resize(textSection);
    if (!Has(sections[0], PatToken::Digit) && !IsDateSection(sections[0]))
        throw rt::RtError(rt::TypeMismatch, "the pattern " + pattern + " has no place for the digits of the number",
                          v);
    if (IsDateSection(sections[0])) {
        if (!day)
            day = DayFromSerial(*number);
        if (!day)
            throw rt::RtError(rt::TypeMismatch, v);
        return FormatDateSection(sections[0], *day);
    }
    return FormatNumberPattern(sections, *number);
}

std::string FormatCellValue(const std::string& v, const std::string& fmt, int16_t k)
{
    std::string_view word = Trim(fmt);
    int offset = 0;
    if (!word.empty() && word.front() == '+') {
        offset = k;
        word = Trim(word.substr(1));
    }
    const std::string lower = LowerAscii(word);
    if (lower == "text")
        return QuoteText(v);

    static constexpr std::string_view kNumberWords[] = {"0", "0.0", "0.00", "0.000"};
    for (int decimals = 0; decimals < 4; ++decimals) {
        if (lower != kNumberWords[decimals])
            continue;
        if (IsErrorText(v))
            throw rt::RtError(rt::TypeMismatch, v);
        return FormatFixed(NumericValue(v) + offset, decimals);
    }

    if (lower == "dmy" || lower == "mdy" || lower == "ymd") {
        const auto day = IsErrorText(v) ? std::nullopt : DateWordDay(v);
        if (!day)
            throw rt::RtError(rt::TypeMismatch, v);
        const double shifted = std::floor(*day) + offset;
        if (shifted >= kEndDate)
            throw rt::RtError(rt::Overflow, v);
        const DateParts p = Split(shifted);
        const std::string dd = Pad(p.d, 2), mm = Pad(p.m, 2), yyyy = Pad(p.y, 4);
        if (lower == "dmy")
            return dd + "/" + mm + "/" + yyyy;
        if (lower == "mdy")
            return mm + "/" + dd + "/" + yyyy;
        return yyyy + mm + dd;
    }

    if (word.empty())
        return v;
    if (IsErrorText(v))
        throw rt::RtError(rt::TypeMismatch, v);
    return FormatPattern(v, std::string(word));
}

bool PatternUnderstood(const std::string& pattern)
{
    const std::string_view p = Trim(pattern);
    if (p.empty())
        return false;
    for (std::string_view named : {"General Number", "General Date", "Yes/No", "True/False", "On/Off"})
        if (IEquals(p, named))
            return true;
    if (NamedPattern(p))
        return true;
    // The same walk as ParsePattern, refusing what it would take as literal
    // text although the spreadsheet gives it a meaning.
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        const char lc = Lower(c);
        if (c == '"') {
            const size_t end = p.find('"', i + 1);
            if (end == std::string_view::npos)
                return false;
            i = end;
        } else if (c == '\\') {
            ++i;
        } else if (c == '[') {
            const size_t end = p.find(']', i);
            if (end == std::string_view::npos)
                return false;
            // Colours and locale or currency tags change no digit; conditions
            // and elapsed times do.
            const std::string inside = LowerAscii(p.substr(i + 1, end - i - 1));
            static constexpr std::string_view kColours[] = {"black", "blue",  "cyan",   "green",
                                                            "magenta", "red", "white", "yellow"};
            bool harmless = !inside.empty() && inside[0] == '$';
            for (std::string_view colour : kColours)
                harmless |= inside == colour;
            harmless |= inside.rfind("color", 0) == 0;
            if (!harmless)
                return false;
            i = end;
        } else if (c == '_' || c == '*' || c == '?') {
            return false;
        } else if (lc == 'e' && i + 1 < p.size() && (p[i + 1] == '+' || p[i + 1] == '-')) {
            ++i;
        } else if (IEquals(p.substr(i, 5), "AM/PM")) {
            i += 4;
        } else if (IEquals(p.substr(i, 3), "A/P")) {
            i += 2;
        } else if (IsAlpha(c) && std::string_view("dmyhns").find(lc) == std::string_view::npos) {
            return false;
        }
    }
    const std::vector<Section> sections = ParsePattern(p);
    return Has(sections[0], PatToken::Digit) || IsDateSection(sections[0]) || Has(sections[0], PatToken::At);
}
