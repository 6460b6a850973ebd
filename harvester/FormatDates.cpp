// Dates of the cell formatting: reading date texts (the forms accepted are
// listed in docs/number-patterns.md) and splitting a day count for output.
#include "harvester/FormatDates.h"

#include "harvester/FormatNumbers.h"
#include "harvester/FormatText.h"

#include <cmath>
#include <vector>

namespace cellformat {

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

namespace {

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

    // The date part as a day count; the forms are listed in docs/number-patterns.md.
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
        if (!ok || m < 1 || m > 12 || d < 1 || unsigned(d) > wb::DaysInMonth(y, unsigned(m))) {
            pos_ = start;
            return std::nullopt;
        }
        return long(wb::DaysFromCivil(y, unsigned(m), unsigned(d))) - kDay0;
    }

    // hh:mm[:ss[.fff]] [AM|PM] as a fraction of a day.
    std::optional<double> Time()
    {
        const size_t start = pos_;
        auto fail = [&] {
            pos_ = start;
            return std::nullopt;
        };
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

}  // namespace

// A date text or a 1900-system serial as a day count (time of day alone included).
namespace {

// The reader's own date form, "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss", read
// without the scanner: the same day count the scanner gives, or false when
// the text is not quite that form (the scanner then decides).
bool ReaderDate(std::string_view v, double& day)
{
    if (v.size() != 10 && v.size() != 19)
        return false;
    auto num = [&](size_t at, size_t len, long& out) {
        out = 0;
        for (size_t i = at; i < at + len; ++i) {
            if (!IsDigit(v[i]))
                return false;
            out = out * 10 + (v[i] - '0');
        }
        return true;
    };
    long y, m, d;
    if (!num(0, 4, y) || v[4] != '-' || !num(5, 2, m) || v[7] != '-' || !num(8, 2, d))
        return false;
    if (m < 1 || m > 12 || d < 1 || unsigned(d) > wb::DaysInMonth(y, unsigned(m)))
        return false;
    const long count = long(wb::DaysFromCivil(y, unsigned(m), unsigned(d))) - kDay0;
    if (v.size() == 10) {
        day = double(count);
        return true;
    }
    long h, n, sec;
    if (v[10] != ' ' || !num(11, 2, h) || v[13] != ':' || !num(14, 2, n) || v[16] != ':' || !num(17, 2, sec))
        return false;
    if (h > 23 || n > 59 || sec > 59)
        return false;
    day = double(count) + (double(h) * 3600 + double(n) * 60 + double(sec)) / 86400;
    return true;
}

}  // namespace

std::optional<double> DayOfText(std::string_view v)
{
    v = Trim(v);
    if (double day; ReaderDate(v, day))
        return day >= 0 && day < kEndDate ? std::optional<double>(day) : std::nullopt;
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

DateParts Split(double day)
{
    long whole = long(std::floor(day));
    long seconds = std::lround((day - double(whole)) * 86400);
    if (seconds >= 86400)
        ++whole, seconds -= 86400;
    const long days1970 = whole + kDay0;
    const wb::CivilDate c = wb::CivilFromDays(days1970);
    const unsigned weekday = unsigned(((days1970 % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    return {
        long(c.y), c.m, c.d, weekday, unsigned(seconds / 3600), unsigned(seconds / 60 % 60), unsigned(seconds % 60)};
}

std::string Pad(long n, size_t width)
{
    std::string s = std::to_string(n);
    if (s.size() < width)
        s.insert(0, width - s.size(), '0');
    return s;
}
}  // namespace cellformat
