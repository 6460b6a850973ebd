#include "workbook/Reference.h"

#include <gtest/gtest.h>

#include <tuple>

using wb::detail::ColumnName;
using wb::detail::ParseAddress;

namespace {

struct AddressCase {
    const char* text;
    const char* sheet;
    int firstRow, firstCol, lastRow, lastCol;
};

const AddressCase kAddresses[] = {
    {"B4", "", 3, 1, 3, 1},
    {"b4", "", 3, 1, 3, 1},
    {"$C$10:$C$16", "", 9, 2, 15, 2},
    {"C$10:$C16", "", 9, 2, 15, 2},
    {"D8:B2", "", 1, 1, 7, 3},  // normalised
    {"Sheet2!B4", "Sheet2", 3, 1, 3, 1},
    {"'My Sheet'!B2:C3", "My Sheet", 1, 1, 2, 2},
    {"'It''s'!A1", "It's", 0, 0, 0, 0},
    {"'A!B'!A1", "A!B", 0, 0, 0, 0},
    {"A1048576", "", 1048575, 0, 1048575, 0},
    {"XFD1", "", 0, 16383, 0, 16383},
    {"AA10", "", 9, 26, 9, 26},
    // whole rows and columns
    {"3:3", "", 2, 0, 2, 16383},
    {"$2:$4", "", 1, 0, 3, 16383},
    {"4:2", "", 1, 0, 3, 16383},
    {"A:A", "", 0, 0, 1048575, 0},
    {"$A:$C", "", 0, 0, 1048575, 2},
    {"c:a", "", 0, 0, 1048575, 2},
    {"XFD:XFD", "", 0, 16383, 1048575, 16383},
    {"1048576:1048576", "", 1048575, 0, 1048575, 16383},
    {"Sheet2!B:B", "Sheet2", 0, 1, 1048575, 1},
    {"'My Sheet'!$5:5", "My Sheet", 4, 0, 4, 16383},
};

TEST(ParseAddress, Table)
{
    for (const auto& c : kAddresses) {
        SCOPED_TRACE(c.text);
        auto a = ParseAddress(c.text);
        ASSERT_TRUE(a);
        EXPECT_EQ(std::tie(a->sheet, a->firstRow, a->firstCol, a->lastRow, a->lastCol),
                  std::tie(c.sheet, c.firstRow, c.firstCol, c.lastRow, c.lastCol));
    }
    const char* const bad[] = {"A1048577", "XFE1",  "AAAA1", "A0",       "A",        "1",           "",
                               "B4:",      "B4 ",   " B4",   "B4:C5:D6", "!B4",      "My Sheet!B4", "'Open!B4",
                               "''!B4",    "Total", "B4,C5", "$$B4",     "A99999999"};
    const char* const badRowsAndColumns[] = {"A:1",     "1:A",  "A:",   ":A",  "3",     "0:0",  "1048577:1048577",
                                             "XFE:XFE", "A1:B", "A:B2", "$:$", "3:3:3", "A:A ", "AAAA:AAAA",
                                             "3 : 3"};
    for (const char* text : bad)
        EXPECT_FALSE(ParseAddress(text)) << text;
    for (const char* text : badRowsAndColumns)
        EXPECT_FALSE(ParseAddress(text)) << text;
}

TEST(ColumnName, TableAndRoundTripThroughParseAddress)
{
    const std::pair<int, const char*> cases[] = {{0, "A"},   {25, "Z"},   {26, "AA"},   {51, "AZ"},
                                                 {52, "BA"}, {701, "ZZ"}, {702, "AAA"}, {16383, "XFD"}};
    for (const auto& [col, name] : cases)
        EXPECT_EQ(ColumnName(col), name) << col;
    for (int col = 0; col < 16384; col += 7) {
        auto a = ParseAddress(ColumnName(col) + "1");
        ASSERT_TRUE(a) << col;
        EXPECT_EQ(a->firstCol, col);
    }
}

}  // namespace

// The formula text the readers give a defined name: it must read back through
// ParseAddress to the same sheet and rectangle, however the sheet is named.
TEST(NameFormula, ReadsBackAsTheSameRectangle)
{
    struct Case {
        const char* sheet;
        wb::Range range;
        const char* formula;
    };
    const Case cases[] = {
        {"Sheet1", {0, 1, 1, 1, 1}, "Sheet1!$B$2"},       {"Sheet1", {0, 1, 1, 7, 2}, "Sheet1!$B$2:$C$8"},
        {"My Sheet", {0, 0, 0, 0, 0}, "'My Sheet'!$A$1"}, {"It's", {0, 0, 0, 0, 0}, "'It''s'!$A$1"},
        {"2019", {0, 0, 0, 0, 0}, "'2019'!$A$1"},         {"A!B", {0, 0, 26, 0, 26}, "'A!B'!$AA$1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formula);
        EXPECT_EQ(wb::detail::NameFormula(c.sheet, c.range), c.formula);
        const auto back = ParseAddress(c.formula);
        ASSERT_TRUE(back);
        EXPECT_EQ(std::tie(back->sheet, back->firstRow, back->firstCol, back->lastRow, back->lastCol),
                  std::tie(c.sheet, c.range.firstRow, c.range.firstCol, c.range.lastRow, c.range.lastCol));
    }
}
