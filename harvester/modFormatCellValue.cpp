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

double ReadNumber(const std::string& v) { return LenientNumber(v); }

bool ReadDate(const std::string& v, double& serial)
{
    const auto day = DateWordDay(v);
    if (!day)
        return false;
    serial = SerialFromDay(*day);
    return true;
}

std::string FormatPattern(const std::string& v, const std::string& pattern) { return ApplyPattern(v, pattern); }

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
