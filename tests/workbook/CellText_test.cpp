#include "workbook/Reader.h"
#include "workbook/ShortestDigits.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using wb::CellType;
using wb::CellValue;

namespace {

std::string Text(double v, CellType type = CellType::Number, bool date1904 = false)
{
    return CellValue{type, v, {}, date1904}.Text();
}

TEST(CellText, Numbers)
{
    // 15 significant digits, never an exponent: whenever 15 digits suffice,
    // the text of the double a text reads as is that text.
    for (const char* text :
         {"0", "-1", "0.1", "0.7", "1.1", "1.005", "123.456", "-123.456", "0.015625", "98765.4321", "0.00001",
          "0.0000001", "-0.00000000015", "25000000000", "100000000000000000000", "123456789012345", "9999999999999.99"})
        EXPECT_EQ(Text(std::stod(text)), text);
    // The digits rounded to 15 are ShortestDigits' to check; here, where the point and zeros go.
    const std::pair<double, std::string> rounded[] = {
        {-0.0, "0"},
        {123456789012345678.0, "123456789012346000"},
        {1234567890123456.0, "1234567890123460"},
        {99999999999999.99, "100000000000000"},
        {1.7976931348623157e308, "179769313486232" + std::string(294, '0')},
        {5e-324, "0." + std::string(323, '0') + "5"},
    };
    for (const auto& [v, text] : rounded)
        EXPECT_EQ(Text(v), text) << v;
}

TEST(CellText, DatesInBothSystems)
{
    // The fictitious 1900-02-29, times rounded to the second (23:59:59.6 is
    // the next midnight), the last day of the calendar. The days either side
    // of 1900-02-29, the last day alone and 1904's own days come back in
    // IsoDateSerial.BothSystems.
    const std::pair<double, const char*> cases1900[] = {{0, "1899-12-30"},
                                                        {0.75, "1899-12-30 18:00:00"},
                                                        {60, "1900-02-29"},
                                                        {60.5, "1900-02-29 12:00:00"},
                                                        {59.99998, "1900-02-28 23:59:58"},
                                                        {59.999999, "1900-02-29"},
                                                        {367, "1901-01-01"},
                                                        {36585, "2000-02-29"},
                                                        {39874.25, "2009-03-02 06:00:00"},
                                                        {2958465.999988426, "9999-12-31 23:59:59"},
                                                        {39874.999995, "2009-03-03"},
                                                        {39874 + 1.4 / 86400, "2009-03-02 00:00:01"},
                                                        {39874 + 1.6 / 86400, "2009-03-02 00:00:02"},
                                                        {39874 + 29.0 / 1440, "2009-03-02 00:29:00"}};
    for (const auto& [v, text] : cases1900)
        EXPECT_EQ(Text(v, CellType::Date), text) << v;
    const std::pair<double, const char*> cases1904[] = {{59, "1904-02-29"}, {2957003, "9999-12-31"}};
    for (const auto& [v, text] : cases1904)
        EXPECT_EQ(Text(v, CellType::Date, true), text) << v;
    // Outside the calendar: the number.
    EXPECT_EQ(Text(2958466, CellType::Date), "2958466");
    EXPECT_EQ(Text(2957004, CellType::Date, true), "2957004");
    EXPECT_EQ(Text(1e300, CellType::Date), "1" + std::string(300, '0'));
    EXPECT_EQ(Text(std::nan(""), CellType::Date), "#NUM!");
}

TEST(IsoDateSerial, BothSystems)
{
    using wb::detail::IsoDateSerial;
    const std::tuple<const char*, bool, double> cases[] = {{"2009-03-02T12:00:00Z", false, 39874.5},
                                                           {"2009-03-02T06:00:00.000", false, 39874.25},
                                                           {"1900-03-01", false, 61},
                                                           {"1900-02-28", false, 59},
                                                           {"1900-01-01", false, 1},
                                                           {"1899-12-30", false, -1},
                                                           {"2009-03-02", true, 38412},
                                                           {"1904-01-01", true, 0},
                                                           {"12:00:00", false, 0.5},
                                                           {"9999-12-31", false, 2958465}};
    for (const auto& [text, date1904, serial] : cases) {
        const double s = IsoDateSerial(text, date1904).value_or(std::nan(""));
        EXPECT_NEAR(s, serial, 1e-9) << text;
        if (serial >= 1) {  // back to the same text
            EXPECT_EQ(Text(s, CellType::Date, date1904).substr(0, 10), std::string(text).substr(0, 10));
        }
    }
    for (const char* bad : {"", "2009", "2009-13-01", "2009-03-02x", "soon", "2009/03/02", "25:00"})
        EXPECT_FALSE(IsoDateSerial(bad, false)) << bad;
}

// Names are matched in place (SameFolded) or folded first (FoldCase): both
// must give the same answer, also for bytes that are no valid UTF-8 and for
// letters that only fold in one direction.
TEST(FoldCase, SameFoldedAgreesWithFoldCase)
{
    using wb::detail::FoldCase;
    using wb::detail::SameFolded;
    const std::tuple<std::string, std::string, bool> rows[] = {
        {"Total_Hours", "TOTAL_hours", true},
        {"Total", "Totals", false},
        {"Total1", "Total2", false},
        {"", "", true},
        {"", "a", false},
        {"[a]", "[A]", true},
        {"@", "`", false},  // one apart from 'A' and 'a'
        {"Z", "z", true},
        {"Données", "DONNÉES", true},
        {"Données", "Donnees", false},
        {"ДАТА", "дата", true},
        {"ŁÓDŹ", "łódź", true},
        {"a×b", "a÷b", false},
        {"Ѐ", "ѐ", true},
        {"ß", "SS", false},
        {"\xC3", "\xC3", true},
        {"x\xC3", "X\xE3", false},
        {"\xC3\x41", "\xC3\x61", true},  // a lead byte before ASCII: "A" and "a" fold alike there
        {"\xC3\x41", "\xC3\x41", true},
        {"\xC3\x81", "\xC3\xA1", true},
        {"\xFF", "\xFF", true},
        {"ab\xC3\x89z", "AB\xC3\xA9Z", true},
    };
    for (const auto& [a, b, same] : rows) {
        SCOPED_TRACE(a + " / " + b);
        EXPECT_EQ(std::tuple(FoldCase(a) == FoldCase(b), SameFolded(a, b), SameFolded(b, a)),
                  std::tuple(same, same, same));
    }
}

// The digits of v (v = 0.digits * 10^point) as std::to_chars gives them,
// shortest or rounded to 15, without trailing zeros: "digits e point".
std::string ToCharsDigits(double v, bool fifteen)
{
    char buf[64];
    const auto res = fifteen ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14)
                             : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    const std::string sci(buf, res.ptr);
    std::string digits;
    for (char c : sci.substr(0, sci.find('e')))
        if (c != '.')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    return digits + "e" + std::to_string(std::stoi(sci.substr(sci.find('e') + 1)) + 1);
}

}  // namespace

// The quick way to the shortest digits must give exactly what std::to_chars
// gives whenever it answers, and answer for the numbers forms hold. The shown
// digits are the shortest when those are at most 15, else the number rounded
// to 15 digits, for any bits, subnormal numbers included.
TEST(ShortestDigits, QuickAndShownAgreeWithToChars)
{
    std::mt19937_64 rng(15);
    std::vector<double> values = {0.1,     0.7,    7.25,   1.005,    2.675,      0.5,       9.995,   1e-15,
                                  1.5e-16, 1e-310, 5e-324, 1e15 - 1, 1e15 - 0.5, 1e300 / 3, 1.0 / 3, 0.1 + 0.2};
    values.insert(values.end(),
                  {999999999999999.9, 4503599627370497.0, 2.2250738585072014e-308, 1.7976931348623157e308});
    const double pow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    for (int i = 0; i < 20000; ++i) {
        values.push_back(double(rng() % 1000000000000ULL) / pow10[rng() % 9]);        // a few decimals
        values.push_back(std::ldexp(double(rng() >> 11), int(rng() % 80) - 60));      // any bits
        values.push_back(std::ldexp(double(rng() >> 11), int(rng() % 2200) - 1130));  // any size
    }
    int answered = 0;
    for (double v : values) {
        if (v == 0 || !std::isfinite(v))
            continue;
        SCOPED_TRACE(v);
        const std::string shortest = ToCharsDigits(v, false);
        char digits[17];
        int count = 0, point = 0;
        if (wb::QuickShortestDigits(v, digits, count, point)) {
            ++answered;
            EXPECT_EQ(std::string(digits, size_t(count)) + "e" + std::to_string(point), shortest);
        }
        count = wb::ShownDigits(v, digits, point);
        EXPECT_EQ(std::string(digits, size_t(count)) + "e" + std::to_string(point),
                  shortest.find('e') > 15 ? ToCharsDigits(v, true) : shortest);
    }
    EXPECT_GT(answered, 20000);  // every "few decimals" value at least
}

// The filter answers from a bitmap of the rectangles' bounding box when that
// is small, else rectangle by rectangle: both give exactly the cells inside.
TEST(SheetFilter, WantsExactlyTheCellsOfItsRectangles)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 200; ++round) {
        std::vector<wb::Range> rects;
        const int count = int(rng() % 5);
        const int spread = round % 2 ? 40 : 3000;  // odd rounds: small boxes, even: too large for a bitmap
        for (int i = 0; i < count; ++i) {
            const int row = int(rng() % spread), col = int(rng() % 200);
            rects.push_back({0, row, col, row + int(rng() % 6), col + int(rng() % 3)});  // drawn in this order
        }
        const auto f = wb::detail::SheetFilter::Only(rects);
        SCOPED_TRACE(round);
        for (const wb::Range& r : rects)
            for (int row = r.firstRow - 2; row <= r.lastRow + 2; ++row)
                for (int col = r.firstCol - 2; col <= r.lastCol + 2; ++col) {
                    bool inside = false;
                    for (const wb::Range& q : rects)
                        inside |= row >= q.firstRow && row <= q.lastRow && col >= q.firstCol && col <= q.lastCol;
                    ASSERT_EQ(f.Wants(row, col), inside) << row << "," << col;
                }
        EXPECT_FALSE(f.Wants(5000, 0));
    }
}
