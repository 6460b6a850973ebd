// Extraction of one workbook: the worked timesheet, references, quoting,
// the failures that must leave the data file untouched, and the reserved
// references <file> and <modified>. The Extract cases run over the same form
// saved as .xlsx (xlsxwriter), .xls and .ods (LibreOffice).
#include "harvester/modExtractWorkbookData.h"
#include "tests/harvester/HarvestTestUtil.h"
#include "workbook/Workbook.h"

#include <gmock/gmock.h>

#include <ctime>
#include <fcntl.h>
#include <future>
#include <tuple>

using namespace harvest_test;

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

// Single cells repeat on every line, copied in runs around the fields that
// change; a short field's cells past its end are empty, under its format.
TEST_P(Extract, RunsOfRepeatedFieldsAroundOnesThatChangeAndShortOnesGoEmpty)
{
    FormDefinition form{{{"A", "EmpName", "text"},
                         {"B", "EmpName", ""},
                         {"C", "Numbers", "0.00"},
                         {"D", "EmpName", "text"},
                         {"E", "Letters", "text"},
                         {"F", "EmpName", ""},
                         {"G", "EmpName", "text"},
                         {"H", "Letters", "0"}}};
    EXPECT_EQ(ExtractLines(*names, form), "\"Ann\",Ann,1.00,\"Ann\",\"x\",Ann,\"Ann\",0\r\n"
                                          "\"Ann\",Ann,2.00,\"Ann\",\"y\",Ann,\"Ann\",0\r\n"
                                          "\"Ann\",Ann,3.00,\"Ann\",\"z\",Ann,\"Ann\",0\r\n"
                                          "\"Ann\",Ann,4.00,\"Ann\",\"\",Ann,\"Ann\",0\r\n"
                                          "\"Ann\",Ann,5.00,\"Ann\",\"\",Ann,\"Ann\",0\r\n");
}

// A failure names its reference, the cell's text or the pattern on one line,
// control characters escaped; the data file is left as it was.
TEST_P(Extract, FailuresNameWhatFailedAndWriteNothing)
{
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"NoSuchName", "text", "NoSuchName"},  // neither a name nor an address
        {"Twoblocks", "text", "Twoblocks"},    // not one rectangle
        {"G2", "0.00", "#DIV/0!"},             // an error cell under a number format
        {"G2", "dmy", "#DIV/0!"},
        {"A1:A40000", "", "A1:A40000"},        // more than 32,767 items
        {"C10:C14", "dmy", ""},                // empty cells under a date word: no line at all
        {"H2", "dmy", "line one\\nline two"},  // the cell text in a type mismatch
        {"B10", "k\tg", "pattern k\\tg"},      // the pattern in the no-digit error
        {"Bad\nName", "", "Bad\\nName"},       // a reference that is no name
        {"A1:A\03340000", "", "A1:A\\x1B40000"},
    };
    for (const auto& [ref, fmt, shown] : rows) {
        SCOPED_TRACE(ref);
        WriteForm(dir / "f.dat", {{"Name", "B2", "text"}, {"F\nG", ref, fmt}});
        for (bool exists : {false, true}) {
            const std::string data = dir / "out.csv";
            if (exists)
                WriteFile(data, "kept\r\n");
            const Thrown t = ThrownBy([&] { ExtractWorkbookData(Book("names"), dir / "f.dat", data); });
            // Failed, naming it on one line.
            EXPECT_TRUE(t.number && t.what.find_first_of("\r\n\t\x1b") == std::string::npos && Contains(t.what, shown))
                << t.Said() << ": " << t.what;
            EXPECT_EQ(fs::exists(data) ? ReadFile(data) : "none", exists ? "kept\r\n" : "none");
            fs::remove(data);
        }
    }
}

TEST_P(Extract, WholeRowsAndColumnsAreRangesUpTo32767Items)
{
    // A whole row: one item per column; a block of rows gives nothing. Past
    // a field's end its cells are empty; one cell is the same for every item.
    const std::tuple<const char*, int, int, const char*> rows[] = {
        {"2:2", 16384, 1, "Ann"}, {"$2:$2", 16384, 0, ""},        {"Sheet2!4:4", 16384, 1, "second sheet"},
        {"2:4", 16384, 1, ""},    {"B1:B32767", 32767, 1, "Ann"}, {"B10:C11", 2, 1, ""},
        {"Letters", 3, 4, ""},    {"EmpName", 1, 4, "Ann"}};
    for (const auto& [ref, length, k, value] : rows) {
        EXPECT_EQ(RangeLength(*names, ref), length) << ref;
        EXPECT_EQ(CellValue(*names, ref, int16_t(k)), value) << ref;
    }
    // A whole column holds more than 32,767 cells: overflow, naming the reference.
    for (const char* ref : {"A:A", "$B:$B", "A:C", "Sheet2!B:B", "B1:B32768"}) {
        const Thrown t = ThrownBy([&] { RangeLength(*names, ref); });
        EXPECT_EQ(t.number, rt::Overflow) << ref;
        EXPECT_TRUE(Contains(t.what, ref)) << t.what;
    }
}

// Lines after the first may be far shorter: memory follows what is written,
// not the first line times the number of items.
TEST_P(Extract, LongFirstLineReservesNoMoreThanIsWritten)
{
    FormDefinition form;
    for (int i = 0; i < 60; ++i)
        form.fields.push_back({"F" + std::to_string(i), "B2:B32767", ""});
    const std::string lines = ExtractLines(*names, form);
    EXPECT_EQ(lines.substr(0, 4), "Ann,");
    EXPECT_LE(lines.capacity(), 2 * lines.size() + (size_t(1) << 20)) << lines.size();
}

INSTANTIATE_TEST_SUITE_P(Formats, Extract, ::testing::Values("xlsx", "xls", "ods"));

// A form definition's faults; then a good one over a file that is no
// workbook, and one of two columns (no format words).
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
            EXPECT_THAT(e.what(), ::testing::MatchesRegex("malformed at line " + std::to_string(line) + ": [^\n]*" +
                                                          fault + "[^\n]*"));
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
    // Not a workbook: fails, writing nothing.
    EXPECT_ANY_THROW(ExtractWorkbookData(Fixture("notabook.xlsx"), dir / "good.dat", dir / "d.csv"));
    EXPECT_FALSE(fs::exists(dir / "d.csv"));

    // Two columns: empty format words.
    WriteFile(dir / "f.dat", "2,2\r\n\"Name\",\"B2\"\r\n\"Day, \"\"first\"\"\",\"C2\"\r\n");
    FormDefinition form = LoadFormDefinition(dir / "f.dat");
    EXPECT_EQ(HeaderLine(form), "Name,\"Day, \"\"first\"\"\"\r\n");  // only names that need it are quoted
    // An empty format word copies the cell text: dates arrive as ISO text.
    EXPECT_EQ(ExtractLines(Fixture("timesheet.xlsx"), form), "Ann,2009-03-02\r\n");
}

// The reserved references <file> and <modified>: where each line came from.
// The modification time is set on a copy of a fixture and read back in a
// time zone that the test sets itself (POSIX rules, no zone database).
// TZ set for the object's life, then as it was.
struct ZoneGuard {
    explicit ZoneGuard(const char* tz) { ::setenv("TZ", tz, 1), ::tzset(); }
    ~ZoneGuard() { old ? ::setenv("TZ", old->c_str(), 1) : ::unsetenv("TZ"), ::tzset(); }
    const std::optional<std::string> old =
        std::getenv("TZ") ? std::optional(std::string(std::getenv("TZ"))) : std::nullopt;
};

// `utc` as "YYYY-mm-dd HH:MM:SS", plus `nsec`.
void SetModified(const std::string& path, const char* utc, long nsec = 0)
{
    std::tm tm{};
    ::strptime(utc, "%Y-%m-%d %H:%M:%S", &tm);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {::timegm(&tm), nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Copies of one form, read one after the other, resolve their fields once
// (their names were read from the same bytes): each must still give what it
// gives alone, whatever the form, the active sheet or the file's name.
TEST(ExtractCopies, EachGivesWhatItGivesAlone)
{
    ScratchDir dir;
    CopyFixture("names.xls", dir / "a.xls");
    CopyFixture("names.xls", dir / "b.xls");
    CopyFixture("names_sheet2.xls", dir / "c.xls");  // the same names, Sheet2 active
    {
        auto a = wb::Workbook::Open(dir / "a.xls"), c = wb::Workbook::Open(dir / "c.xls");
        ASSERT_TRUE(a->NamesToken());
        ASSERT_EQ(a->NamesToken(), c->NamesToken());  // else nothing here is resolved once
        ASSERT_NE(a->ActiveSheet(), c->ActiveSheet());
    }
    const FormDefinition forms[] = {
        {{{"N", "EmpName", "text"}, {"C", "B2", "text"}}},  // B2 of the active sheet
        {{{"O", "Other", ""}, {"C", "B4", "text"}}},
        {{{"F", "<file>", ""}, {"N", "EmpName", ""}}},
    };
    // On a thread of its own: nothing was resolved there before.
    auto alone = [](const std::string& path, const FormDefinition& form) {
        return std::async(std::launch::async,
                          [&] { return ExtractLines(*wb::Workbook::Open(path), PreparedForm(form)); })
            .get();
    };
    EXPECT_NE(alone(dir / "a.xls", forms[1]), alone(dir / "c.xls", forms[1]));
    for (int round = 0; round < 2; ++round)
        for (const FormDefinition& form : forms) {
            const PreparedForm prepared(form);  // made anew, most likely where the last one was
            for (const char* name : {"a.xls", "b.xls", "c.xls", "a.xls"}) {
                SCOPED_TRACE(form.fields[0].reference + " in " + name);
                EXPECT_EQ(ExtractLines(*wb::Workbook::Open(dir / name), prepared), alone(dir / name, form));
            }
        }
}

TEST(ReservedReference, FileGivesTheFileNameWithoutFolder)
{
    ScratchDir dir;
    const std::tuple<const char*, const char*, const char*, const char*, const char*> rows[] = {
        {"names.xlsx", "march.xlsx", "<file>", "text", "\"march.xlsx\"\r\n"},
        {"names.xls", "march.xls", "<FILE>", "text", "\"march.xls\"\r\n"},  // any letter case
        {"names.ods", "march.ods", "<File>", "", "march.ods\r\n"},
        // a comma or a quote in the name cannot shift the columns
        {"names.xlsx", "Ann, March.xlsx", "<file>", "", "\"Ann, March.xlsx\"\r\n"},
        {"names.xlsx", "say \"hi\".xlsx", "<file>", "text", "\"say \"\"hi\"\".xlsx\"\r\n"},
        {"names.xlsx", "plain.xlsx", "<file>", "@\" (form)\"", "plain.xlsx (form)\r\n"},
    };
    for (const auto& [fixture, name, ref, fmt, line] : rows) {
        CopyFixture(fixture, dir / name);
        EXPECT_EQ(ExtractLines(dir / name, FormDefinition{{{"F", ref, fmt}}}), line) << name;
    }
}

TEST(ReservedReference, ModifiedIsTheLocalFileTimeUnderDateWordsAndPatterns)
{
    ScratchDir dir;
    const std::string book = dir / "form.xlsx";
    CopyFixture("origin.xlsx", book);
    const char *cet = "CET-1CEST,M3.5.0,M10.5.0/3", *summer = "2026-07-15 12:05:09";
    // The zone, the time, format words and patterns, the line they give.
    const std::tuple<const char*, const char*, Strings, const char*> rows[] = {
        // Summer time in a zone one hour east of UTC: 12:05:09 UTC is 14:05:09 there.
        {cet, summer, {"dmy", "MDY", "ymd", "hh:mm:ss"}, "15/07/2026,07/15/2026,20260715,14:05:09"},
        {cet, summer, {"", "text", "yyyy-mm-dd hh:mm"}, "2026-07-15 14:05:09,\"2026-07-15 14:05:09\",2026-07-15 14:05"},
        // The same zone in winter: one hour.
        {cet, "2026-01-15 12:05:09", {"yyyy-mm-dd hh:mm"}, "2026-01-15 13:05"},
        // Half an hour off and past midnight there: the local day, not UTC's.
        {"IST-5:30", "2026-02-28 20:00:00", {"dmy", "dd mmm yyyy hh:mm"}, "01/03/2026,01 Mar 2026 01:30"},
        // West of UTC: still the day before.
        {"EST5", "2026-03-01 03:59:59", {"yyyy-mm-dd hh:mm:ss"}, "2026-02-28 22:59:59"},
        {"UTC0", "2026-12-31 23:59:59", {"yyyy-mm-dd hh:mm:ss"}, "2026-12-31 23:59:59"},
    };
    for (const auto& [tz, utc, formats, line] : rows) {
        SCOPED_TRACE(std::string(tz) + " / " + line);
        ZoneGuard zone(tz);
        SetModified(book, utc, 999999999);  // the fraction of a second is dropped, not rounded up
        FormDefinition form;
        for (const auto& f : formats)
            form.fields.push_back({"F", "<modified>", f});
        EXPECT_EQ(ExtractLines(book, form), std::string(line) + "\r\n");
    }
}

TEST(ReservedReference, RepeatsOnEveryLineBesideLongerRuns)
{
    ScratchDir dir;
    const std::string book = dir / "week 12.xlsx";
    CopyFixture("origin.xlsx", book);
    ZoneGuard zone("UTC0");
    SetModified(book, "2026-03-02 08:30:00");
    // Like a one-cell field: the same value on each line; "+" counts the items.
    WriteForm(dir / "f.dat", {{"N", "B5:B7", "0"},
                              {"File", "<file>", "text"},
                              {"Saved", "<Modified>", "+dmy"},
                              {"At", "<modified>", "hh:mm"}});
    ExtractWorkbookData(book, dir / "f.dat", dir / "out.csv");
    EXPECT_EQ(ReadFile(dir / "out.csv"), "N,File,Saved,At\r\n"
                                         "10,\"week 12.xlsx\",02/03/2026,08:30\r\n"
                                         "20,\"week 12.xlsx\",03/03/2026,08:30\r\n"
                                         "30,\"week 12.xlsx\",04/03/2026,08:30\r\n");
    auto wb = wb::Workbook::Open(book);
    EXPECT_EQ(RangeLength(*wb, "<file>"), 1);
    EXPECT_EQ(CellValue(*wb, "<file>", 2), "week 12.xlsx");
    EXPECT_EQ(CellValue(*wb, "<modified>", 2), "2026-03-02 08:30:00");
}

// The workbook defines names "file" and "modified": without the angle
// brackets a reference is still a name. Any other reference in angle brackets
// is an error naming it on one line, and nothing is written.
TEST(ReservedReference, UnknownOnesAreErrorsAndNamesSpelledLikeThemStillResolve)
{
    ScratchDir dir;
    const std::tuple<const char*, const char*> rows[] = {
        {"file", ",\"named file\"\r\n"},
        {"FILE", ",\"named file\"\r\n"},
        {"Modified", ",\"named modified\"\r\n"},
        {"<foo>", "<foo> is not a reserved reference"},
        {"<filename>", "<filename> is not a reserved reference"},
        {"< file>", "< file> is not a reserved reference"},
        {"<>", "<> is not a reserved reference"},
        {"<fi\nle>", "<fi\\nle> is not a reserved reference"},
        {"<file", "<file is neither a defined name nor a cell address"},
    };
    for (const auto& [ref, said] : rows) {
        SCOPED_TRACE(ref);
        WriteForm(dir / "f.dat", {{"Name", "B2", "text"}, {"F", ref, "text"}});
        const Thrown t = ThrownBy([&] { ExtractWorkbookData(Fixture("origin.xlsx"), dir / "f.dat", dir / "out.csv"); });
        EXPECT_TRUE(Contains(t.number ? t.what : ReadFile(dir / "out.csv"), said)) << t.what;
        EXPECT_EQ(fs::exists(dir / "out.csv"), t.number == 0);
        EXPECT_FALSE(Contains(t.what, "\n")) << t.what;
        fs::remove(dir / "out.csv");
    }
}

}  // namespace
