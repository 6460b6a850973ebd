// Reading particulars of .xlsx and .ods files that the cross-format fixture
// set leaves out: inline strings, openpyxl's missing formula results, ISO
// date cells, absolute part targets, ODF repeats and merged cells
// (fixtures/gen_xlsx_ods.py).
#include "tests/workbook/Json.h"
#include "workbook/Reader.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

// Each file's cells as "reference type:text", the reference sheet-qualified where needed.
const std::pair<const char*, std::vector<std::string>> kCells[] = {
    // Inline strings, rich inline runs, kept spaces, escaped control characters.
    {"xlsx_inline.xlsx",
     {"A1 text:plain", "A2 text:bold and plain", "A3 text:  spaced  ", "A5 text:ctl\001char _x0041_", "A6 number:3.5",
      "A7 text:Größe ½ – 日本", "A8 empty:"}},
    // Formats that are and are not dates: custom dd/mm/yyyy, a time alone, [h]:mm and 0.0" h"; A1 on the active sheet.
    {"xlsx_shared.xlsx",
     {"Sheet1!C2 date:1900-02-28", "Sheet1!C4 date:1899-12-30 06:00:00", "Sheet1!C5 date:1900-01-01 12:00:00",
      "Sheet1!D3 number:7.25", "A1 text:on second"}},
    // openpyxl: no stored formula results, ISO date cells, a hidden first sheet.
    {"xlsx_openpyxl.xlsx",
     {"A1 number:5", "A2 empty:", "A3 date:2009-03-02 12:00:00", "A4 date:2009-03-02", "B5 text:after a gap",
      "Hidden!A1 text:hidden sheet"}},
    // Absolute relationship targets, phonetic runs left out.
    {"xlsx_edited.xlsx", {"Tokyo text:東京", "A2 number:99"}},
    // A .xlsx that goes by .xls.
    {"xlsx_renamed.xls", {"Sheet1!B2 number:8"}},
    // LibreOffice .ods: paragraphs, spaces, repeats, merged cells.
    {"ods_values.ods",
     {"B3 date:1899-12-30 06:00:00", "B4 date:1900-02-28", "B5 date:1900-03-01", "C4 text:", "D1 text:first\nsecond",
      "D2 text:a  b\tc", "D4 text: lead", "E1 text:merged", "F1 empty:", "F2 empty:", "E10 number:7", "F10 empty:",
      "A19 empty:", "A20 text:same", "A25 text:same", "A26 empty:", "G30 number:1", "Secret!A1 text:secret"}},
};

TEST(XlsxOdsCells, Table)
{
    std::map<std::string, std::unique_ptr<wb::Workbook>> open;
    for (const auto& [file, cells] : kCells) {
        SCOPED_TRACE(file);
        auto& book = open[file] = wb::Workbook::Open(testjson::Fixture(file));
        EXPECT_EQ(testjson::ReadCells(*book, cells), cells);
    }
    EXPECT_EQ(std::tuple(open["xlsx_renamed.xls"]->FileFormat(), open["xlsx_openpyxl.xlsx"]->ActiveSheet(),
                         open["ods_values.ods"]->SheetNames(), open["ods_values.ods"]->ActiveSheet()),
              std::tuple(wb::Format::Xlsx, 1, std::vector<std::string>{"Values", "Other", "Secret"}, 0));
    // Names of two areas or of a constant are no range to read.
    for (const char* name : {"Both", "Konst"})
        EXPECT_THROW(open["xlsx_shared.xlsx"]->Resolve(name), wb::Error);
    for (const char* name : {"Two", "Konst"})
        EXPECT_THROW(open["ods_values.ods"]->Resolve(name), wb::Error);
}

TEST(XlsxParts, RelationshipTargetsAsPartNames)
{
    // "folder|target=part name;"
    std::istringstream rows("xl/|worksheets/sheet1.xml=xl/worksheets/sheet1.xml;|xl/workbook.xml=xl/workbook.xml;"
                            "xl/|/xl/styles.xml=xl/styles.xml;xl/|sheet.=xl/sheet.;"
                            "xl/|../customXml/item1.xml=customXml/item1.xml;xl/|./styles.xml=xl/styles.xml;"
                            "xl/|a/./b/../c.xml=xl/a/c.xml;xl/|worksheets//sheet1.xml=xl/worksheets/sheet1.xml;"
                            "xl/|work%20sheets/sheet%31.xml=xl/work sheets/sheet1.xml;"
                            "xl/|worksheets\\sheet1.xml=xl/worksheets/sheet1.xml;xl/|a/=xl/a;xl/|../..=;xl/|/=;|=;");
    for (std::string folder, target, part;
         std::getline(rows, folder, '|') && std::getline(rows, target, '=') && std::getline(rows, part, ';');)
        EXPECT_EQ(wb::detail::ResolvePartTarget(folder, target), part) << folder << target;
}
