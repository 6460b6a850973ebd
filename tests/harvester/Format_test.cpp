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
#include <functional>
#include <random>

using namespace harvest_test;

namespace {

using wb::CellType;

// Every row of format_cases.tsv: the "== Function" section it is in names
// its number of fields and its check. A row is named by its line; a throw fails it.
TEST(FormatCases, EveryRowOfTheFile)
{
    const std::map<std::string, CellType> types = {
        {"empty", CellType::Empty}, {"number", CellType::Number}, {"text", CellType::Text}, {"date", CellType::Date}};
    auto format = [](const Strings& f) { return FormatCellValue(f[0], f[1], int16_t(std::stoi(f[2]))); };
    const std::map<std::string, std::pair<size_t, std::function<void(const Strings&)>>> checks = {
        {"FormatCellValue", {4, [&](const Strings& f) { EXPECT_EQ(format(f), f[3]); }}},
        {"FormatCellValue error",  // the error's number, and the value as its subject
         {4, [&](const Strings& f) { EXPECT_EQ(ThrownBy([&] { format(f); }).Said(), f[3] + " " + f[0]); }}},
        {"ReadNumber", {2, [](const Strings& f) { EXPECT_DOUBLE_EQ(ReadNumber(f[0]), std::stod(f[1])); }}},
        {"ReadDate",
         {2,
          [](const Strings& f) {
              double serial = -1;
              EXPECT_EQ(ReadDate(f[0], serial), f[1] != "no");
              EXPECT_NEAR(f[1] == "no" ? 0 : serial, f[1] == "no" ? 0 : std::stod(f[1]), 1e-9);
          }}},
        {"FormatPattern", {3, [](const Strings& f) { EXPECT_EQ(FormatPattern(f[0], f[1]), f[2]); }}},
        {"FormatPattern error",  // a pattern that shows no digit, named in the error
         {2,
          [](const Strings& f) {
              const Thrown t = ThrownBy([&] { FormatPattern(f[0], f[1]); });
              EXPECT_TRUE(t.number == rt::TypeMismatch && Contains(t.what, "pattern " + f[1])) << t.Said() << t.what;
          }}},
        {"FormatWordFor", {3, [&](const Strings& f) { EXPECT_EQ(FormatWordFor(f[0], types.at(f[1])), f[2]); }}},
        // What the pattern check lets through, the pattern language shows as the spreadsheet does.
        {"PatternUnderstood",
         {3,
          [](const Strings& f) { EXPECT_EQ(PatternUnderstood(f[0]) ? FormatPattern(f[1], f[0]) : "refused", f[2]); }}},
        {"PatternNotUnderstood", {1, [](const Strings& f) { EXPECT_FALSE(PatternUnderstood(f[0])); }}},
    };
    std::istringstream file(ReadFile(std::string(TEST_DATA_DIR) + "/harvester/format_cases.tsv"));
    std::set<std::string> seen;  // a header spelt wrong would leave rows unread
    std::string section, text;
    for (int line = 1; std::getline(file, text); ++line) {
        if (text.empty() || text.rfind("// ", 0) == 0)
            continue;
        SCOPED_TRACE("format_cases.tsv:" + std::to_string(line));
        Strings f(1);  // the fields, escapes undone
        for (size_t i = 0; i < text.size() && text.compare(i, 4, "\t// ") != 0; ++i) {
            const bool escaped = text[i] == '\\' && ++i;
            const size_t e = escaped ? std::string("\\tnr").find(i < text.size() ? text[i] : 0) : 0;
            if (e == std::string::npos)
                ADD_FAILURE() << "unknown escape";
            else if (!escaped && text[i] == '\t')
                f.emplace_back();
            else
                f.back() += escaped ? "\\\t\n\r"[e] : text[i];
        }
        if (text.rfind("== ", 0) == 0) {
            seen.insert(section = f[0].substr(3));
            ASSERT_TRUE(checks.count(section)) << section;
        } else {
            ASSERT_TRUE(checks.count(section)) << "a row before the first section";
            ASSERT_EQ(f.size(), checks.at(section).first);
            try {
                checks.at(section).second(f);
            } catch (const std::exception& e) {
                ADD_FAILURE() << "threw " << e.what();
            }
        }
    }
    EXPECT_EQ(seen.size(), checks.size());
    for (const std::string& v : {std::string("-1e309"), "1" + std::string(400, '0')})
        EXPECT_EQ(ThrownBy([&] { ReadNumber(v); }).number, rt::Overflow) << v;
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
// the result must be FormatCellValue of the cell's text, errors included, and
// a failing cell appends nothing. Date cells under date words take their day
// from the serial: the edges of that shortcut (the phantom 29 February 1900,
// times that round up to midnight, the last day, the 1904 system) are rows too.
TEST(AppendCellValue, GivesWhatTheCellsTextGives)
{
    std::vector<wb::CellValue> cells;
    std::mt19937_64 rng(16);
    const double pow10[] = {1, 10, 100, 1e3, 1e4, 1e5};
    std::vector<double> numbers;
    std::istringstream all("0 -0 7.25 -7.25 2.675 1.005 0.0005 -0.0005 0.30000000000000004 0.14285714285714285 "
                           "-0.6666666666666666 1e15 999999999999999 123456789012345.6 1e20 1e-7 1e300 1e-300 "
                           "1.7976931348623157e308 5e-324 45292 45292.75 9.995 99.9995 nan inf -inf 0.125 "
                           "-0.0049999 99999999.5 99999999.4 123456.7891 9999999.9995 -0.0005000001");
    for (std::string x; all >> x;)
        numbers.push_back(std::strtod(x.c_str(), nullptr));
    for (int i = 0; i < 300; ++i) {
        numbers.push_back((double(rng() % 2000000) - 1000000) / pow10[rng() % 6]);
        numbers.push_back(std::ldexp(double(rng() >> 11), int(rng() % 70) - 60));
    }
    for (int i = 0; i < 100; ++i) {  // halves of the shown decimals, and the doubles either side
        const double half = (double(rng() % 2000000) + 0.5) / pow10[1 + rng() % 4];
        numbers.insert(numbers.end(), {half, std::nextafter(half, 0.0), std::nextafter(half, 1e9), -half});
    }
    for (double x : numbers) {
        cells.push_back({CellType::Number, x, {}, false});
        if (std::isfinite(x) && x >= 0 && x < 3000000)
            cells.push_back({CellType::Date, x, {}, false});
    }
    for (double serial : {0.0, 0.5, 1.0, 59.0, 60.0, 60.5, 61.0, 61.99999999, 45292.5, 45292.999994, 45292.999995,
                          45292.99999999, 2958464.5, 2958465.0, 2958465.99999, 2958465.999999, 2958466.0, -1.0})
        cells.insert(cells.end(), {{CellType::Date, serial, {}, false}, {CellType::Date, serial, {}, true}});
    cells.insert(cells.end(), {{CellType::Boolean, 1, {}, false},
                               {CellType::Error, 0, "#N/A", false},
                               {CellType::Text, 0, "a \"quoted\", text", false},
                               {CellType::Text, 0, "2024-02-29 12:30:00", false},
                               {CellType::Text, 0, " 12.5 ", false},
                               {CellType::Empty, 0, {}, false}});
    const char* formats[] = {"0",    "0.0",  "0.00",     "0.000", "+0.00",
                             " +0 ", "text", "dmy",      "+mdy",  "ymd",
                             "+ymd", "",     "Standard", "0.0%",  "dd/mm/yyyy hh:nn"};
    for (const auto& c : cells) {
        for (const char* fmt : formats) {
            for (int16_t k : {0, 1, 3}) {
                SCOPED_TRACE(std::string(wb::CellTypeName(c.type)) + (c.date1904 ? " 1904 " : " ") + c.Text() +
                             " fmt=<" + fmt + "> k=" + std::to_string(k));
                std::string want = "prefix:", got = want;
                const int wantError = ThrownBy([&] { want += FormatCellValue(c.Text(), fmt, k); }).number,
                          gotError = ThrownBy([&] { AppendCellValue(got, c, ReadCellFormat(fmt), k); }).number;
                EXPECT_EQ("error " + std::to_string(gotError) + " " + got,
                          "error " + std::to_string(wantError) + " " + want);
            }
        }
    }
}

}  // namespace
