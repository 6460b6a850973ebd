// Cell formatting: the rows of format_cases.tsv (format words, the "+"
// offset, rounding, lenient number and date reading, the pattern language
// and its errors), every serial's date, random text, and the extraction's
// own formatting of cells against FormatCellValue.
#include "harvester/modFormatCellValue.h"

#include "harvester/FormTypeFromWorkbook.h"
#include "tests/harvester/HarvestTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <random>
#include <string>

using namespace harvest_test;

namespace {

// The rows of each "== Function" section of format_cases.tsv: line number
// and fields, escapes undone.
using Rows = std::vector<std::pair<int, std::vector<std::string>>>;
std::map<std::string, Rows> ReadCases()
{
    std::map<std::string, Rows> sections;
    std::istringstream file(ReadFile(std::string(TEST_DATA_DIR) + "/harvester/format_cases.tsv"));
    std::string section, text;
    for (int line = 1; std::getline(file, text); ++line) {
        if (text.empty() || text.rfind("// ", 0) == 0)
            continue;
        std::vector<std::string> f(1);
        for (size_t i = 0; i < text.size() && text.compare(i, 4, "\t// ") != 0; ++i) {
            const bool escaped = text[i] == '\\' && ++i;
            const size_t e = escaped ? std::string("\\tnr").find(i < text.size() ? text[i] : 0) : 0;
            if (e == std::string::npos)
                ADD_FAILURE() << "format_cases.tsv:" << line << ": unknown escape";
            else if (!escaped && text[i] == '\t')
                f.emplace_back();
            else
                f.back() += escaped ? "\\\t\n\r"[e] : text[i];
        }
        if (text.rfind("== ", 0) == 0)
            section = f[0].substr(3);
        else
            sections[section].push_back({line, f});
    }
    // Each of the nine sections has its test: a header spelt wrong would leave rows unread.
    EXPECT_EQ(sections.size(), 9u);
    EXPECT_EQ(sections.count(""), 0u) << "format_cases.tsv: rows before the first section";
    return sections;
}

// check(fields) on each row of a section, naming the row's line; a throw is a failure.
template <class Fn>
void ForRows(const std::string& section, size_t fields, Fn check)
{
    static const std::map<std::string, Rows> cases = ReadCases();
    ASSERT_TRUE(cases.count(section)) << section;
    for (const auto& [line, f] : cases.at(section)) {
        SCOPED_TRACE("format_cases.tsv:" + std::to_string(line));
        ASSERT_EQ(f.size(), fields);
        try {
            check(f);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "threw " << e.what();
        }
    }
}

using Fields = std::vector<std::string>;

TEST(FormatCases, FormatCellValue)
{
    ForRows("FormatCellValue", 4,
            [](const Fields& f) { EXPECT_EQ(FormatCellValue(f[0], f[1], int16_t(std::stoi(f[2]))), f[3]); });
    EXPECT_EQ(FormatCellValue("1e300", "0", 0), "1" + std::string(300, '0'));
    EXPECT_EQ(QuoteText("c\"d"), "\"c\"\"d\"");
}

TEST(FormatCases, FormatCellValueErrorsNameTheValue)
{
    ForRows("FormatCellValue error", 4, [](const Fields& f) {
        const Thrown t = ThrownBy([&] { FormatCellValue(f[0], f[1], int16_t(std::stoi(f[2]))); });
        EXPECT_EQ(t.number, std::stoi(f[3])) << t.what;
        EXPECT_EQ(t.subject, f[0]);
    });
}

TEST(FormatCases, ReadNumber)
{
    ForRows("ReadNumber", 2, [](const Fields& f) { EXPECT_DOUBLE_EQ(ReadNumber(f[0]), std::stod(f[1])); });
    for (const std::string& v : {std::string("-1e309"), "1" + std::string(400, '0')})
        EXPECT_EQ(ThrownBy([&] { ReadNumber(v); }).number, rt::Overflow) << v;
}

TEST(FormatCases, ReadDate)
{
    ForRows("ReadDate", 2, [](const Fields& f) {
        double serial = -1;
        EXPECT_EQ(ReadDate(f[0], serial), f[1] != "no");
        if (f[1] != "no") {
            EXPECT_NEAR(serial, std::stod(f[1]), 1e-9);
        }
    });
}

TEST(FormatCases, FormatPattern)
{
    ForRows("FormatPattern", 3, [](const Fields& f) { EXPECT_EQ(FormatPattern(f[0], f[1]), f[2]); });
}

TEST(FormatCases, APatternThatShowsNoDigitIsAnErrorNamingIt)
{
    ForRows("FormatPattern error", 2, [](const Fields& f) {
        const Thrown t = ThrownBy([&] { FormatPattern(f[0], f[1]); });
        EXPECT_EQ(t.number, rt::TypeMismatch);
        EXPECT_TRUE(Contains(t.what, "pattern " + f[1])) << t.what;
    });
}

TEST(FormatCases, FormatWordForANumberFormat)
{
    using wb::CellType;
    const std::map<std::string, CellType> types = {
        {"empty", CellType::Empty}, {"number", CellType::Number}, {"text", CellType::Text}, {"date", CellType::Date}};
    ForRows("FormatWordFor", 3, [&](const Fields& f) { EXPECT_EQ(FormatWordFor(f[0], types.at(f[1])), f[2]); });
}

// What the pattern check lets through, the pattern language shows as the
// spreadsheet does.
TEST(FormatCases, PatternUnderstoodAgreesWithFormatPattern)
{
    ForRows("PatternUnderstood", 3, [](const Fields& f) {
        EXPECT_TRUE(PatternUnderstood(f[0]));
        EXPECT_EQ(FormatPattern(f[1], f[0]), f[2]);
    });
    ForRows("PatternNotUnderstood", 1, [](const Fields& f) { EXPECT_FALSE(PatternUnderstood(f[0])); });
}

TEST(ReadDate, EverySerialRoundTripsThroughYmd)
{
    using namespace std::chrono;
    for (int serial = 1; serial <= 80000; ++serial) {
        if (serial == 60)
            continue;  // the phantom 29 February 1900
        const year_month_day day{sys_days{1899y / December / 30} + days{serial + (serial < 60)}};
        char expect[16];
        std::snprintf(expect, sizeof expect, "%04d%02u%02u", int(day.year()), unsigned(day.month()),
                      unsigned(day.day()));
        const std::string ymd = FormatCellValue(std::to_string(serial), "ymd", 0);
        ASSERT_EQ(ymd, expect) << "serial " << serial;
        double back = 0;
        ASSERT_TRUE(ReadDate(ymd.substr(0, 4) + "-" + ymd.substr(4, 2) + "-" + ymd.substr(6, 2), back));
        ASSERT_EQ(back, serial);
    }
}

TEST(FormatCellValue, ArbitraryTextFailsOnlyWithRunTimeErrors)
{
    // Pieces of numbers, dates and patterns glued at random: any result is
    // fine, but nothing may crash or throw anything but rt::RtError.
    std::vector<std::string> pieces;
    std::istringstream all("0|#|.|,|%|E+|e-|\"|\\|;|d|mm|yyyy|h|n|ss|AM/PM|A/P|[|]|-|+|&H|&O| |1|9|12|2009|/|:|March|"
                           "Mon|T|1e308|#N/A|999999999999999|x|text|dmy|General Date|Yes/No");
    for (std::string p; std::getline(all, p, '|');)
        pieces.push_back(p);
    uint32_t seed = 12345;
    auto randomText = [&] {
        std::string s;
        for (uint32_t n = (seed = seed * 1103515245u + 12345u) >> 8; n % 8; n /= 8)
            s += pieces[((seed = seed * 1103515245u + 12345u) >> 8) % pieces.size()];
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string v = randomText(), fmt = (i % 2 ? "+" : "") + randomText();
        const Thrown t = ThrownBy([&] { FormatCellValue(v, fmt, int16_t(i % 7)); });
        EXPECT_NE(t.number, -1) << "<" << v << "> <" << fmt << ">: " << t.what;
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
    std::vector<double> numbers;
    std::istringstream all("0 -0 7.25 -7.25 2.675 1.005 0.0005 -0.0005 0.30000000000000004 0.14285714285714285 "
                           "-0.6666666666666666 1e15 999999999999999 123456789012345.6 1e20 1e-7 1e300 1e-300 "
                           "1.7976931348623157e308 5e-324 45292 45292.75 9.995 99.9995 nan inf -inf");
    for (std::string x; all >> x;)
        numbers.push_back(std::strtod(x.c_str(), nullptr));
    for (int i = 0; i < 300; ++i) {
        numbers.push_back((double(rng() % 2000000) - 1000000) / pow10[rng() % 6]);
        numbers.push_back(std::ldexp(double(rng() >> 11), int(rng() % 70) - 60));
    }
    for (double x : numbers) {
        cells.push_back({CellType::Number, x, {}, false});
        if (std::isfinite(x) && x >= 0 && x < 3000000)
            cells.push_back({CellType::Date, x, {}, false});
    }
    cells.insert(cells.end(), {{CellType::Date, 1000, {}, true},
                               {CellType::Boolean, 1, {}, false},
                               {CellType::Error, 0, "#N/A", false},
                               {CellType::Text, 0, "a \"quoted\", text", false},
                               {CellType::Text, 0, "2024-02-29 12:30:00", false},
                               {CellType::Text, 0, " 12.5 ", false},
                               {CellType::Empty, 0, {}, false}});
    const char* formats[] = {"0",   "0.0",  "0.00", "0.000", "+0.00",    " +0 ", "text",
                             "dmy", "+mdy", "ymd",  "",      "Standard", "0.0%", "dd/mm/yyyy hh:nn"};
    for (const auto& c : cells) {
        for (const char* fmt : formats) {
            for (int16_t k : {0, 3}) {
                SCOPED_TRACE(std::string(wb::CellTypeName(c.type)) + " " + c.Text() + " fmt=<" + fmt +
                             "> k=" + std::to_string(k));
                std::string want = "prefix:", got = want;
                const int wantError = ThrownBy([&] { want += FormatCellValue(c.Text(), fmt, k); }).number,
                          gotError = ThrownBy([&] { AppendCellValue(got, c, ReadCellFormat(fmt), k); }).number;
                EXPECT_EQ(gotError ? "error " + std::to_string(gotError) : got,
                          wantError ? "error " + std::to_string(wantError) : want);
            }
        }
    }
}

// Date cells under date words take their day from the serial: the edges of
// that shortcut (the phantom 29 February 1900, times that round up to
// midnight, the last day, the 1904 system) against the cell's text.
TEST(AppendCellValue, DateCellsGiveWhatTheirTextGives)
{
    std::istringstream serials("0 0.5 1 59 60 60.5 61 61.99999999 45292.5 45292.999994 45292.999995 "
                               "45292.99999999 2958464.5 2958465 2958465.99999 2958465.999999 2958466 -1");
    for (double serial; serials >> serial;) {
        for (bool date1904 : {false, true}) {
            const wb::CellValue c{wb::CellType::Date, serial, {}, date1904};
            for (const char* fmt : {"dmy", "+mdy", "ymd", "+ymd"}) {
                for (int16_t k : {0, 1, 3}) {
                    SCOPED_TRACE(std::to_string(serial) + (date1904 ? " 1904 " : " ") + c.Text() + " fmt=" + fmt +
                                 " k=" + std::to_string(k));
                    std::string want = "prefix:", got = want;
                    const int wantError = ThrownBy([&] { want += FormatCellValue(c.Text(), fmt, k); }).number;
                    EXPECT_EQ(ThrownBy([&] { AppendCellValue(got, c, ReadCellFormat(fmt), k); }).number, wantError);
                    EXPECT_EQ(got, want);
                }
            }
        }
    }
}

}  // namespace
