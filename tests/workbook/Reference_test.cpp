#include "workbook/Reference.h"

#include <gtest/gtest.h>

using wb::detail::ColumnName;
using wb::detail::ParseAddress;

namespace {

struct AddressCase {
    const char* text;
    bool valid;
    const char* sheet;
    int firstRow, firstCol, lastRow, lastCol;
};

const AddressCase kAddresses[] = {
    {"B4", true, "", 3, 1, 3, 1},
    {"b4", true, "", 3, 1, 3, 1},
    {"$C$10:$C$16", true, "", 9, 2, 15, 2},
    {"C$10:$C16", true, "", 9, 2, 15, 2},
    {"D8:B2", true, "", 1, 1, 7, 3},  // normalised
    {"Sheet2!B4", true, "Sheet2", 3, 1, 3, 1},
    {"'My Sheet'!B2:C3", true, "My Sheet", 1, 1, 2, 2},
    {"'It''s'!A1", true, "It's", 0, 0, 0, 0},
    {"'A!B'!A1", true, "A!B", 0, 0, 0, 0},
    {"A1048576", true, "", 1048575, 0, 1048575, 0},
    {"XFD1", true, "", 0, 16383, 0, 16383},
    {"AA10", true, "", 9, 26, 9, 26},
    {"A1048577", false, "", 0, 0, 0, 0},
    {"XFE1", false, "", 0, 0, 0, 0},
    {"AAAA1", false, "", 0, 0, 0, 0},
    {"A0", false, "", 0, 0, 0, 0},
    {"A", false, "", 0, 0, 0, 0},
    {"1", false, "", 0, 0, 0, 0},
    {"A:A", false, "", 0, 0, 0, 0},
    {"1:1", false, "", 0, 0, 0, 0},
    {"", false, "", 0, 0, 0, 0},
    {"B4:", false, "", 0, 0, 0, 0},
    {"B4 ", false, "", 0, 0, 0, 0},
    {" B4", false, "", 0, 0, 0, 0},
    {"B4:C5:D6", false, "", 0, 0, 0, 0},
    {"!B4", false, "", 0, 0, 0, 0},
    {"My Sheet!B4", false, "", 0, 0, 0, 0},
    {"'Open!B4", false, "", 0, 0, 0, 0},
    {"''!B4", false, "", 0, 0, 0, 0},
    {"Total", false, "", 0, 0, 0, 0},
    {"B4,C5", false, "", 0, 0, 0, 0},
    {"$$B4", false, "", 0, 0, 0, 0},
    {"A99999999", false, "", 0, 0, 0, 0},
};

TEST(ParseAddress, Table)
{
    for (const auto& c : kAddresses) {
        SCOPED_TRACE(c.text);
        auto a = ParseAddress(c.text);
        ASSERT_EQ(a.has_value(), c.valid);
        if (!a)
            continue;
        EXPECT_EQ(a->sheet, c.sheet);
        EXPECT_EQ(a->firstRow, c.firstRow);
        EXPECT_EQ(a->firstCol, c.firstCol);
        EXPECT_EQ(a->lastRow, c.lastRow);
        EXPECT_EQ(a->lastCol, c.lastCol);
    }
}

TEST(ColumnName, Table)
{
    const std::pair<int, const char*> cases[] = {
        {0, "A"}, {1, "B"}, {25, "Z"}, {26, "AA"}, {27, "AB"}, {51, "AZ"}, {52, "BA"},
        {701, "ZZ"}, {702, "AAA"}, {16383, "XFD"},
    };
    for (const auto& [col, name] : cases)
        EXPECT_EQ(ColumnName(col), name) << col;
}

TEST(ColumnName, RoundTripsThroughParseAddress)
{
    for (int col = 0; col < 16384; col += 7) {
        auto a = ParseAddress(ColumnName(col) + "1");
        ASSERT_TRUE(a) << col;
        EXPECT_EQ(a->firstCol, col);
    }
}

}  // namespace
