// Reading particulars of .xlsx and .ods files written by xlsxwriter,
// openpyxl, LibreOffice and Gnumeric (fixtures/gen_xlsx_ods.py).
#include "workbook/Reference.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::string Fixture(const std::string& name) { return std::string(TEST_DATA_DIR) + "/workbook/fixtures/" + name; }

struct CellCase {
    const char* file;
    const char* reference;  // one cell, sheet-qualified where needed
    wb::CellType type;
    const char* text;
};

using wb::CellType;

const CellCase kCells[] = {
    // Inline strings, rich inline runs, kept spaces, escaped control characters.
    {"xlsx_inline.xlsx", "A1", CellType::Text, "plain"},
    {"xlsx_inline.xlsx", "A2", CellType::Text, "bold and plain"},
    {"xlsx_inline.xlsx", "A3", CellType::Text, "  spaced  "},
    {"xlsx_inline.xlsx", "A4", CellType::Text, "line1\nline2"},
    {"xlsx_inline.xlsx", "A5", CellType::Text, "ctl\x01" "char _x0041_"},
    {"xlsx_inline.xlsx", "A6", CellType::Number, "3.5"},
    {"xlsx_inline.xlsx", "A7", CellType::Text, "Größe ½ – 日本"},
    {"xlsx_inline.xlsx", "A8", CellType::Empty, ""},
    // Shared strings with rich runs, date formats, stored formula results.
    {"xlsx_shared.xlsx", "Sheet1!A1", CellType::Text, "Rich bold and italic"},
    {"xlsx_shared.xlsx", "Sheet1!B3", CellType::Number, "7.5"},
    {"xlsx_shared.xlsx", "Sheet1!B4", CellType::Number, "0.1"},
    {"xlsx_shared.xlsx", "Sheet1!C1", CellType::Date, "2009-03-02"},           // built-in format 14
    {"xlsx_shared.xlsx", "Sheet1!C2", CellType::Date, "1900-02-28"},           // custom dd/mm/yyyy
    {"xlsx_shared.xlsx", "Sheet1!C3", CellType::Date, "2009-03-02 12:30:15"},
    {"xlsx_shared.xlsx", "Sheet1!C4", CellType::Date, "1899-12-30 06:00:00"},  // a time alone
    {"xlsx_shared.xlsx", "Sheet1!C5", CellType::Date, "1900-01-01 12:00:00"},  // [h]:mm
    {"xlsx_shared.xlsx", "Sheet1!D1", CellType::Number, "0.125"},              // percent
    {"xlsx_shared.xlsx", "Sheet1!D2", CellType::Number, "1234.5"},             // currency
    {"xlsx_shared.xlsx", "Sheet1!D3", CellType::Number, "7.25"},               // 0.0" h" is no date
    {"xlsx_shared.xlsx", "Sheet1!E1", CellType::Boolean, "TRUE"},
    {"xlsx_shared.xlsx", "Sheet1!E2", CellType::Boolean, "FALSE"},
    {"xlsx_shared.xlsx", "Sheet1!E3", CellType::Number, "2"},
    {"xlsx_shared.xlsx", "Sheet1!E4", CellType::Text, "abc"},
    {"xlsx_shared.xlsx", "Sheet1!E5", CellType::Boolean, "TRUE"},
    {"xlsx_shared.xlsx", "Sheet1!E6", CellType::Error, "#DIV/0!"},
    {"xlsx_shared.xlsx", "Sheet1!E7", CellType::Error, "#N/A"},
    {"xlsx_shared.xlsx", "Sheet1!F1", CellType::Text, "Größe ½"},
    {"xlsx_shared.xlsx", "A1", CellType::Text, "on second"},  // the active sheet
    // The 1904 date system.
    {"xlsx_1904.xlsx", "A1", CellType::Date, "2009-03-02"},
    {"xlsx_1904.xlsx", "A2", CellType::Date, "1904-01-01"},
    {"xlsx_1904.xlsx", "A3", CellType::Date, "2009-03-02 12:30:00"},
    {"xlsx_1904.xlsx", "A4", CellType::Date, "1904-01-01 06:00:00"},
    {"xlsx_1904.xlsx", "A5", CellType::Number, "38412"},
    // openpyxl: no stored formula results, ISO date cells, a hidden first sheet.
    {"xlsx_openpyxl.xlsx", "A1", CellType::Number, "5"},
    {"xlsx_openpyxl.xlsx", "A2", CellType::Empty, ""},
    {"xlsx_openpyxl.xlsx", "A3", CellType::Date, "2009-03-02 12:00:00"},
    {"xlsx_openpyxl.xlsx", "A4", CellType::Date, "2009-03-02"},
    {"xlsx_openpyxl.xlsx", "B5", CellType::Text, "after a gap"},
    {"xlsx_openpyxl.xlsx", "Hidden!A1", CellType::Text, "hidden sheet"},
    // Absolute relationship targets, phonetic runs left out.
    {"xlsx_edited.xlsx", "A1", CellType::Text, "東京"},
    {"xlsx_edited.xlsx", "Tokyo", CellType::Text, "東京"},
    {"xlsx_edited.xlsx", "A2", CellType::Number, "99"},
    // A .xlsx that goes by .xls.
    {"xlsx_renamed.xls", "Sheet1!B2", CellType::Number, "8"},
    // LibreOffice .ods: typed values, paragraphs, repeats, merged cells.
    {"ods_values.ods", "A1", CellType::Number, "8"},
    {"ods_values.ods", "A3", CellType::Number, "0.1"},
    {"ods_values.ods", "A4", CellType::Number, "0.125"},
    {"ods_values.ods", "A5", CellType::Number, "1234.5"},
    {"ods_values.ods", "B1", CellType::Date, "2009-03-02"},
    {"ods_values.ods", "B2", CellType::Date, "2009-03-02 12:30:15"},
    {"ods_values.ods", "B3", CellType::Date, "1899-12-30 06:00:00"},
    {"ods_values.ods", "B4", CellType::Date, "1900-02-28"},
    {"ods_values.ods", "B5", CellType::Date, "1900-03-01"},
    {"ods_values.ods", "C1", CellType::Boolean, "TRUE"},
    {"ods_values.ods", "C2", CellType::Error, "#DIV/0!"},
    {"ods_values.ods", "C3", CellType::Text, "abc"},
    {"ods_values.ods", "C4", CellType::Text, ""},
    {"ods_values.ods", "C5", CellType::Error, "#N/A"},
    {"ods_values.ods", "D1", CellType::Text, "first\nsecond"},
    {"ods_values.ods", "D2", CellType::Text, "a  b\tc"},
    {"ods_values.ods", "D3", CellType::Text, "Größe ½ – 日本"},
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
    {"ods_1904.ods", "A1", CellType::Date, "2009-03-02"},
    {"ods_1904.ods", "A2", CellType::Date, "1904-01-01"},
    {"ods_1904.ods", "A3", CellType::Date, "2009-03-02 12:30:00"},
    {"ods_1904.ods", "A4", CellType::Date, "1904-01-01 06:00:00"},
    // Gnumeric .ods: error results stored as their text.
    {"ods_active.ods", "Sheet1!E6", CellType::Error, "#DIV/0!"},
    {"ods_active.ods", "Sheet1!E4", CellType::Text, "abc"},
    {"ods_active.ods", "Sheet1!C1", CellType::Date, "2009-03-02"},
};

TEST(XlsxOdsCells, Table)
{
    std::map<std::string, std::unique_ptr<wb::Workbook>> open;
    for (const auto& c : kCells) {
        SCOPED_TRACE(std::string(c.file) + " " + c.reference);
        auto& book = open[c.file];
        if (!book)
            book = wb::Workbook::Open(Fixture(c.file));
        const wb::Range r = book->Resolve(c.reference);
        ASSERT_EQ(r.Rows(), 1);
        ASSERT_EQ(r.Cols(), 1);
        const wb::CellValue v = book->Cell(r.sheet, r.firstRow, r.firstCol);
        EXPECT_STREQ(wb::CellTypeName(v.type), wb::CellTypeName(c.type));
        EXPECT_EQ(v.Text(), c.text);
    }
}

struct BookCase {
    const char* file;
    wb::Format format;
    std::vector<std::string> sheets;
    int active;
    bool date1904;
};

TEST(XlsxOdsWorkbook, SheetsActiveSheetDateSystem)
{
    const BookCase cases[] = {
        {"xlsx_inline.xlsx", wb::Format::Xlsx, {"Inline"}, 0, false},
        {"xlsx_shared.xlsx", wb::Format::Xlsx, {"Sheet1", "Second"}, 1, false},
        {"xlsx_renamed.xls", wb::Format::Xlsx, {"Sheet1", "Second"}, 1, false},
        {"xlsx_1904.xlsx", wb::Format::Xlsx, {"Dates"}, 0, true},
        {"xlsx_openpyxl.xlsx", wb::Format::Xlsx, {"Hidden", "Visible"}, 1, false},
        {"xlsx_edited.xlsx", wb::Format::Xlsx, {"Data"}, 0, false},
        {"ods_values.ods", wb::Format::Ods, {"Values", "Other", "Secret"}, 0, false},
        {"ods_active.ods", wb::Format::Ods, {"Sheet1", "Second"}, 1, false},
        {"ods_1904.ods", wb::Format::Ods, {"Dates"}, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto book = wb::Workbook::Open(Fixture(c.file));
        EXPECT_EQ(book->FileFormat(), c.format);
        EXPECT_EQ(book->SheetNames(), c.sheets);
        EXPECT_EQ(book->ActiveSheet(), c.active);
        EXPECT_EQ(book->Date1904(), c.date1904);
    }
}

struct NameCase {
    const char* name;
    int scope;
    const char* range;  // "sheet!B2:B4", or "" for not a range
};

std::string Describe(const wb::DefinedName& n)
{
    return n.range ? std::to_string(n.range->sheet) + "!" + wb::RangeAddress(*n.range) : "";
}

void ExpectNames(const std::string& file, const std::vector<NameCase>& expected)
{
    SCOPED_TRACE(file);
    auto book = wb::Workbook::Open(Fixture(file));
    const auto& names = book->Names();
    ASSERT_EQ(names.size(), expected.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i].name, expected[i].name);
        EXPECT_EQ(names[i].scopeSheet, expected[i].scope) << names[i].name;
        EXPECT_EQ(Describe(names[i]), expected[i].range) << names[i].name;
    }
}

TEST(XlsxOdsNames, AsListed)
{
    ExpectNames("xlsx_shared.xlsx", {{"Both", -1, ""},
                                     {"Konst", -1, ""},
                                     {"Second!Local", 1, "1!A1"},
                                     {"Sheet1!Local", 0, "0!F1"},
                                     {"Total", -1, "0!B2:B4"}});
    ExpectNames("ods_values.ods", {{"Values!Local", 0, "0!D3"},
                                   {"Other!Local", 1, "1!B2"},
                                   {"Hours", -1, "0!A1:A3"},
                                   {"Konst", -1, ""},
                                   {"Start", -1, "0!B1"},
                                   {"Two", -1, ""}});
    ExpectNames("xlsx_edited.xlsx", {{"Tokyo", -1, "0!A1"}});
}

TEST(XlsxOdsNames, Resolution)
{
    auto xlsx = wb::Workbook::Open(Fixture("xlsx_shared.xlsx"));  // Second is active
    EXPECT_EQ(xlsx->Resolve("total"), (wb::Range{0, 1, 1, 3, 1}));
    EXPECT_EQ(xlsx->Resolve("Local"), (wb::Range{1, 0, 0, 0, 0}));         // the active sheet's own
    EXPECT_EQ(xlsx->Resolve("sheet1!local"), (wb::Range{0, 0, 5, 0, 5}));  // as listed
    EXPECT_EQ(xlsx->Resolve("$C$10:$C$16"), (wb::Range{1, 9, 2, 15, 2}));
    EXPECT_EQ(xlsx->Resolve("'Sheet1'!B2"), (wb::Range{0, 1, 1, 1, 1}));
    EXPECT_THROW(xlsx->Resolve("Konst"), wb::Error);
    EXPECT_THROW(xlsx->Resolve("Both"), wb::Error);
    EXPECT_THROW(xlsx->Resolve("Nowhere"), wb::Error);
    EXPECT_THROW(xlsx->Resolve("Third!A1"), wb::Error);

    auto ods = wb::Workbook::Open(Fixture("ods_values.ods"));  // Values is active
    EXPECT_EQ(ods->Resolve("HOURS"), (wb::Range{0, 0, 0, 2, 0}));
    EXPECT_EQ(ods->Resolve("Local"), (wb::Range{0, 2, 3, 2, 3}));
    EXPECT_EQ(ods->Resolve("Other!Local"), (wb::Range{1, 1, 1, 1, 1}));
    try {
        ods->Resolve("Konst");
        FAIL() << "a constant name resolved";
    } catch (const wb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Konst"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("ods_values.ods"), std::string::npos) << e.what();
    }
}

}  // namespace
