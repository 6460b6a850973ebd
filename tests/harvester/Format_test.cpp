#include "harvester/modFormatCellValue.h"

#include "common/RtError.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <tuple>

namespace {

struct FormatCase {
    std::string v, fmt;
    int16_t k;
    std::string want;
};

void ExpectFormats(const std::vector<FormatCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE("v=<" + c.v + "> fmt=<" + c.fmt + "> k=" + std::to_string(c.k));
        try {
            EXPECT_EQ(FormatCellValue(c.v, c.fmt, c.k), c.want);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "threw " << e.what();
        }
    }
}

// The error number FormatCellValue throws, 0 when it does not throw.
int ErrorOf(const std::string& v, const std::string& fmt, int16_t k = 0)
{
    try {
        FormatCellValue(v, fmt, k);
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.Subject(), v);
        return e.Number();
    }
    return 0;
}

}  // namespace

TEST(FormatCellValue, TextQuotesAndDoublesInnerQuotes)
{
    ExpectFormats({
        {"Ann", "text", 0, "\"Ann\""},
        {"say \"hi\"", "TEXT", 0, "\"say \"\"hi\"\"\""},
        {"", "Text", 0, "\"\""},
        {"\"", "text", 0, "\"\"\"\""},
        {"a,b", "text", 0, "\"a,b\""},
        {"5", "+text", 2, "\"5\""},     // no offset on text
        {"#N/A", "text", 0, "\"#N/A\""},  // an error value as text is still text
        {" 7 ", " text ", 0, "\" 7 \""},
    });
    EXPECT_EQ(QuoteText("c\"d"), "\"c\"\"d\"");
}

TEST(FormatCellValue, NumberWords)
{
    ExpectFormats({
        {"7.25", "0", 0, "7"},
        {"7.25", "0.0", 0, "7.3"},
        {"7.25", "0.00", 0, "7.25"},
        {"7.25", "0.000", 0, "7.250"},
        {"", "0", 0, "0"},
        {"", "0.0", 0, "0.0"},
        {"", "0.00", 0, "0.00"},
        {"", "0.000", 0, "0.000"},
        {"12abc", "0.00", 0, "12.00"},
        {"1 234.5", "0.00", 0, "1234.50"},
        {"abc", "0.00", 0, "0.00"},
        {"1234567.891", "0.00", 0, "1234567.89"},  // no thousands separator
        {"- 3.5", "0.0", 0, "-3.5"},
        {"+4", "0", 0, "4"},
        {"\t1\n2 3", "0", 0, "123"},
        {"1.2.3", "0.0", 0, "1.2"},
        {"1,234", "0", 0, "1"},
        {"1E3", "0", 0, "1000"},
        {"1.5e-2", "0.000", 0, "0.015"},
        {"2e+2", "0", 0, "200"},
        {"1e", "0", 0, "1"},
        {"&H1F", "0", 0, "31"},
        {"&hff", "0.0", 0, "255.0"},
        {"&O17", "0", 0, "15"},
        {"&o8", "0", 0, "0"},
        {"TRUE", "0", 0, "1"},
        {"FALSE", "0.0", 0, "0.0"},
        {"2009-03-02", "0", 0, "39874"},  // a date counts as its serial, not its year
        {"2009-03-02 12:00:00", "0.0", 0, "39874.5"},
        {"1899-12-30 12:00:00", "0.0", 0, "0.5"},  // a time of day alone
        {"1900-01-00 18:00:00", "0.00", 0, "0.75"},
        {"7.25", " 0.0 ", 0, "7.3"},
        {"1e300", "0", 0, "1" + std::string(300, '0')},
    });
}

TEST(FormatCellValue, RoundsHalvesAwayFromZeroOnTheShownDigits)
{
    ExpectFormats({
        {"7.25", "0.0", 0, "7.3"},
        {"-7.25", "0.0", 0, "-7.3"},
        {"0.125", "0.00", 0, "0.13"},
        {"-0.125", "0.00", 0, "-0.13"},
        {"2.675", "0.00", 0, "2.68"},   // the double is 2.67499999...
        {"1.005", "0.00", 0, "1.01"},
        {"1.005", "+0.00", 1, "2.01"},  // the sum's noise is cut at 15 digits
        {"0.1", "+0.0", 2, "2.1"},
        {"0.5", "0", 0, "1"},
        {"1.5", "0", 0, "2"},
        {"2.5", "0", 0, "3"},
        {"-0.5", "0", 0, "-1"},
        {"99.95", "0.0", 0, "100.0"},
        {"-99.95", "0.0", 0, "-100.0"},
        {"0.0005", "0.000", 0, "0.001"},
        {"0.0004999", "0.000", 0, "0.000"},
        {"123456789.125", "0.00", 0, "123456789.13"},
        {"-0.001", "0.00", 0, "0.00"},  // no minus sign on a shown zero
        {"-0.4", "0", 0, "0"},
        {"100000000000000.5", "0", 0, "100000000000001"},
        {"-100000000000000.5", "0", 0, "-100000000000001"},
        {"1000000000000000.5", "0", 0, "1000000000000000"},  // 15 significant digits
        {"1e15", "0.0", 0, "1000000000000000.0"},
        {"999999999999999.5", "0", 0, "1000000000000000"},
    });
}

TEST(FormatCellValue, OffsetAddsTheItemIndex)
{
    ExpectFormats({
        {"1", "+0", 0, "1"},
        {"1", "+0", 1, "2"},
        {"1", "+0", 2, "3"},
        {"1", "0", 2, "1"},  // without "+" no offset
        {"", "+0.0", 3, "3.0"},
        {"-1.5", "+0.0", 1, "-0.5"},
        {"2009-01-30", "+dmy", 0, "30/01/2009"},
        {"2009-01-30", "+dmy", 1, "31/01/2009"},
        {"2009-01-30", "+dmy", 2, "01/02/2009"},
        {"2009-03-02", "+DMY", 6, "08/03/2009"},
        {"2008-12-31", "+ymd", 1, "20090101"},
        {"2009-02-28", "+mdy", 1, "03/01/2009"},
        {"1234.5", "+#,##0.00", 2, "1,234.50"},  // no offset on patterns
        {"5", "+", 3, "5"},                      // "+" alone: empty pattern
    });
}

TEST(FormatCellValue, DateWords)
{
    ExpectFormats({
        {"2009-03-02", "dmy", 0, "02/03/2009"},
        {"2009-03-02", "mdy", 0, "03/02/2009"},
        {"2009-03-02", "ymd", 0, "20090302"},
        {"2009-03-02", "Dmy", 0, "02/03/2009"},
        {"2009-03-02 14:30:00", "dmy", 0, "02/03/2009"},
        {"2009-03-02 23:59:59", "ymd", 0, "20090302"},
        // 1900 and leap years
        {"1900-02-28", "+dmy", 1, "01/03/1900"},
        {"1900-03-01", "+dmy", 0, "01/03/1900"},
        {"2000-02-29", "dmy", 0, "29/02/2000"},
        {"2024-02-28", "+dmy", 1, "29/02/2024"},
        {"2023-02-28", "+dmy", 1, "01/03/2023"},
        {"9999-12-31", "ymd", 0, "99991231"},
        // plain numbers are 1900-system serials
        {"39874", "dmy", 0, "02/03/2009"},
        {"39874.75", "dmy", 0, "02/03/2009"},
        {"1", "dmy", 0, "01/01/1900"},
        {"59", "dmy", 0, "28/02/1900"},
        {"61", "dmy", 0, "01/03/1900"},
        {"59", "+dmy", 1, "01/03/1900"},
        {"2958465", "dmy", 0, "31/12/9999"},
        // other texts a user may type
        {"2009/03/02", "ymd", 0, "20090302"},
        {"2009.3.2", "ymd", 0, "20090302"},
        {"2/3/2009", "dmy", 0, "02/03/2009"},
        {"02.03.2009", "dmy", 0, "02/03/2009"},
        {"2-3-09", "dmy", 0, "02/03/2009"},
        {"31/12/99", "ymd", 0, "19991231"},
        {"1/1/29", "ymd", 0, "20290101"},
        {"1/1/30", "ymd", 0, "19300101"},
        {"2 March 2009", "mdy", 0, "03/02/2009"},
        {"2-Mar-09", "dmy", 0, "02/03/2009"},
        {"02 mar 2009", "dmy", 0, "02/03/2009"},
        {"2 Sept 2009", "ymd", 0, "20090902"},
        {"March 2, 2009", "dmy", 0, "02/03/2009"},
        {"Monday, 2 March 2009", "dmy", 0, "02/03/2009"},
        {"2009-03-02T08:30", "dmy", 0, "02/03/2009"},
        {" 2009-03-02 ", "dmy", 0, "02/03/2009"},
        {"2/3/2009 2:30 PM", "ymd", 0, "20090302"},
    });
}

TEST(FormatCellValue, TypeMismatch)
{
    struct Case { std::string v, fmt; };
    const Case cases[] = {
        {"", "dmy"}, {"", "+mdy"}, {"abc", "ymd"}, {"12abc", "dmy"},
        {"1900-02-29", "dmy"}, {"2100-02-29", "dmy"}, {"2009-02-30", "dmy"}, {"31/02/2009", "dmy"},
        {"13/13/2009", "dmy"}, {"2009-13-01", "dmy"}, {"2009-03-02 25:00", "dmy"},
        {"60", "dmy"}, {"0", "dmy"}, {"-5", "dmy"}, {"2958466", "dmy"},
        {"08:30:00", "dmy"}, {"1899-12-31", "dmy"}, {"1900-01-00 08:30:00", "dmy"}, {"TRUE", "dmy"},
        {"#DIV/0!", "0.00"}, {"#N/A", "0"}, {"#VALUE!", "0.0"}, {"#REF!", "+0.000"},
        {"#NAME?", "dmy"}, {"#NUM!", "mdy"}, {"#NULL!", "ymd"},
        {"#DIV/0!", "#,##0"}, {"#N/A", "dd/mm/yyyy"},
        {"60", "dd/mm/yyyy"}, {"-1", "Short Date"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.v, c.fmt), rt::TypeMismatch) << c.v << " / " << c.fmt;
    // An error value under an empty pattern is copied like any text.
    EXPECT_EQ(FormatCellValue("#N/A", "", 0), "#N/A");
}

TEST(FormatCellValue, OverflowPastTheLastDate)
{
    EXPECT_EQ(ErrorOf("9999-12-31", "+dmy", 1), rt::Overflow);
    EXPECT_EQ(ErrorOf("9999-12-31", "+dmy", 0), 0);
    EXPECT_EQ(ErrorOf("1e400", "0"), rt::Overflow);
}

TEST(FormatCellValue, OtherWordsArePatterns)
{
    ExpectFormats({
        {"1234567", "#,##0", 0, "1,234,567"},
        {"abc", "", 0, "abc"},
        {" spaced ", "", 0, " spaced "},
        {"12abc", "#,##0.00", 0, "12abc"},  // not a number: unchanged
        {"7.25", " 0.0 ", 0, "7.3"},         // blanks around a word do not make it a pattern
        {"2009-03-02", "dd mmm yyyy", 0, "02 Mar 2009"},
    });
}

TEST(ReadNumber, Lenient)
{
    struct Case { std::string v; double want; };
    const Case cases[] = {
        {"", 0}, {"  ", 0}, {"abc", 0}, {"12abc", 12}, {"1 234.5", 1234.5}, {"-7.25", -7.25},
        {"+3", 3}, {"--3", 0}, {"-", 0}, {".", 0}, {".5", 0.5}, {"5.", 5}, {"1.2.3", 1.2},
        {"1e3", 1000}, {"1E-3", 0.001}, {"1 e 3", 1000}, {"1e+", 1}, {"1.5e2x", 150}, {"1,5", 1},
        {"1\t2\n3", 123}, {"3\r4", 3}, {"&H10", 16}, {"&HFF", 255}, {"&h 1 F", 31}, {"&HFFFF", 65535},
        {"&O777", 511}, {"&O9", 0}, {"&X5", 0}, {"&", 0}, {"1e-400", 0},
        {"0." + std::string(400, '0') + "1", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ReadNumber(c.v), c.want) << "<" << c.v << ">";
}

TEST(ReadNumber, TooLargeIsOverflow)
{
    for (const std::string& v : {std::string("1e400"), std::string("-1e309"), "1" + std::string(400, '0')}) {
        try {
            ReadNumber(v);
            ADD_FAILURE() << v << " did not throw";
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), rt::Overflow) << v;
        }
    }
}

TEST(ReadDate, SerialsOfThe1900System)
{
    struct Case { std::string v; bool ok; double serial; };
    const Case cases[] = {
        {"2009-03-02", true, 39874},
        {"1900-01-01", true, 1},
        {"1900-02-28", true, 59},
        {"1900-03-01", true, 61},
        {"1900-02-29", false, 0},
        {"59", true, 59},
        {"60", false, 0},
        {"39874.5", true, 39874.5},
        {"2009-03-02 12:00:00", true, 39874.5},
        {"2009-03-02 2:30 PM", true, 39874 + 14.5 / 24},
        {"2009-03-02 12:00 AM", true, 39874},
        {"2009-03-02 13:00 PM", false, 0},
        {"2009-03-02 06:00:00.5", true, 39874.25 + 0.5 / 86400},
        {"9999-12-31", true, 2958465},
        {"10000-01-01", false, 0},
        {"", false, 0},
        {"abc", false, 0},
        {"08:30", false, 0},
        {"2009-13-01", false, 0},
        {"2009-03-02 12:60", false, 0},
        {"2009-03-02 junk", false, 0},
        {"2/3/2009", true, 39874},
        {"Mar 2, 2009", true, 39874},
        {"Mon 2 Mar 2009", true, 39874},
        {"2 Mar, 2009", false, 0},
        {"2009-3-2", true, 39874},
        {"2009-03/02", false, 0},
    };
    for (const auto& c : cases) {
        double serial = -1;
        EXPECT_EQ(ReadDate(c.v, serial), c.ok) << c.v;
        if (c.ok) {
            EXPECT_NEAR(serial, c.serial, 1e-9) << c.v;
        }
    }
}

TEST(FormatPattern, Numbers)
{
    struct Case { std::string v, pattern, want; };
    const Case cases[] = {
        {"1234.5", "0.00", "1234.50"},
        {"0.5", "#.##", ".5"},
        {"5", "#.##", "5."},
        {"0", "#,##0", "0"},
        {"0", "#", ""},
        {"7", "000", "007"},
        {"1234567.891", "#,##0.00", "1,234,567.89"},
        {"-1234.5", "#,##0.00", "-1,234.50"},
        {"999.995", "#,##0.00", "1,000.00"},
        {"123", "#,##0", "123"},
        {"1234", "#,##0", "1,234"},
        {"1234567", "#,##0,", "1,235"},
        {"1234567", "0.0,,", "1.2"},
        {"1234567", "#,##0.0,", "1,234.6"},
        {"1234567", "0,.0", "1234.6"},
        {"123456789", "000-00-0000", "123-45-6789"},
        {"5.5", ".00", "5.50"},
        {"0.256", "0%", "26%"},
        {"0.256", "0.0%", "25.6%"},
        {"1", "0%", "100%"},
        {"12345", "0.00E+00", "1.23E+04"},
        {"0.00012345", "0.00E+00", "1.23E-04"},
        {"12345", "0.00E-00", "1.23E04"},
        {"0.00012345", "0.00e-0", "1.23e-4"},
        {"9.999", "0.00E+00", "1.00E+01"},
        {"0", "0.00E+00", "0.00E+00"},
        {"12345", "00.0E+0", "12.3E+3"},
        {"-12345", "0.0E+0", "-1.2E+4"},
        {"5", "\"Total: \"0", "Total: 5"},
        {"5", "0\\h", "5h"},
        {"5", "0 \"hours\"", "5 hours"},
        {"5", "$0.00", "$5.00"},
        {"-5", "$0.00", "-$5.00"},
        {"5", "0;(0);\"zero\"", "5"},
        {"-5", "0;(0);\"zero\"", "(5)"},
        {"0", "0;(0);\"zero\"", "zero"},
        {"0", "0.0;(0.0)", "0.0"},
        {"-5", "0;;\"z\"", "-5"},
        {"-5", "[Red]0.0;[Blue]-0.0", "-5.0"},
        {"-0.001", "0.00", "0.00"},
        {" 42 ", "0.0", "42.0"},
        {"1234.5", "0.00 ", "1234.50 "},
        {"2009-03-02", "#,##0", "39,874"},
        {"TRUE", "0", "TRUE"},
        {"", "0.00", ""},
        {"12abc", "0.00", "12abc"},
        {"n/a", "#,##0", "n/a"},
        {"anything", "", "anything"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPattern(c.v, c.pattern), c.want) << c.v << " / " << c.pattern;
}

TEST(FormatPattern, DatesAndTimes)
{
    struct Case { std::string v, pattern, want; };
    const Case cases[] = {
        {"2009-03-02", "dd/mm/yyyy", "02/03/2009"},
        {"2009-03-02", "d/m/yy", "2/3/09"},
        {"2009-03-02", "dddd, mmmm d, yyyy", "Monday, March 2, 2009"},
        {"2009-03-02", "ddd d mmm", "Mon 2 Mar"},
        {"2009-03-02", "DD.MM.YYYY", "02.03.2009"},
        {"2009-03-02", "yyyy", "2009"},
        {"2009-03-02", "y", "09"},
        {"1900-02-28", "dddd", "Wednesday"},
        {"1900-03-01", "dddd d mmmm yyyy", "Thursday 1 March 1900"},
        {"2000-02-29", "dddd", "Tuesday"},
        {"2009-03-02 14:05:09", "hh:mm:ss", "14:05:09"},
        {"2009-03-02 14:05:09", "h:mm AM/PM", "2:05 PM"},
        {"2009-03-02 00:05:00", "hh:nn am/pm", "12:05 am"},
        {"2009-03-02 12:00:00", "h A/P", "12 P"},
        {"2009-03-02 14:05:09", "yyyy-mm-dd hh:nn", "2009-03-02 14:05"},
        {"2009-03-02 14:05:09", "mm:ss", "05:09"},
        {"2009-03-02 14:05:09", "h \"h\" m \"min\"", "14 h 5 min"},
        {"2009-03-02 23:59:59.7", "hh:nn:ss", "00:00:00"},
        {"39874.5", "dd/mm/yyyy hh:nn", "02/03/2009 12:00"},
        {"0.75", "hh:nn", "18:00"},
        {"1899-12-30 08:30:00", "hh:nn", "08:30"},
        {"1900-01-00 08:30:00", "h:nn", "8:30"},
        {"08:30", "h:nn", "8:30"},
        {"2009-03-02", "Short Date", "02/03/2009"},
        {"2009-03-02", "short date", "02/03/2009"},
        {"2009-03-02", "Long Date", "02 March 2009"},
        {"2009-03-02", "Medium Date", "02-Mar-09"},
        {"2009-03-02", "General Date", "02/03/2009"},
        {"2009-03-02 08:30:00", "General Date", "02/03/2009 08:30:00"},
        {"08:30:00", "General Date", "08:30:00"},
        {"08:30:00", "Long Time", "08:30:00"},
        {"14:30", "Medium Time", "02:30 PM"},
        {"14:30", "Short Time", "14:30"},
        {"abc", "dd/mm/yyyy", "abc"},
        {"", "Short Date", ""},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(FormatPattern(c.v, c.pattern), c.want) << c.v << " / " << c.pattern;
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.v << " / " << c.pattern << " threw " << e.what();
        }
    }
}

TEST(FormatPattern, NamedFormats)
{
    struct Case { std::string v, pattern, want; };
    const Case cases[] = {
        {"1234.5", "General Number", "1234.5"},
        {"1e20", "General Number", "100000000000000000000"},
        {"0.1", "general number", "0.1"},
        {"2009-03-02", "General Number", "39874"},
        {"1234.5", "Fixed", "1234.50"},
        {"1234.5", "Standard", "1,234.50"},
        {"-1234.5", "STANDARD", "-1,234.50"},
        {"0.1234", "Percent", "12.34%"},
        {"1234.5", "Scientific", "1.23E+03"},
        {"1", "Yes/No", "Yes"},
        {"0", "Yes/No", "No"},
        {"-2", "on/off", "On"},
        {"TRUE", "True/False", "True"},
        {"false", "Yes/No", "No"},
        {"FALSE", "On/Off", "Off"},
        {"abc", "Yes/No", "abc"},
        {"", "Yes/No", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPattern(c.v, c.pattern), c.want) << c.v << " / " << c.pattern;
}

TEST(ReadDate, EverySerialRoundTripsThroughYmd)
{
    // Each serial gives the day after the previous one, and its ymd text
    // (as an ISO date) reads back to the same serial.
    auto nextDay = [](int y, int m, int d) {
        static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        if (d < days[m - 1] + (m == 2 && leap ? 1 : 0))
            return std::tuple{y, m, d + 1};
        return m < 12 ? std::tuple{y, m + 1, 1} : std::tuple{y + 1, 1, 1};
    };
    std::tuple<int, int, int> want{1900, 1, 1};
    for (int serial = 1; serial <= 80000; ++serial) {
        if (serial == 60)
            continue;  // the phantom 29 February 1900
        const std::string ymd = FormatCellValue(std::to_string(serial), "ymd", 0);
        const auto [y, m, d] = want;
        char expect[16];
        std::snprintf(expect, sizeof expect, "%04d%02d%02d", y, m, d);
        ASSERT_EQ(ymd, expect) << "serial " << serial;
        double back = 0;
        ASSERT_TRUE(ReadDate(ymd.substr(0, 4) + "-" + ymd.substr(4, 2) + "-" + ymd.substr(6, 2), back));
        ASSERT_EQ(back, serial);
        want = nextDay(y, m, d);
    }
}

TEST(FormatCellValue, ArbitraryTextFailsOnlyWithRunTimeErrors)
{
    // Pieces of numbers, dates and patterns glued at random: any result is
    // fine, but nothing may crash or throw anything but rt::RtError.
    const char* pieces[] = {"0", "#", ".", ",", "%", "E+", "e-", "\"", "\\", ";", "d", "mm", "yyyy",
        "h", "n", "ss", "AM/PM", "A/P", "[", "]", "-", "+", "&H", "&O", " ", "1", "9", "12", "2009",
        "/", ":", "March", "Mon", "T", "1e308", "#N/A", "999999999999999", "x"};
    const char* words[] = {"text", "0", "0.0", "0.00", "0.000", "dmy", "mdy", "ymd", "+0", "+dmy",
        "General Number", "Standard", "Scientific", "Short Date", "General Date", "Yes/No", ""};
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    auto randomText = [&] {
        std::string s;
        for (uint32_t i = 0, n = next(8); i < n; ++i)
            s += pieces[next(std::size(pieces))];
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string v = randomText();
        const std::string fmt = next(3) == 0 ? randomText() : words[next(std::size(words))];
        try {
            FormatCellValue(v, fmt, int16_t(next(7)));
        } catch (const rt::RtError&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "<" << v << "> <" << fmt << ">: " << e.what();
        }
    }
}
