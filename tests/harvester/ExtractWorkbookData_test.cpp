// Extraction of one workbook: the worked timesheet, references, quoting and
// the failures that must leave the data file untouched. Every case runs over
// the same form saved as .xlsx (xlsxwriter), .xls and .ods (LibreOffice).
#include "common/RtError.h"
#include "harvester/modExtractWorkbookData.h"
#include "tests/harvester/HarvestTestUtil.h"
#include "workbook/Workbook.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

using namespace harvest_test;
using ::testing::MatchesRegex;

namespace {

class Extract : public ::testing::TestWithParam<const char*> {
protected:
    std::string Book(const std::string& stem) const { return Fixture(stem + "." + GetParam()); }
    ScratchDir dir;
    std::unique_ptr<wb::Workbook> names = wb::Workbook::Open(Book("names"));
};

TEST_P(Extract, WorkedExampleGivesSevenLinesAndHeaderOnlyForANewFile)
{
    const std::string form = TimesheetForm(dir / "form.dat");
    ExtractWorkbookData(Book("timesheet"), form, dir / "new.csv");
    EXPECT_EQ(ReadFile(dir / "new.csv"), Lines(1));
    WriteFile(dir / "old.dat", "");  // existing, even empty: no header
    ExtractWorkbookData(Book("timesheet"), form, dir / "old.dat");
    ExtractWorkbookData(Book("timesheet"), form, dir / "old.dat");
    EXPECT_EQ(ReadFile(dir / "old.dat"), std::string(kTimesheetLines) + kTimesheetLines);
}

TEST_P(Extract, ReferencesItemsAndQuoting)
{
    const std::tuple<const char*, const char*, const char*> rows[] = {
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
    for (const auto& [ref, fmt, lines] : rows)
        EXPECT_EQ(ExtractLines(*names, FormDefinition{{{"F", ref, fmt}}}), lines) << ref << " / " << fmt;
}

TEST_P(Extract, ShortFieldsGoEmptyAfterTheirEnd)
{
    FormDefinition form{{{"N", "EmpName", "text"}, {"Num", "Numbers", "0.00"}, {"L", "Letters", "0"}}};
    EXPECT_EQ(ExtractLines(*names, form),
              "\"Ann\",1.00,0\r\n\"Ann\",2.00,0\r\n\"Ann\",3.00,0\r\n\"Ann\",4.00,0\r\n\"Ann\",5.00,0\r\n");
    EXPECT_EQ(RangeLength(*names, "B10:C11"), 2);
    EXPECT_EQ(CellValue(*names, "Letters", 4), "");
    EXPECT_EQ(CellValue(*names, "EmpName", 4), "Ann");
}

TEST_P(Extract, FailuresNameTheReferenceAndWriteNothing)
{
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"NoSuchName", "text", "NoSuchName"},  // neither a name nor an address
        {"Twoblocks", "text", "Twoblocks"},    // not one rectangle
        {"G2", "0.00", "#DIV/0!"},             // an error cell under a number format
        {"G2", "dmy", "#DIV/0!"},
        {"A1:A40000", "", "A1:A40000"},  // more than 32,767 items
        {"C10:C14", "dmy", ""},          // empty cells under a date word: no line at all
    };
    for (const auto& [ref, fmt, mustMention] : rows) {
        SCOPED_TRACE(ref);
        WriteForm(dir / "f.dat", {{"Name", "B2", "text"}, {"Bad", ref, fmt}});
        for (bool exists : {false, true}) {
            const std::string data = dir / "out.csv";
            if (exists)
                WriteFile(data, "kept\r\n");
            const Thrown t = ThrownBy([&] { ExtractWorkbookData(Book("names"), dir / "f.dat", data); });
            EXPECT_NE(t.number, 0) << "did not fail";
            EXPECT_TRUE(Contains(t.what, mustMention)) << t.what;
            EXPECT_EQ(fs::exists(data) ? ReadFile(data) : "none", exists ? "kept\r\n" : "none");
            fs::remove(data);
        }
    }
}

TEST_P(Extract, FailureMessagesShowControlCharactersEscaped)
{
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"H2", "dmy", "line one\\nline two"},  // the cell text in a type mismatch
        {"B10", "k\tg", "pattern k\\tg"},      // the pattern in the no-digit error
        {"Bad\nName", "", "Bad\\nName"},       // a reference that is no name
        {"A1:A\x1b"
         "40000",
         "", "A1:A\\x1B40000"},
    };
    for (const auto& [ref, fmt, shown] : rows) {
        SCOPED_TRACE(ref);
        const Thrown t = ThrownBy([&] { ExtractLines(*names, FormDefinition{{{"F\nG", ref, fmt}}}); });
        EXPECT_NE(t.number, 0) << "no error";
        EXPECT_EQ(t.what.find_first_of("\r\n\t\x1b"), std::string::npos) << t.what;
        EXPECT_TRUE(Contains(t.what, shown)) << t.what;
    }
}

TEST_P(Extract, WholeRowsAndColumnsAreRangesUpTo32767Items)
{
    const std::tuple<const char*, int, int, const char*> rows[] = {
        // A whole row: one item per column; a block of rows gives nothing.
        {"2:2", 16384, 1, "Ann"}, {"$2:$2", 16384, 0, ""},        {"Sheet2!4:4", 16384, 1, "second sheet"},
        {"2:4", 16384, 1, ""},    {"B1:B32767", 32767, 1, "Ann"},
    };
    for (const auto& [ref, length, k, value] : rows) {
        SCOPED_TRACE(ref);
        EXPECT_EQ(RangeLength(*names, ref), length);
        EXPECT_EQ(CellValue(*names, ref, int16_t(k)), value);
    }
    // A whole column holds more than 32,767 cells: overflow, naming the reference.
    for (const char* ref : {"A:A", "$B:$B", "A:C", "Sheet2!B:B", "B1:B32768"}) {
        const Thrown t = ThrownBy([&] { RangeLength(*names, ref); });
        EXPECT_EQ(t.number, rt::Overflow) << ref;
        EXPECT_TRUE(Contains(t.what, ref)) << t.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Extract, ::testing::Values("xlsx", "xls", "ods"));

TEST(ExtractSetup, NotAWorkbookFailsAndWritesNothing)
{
    ScratchDir dir;
    EXPECT_ANY_THROW(ExtractWorkbookData(Fixture("notabook.xlsx"), TimesheetForm(dir / "f.dat"), dir / "d.csv"));
    EXPECT_FALSE(fs::exists(dir / "d.csv"));
}

TEST(ExtractSetup, FaultyFormDefinitionNamesFileLineAndFault)
{
    ScratchDir dir;
    std::string wide = "1,3|'x'";  // more than 80 fields in a row
    for (int i = 0; i < 80; ++i)
        wide += ",'x'";
    // The file's text with ' for a quote and | for CR LF.
    const std::tuple<std::string, int, const char*> rows[] = {
        {"2,3|'A','B2','text','x'|'C','C2','text','y'|", 2, "4 fields"},  // count line short of the rows
        {"2,3|'A','B2','text'|'C','C2'|", 3, "2 fields"},                 // a short row
        {"2,3|'A','B2','text'|'C,C2,text|", 3, "not closed"},             // an unclosed quote
        {"2,3\n'A','B2','text'\n'C,C2,text\n", 3, "not closed"},          // the same with LF line ends
        {"2,3|'A','B2','text'|'C'x,'C2','text'|", 3, "after a closing quote"},
        {"4,3|'A','B2','text'|'C','C2','text'|", 4, "ends after 2 rows"},
        {"1,3|'A','B2','text'|'C','C2','text'|", 3, "more rows"},
        {"1,81|'A'|", 1, "more than 80"},
        {wide + "|", 2, "more than 80 fields"},
        {"-1,3|", 1, "negative"},
        {"2,-3|", 1, "negative"},
        {"x,3|", 1, "two whole numbers"},
        {"3|'A','B2','text'|", 1, "two whole numbers"},
        {"40000,3|", 1, "32,767"},
    };
    for (const auto& [coded, line, fault] : rows) {
        SCOPED_TRACE(coded);
        std::string text;
        for (char c : coded)
            text += c == '|' ? "\r\n" : std::string(1, c == '\'' ? '"' : c);
        WriteFile(dir / "bad form.dat", text);
        try {
            LoadFormDefinition(dir / "bad form.dat");
            ADD_FAILURE() << "loaded";
        } catch (const FormDefinitionError& e) {
            EXPECT_EQ(e.Path() + ":" + std::to_string(e.Line()), dir / "bad form.dat:" + std::to_string(line));
            // One line: the line and the fault.
            EXPECT_THAT(e.what(),
                        MatchesRegex("malformed at line " + std::to_string(line) + ": [^\n]*" + fault + "[^\n]*"));
        }
    }
    // Well formed, with blank lines after the rows and LF line ends: loads.
    WriteFile(dir / "good.dat", "2,3\n\"A\",\"B2\",\"text\"\n\"C\",\"C2\",\"\"\n\n  \n");
    EXPECT_EQ(LoadFormDefinition(dir / "good.dat").fields.size(), 2u);
    // Missing, empty (no rows), or no path at all.
    WriteFile(dir / "empty.dat", "0,0\r\n");
    EXPECT_EQ(ThrownBy([&] { LoadFormDefinition(dir / "missing.dat"); }).number, rt::FileNotFound);
    EXPECT_EQ(ThrownBy([&] { LoadFormDefinition(dir / "empty.dat"); }).number, rt::SubscriptOutOfRange);
    EXPECT_THROW(LoadFormDefinition(""), rt::FatalError);
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
