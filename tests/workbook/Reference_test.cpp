#include "workbook/Reference.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <tuple>

using namespace wb::detail;

namespace {

// A parsed address as "sheet!B2:C3".
std::string Text(const std::optional<Address>& a)
{
    return a ? a->sheet + "!" + wb::RangeAddress({0, a->firstRow, a->firstCol, a->lastRow, a->lastCol}) : "no address";
}

TEST(ParseAddress, Table)
{
    // Cells and ranges, normalised; whole rows and columns: "text -> parsed;".
    std::istringstream good(
        "B4 -> !B4;b4 -> !B4;$C$10:$C$16 -> !C10:C16;C$10:$C16 -> !C10:C16;D8:B2 -> !B2:D8;Sheet2!B4 -> Sheet2!B4;"
        "'My Sheet'!B2:C3 -> My Sheet!B2:C3;'It''s'!A1 -> It's!A1;'A!B'!A1 -> A!B!A1;A1048576 -> !A1048576;"
        "XFD1 -> !XFD1;AA10 -> !AA10;3:3 -> !A3:XFD3;$2:$4 -> !A2:XFD4;4:2 -> !A2:XFD4;A:A -> !A1:A1048576;"
        "$A:$C -> !A1:C1048576;c:a -> !A1:C1048576;XFD:XFD -> !XFD1:XFD1048576;"
        "1048576:1048576 -> !A1048576:XFD1048576;Sheet2!B:B -> Sheet2!B1:B1048576;'My Sheet'!$5:5 -> My Sheet!A5:XFD5");
    for (std::string row; std::getline(good, row, ';');)
        EXPECT_EQ(Text(ParseAddress(row.substr(0, row.find(" -> ")))), row.substr(row.find(" -> ") + 4)) << row;
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
    for (int col = 0; col < 16384; col += 7)  // and back
        EXPECT_EQ(ParseAddress(ColumnName(col) + "1").value_or(Address{"", 0, -1}).firstCol, col);
}

}  // namespace
