// Turning one cell's text into the text written to the data file: the
// format words here, numbers in FormatNumbers, dates in FormatDates and
// patterns in FormatPatterns. The accepted date texts, the rounding rules and
// the pattern language are described in docs/number-patterns.md.
#include "harvester/modFormatCellValue.h"

#include "common/RtError.h"
#include "harvester/FormatDates.h"
#include "harvester/FormatNumbers.h"
#include "harvester/FormatPatterns.h"
#include "harvester/FormatText.h"
#include "workbook/ShortestDigits.h"

#include <cmath>
#include <string_view>

using namespace cellformat;

namespace {

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

// A day count (1900-01-01 to 9999-12-31, whole) under a date word, with one append.
void AppendDay(std::string& out, double day, CellFormat::Kind kind)
{
    const wb::CivilDate p = wb::CivilFromDays((long long)day + kDay0);  // Split's date, without its time
    char text[10];
    auto put = [&text](int at, unsigned n, int width) {
        for (int i = width - 1; i >= 0; --i, n /= 10)
            text[at + i] = char('0' + n % 10);
    };
    if (kind == CellFormat::Ymd) {
        put(0, unsigned(p.y), 4);
        put(4, p.m, 2);
        put(6, p.d, 2);
        out.append(text, 8);
        return;
    }
    put(kind == CellFormat::Dmy ? 0 : 3, p.d, 2);
    put(kind == CellFormat::Dmy ? 3 : 0, p.m, 2);
    put(6, unsigned(p.y), 4);
    text[2] = text[5] = '/';
    out.append(text, 10);
}

// x rounded to `decimals` (0 to 3) straight from the double, when no digit
// past the 15 a cell shows can decide the rounding: |x| * 10^decimals below
// 1e8 and more than a millionth from a half. The shown digits differ from x
// by at most 5e-15 of it and the product by one rounding: under 6e-7 there.
// False otherwise, and the caller rounds the shown digits.
bool AppendFixedQuick(std::string& out, double x, int decimals)
{
    static constexpr double kPow10[] = {1, 10, 100, 1000};
    if (decimals < 0 || decimals > 3)
        return false;
    const double y = std::fabs(x) * kPow10[decimals];
    if (!(y < 1e8))  // NaN too
        return false;
    const double whole = std::floor(y);
    const double frac = y - whole;  // exact
    if (std::fabs(frac - 0.5) <= 1e-6)
        return false;
    const unsigned long rounded = (unsigned long)whole + (frac > 0.5);
    if (x < 0 && rounded > 0)  // one that rounds to zero shows no sign
        out += '-';
    char text[16];  // written from the end: at most 8 digits and a point
    char* p = text + sizeof text;
    unsigned long n = rounded;
    for (int i = 0; i < decimals; ++i, n /= 10)
        *--p = char('0' + n % 10);
    if (decimals > 0)
        *--p = '.';
    do {
        *--p = char('0' + n % 10);
        n /= 10;
    } while (n > 0);
    out.append(p, size_t(text + sizeof text - p));
    return true;
}

bool IsDateWord(CellFormat::Kind kind)
{
    return kind == CellFormat::Dmy || kind == CellFormat::Mdy || kind == CellFormat::Ymd;
}

}  // namespace

// ------------------------------------------------------------------ public

std::string QuoteText(const std::string& v)
{
    std::string out;
    AppendQuoted(out, v);
    return out;
}

double ReadNumber(const std::string& v)
{
    return LenientNumber(v);
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
    return ApplyPattern(v, pattern);
}

CellFormat ReadCellFormat(const std::string& fmt)
{
    CellFormat f;
    std::string_view word = Trim(fmt);
    if (!word.empty() && word.front() == '+') {
        f.plus = true;
        word = Trim(word.substr(1));
    }
    const std::string lower = LowerAscii(word);
    static constexpr std::string_view kNumberWords[] = {"0", "0.0", "0.00", "0.000"};
    if (lower == "text") {
        f.kind = CellFormat::Text;
    } else if (lower == "dmy" || lower == "mdy" || lower == "ymd") {
        f.kind = lower == "dmy" ? CellFormat::Dmy : lower == "mdy" ? CellFormat::Mdy : CellFormat::Ymd;
    } else if (word.empty()) {
        f.kind = CellFormat::Copy;
    } else {
        f.kind = CellFormat::Pattern;
        f.pattern = std::string(word);
        for (int decimals = 0; decimals < 4; ++decimals)
            if (lower == kNumberWords[decimals])
                f.kind = CellFormat::Fixed, f.decimals = decimals;
    }
    return f;
}

void AppendCellValue(std::string& out, const std::string& v, const CellFormat& f, int16_t k)
{
    const int offset = f.plus ? k : 0;
    switch (f.kind) {
    case CellFormat::Text:
        AppendQuoted(out, v);
        return;
    case CellFormat::Fixed:
        if (IsErrorText(v))
            throw rt::RtError(rt::TypeMismatch, v);
        AppendFixed(out, NumericValue(v) + offset, f.decimals);
        return;
    case CellFormat::Dmy:
    case CellFormat::Mdy:
    case CellFormat::Ymd: {
        const auto day = IsErrorText(v) ? std::nullopt : DateWordDay(v);
        if (!day)
            throw rt::RtError(rt::TypeMismatch, v);
        const double shifted = std::floor(*day) + offset;
        if (shifted >= kEndDate)
            throw rt::RtError(rt::Overflow, v);
        AppendDay(out, shifted, f.kind);
        return;
    }
    case CellFormat::Copy:
        out += v;
        return;
    case CellFormat::Pattern:
        if (IsErrorText(v))
            throw rt::RtError(rt::TypeMismatch, v);
        out += FormatPattern(v, f.pattern);
        return;
    }
}

void AppendCellValue(std::string& out, const wb::CellValue& c, const CellFormat& f, int16_t k)
{
    if (f.kind == CellFormat::Fixed && c.type == wb::CellType::Number && std::isfinite(c.number)) {
        const double x = c.number;
        const int offset = f.plus ? k : 0;
        if (offset == 0 && AppendFixedQuick(out, x, f.decimals))
            return;
        // The digits c's text shows are the digits the number read back
        // from that text shows (at most 15 of them), far from the ends of
        // the double's range.
        if (offset == 0 && std::fabs(x) > 1e-300 && std::fabs(x) < 1e300) {
            char digits[20];
            Decimal d;
            d.negative = x < 0;
            const int count = wb::ShownDigits(x, digits, d.point);
            d.digits.assign(digits, size_t(count));
            AppendFixed(out, std::move(d), f.decimals);
            return;
        }
        // A number whose shortest text has at most 15 digits reads back
        // from that text as the same double.
        char digits[16];
        int count, point;
        if (x == 0 || wb::QuickShortestDigits(x, digits, count, point)) {
            AppendFixed(out, x + offset, f.decimals);
            return;
        }
    }
    if (IsDateWord(f.kind) && c.type == wb::CellType::Date && !c.date1904 && std::isfinite(c.number)) {
        // The day its text (yyyy-mm-dd, the time rounded to the second)
        // reads back as, without the text. From 1900-03-01 on the serial
        // counts days as the day count does.
        double day = std::floor(c.number);
        if (std::llround((c.number - day) * 86400.0) >= 86400)
            day += 1;
        const double shifted = day + (f.plus ? k : 0);
        if (day >= 61 && shifted < kEndDate) {
            AppendDay(out, shifted, f.kind);
            return;
        }
    }
    // Text and error values are their own text.
    if (c.type == wb::CellType::Text || c.type == wb::CellType::Error)
        AppendCellValue(out, c.text, f, k);
    else
        AppendCellValue(out, c.Text(), f, k);
}

std::string FormatCellValue(const std::string& v, const std::string& fmt, int16_t k)
{
    std::string out;
    AppendCellValue(out, v, ReadCellFormat(fmt), k);
    return out;
}

bool PatternUnderstood(const std::string& pattern)
{
    return cellformat::PatternUnderstood(pattern);
}
