// Number formats: those of single cells, formatted blanks included (the blank
// form and its filled copy, written by xlsxwriter, converted by LibreOffice
// to .xls and .ods, saved by the npm package xlsx as .xlsb), the built-in
// ones, and which codes are dates.
#include "workbook/NumberFormat.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <string>

// Form!B2 text, D2 date, B3 0 decimals, B5 1, C5 2, D5 3, B11 percentage,
// B12 scientific, B13 fraction, B14 none; A1 holds text without a format.
const std::tuple<int, int, const char*> kForm[] = {
    {1, 1, "@"},    {1, 3, "dd/mm/yyyy"}, {2, 1, "0"},     {4, 1, "0.0"},       {8, 1, "0.0"},
    {4, 2, "0.00"}, {4, 3, "0.000"},      {10, 1, "0.0%"}, {11, 1, "0.00E+00"}, {12, 1, "# ?/?"},
    {13, 1, ""},    {0, 0, ""},           {30, 5, ""}};

TEST(CellFormat, EveryFormatOfTheForm)
{
    for (const char* file :
         {"template.xlsx", "template.xls", "template.ods", "filled.xlsx", "filled.xls", "filled.ods", "filled.xlsb"}) {
        SCOPED_TRACE(file);
        auto book = wb::Workbook::Open(std::string(TEST_DATA_DIR) + "/harvester/fixtures/define/" + file);
        for (const auto& [row, col, expected] : kForm) {
            SCOPED_TRACE(std::to_string(row) + "," + std::to_string(col));
            const std::string code = book->NumberFormat(0, row, col);
            // LibreOffice spells the date with capitals in .xls; the npm
            // package keeps only the formats of cells with a value.
            if (std::string(expected) == "dd/mm/yyyy") {
                EXPECT_STRCASEEQ(code.c_str(), expected);
            } else if (!std::string(file).ends_with(".xlsb") || row <= 4 || row >= 10) {
                EXPECT_EQ(code, expected);
            }
        }
        EXPECT_THROW(book->NumberFormat(5, 0, 0), wb::Error);  // outside the sheets
    }
}

TEST(BuiltinFormats, CodesAndDates)
{
    const std::pair<int, const char*> rows[] = {{0, ""},   {1, "0"},         {2, "0.00"}, {4, "#,##0.00"},
                                                {9, "0%"}, {14, "mm-dd-yy"}, {49, "@"},   {164, ""}};
    for (const auto& [id, code] : rows)
        EXPECT_EQ(wb::detail::BuiltinFormatCode(id), code) << id;
    for (int id = 0; id < 200; ++id) {
        const bool expected =
            (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
        EXPECT_EQ(wb::detail::IsBuiltinDateFormat(id), expected) << id;
    }
}

TEST(IsDateFormatCode, Table)
{
    for (const char* code :
         {"General", "0.00", "#,##0", "[Blue]#,##0;[Red]-#,##0", "0.00E+00", "##0.0e-0", "0%", "@", "\"days\" 0",
          "0\" h\"", "0\\h", "_(* #,##0_);_(* (#,##0)", "[$$-409]#,##0.00", "[$€-407] #,##0.00", "[>=100]0;0.0",
          "#,##0 \"Stunden\"", "", "0.00;\"h\"", "\"unterminated"})
        EXPECT_FALSE(wb::detail::IsDateFormatCode(code)) << code;
    for (const char* code : {"yyyy-mm-dd", "d-mmm-yy", "DD.MM.YYYY", "mmm yyyy", "hh:mm", "h:mm AM/PM", "[h]:mm:ss",
                             "[mm]:ss", "[ss]", "[$-409]mmmm d, yyyy", "[Red]dd/mm/yy", "\"Date: \"dd/mm/yyyy",
                             "ge.m.d", "General;dd/mm/yyyy", "[$-F800]dddd, mmmm dd, yyyy"})
        EXPECT_TRUE(wb::detail::IsDateFormatCode(code)) << code;
}
