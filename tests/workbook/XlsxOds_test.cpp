// Reading particulars of .xlsx and .ods files that the cross-format fixture
// set leaves out: inline strings, openpyxl's missing formula results, ISO
// date cells, absolute part targets, ODF repeats and merged cells
// (fixtures/gen_xlsx_ods.py).
#include "tests/workbook/Json.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using wb::CellType;

struct CellCase {
    const char* file;
    const char* reference;  // one cell, sheet-qualified where needed
    CellType type;
    const char* text;
};

const CellCase kCells[] = {
    // Inline strings, rich inline runs, kept spaces, escaped control characters.
    {"xlsx_inline.xlsx", "A1", CellType::Text, "plain"},
    {"xlsx_inline.xlsx", "A2", CellType::Text, "bold and plain"},
    {"xlsx_inline.xlsx", "A3", CellType::Text, "  spaced  "},
    {"xlsx_inline.xlsx", "A5", CellType::Text,
     "ctl\x01"
     "char _x0041_"},
    {"xlsx_inline.xlsx", "A6", CellType::Number, "3.5"},
    {"xlsx_inline.xlsx", "A7", CellType::Text, "Größe ½ – 日本"},
    {"xlsx_inline.xlsx", "A8", CellType::Empty, ""},
    // Formats that are and are not dates.
    {"xlsx_shared.xlsx", "Sheet1!C2", CellType::Date, "1900-02-28"},           // custom dd/mm/yyyy
    {"xlsx_shared.xlsx", "Sheet1!C4", CellType::Date, "1899-12-30 06:00:00"},  // a time alone
    {"xlsx_shared.xlsx", "Sheet1!C5", CellType::Date, "1900-01-01 12:00:00"},  // [h]:mm
    {"xlsx_shared.xlsx", "Sheet1!D3", CellType::Number, "7.25"},               // 0.0" h" is no date
    {"xlsx_shared.xlsx", "A1", CellType::Text, "on second"},                   // the active sheet
    {"xlsx_1904.xlsx", "A4", CellType::Date, "1904-01-01 06:00:00"},
    // openpyxl: no stored formula results, ISO date cells, a hidden first sheet.
    {"xlsx_openpyxl.xlsx", "A1", CellType::Number, "5"},
    {"xlsx_openpyxl.xlsx", "A2", CellType::Empty, ""},
    {"xlsx_openpyxl.xlsx", "A3", CellType::Date, "2009-03-02 12:00:00"},
    {"xlsx_openpyxl.xlsx", "A4", CellType::Date, "2009-03-02"},
    {"xlsx_openpyxl.xlsx", "B5", CellType::Text, "after a gap"},
    {"xlsx_openpyxl.xlsx", "Hidden!A1", CellType::Text, "hidden sheet"},
    // Absolute relationship targets, phonetic runs left out.
    {"xlsx_edited.xlsx", "Tokyo", CellType::Text, "東京"},
    {"xlsx_edited.xlsx", "A2", CellType::Number, "99"},
    // A .xlsx that goes by .xls.
    {"xlsx_renamed.xls", "Sheet1!B2", CellType::Number, "8"},
    // LibreOffice .ods: paragraphs, spaces, repeats, merged cells.
    {"ods_values.ods", "B3", CellType::Date, "1899-12-30 06:00:00"},
    {"ods_values.ods", "B4", CellType::Date, "1900-02-28"},
    {"ods_values.ods", "B5", CellType::Date, "1900-03-01"},
    {"ods_values.ods", "C4", CellType::Text, ""},
    {"ods_values.ods", "D1", CellType::Text, "first\nsecond"},
    {"ods_values.ods", "D2", CellType::Text, "a  b\tc"},
    {"ods_values.ods", "D4", CellType::Text, " lead"},
    {"ods_values.ods", "E1", CellType::Text, "merged"},
    {"ods_values.ods", "F1", CellType::Empty, ""},
    {"ods_values.ods", "F2", CellType::Empty, ""},
    {"ods_values.ods", "E10", CellType::Number, "7"},
    {"ods_values.ods", "F10", CellType::Empty, ""},
    {"ods_values.ods", "A19", CellType::Empty, ""},
    {"ods_values.ods", "A20", CellType::Text, "same"},
    {"ods_values.ods", "A25", CellType::Text, "same"},
    {"ods_values.ods", "A26", CellType::Empty, ""},
    {"ods_values.ods", "G30", CellType::Number, "1"},
    {"ods_values.ods", "Secret!A1", CellType::Text, "secret"},
    {"ods_1904.ods", "A2", CellType::Date, "1904-01-01"},
};

TEST(XlsxOdsCells, Table)
{
    std::map<std::string, std::unique_ptr<wb::Workbook>> open;
    for (const auto& c : kCells) {
        SCOPED_TRACE(std::string(c.file) + " " + c.reference);
        auto& book = open[c.file];
        if (!book)
            book = wb::Workbook::Open(testjson::Fixture(c.file));
        const wb::Range r = book->Resolve(c.reference);
        ASSERT_EQ(r.Rows() * r.Cols(), 1);
        const wb::CellValue v = book->Cell(r.sheet, r.firstRow, r.firstCol);
        EXPECT_STREQ(wb::CellTypeName(v.type), wb::CellTypeName(c.type));
        EXPECT_EQ(v.Text(), c.text);
    }
    EXPECT_EQ(open["xlsx_renamed.xls"]->FileFormat(), wb::Format::Xlsx);
    EXPECT_EQ(open["xlsx_openpyxl.xlsx"]->ActiveSheet(), 1);
    EXPECT_EQ(open["ods_values.ods"]->SheetNames(), (std::vector<std::string>{"Values", "Other", "Secret"}));
    EXPECT_EQ(open["ods_values.ods"]->ActiveSheet(), 0);
    EXPECT_TRUE(open["ods_1904.ods"]->Date1904());
    // Names of two areas or of a constant are no range to read.
    for (const char* name : {"Both", "Konst"})
        EXPECT_THROW(open["xlsx_shared.xlsx"]->Resolve(name), wb::Error);
    for (const char* name : {"Two", "Konst"})
        EXPECT_THROW(open["ods_values.ods"]->Resolve(name), wb::Error);
}

}  // namespace
