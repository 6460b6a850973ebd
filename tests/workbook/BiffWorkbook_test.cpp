// The .xls reader behind wb::Workbook: what the extraction sees of a form
// saved as BIFF8 and BIFF5.
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class XlsWorkbookTest : public ::testing::TestWithParam<const char*> {
protected:
    std::unique_ptr<wb::Workbook> Open(const std::string& base) const
    {
        return wb::Workbook::Open(std::string(TEST_DATA_DIR) + "/workbook/fixtures/xls/" + base + "_" + GetParam() +
                                  ".xls");
    }
};

TEST_P(XlsWorkbookTest, ReferencesAndCellTexts)
{
    auto book = Open("form");
    EXPECT_EQ(book->FileFormat(), wb::Format::Xls);
    EXPECT_EQ(book->ActiveSheet(), 1);
    EXPECT_EQ(book->Resolve("total"), (wb::Range{1, 4, 3, 10, 3}));
    // A sheet-level name of the active sheet answers to its bare name.
    EXPECT_EQ(book->Resolve("Local"), (wb::Range{1, 1, 1, 1, 1}));
    EXPECT_EQ(book->Resolve("Data!Local"), (wb::Range{0, 0, 0, 0, 0}));
    EXPECT_THROW(book->Resolve("Rate"), wb::Error);

    struct Row {
        const char* ref;
        const char* type;
        const char* text;
    };
    const Row rows[] = {
        {"B2", "text", "Ann"},          {"C2", "date", "2009-03-02"},       {"C3", "date", "2009-03-02 12:30:15"},
        {"C5", "number", "0.125"},      {"D6", "number", "7.5"},            {"D8", "number", "0.1"},
        {"D9", "number", "123456789012"}, {"D11", "empty", ""},            {"E2", "boolean", "TRUE"},
        {"G2", "number", "15.5"},       {"G3", "text", "abcd"},             {"G4", "boolean", "TRUE"},
        {"G5", "error", "#DIV/0!"},     {"G6", "error", "#N/A"},            {"G7", "text", ""},
        {"G8", "date", "2020-01-31"},   {"Data!A1", "number", "42"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.ref);
        const wb::Range r = book->Resolve(row.ref);
        const wb::CellValue v = book->Cell(r.sheet, r.firstRow, r.firstCol);
        EXPECT_STREQ(wb::CellTypeName(v.type), row.type);
        EXPECT_EQ(v.Text(), row.text);
    }

    // The same dates in the 1904 system give the same texts.
    auto book1904 = Open("form1904");
    EXPECT_TRUE(book1904->Date1904());
    EXPECT_EQ(book1904->Cell(1, 1, 2).Text(), "2009-03-02");
    EXPECT_EQ(book1904->Cell(1, 7, 6).Text(), "2020-01-31");
}

INSTANTIATE_TEST_SUITE_P(Writers, XlsWorkbookTest, ::testing::Values("lo8", "gn8", "gn5"));

}  // namespace
