// The formatting pattern engine: patterns split into sections of tokens, and
// numbers, dates and texts shown through them. The language is described in
// docs/number-patterns.md.
#include "harvester/FormatPatterns.h"

#include "common/RtError.h"
#include "harvester/FormatDates.h"
#include "harvester/FormatNumbers.h"
#include "harvester/FormatText.h"

#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

namespace cellformat {

namespace {

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
                out += len == 1   ? std::to_string(p.d)
                       : len == 2 ? Pad(p.d, 2)
                       : len == 3 ? std::string(kWeekdays[p.weekday].substr(0, 3))
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
                    out += len == 1   ? std::to_string(p.m)
                           : len == 2 ? Pad(p.m, 2)
                           : len == 3 ? std::string(kMonths[p.m - 1].substr(0, 3))
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
        expText = sec[exp].text.substr(0, 1) +
                  (e < 0  ? "-"
                   : plus ? "+"
                          : "") +
                  Pad(std::abs(e), size_t(std::max(expZeros, 1)));
    }
    const auto [whole, frac] = FixedParts(d, fracDigits);

    // Integer placeholders filled from the right; the leftmost takes what is left.
    const std::string intText =
        whole.size() < size_t(intZeros) ? std::string(size_t(intZeros) - whole.size(), '0') + whole : whole;
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

std::string ApplyPattern(const std::string& v, const std::string& pattern)
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
        throw rt::RtError(rt::TypeMismatch, "the pattern " + pattern + " has no place for the digits of the number", v);
    if (IsDateSection(sections[0])) {
        if (!day)
            day = DayFromSerial(*number);
        if (!day)
            throw rt::RtError(rt::TypeMismatch, v);
        return FormatDateSection(sections[0], *day);
    }
    return FormatNumberPattern(sections, *number);
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
            static constexpr std::string_view kColours[] = {"black",   "blue", "cyan",  "green",
                                                            "magenta", "red",  "white", "yellow"};
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

}  // namespace cellformat
