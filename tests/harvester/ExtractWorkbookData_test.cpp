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
    ScratchDir dir;
};

TEST_P(Extract, WorkedExampleGivesSevenLinesAndHeaderOnlyForANewFile)
{
    const std::string form = TimesheetForm(dir / "form.dat");
    ExtractWorkbookData(Book("timesheet"), form, dir / "new.csv");
    EXPECT_EQ(ReadFile(dir / "new.csv"), std::string(kTimesheetHeader) + kTimesheetLines);
    WriteFile(dir / "old.dat", "");  // existing, even empty: no header
    ExtractWorkbookData(Book("timesheet"), form, dir / "old.dat");
    ExtractWorkbookData(Book("timesheet"), form, dir / "old.dat");
    EXPECT_EQ(ReadFile(dir / "old.dat"), std::string(kTimesheetLines) + kTimesheetLines);
}

TEST_P(Extract, ReferencesItemsAndQuoting)
{
    struct Row {
        const char *ref, *fmt, *lines;
    } rows[] = {
        {"empname", "TEXT", "\"Ann\"\r\n"},  // names and format words in any case
        {"$B$2", "", "Ann\r\n"},
        {"Other", "", "second sheet\r\n"},  // a name on another sheet
        {"Sheet2!B4", "", "second sheet\r\n"},
        {"Numbers", "0", "1\r\n2\r\n3\r\n4\r\n5\r\n"},
        {"B10:B14", "+0", "1\r\n3\r\n5\r\n7\r\n9\r\n"},
        {"Letters", "text", "\"x\"\r\n\"y\"\r\n\"z\"\r\n"},  // a run along a row
        {"Block", "text", "\"\"\r\n\"\"\r\n"},               // two rows, two columns: nothing
        // values that would shift columns are quoted
        {"E2", "", "\"Smith, \"\"Jr\"\"\"\r\n"},
        {"F2", "#,##0", "\"1,234,568\"\r\n"},
        {"H2", "", "\"line one\nline two\"\r\n"},
        {"G2", "text", "\"#DIV/0!\"\r\n"},  // an error cell under "text" is its text
    };
    auto book = wb::Workbook::Open(Book("names"));
    for (const Row& r : rows) {
        const FormDefinition form{{{"F", r.ref, r.fmt}}};
        EXPECT_EQ(ExtractLines(*book, form), r.lines) << r.ref << " / " << r.fmt;
    }
}

TEST_P(Extract, ShortFieldsGoEmptyAfterTheirEnd)
{
    auto book = wb::Workbook::Open(Book("names"));
    FormDefinition form{{{"N", "EmpName", "text"}, {"Num", "Numbers", "0.00"}, {"L", "Letters", "0"}}};
    EXPECT_EQ(ExtractLines(*book, form),
              "\"Ann\",1.00,0\r\n\"Ann\",2.00,0\r\n\"Ann\",3.00,0\r\n\"Ann\",4.00,0\r\n\"Ann\",5.00,0\r\n");
    EXPECT_EQ(RangeLength(*book, "B10:C11"), 2);
    EXPECT_EQ(CellValue(*book, "Letters", 4), "");
    EXPECT_EQ(CellValue(*book, "EmpName", 4), "Ann");
}

TEST_P(Extract, FailuresNameTheReferenceAndWriteNothing)
{
    struct Row {
        const char *ref, *fmt, *mustMention;
    } rows[] = {
        {"NoSuchName", "text", "NoSuchName"},  // neither a name nor an address
        {"Twoblocks", "text", "Twoblocks"},    // not one rectangle
        {"G2", "0.00", "#DIV/0!"},             // an error cell under a number format
        {"G2", "dmy", "#DIV/0!"},
        {"A1:A40000", "", "A1:A40000"},  // more than 32,767 items
        {"C10:C14", "dmy", ""},          // empty cells under a date word: no line at all
    };
    for (const Row& r : rows) {
        WriteForm(dir / "f.dat", {{"Name", "B2", "text"}, {"Bad", r.ref, r.fmt}});
        for (bool exists : {false, true}) {
            const std::string data = dir / "out.csv";
            if (exists)
                WriteFile(data, "kept\r\n");
            try {
                ExtractWorkbookData(Book("names"), dir / "f.dat", data);
                ADD_FAILURE() << r.ref << " did not fail";
            } catch (const std::exception& e) {
                EXPECT_NE(std::string(e.what()).find(r.mustMention), std::string::npos) << e.what();
            }
            EXPECT_EQ(fs::exists(data), exists) << r.ref;
            EXPECT_EQ(ReadFile(data), exists ? "kept\r\n" : "") << r.ref;
            fs::remove(data);
        }
    }
}

TEST_P(Extract, FailureMessagesShowControlCharactersEscaped)
{
    auto book = wb::Workbook::Open(Book("names"));
    struct Row {
        const char *ref, *fmt, *shown;
    } rows[] = {
        {"H2", "dmy", "line one\\nline two"},  // the cell text in a type mismatch
        {"B10", "k\tg", "pattern k\\tg"},      // the pattern in the no-digit error
        {"Bad\nName", "", "Bad\\nName"},       // a reference that is no name
        {"A1:A\x1b"
         "40000",
         "", "A1:A\\x1B40000"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ref);
        try {
            ExtractLines(*book, FormDefinition{{{"F\nG", r.ref, r.fmt}}});
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.find_first_of("\r\n\t\x1b"), std::string::npos) << what;
            EXPECT_NE(what.find(r.shown), std::string::npos) << what;
        }
    }
}

TEST_P(Extract, WholeRowsAndColumnsAreRanges)
{
    auto book = wb::Workbook::Open(Book("names"));
    struct Row {
        const char* ref;
        int length;
        int k;
        const char* value;
    } rows[] = {
        {"2:2", 16384, 1, "Ann"},  // a whole row: one item per column
        {"$2:$2", 16384, 0, ""},
        {"Sheet2!4:4", 16384, 1, "second sheet"},
        {"2:4", 16384, 1, ""},  // a block of rows gives nothing
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ref);
        EXPECT_EQ(RangeLength(*book, r.ref), r.length);
        EXPECT_EQ(CellValue(*book, r.ref, int16_t(r.k)), r.value);
    }
    // A whole column holds more than 32,767 cells: overflow, naming the reference.
    for (const char* ref : {"A:A", "$B:$B", "A:C", "Sheet2!B:B"}) {
        SCOPED_TRACE(ref);
        try {
            RangeLength(*book, ref);
            ADD_FAILURE() << "no error";
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), rt::Overflow);
            EXPECT_NE(std::string(e.what()).find(ref), std::string::npos) << e.what();
        }
    }
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
    WriteFile(dir / "empty.dat", "0,0\r\n");
    for (auto [file, number] :
         {std::pair{dir / "missing.dat", rt::FileNotFound}, std::pair{dir / "empty.dat", rt::SubscriptOutOfRange}}) {
        try {
            LoadFormDefinition(file);
            ADD_FAILURE() << file;
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), number);
        }
    }
    EXPECT_THROW(LoadFormDefinition(""), rt::FatalError);
}

TEST(ExtractSetup, MalformedFormDefinitionNamesFileLineAndFault)
{
    ScratchDir dir;
    struct Row {
        const char* text;
        int line;
        const char* fault;
    } rows[] = {
        {"2,3\r\n\"A\",\"B2\",\"text\",\"x\"\r\n\"C\",\"C2\",\"text\",\"y\"\r\n", 2,
         "4 fields"},                                                          // count line short of the rows
        {"2,3\r\n\"A\",\"B2\",\"text\"\r\n\"C\",\"C2\"\r\n", 3, "2 fields"},   // a short row
        {"2,3\r\n\"A\",\"B2\",\"text\"\r\n\"C,C2,text\r\n", 3, "not closed"},  // an unclosed quote
        {"2,3\n\"A\",\"B2\",\"text\"\n\"C,C2,text\n", 3, "not closed"},        // the same with LF line ends
        {"2,3\r\n\"A\",\"B2\",\"text\"\r\n\"C\"x,\"C2\",\"text\"\r\n", 3, "after a closing quote"},
        {"4,3\r\n\"A\",\"B2\",\"text\"\r\n\"C\",\"C2\",\"text\"\r\n", 4,
         "ends after 2 rows"},                                                          // fewer rows than counted
        {"1,3\r\n\"A\",\"B2\",\"text\"\r\n\"C\",\"C2\",\"text\"\r\n", 3, "more rows"},  // more rows than counted
        {"1,81\r\n\"A\"\r\n", 1, "more than 80"},                                       // more than 80 columns
        {"-1,3\r\n", 1, "negative"},                                                    // a negative count
        {"2,-3\r\n", 1, "negative"},
        {"x,3\r\n", 1, "two whole numbers"},
        {"3\r\n\"A\",\"B2\",\"text\"\r\n", 1, "two whole numbers"},
        {"40000,3\r\n", 1, "32,767"},
    };
    std::string wide = "1,3\r\n";
    for (int i = 0; i < 81; ++i)
        wide += i ? ",\"x\"" : "\"x\"";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        WriteFile(dir / "bad form.dat", r.text);
        try {
            LoadFormDefinition(dir / "bad form.dat");
            ADD_FAILURE() << "loaded";
        } catch (const FormDefinitionError& e) {
            const std::string what = e.what();
            EXPECT_EQ(e.Line(), r.line);
            EXPECT_EQ(e.Path(), dir / "bad form.dat");
            EXPECT_EQ(what.find("malformed at line " + std::to_string(r.line) + ": "), 0u) << what;
            EXPECT_NE(what.find(r.fault), std::string::npos) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << what;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "threw " << e.what();
        }
    }
    WriteFile(dir / "wide.dat", wide + "\r\n");
    try {
        LoadFormDefinition(dir / "wide.dat");
        ADD_FAILURE() << "loaded";
    } catch (const FormDefinitionError& e) {
        EXPECT_EQ(e.Line(), 2);
        EXPECT_NE(std::string(e.what()).find("more than 80 fields"), std::string::npos) << e.what();
    }
    // Well formed, with blank lines after the rows and LF line ends: loads.
    WriteFile(dir / "good.dat", "2,3\n\"A\",\"B2\",\"text\"\n\"C\",\"C2\",\"\"\n\n  \n");
    EXPECT_EQ(LoadFormDefinition(dir / "good.dat").fields.size(), 2u);
}

TEST(ExtractSetup, FormDefinitionWithTwoColumnsReadsEmptyFormatWords)
{
    ScratchDir dir;
    WriteForm(dir / "f.dat", {{"Name", "B2"}, {"Day, first", "C2"}});
    FormDefinition form = LoadFormDefinition(dir / "f.dat");
    ASSERT_EQ(form.fields.size(), 2u);
    EXPECT_EQ(form.fields[1].format, "");
    EXPECT_EQ(HeaderLine(form), "Name,\"Day, first\"\r\n");  // only names that need it are quoted
    // An empty format word copies the cell text: dates arrive as ISO text.
    EXPECT_EQ(ExtractLines(Fixture("timesheet.xlsx"), form), "Ann,2009-03-02\r\n");
}

}  // namespace
