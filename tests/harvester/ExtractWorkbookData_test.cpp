// Extraction of one workbook: the worked timesheet, references, quoting and
// the failures that must leave the data file untouched. Every case runs over
// the same form saved as .xlsx (xlsxwriter), .xls and .ods (LibreOffice).
#include "common/RtError.h"
#include "harvester/modExtractWorkbookData.h"
#include "tests/harvester/HarvestTestUtil.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

using namespace harvest_test;

namespace {

class Extract : public ::testing::TestWithParam<const char*> {
protected:
    std::string Book(const std::string& stem) const { return Fixture(stem + "." + GetParam()); }

    // The lines that one field over the names workbook gives.
    std::string Lines(const std::string& ref, const std::string& fmt)
    {
        auto book = wb::Workbook::Open(Book("names"));
        FormDefinition form{{{"F", ref, fmt}}};
        return ExtractLines(*book, form);
    }

    ScratchDir dir;
};

TEST_P(Extract, WorkedExampleGivesSevenLinesAfterTheHeader)
{
    std::string data = dir / "out.csv";
    ExtractWorkbookData(Book("timesheet"), TimesheetForm(dir / "form.dat"), data);
    EXPECT_EQ(ReadFile(data), std::string(kTimesheetHeader) + kTimesheetLines);
}

TEST_P(Extract, ExistingDataFileGetsNoHeaderEvenWhenEmpty)
{
    std::string data = dir / "out.dat";
    WriteFile(data, "");
    ExtractWorkbookData(Book("timesheet"), TimesheetForm(dir / "form.dat"), data);
    ExtractWorkbookData(Book("timesheet"), TimesheetForm(dir / "form.dat"), data);
    EXPECT_EQ(ReadFile(data), std::string(kTimesheetLines) + kTimesheetLines);
}

TEST_P(Extract, ReferencesAndItems)
{
    struct Row {
        const char* ref;
        const char* fmt;
        const char* lines;
    } rows[] = {
        {"EmpName", "text", "\"Ann\"\r\n"},
        {"empname", "TEXT", "\"Ann\"\r\n"},  // names and format words in any case
        {"B2", "", "Ann\r\n"},
        {"$B$2", "", "Ann\r\n"},
        {"Other", "", "second sheet\r\n"},  // a name on another sheet
        {"Sheet2!B4", "", "second sheet\r\n"},
        {"Numbers", "0", "1\r\n2\r\n3\r\n4\r\n5\r\n"},
        {"B10:B14", "+0", "1\r\n3\r\n5\r\n7\r\n9\r\n"},
        {"Letters", "text", "\"x\"\r\n\"y\"\r\n\"z\"\r\n"},  // a run along a row
        {"Block", "text", "\"\"\r\n\"\"\r\n"},               // two rows, two columns: nothing
    };
    for (const Row& r : rows)
        EXPECT_EQ(Lines(r.ref, r.fmt), r.lines) << r.ref << " / " << r.fmt;
}

TEST_P(Extract, ShortFieldsGoEmptyAfterTheirEnd)
{
    auto book = wb::Workbook::Open(Book("names"));
    FormDefinition form{{{"N", "EmpName", "text"}, {"Num", "Numbers", "0.00"}, {"L", "Letters", "0"}}};
    EXPECT_EQ(ExtractLines(*book, form),
              "\"Ann\",1.00,0\r\n\"Ann\",2.00,0\r\n\"Ann\",3.00,0\r\n\"Ann\",4.00,0\r\n\"Ann\",5.00,0\r\n");
    EXPECT_EQ(RangeLength(*book, "Numbers"), 5);
    EXPECT_EQ(RangeLength(*book, "letters"), 3);
    EXPECT_EQ(RangeLength(*book, "B10:C11"), 2);
    EXPECT_EQ(CellValue(*book, "Letters", 4), "");
    EXPECT_EQ(CellValue(*book, "EmpName", 4), "Ann");
}

TEST_P(Extract, ValuesThatWouldShiftColumnsAreQuoted)
{
    EXPECT_EQ(Lines("E2", ""), "\"Smith, \"\"Jr\"\"\"\r\n");
    EXPECT_EQ(Lines("E2", "text"), "\"Smith, \"\"Jr\"\"\"\r\n");
    EXPECT_EQ(Lines("F2", "#,##0"), "\"1,234,568\"\r\n");
    EXPECT_EQ(Lines("H2", ""), "\"line one\nline two\"\r\n");
}

TEST_P(Extract, ErrorCellUnderTextFormatIsItsText)
{
    EXPECT_EQ(Lines("G2", "text"), "\"#DIV/0!\"\r\n");
}

TEST_P(Extract, FailuresNameTheReferenceAndWriteNothing)
{
    struct Row {
        const char* ref;
        const char* fmt;
        const char* mustMention;
    } rows[] = {
        {"NoSuchName", "text", "NoSuchName"},  // neither a name nor an address
        {"Twoblocks", "text", "Twoblocks"},    // not one rectangle
        {"G2", "0.00", "#DIV/0!"},             // an error cell under a number format
        {"G2", "dmy", "#DIV/0!"},
        {"A1:A40000", "", "A1:A40000"},        // more than 32,767 items
    };
    for (const Row& r : rows) {
        std::string data = dir / "out.csv";
        WriteForm(dir / "f.dat", {{"Name", "B2", "text"}, {"Bad", r.ref, r.fmt}});
        try {
            ExtractWorkbookData(Book("names"), dir / "f.dat", data);
            ADD_FAILURE() << r.ref << " did not fail";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(r.mustMention), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(data)) << r.ref;
    }
}

TEST_P(Extract, DateWordOnEmptyCellFailsAndLeavesTheFileAlone)
{
    // The numbers would format, the dates are empty: no line at all.
    std::string data = dir / "out.csv";
    WriteFile(data, "kept\r\n");
    WriteForm(dir / "f.dat", {{"Num", "Numbers", "0"}, {"When", "C10:C14", "dmy"}});
    try {
        ExtractWorkbookData(Book("names"), dir / "f.dat", data);
        ADD_FAILURE() << "no type mismatch";
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.Number(), rt::TypeMismatch);
    }
    EXPECT_EQ(ReadFile(data), "kept\r\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, Extract, ::testing::Values("xlsx", "xls", "ods"));

TEST(ExtractSetup, OverflowIsErrorSix)
{
    auto book = wb::Workbook::Open(Fixture("names.xlsx"));
    try {
        RangeLength(*book, "B1:B32768");
        ADD_FAILURE();
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.Number(), rt::Overflow);
    }
    EXPECT_EQ(RangeLength(*book, "B1:B32767"), 32767);
}

TEST(ExtractSetup, NotAWorkbookFailsAndWritesNothing)
{
    ScratchDir dir;
    EXPECT_ANY_THROW(ExtractWorkbookData(Fixture("notabook.xlsx"), TimesheetForm(dir / "f.dat"), dir / "d.csv"));
    EXPECT_FALSE(fs::exists(dir / "d.csv"));
}

TEST(ExtractSetup, FormDefinitionFaults)
{
    ScratchDir dir;
    try {
        LoadFormDefinition(dir / "missing.dat");
        ADD_FAILURE();
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.Number(), rt::FileNotFound);
    }
    WriteFile(dir / "empty.dat", "0,0\r\n");
    try {
        LoadFormDefinition(dir / "empty.dat");
        ADD_FAILURE();
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.Number(), rt::SubscriptOutOfRange);
    }
    EXPECT_THROW(LoadFormDefinition(""), rt::FatalError);
}

TEST(ExtractSetup, FormDefinitionWithTwoColumnsReadsEmptyFormatWords)
{
    ScratchDir dir;
    WriteForm(dir / "f.dat", {{"Name", "B2"}, {"Day", "C2"}});
    FormDefinition form = LoadFormDefinition(dir / "f.dat");
    ASSERT_EQ(form.fields.size(), 2u);
    EXPECT_EQ(form.fields[1].format, "");
    EXPECT_EQ(HeaderLine(form), "Name,Day\r\n");
    // An empty format word copies the cell text: dates arrive as ISO text.
    EXPECT_EQ(ExtractLines(Fixture("timesheet.xlsx"), form), "Ann,2009-03-02\r\n");
}

TEST(ExtractSetup, HeaderQuotesOnlyNamesThatNeedIt)
{
    FormDefinition form{{{"Name", "B2", ""}, {"Hours, total", "C2", ""}}};
    EXPECT_EQ(HeaderLine(form), "Name,\"Hours, total\"\r\n");
}

}  // namespace
