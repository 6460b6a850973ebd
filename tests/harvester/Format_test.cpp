// Cell formatting: one row per rule of the format words, the "+" offset,
// rounding, lenient number and date reading, the pattern language and the
// errors.
#include "harvester/modFormatCellValue.h"

#include "common/RtError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <tuple>

namespace {

struct Case {
    std::string v, fmt;
    int k;
    std::string want;
};

// fn(v, fmt, k) for every row; a throw is a failure.
template <class Fn>
void Check(const std::vector<Case>& cases, Fn fn)
{
    for (const auto& c : cases) {
        SCOPED_TRACE("v=<" + c.v + "> fmt=<" + c.fmt + "> k=" + std::to_string(c.k));
        try {
            EXPECT_EQ(fn(c.v, c.fmt, int16_t(c.k)), c.want);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "threw " << e.what();
        }
    }
}

}  // namespace

TEST(FormatCellValue, FormatWordsOffsetsAndRounding)
{
    Check(
        {
            // text
            {"say \"hi\"", "TEXT", 0, "\"say \"\"hi\"\"\""},
            {"5", "+text", 2, "\"5\""},       // no offset on text
            {"#N/A", "text", 0, "\"#N/A\""},  // an error value as text is still text
            {" 7 ", " text ", 0, "\" 7 \""},
            // number words
            {"7.25", "0", 0, "7"},
            {"7.25", "0.0", 0, "7.3"},
            {"7.25", "0.00", 0, "7.25"},
            {"7.25", "0.000", 0, "7.250"},
            {"", "0.000", 0, "0.000"},
            {"1234567.891", "0.00", 0, "1234567.89"},  // no thousands separator
            {"12abc", "0.00", 0, "12.00"},
            {"TRUE", "0", 0, "1"},
            {"2009-03-02 12:00:00", "0.0", 0, "39874.5"},  // a date counts as its serial
            {"1899-12-30 12:00:00", "0.0", 0, "0.5"},      // a time of day alone
            {"1e300", "0", 0, "1" + std::string(300, '0')},
            // halves away from zero on the shown digits
            {"-7.25", "0.0", 0, "-7.3"},
            {"2.675", "0.00", 0, "2.68"},   // the double is 2.67499999...
            {"1.005", "+0.00", 1, "2.01"},  // the sum's noise is cut at 15 digits
            {"2.5", "0", 0, "3"},
            {"-0.5", "0", 0, "-1"},
            {"-99.95", "0.0", 0, "-100.0"},
            {"-0.001", "0.00", 0, "0.00"},  // no minus sign on a shown zero
            {"100000000000000.5", "0", 0, "100000000000001"},
            {"1000000000000000.5", "0", 0, "1000000000000000"},  // 15 significant digits
            // the "+" offset
            {"1", "+0", 2, "3"},
            {"1", "0", 2, "1"},
            {"", "+0.0", 3, "3.0"},
            {"2009-01-30", "+dmy", 2, "01/02/2009"},
            {"2008-12-31", "+YMD", 1, "20090101"},
            {"1234.5", "+#,##0.00", 2, "1,234.50"},  // no offset on patterns
            {"5", "+", 3, "5"},                      // "+" alone: empty pattern
            // date words, 1900 and leap years
            {"2009-03-02 23:59:59", "dmy", 0, "02/03/2009"},
            {"2009-03-02", "mdy", 0, "03/02/2009"},
            {"2009-03-02", "ymd", 0, "20090302"},
            {"1900-02-28", "+dmy", 1, "01/03/1900"},
            {"59", "+dmy", 1, "01/03/1900"},
            {"2024-02-28", "+dmy", 1, "29/02/2024"},
            {"2023-02-28", "+dmy", 1, "01/03/2023"},
            {"39874.75", "dmy", 0, "02/03/2009"},
            {"Monday, 2 March 2009", "dmy", 0, "02/03/2009"},
            // other words are patterns
            {"1234567", "#,##0", 0, "1,234,567"},
            {" spaced ", "", 0, " spaced "},
            {"#N/A", "", 0, "#N/A"},
        },
        FormatCellValue);
    EXPECT_EQ(QuoteText("c\"d"), "\"c\"\"d\"");
}

TEST(FormatCellValue, Errors)
{
    struct Err {
        std::string v, fmt;
        int k, number;
    };
    const Err cases[] = {
        {"", "+mdy", 0, 13},
        {"abc", "ymd", 0, 13},
        {"1900-02-29", "dmy", 0, 13},
        {"2100-02-29", "dmy", 0, 13},
        {"31/02/2009", "dmy", 0, 13},
        {"2009-03-02 25:00", "dmy", 0, 13},
        {"60", "dmy", 0, 13},
        {"0", "dmy", 0, 13},
        {"2958466", "dmy", 0, 13},
        {"08:30:00", "dmy", 0, 13},
        {"TRUE", "dmy", 0, 13},
        {"#DIV/0!", "0.00", 0, 13},
        {"#REF!", "+0.000", 0, 13},
        {"#NAME?", "dmy", 0, 13},
        {"#DIV/0!", "#,##0", 0, 13},
        {"60", "dd/mm/yyyy", 0, 13},
        {"-1", "Short Date", 0, 13},
        {"9999-12-31", "+dmy", 1, rt::Overflow},
        {"1e400", "0", 0, rt::Overflow},
    };
    for (const auto& c : cases) {
        try {
            FormatCellValue(c.v, c.fmt, int16_t(c.k));
            ADD_FAILURE() << c.v << " / " << c.fmt << " did not throw";
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), c.number) << c.v << " / " << c.fmt;
            EXPECT_EQ(e.Subject(), c.v);
        }
    }
    EXPECT_EQ(FormatCellValue("9999-12-31", "+dmy", 0), "31/12/9999");
}

TEST(ReadNumber, Lenient)
{
    struct Num {
        std::string v;
        double want;
    };
    const Num cases[] = {
        {"", 0},           {"abc", 0},      {"12abc", 12}, {"1 234.5", 1234.5}, {"- 7.25", -7.25}, {"+3", 3},
        {"--3", 0},        {".5", 0.5},     {"5.", 5},     {"1.2.3", 1.2},      {"1E-3", 0.001},   {"1 e 3", 1000},
        {"1e+", 1},        {"1.5e2x", 150}, {"1,5", 1},    {"1\t2\n3", 123},    {"3\r4", 3},       {"&h 1 F", 31},
        {"&HFFFF", 65535}, {"&O777", 511},  {"&O9", 0},    {"&X5", 0},          {"1e-400", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ReadNumber(c.v), c.want) << "<" << c.v << ">";
    for (const std::string& v : {std::string("-1e309"), "1" + std::string(400, '0')}) {
        try {
            ReadNumber(v);
            ADD_FAILURE() << v << " did not throw";
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), rt::Overflow) << v;
        }
    }
}

TEST(ReadDate, FormsAndSerialsOfThe1900System)
{
    struct Date {
        std::string v;
        double serial;
    };  // serial -1: not a date
    const Date cases[] = {
        {"1900-02-28", 59},
        {"1900-03-01", 61},
        {"1900-02-29", -1},
        {"59", 59},
        {"60", -1},
        {"39874.5", 39874.5},
        {"2009-03-02 2:30 PM", 39874 + 14.5 / 24},
        {"2009-03-02 12:00 AM", 39874},
        {"2009-03-02 13:00 PM", -1},
        {"2009-03-02 06:00:00.5", 39874.25 + 0.5 / 86400},
        {"9999-12-31", 2958465},
        {"10000-01-01", -1},
        {"08:30", -1},
        {"2009-03-02 12:60", -1},
        {"2009-03-02 junk", -1},
        {"2009-03/02", -1},
        {"2009/03/02", 39874},
        {"2009.3.2", 39874},
        {"2/3/2009", 39874},
        {"02.03.2009", 39874},
        {"2-3-09", 39874},
        {"31/12/99", 36525},
        {"1/1/29", 47119},
        {"1/1/30", 10959},
        {"2 March 2009", 39874},
        {"2-Mar-09", 39874},
        {"2 Sept 2009", 40058},
        {"March 2, 2009", 39874},
        {"Mon 2 Mar 2009", 39874},
        {"2 Mar, 2009", -1},
        {"2009-03-02T08:30", 39874 + 8.5 / 24},
        {" 2009-03-02 ", 39874},
    };
    for (const auto& c : cases) {
        double serial = -1;
        EXPECT_EQ(ReadDate(c.v, serial), c.serial >= 0) << c.v;
        if (c.serial >= 0) {
            EXPECT_NEAR(serial, c.serial, 1e-9) << c.v;
        }
    }
}

TEST(FormatPattern, NumbersDatesAndNamedFormats)
{
    Check(
        {
            {"0.5", "#.##", 0, ".5"},
            {"5", "#.##", 0, "5."},
            {"0", "#", 0, ""},
            {"7", "000", 0, "007"},
            {"-1234.5", "#,##0.00", 0, "-1,234.50"},
            {"999.995", "#,##0.00", 0, "1,000.00"},
            {"1234567", "#,##0,", 0, "1,235"},
            {"1234567", "0.0,,", 0, "1.2"},
            {"1234567", "0,.0", 0, "1234.6"},
            {"123456789", "000-00-0000", 0, "123-45-6789"},
            {"0.256", "0.0%", 0, "25.6%"},
            {"0.00012345", "0.00E+00", 0, "1.23E-04"},
            {"12345", "0.00E-00", 0, "1.23E04"},
            {"9.999", "0.00E+00", 0, "1.00E+01"},
            {"0", "0.00E+00", 0, "0.00E+00"},
            {"12345", "00.0E+0", 0, "12.3E+3"},
            {"5", "\"Total: \"0\\h", 0, "Total: 5h"},
            {"-5", "$0.00", 0, "-$5.00"},
            {"-5", "0;(0);\"zero\"", 0, "(5)"},
            {"0", "0;(0);\"zero\"", 0, "zero"},
            {"0", "0.0;(0.0)", 0, "0.0"},
            {"-5", "0;;\"z\"", 0, "-5"},
            {"-5", "[Red]0.0;[Blue]-0.0", 0, "-5.0"},
            {"1234.5", "0.00 ", 0, "1234.50 "},
            {"2009-03-02", "#,##0", 0, "39,874"},
            {"TRUE", "0", 0, "TRUE"},
            {"12abc", "0.00", 0, "12abc"},
            {"2009-03-02", "dddd, mmmm d, yy", 0, "Monday, March 2, 09"},
            {"2009-03-02", "DDD D MMM Y", 0, "Mon 2 Mar 09"},
            {"1900-02-28", "dddd", 0, "Wednesday"},
            {"1900-03-01", "dddd", 0, "Thursday"},
            {"2009-03-02 14:05:09", "hh:mm:ss", 0, "14:05:09"},
            {"2009-03-02 14:05:09", "mm:ss", 0, "05:09"},
            {"2009-03-02 14:05:09", "h:mm AM/PM", 0, "2:05 PM"},
            {"2009-03-02 00:05:00", "hh:nn am/pm", 0, "12:05 am"},
            {"2009-03-02 12:00:00", "h A/P", 0, "12 P"},
            {"2009-03-02 23:59:59.7", "hh:nn:ss", 0, "00:00:00"},
            {"0.75", "hh:nn", 0, "18:00"},
            {"08:30", "h:nn", 0, "8:30"},
            {"2009-03-02", "short date", 0, "02/03/2009"},
            {"2009-03-02", "Long Date", 0, "02 March 2009"},
            {"2009-03-02", "Medium Date", 0, "02-Mar-09"},
            {"2009-03-02 08:30:00", "General Date", 0, "02/03/2009 08:30:00"},
            {"08:30:00", "General Date", 0, "08:30:00"},
            {"14:30", "Medium Time", 0, "02:30 PM"},
            {"14:30", "Short Time", 0, "14:30"},
            {"abc", "dd/mm/yyyy", 0, "abc"},
            {"", "Short Date", 0, ""},
            {"1e20", "General Number", 0, "100000000000000000000"},
            {"1234.5", "Fixed", 0, "1234.50"},
            {"-1234.5", "STANDARD", 0, "-1,234.50"},
            {"0.1234", "Percent", 0, "12.34%"},
            {"1234.5", "Scientific", 0, "1.23E+03"},
            {"-2", "on/off", 0, "On"},
            {"false", "Yes/No", 0, "No"},
            {"TRUE", "True/False", 0, "True"},
            {"abc", "Yes/No", 0, "abc"},
        },
        [](const std::string& v, const std::string& p, int16_t) { return FormatPattern(v, p); });
}

TEST(FormatPattern, ZeroTextPlaceholderCurrencyAndLiterals)
{
    Check(
        {
            // exactly zero keeps one integer digit where the pattern has a 0
            {"0", "0%", 0, "0%"},
            {"0", "0.00%", 0, "0.00%"},
            {"0", "#%", 0, "%"},
            {"0", "#,##0%", 0, "0%"},
            {"0", "Percent", 0, "0.00%"},
            {"", "0%", 0, ""},
            {"0.5", "0%", 0, "50%"},
            {"-0.25", "0%", 0, "-25%"},
            {"0", "00.0%", 0, "00.0%"},
            {"0", "0.00E+00%", 0, "0.00E+00%"},
            // @ stands for the value's own text
            {"7.25", "@", 0, "7.25"},
            {"Ann", "\"Name: \"@", 0, "Name: Ann"},
            {"12", "@ kg", 0, "12 kg"},
            {"2009-03-02", "@", 0, "2009-03-02"},
            {"-3", "0;(0);\"zero\";@", 0, "(3)"},
            {"abc", "0;(0);\"zero\";\"<\"@\">\"", 0, "<abc>"},
            {"abc", "0.00", 0, "abc"},  // no text section: text stays as it is
            // Currency: thousands, two decimals, negatives in parentheses, no symbol
            {"1234.5", "Currency", 0, "1,234.50"},
            {"-1234.5", "CURRENCY", 0, "(1,234.50)"},
            {"0", "currency", 0, "0.00"},
            {"1234567.891", "Currency", 0, "1,234,567.89"},
            {"abc", "Currency", 0, "abc"},
            {"0.005", "Currency", 0, "0.01"},
            // letters and signs outside the pattern language are literal text
            {"5", "0 kg", 0, "5 kg"},
            {"5", "0.0 m", 0, "5.0 m"},
            {"5", "0 Hours", 0, "5 Hours"},
            {"2.5", "0.0 \"per day\"", 0, "2.5 per day"},
            {"5", "~0!", 0, "~5!"},
            {"5", ">0", 0, ">5"},
            {"12", "#,##0 each", 0, "12 each"},
            {"5", "0 YD", 0, "5 YD"},
        },
        [](const std::string& v, const std::string& p, int16_t) { return FormatPattern(v, p); });
}

TEST(FormatPattern, APatternThatShowsNoDigitIsAnErrorNamingIt)
{
    const std::pair<std::string, std::string> cases[] = {
        {"5", ">"},  {"0", ">"},       {"-5", "\"abc\""},     {"5", "%"}, {"5", ","}, {"5", "E+"},
        {"5", ";0"}, {"1234.5", "kg"}, {"2009-03-02", "\\x"},
    };
    for (const auto& [v, pattern] : cases) {
        SCOPED_TRACE(v + " / " + pattern);
        try {
            const std::string out = FormatPattern(v, pattern);
            ADD_FAILURE() << "gave <" << out << ">";
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), rt::TypeMismatch);
            EXPECT_NE(std::string(e.what()).find("pattern " + pattern), std::string::npos) << e.what();
        }
    }
    // Under a format word the same pattern fails the same way; a text value has no digits to lose.
    EXPECT_THROW(FormatCellValue("5", ">", 0), rt::RtError);
    EXPECT_EQ(FormatPattern("abc", ">"), "abc");
    EXPECT_EQ(FormatPattern("5", "0;\"minus\""), "5");  // a later section may show text alone
    EXPECT_EQ(FormatPattern("-5", "0;\"minus\""), "minus");
}

TEST(ReadDate, EverySerialRoundTripsThroughYmd)
{
    int y = 1900, m = 1, d = 1;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int serial = 1; serial <= 80000; ++serial) {
        if (serial == 60)
            continue;  // the phantom 29 February 1900
        char expect[16];
        std::snprintf(expect, sizeof expect, "%04d%02d%02d", y, m, d);
        const std::string ymd = FormatCellValue(std::to_string(serial), "ymd", 0);
        ASSERT_EQ(ymd, expect) << "serial " << serial;
        double back = 0;
        ASSERT_TRUE(ReadDate(ymd.substr(0, 4) + "-" + ymd.substr(4, 2) + "-" + ymd.substr(6, 2), back));
        ASSERT_EQ(back, serial);
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        if (++d > days[m - 1] + (m == 2 && leap))
            d = 1, m = m == 12 ? (++y, 1) : m + 1;
    }
}

TEST(FormatCellValue, ArbitraryTextFailsOnlyWithRunTimeErrors)
{
    // Pieces of numbers, dates and patterns glued at random: any result is
    // fine, but nothing may crash or throw anything but rt::RtError.
    const char* pieces[] = {"0",
                            "#",
                            ".",
                            ",",
                            "%",
                            "E+",
                            "e-",
                            "\"",
                            "\\",
                            ";",
                            "d",
                            "mm",
                            "yyyy",
                            "h",
                            "n",
                            "ss",
                            "AM/PM",
                            "A/P",
                            "[",
                            "]",
                            "-",
                            "+",
                            "&H",
                            "&O",
                            " ",
                            "1",
                            "9",
                            "12",
                            "2009",
                            "/",
                            ":",
                            "March",
                            "Mon",
                            "T",
                            "1e308",
                            "#N/A",
                            "999999999999999",
                            "x",
                            "text",
                            "dmy",
                            "General Date",
                            "Yes/No"};
    uint32_t seed = 12345;
    auto randomText = [&] {
        std::string s;
        for (uint32_t n = (seed = seed * 1103515245u + 12345u) >> 8; n % 8; n /= 8)
            s += pieces[((seed = seed * 1103515245u + 12345u) >> 8) % std::size(pieces)];
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string v = randomText(), fmt = (i % 2 ? "+" : "") + randomText();
        try {
            FormatCellValue(v, fmt, int16_t(i % 7));
        } catch (const rt::RtError&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "<" << v << "> <" << fmt << ">: " << e.what();
        }
    }
}

// The extraction formats cells without building their text where it can;
// the result must be FormatCellValue of the cell's text, errors included.
TEST(AppendCellValue, GivesWhatTheCellsTextGives)
{
    using wb::CellType;
    std::vector<wb::CellValue> cells;
    std::mt19937_64 rng(16);
    const double pow10[] = {1, 10, 100, 1e3, 1e4, 1e5};
    std::vector<double> numbers = {0,
                                   -0.0,
                                   7.25,
                                   -7.25,
                                   2.675,
                                   1.005,
                                   0.0005,
                                   -0.0005,
                                   0.1 + 0.2,
                                   1.0 / 7,
                                   -2.0 / 3,
                                   1e15,
                                   1e15 - 1,
                                   123456789012345.6,
                                   1e20,
                                   1e-7,
                                   1e300,
                                   1e-300,
                                   1.7976931348623157e308,
                                   5e-324,
                                   45292,
                                   45292.75,
                                   9.995,
                                   99.9995,
                                   std::nan(""),
                                   HUGE_VAL,
                                   -HUGE_VAL};
    for (int i = 0; i < 300; ++i) {
        numbers.push_back((double(rng() % 2000000) - 1000000) / pow10[rng() % 6]);
        numbers.push_back(std::ldexp(double(rng() >> 11), int(rng() % 70) - 60));
    }
    for (double x : numbers) {
        cells.push_back({CellType::Number, x, {}, false});
        if (std::isfinite(x) && x >= 0 && x < 3000000)
            cells.push_back({CellType::Date, x, {}, false});
    }
    cells.push_back({CellType::Date, 1000, {}, true});
    cells.push_back({CellType::Boolean, 1, {}, false});
    cells.push_back({CellType::Error, 0, "#N/A", false});
    cells.push_back({CellType::Text, 0, "a \"quoted\", text", false});
    cells.push_back({CellType::Text, 0, "2024-02-29 12:30:00", false});
    cells.push_back({CellType::Text, 0, " 12.5 ", false});
    cells.push_back({CellType::Empty, 0, {}, false});
    const char* formats[] = {"0",   "0.0",  "0.00", "0.000", "+0.00",    " +0 ", "text",
                             "dmy", "+mdy", "ymd",  "",      "Standard", "0.0%", "dd/mm/yyyy hh:nn"};
    for (const auto& c : cells) {
        for (const char* fmt : formats) {
            for (int16_t k : {0, 3}) {
                SCOPED_TRACE(std::string(wb::CellTypeName(c.type)) + " " + c.Text() + " fmt=<" + fmt +
                             "> k=" + std::to_string(k));
                std::string want, got = "prefix:";
                int wantError = 0, gotError = 0;
                try {
                    want = "prefix:" + FormatCellValue(c.Text(), fmt, k);
                } catch (const rt::RtError& e) {
                    wantError = e.Number();
                }
                try {
                    AppendCellValue(got, c, ReadCellFormat(fmt), k);
                } catch (const rt::RtError& e) {
                    gotError = e.Number();
                }
                EXPECT_EQ(gotError, wantError);
                if (!wantError && !gotError) {
                    EXPECT_EQ(got, want);
                }
            }
        }
    }
}
