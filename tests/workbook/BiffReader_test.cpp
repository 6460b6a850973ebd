// The .xls reader over workbooks saved by LibreOffice and Gnumeric
// (fixtures/gen_xls.py writes them).
#include "workbook/Reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using wb::CellType;
using wb::CellValue;
using wb::Range;
using wb::detail::OpenXls;
using wb::detail::Reader;
using wb::detail::SheetCells;

std::string Fixture(const std::string& name)
{
    return std::string(TEST_DATA_DIR) + "/workbook/fixtures/xls/" + name;
}

const wb::DefinedName* FindName(const Reader& r, const std::string& name)
{
    for (const auto& n : r.names)
        if (n.name == name) return &n;
    return nullptr;
}

struct Writer {
    const char* tag;  // file suffix
    bool unicode;     // BIFF8: text beyond code page 1252 survives
};

class FormTest : public ::testing::TestWithParam<Writer> {
protected:
    std::string Path(const std::string& base) const { return Fixture(base + "_" + GetParam().tag + ".xls"); }
};

TEST_P(FormTest, SheetsActiveTabAndDateSystem)
{
    auto r = OpenXls(Path("form"));
    EXPECT_EQ(r->format, wb::Format::Xls);
    EXPECT_EQ(r->sheetNames, (std::vector<std::string>{"Data", "Form"}));
    EXPECT_EQ(r->sheetVisible, (std::vector<bool>{true, true}));
    EXPECT_EQ(r->activeSheet, 1);
    EXPECT_FALSE(r->date1904);
    EXPECT_TRUE(OpenXls(Path("form1904"))->date1904);
}

TEST_P(FormTest, NamesOfBothScopes)
{
    auto r = OpenXls(Path("form"));
    struct Row {
        const char* name;
        int scope;
        std::optional<Range> range;
    };
    const Row rows[] = {
        {"Total", -1, Range{1, 4, 3, 10, 3}},
        {"Start", -1, Range{1, 1, 2, 1, 2}},
        {"Form!Local", 1, Range{1, 1, 1, 1, 1}},
        {"Data!Local", 0, Range{0, 0, 0, 0, 0}},
        {"Rate", -1, std::nullopt},
        {"Both", -1, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const wb::DefinedName* n = FindName(*r, row.name);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->scopeSheet, row.scope);
        EXPECT_EQ(n->range, row.range);
        EXPECT_FALSE(n->formula.empty());
    }
}

struct Expect {
    int row, col;
    CellType type;
    double number;
    const char* text;
};

void CheckCells(const SheetCells& cells, const std::vector<Expect>& want)
{
    for (const Expect& e : want) {
        SCOPED_TRACE("row " + std::to_string(e.row + 1) + " col " + std::to_string(e.col + 1));
        const CellValue* v = cells.Get(e.row, e.col);
        if (e.type == CellType::Empty) {
            EXPECT_TRUE(v == nullptr || v->type == CellType::Empty);
            continue;
        }
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, e.type);
        if (e.type == CellType::Text || e.type == CellType::Error)
            EXPECT_EQ(v->text, e.text);
        else
            EXPECT_NEAR(v->number, e.number, 1e-9 * std::max(1.0, std::fabs(e.number)));
    }
}

TEST_P(FormTest, CellsOfEveryType)
{
    auto r = OpenXls(Path("form"));
    SheetCells cells;
    r->LoadSheet(1, cells);
    const double t = (12 * 3600 + 30 * 60 + 15) / 86400.0;
    std::vector<Expect> want = {
        {1, 1, CellType::Text, 0, "Ann"},
        {1, 2, CellType::Date, 39874, nullptr},
        {2, 2, CellType::Date, 39874 + t, nullptr},
        {3, 2, CellType::Date, 0.25, nullptr},  // a time of day only
        {4, 2, CellType::Number, 0.125, nullptr},  // a percentage is no date
        {4, 3, CellType::Number, 8, nullptr},
        {5, 3, CellType::Number, 7.5, nullptr},
        {6, 3, CellType::Number, -1234567.25, nullptr},
        {7, 3, CellType::Number, 0.1, nullptr},
        {8, 3, CellType::Number, 123456789012, nullptr},
        {9, 3, CellType::Empty, 0, nullptr},
        {1, 4, CellType::Boolean, 1, nullptr},
        {2, 4, CellType::Boolean, 0, nullptr},
        {2, 1, CellType::Text, 0, "Zoë – café €5"},
        {4, 1, CellType::Text, 0, "two\nlines"},
        {1, 6, CellType::Number, 15.5, nullptr},
        {2, 6, CellType::Text, 0, "abcd"},
        {3, 6, CellType::Boolean, 1, nullptr},
        {4, 6, CellType::Error, 0, "#DIV/0!"},
        {5, 6, CellType::Error, 0, "#N/A"},
        {6, 6, CellType::Text, 0, ""},
        {7, 6, CellType::Date, 43861, nullptr},
        {0, 0, CellType::Text, 0, "Name"},
    };
    if (GetParam().unicode) want.push_back({3, 1, CellType::Text, 0, "Ωμέγα 日本"});
    CheckCells(cells, want);
    // Exact values, not merely near ones.
    EXPECT_EQ(cells.Get(7, 3)->number, 0.1);
    EXPECT_EQ(cells.Get(6, 3)->number, -1234567.25);
}

TEST_P(FormTest, FirstSheetAndDatesIn1904)
{
    auto r = OpenXls(Path("form"));
    SheetCells data;
    r->LoadSheet(0, data);
    CheckCells(data, {{0, 0, CellType::Number, 42, nullptr}, {1, 0, CellType::Text, 0, "on the first sheet"}});
    EXPECT_EQ(data.Size(), 2u);

    auto r1904 = OpenXls(Path("form1904"));
    SheetCells form;
    r1904->LoadSheet(1, form);
    CheckCells(form, {{1, 2, CellType::Date, 39874 - 1462, nullptr}, {7, 6, CellType::Date, 43861 - 1462, nullptr}});
    EXPECT_TRUE(form.Get(1, 2)->date1904);
}

INSTANTIATE_TEST_SUITE_P(Writers, FormTest,
                         ::testing::Values(Writer{"lo8", true}, Writer{"gn8", true}, Writer{"gn5", false}),
                         [](const auto& info) { return std::string(info.param.tag); });

class StringsTest : public ::testing::TestWithParam<const char*> {};

TEST_P(StringsTest, SharedStringsAcrossContinueRecords)
{
    auto r = OpenXls(Fixture(std::string("strings_") + GetParam() + ".xls"));
    SheetCells cells;
    r->LoadSheet(0, cells);
    ASSERT_NE(cells.Get(0, 0), nullptr);
    EXPECT_EQ(cells.Get(0, 0)->text, std::string(9000, 'x'));
    std::string omega;
    for (int i = 0; i < 4200; ++i) omega += "Ω";
    ASSERT_NE(cells.Get(1, 0), nullptr);
    EXPECT_EQ(cells.Get(1, 0)->text, omega + "end");
    for (int i = 0; i < 800; ++i) {
        char want[16];
        std::snprintf(want, sizeof want, "s%03dé", i);
        const CellValue* v = cells.Get(4 + i / 20, i % 20);
        ASSERT_NE(v, nullptr) << i;
        ASSERT_EQ(v->text, want) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, StringsTest, ::testing::Values("lo8", "gn8"));

}  // namespace
