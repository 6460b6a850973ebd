// Dry runs and the window's preview: the same checks, reading and formatting
// as a run, and not one byte written, created or moved.
#include "harvester/WorkbookPreview.h"
#include "tests/harvester/BatchRunFixture.h"
#include "workbook/Workbook.h"

#include <optional>
#include <tuple>

using namespace harvest_test;

namespace {

using DryRun = BatchRun;

TEST_F(DryRun, WritesNothingAndPrintsExactlyWhatTheRunThenAppends)
{
    // No data file, one with lines, an empty one (the header comes first).
    for (const std::optional<std::string>& text : {std::optional<std::string>(), {Lines(1)}, {""}}) {
        SCOPED_TRACE(text ? "data file <" + *text + ">" : "no data file");
        Fresh<DryRun> t;
        CopyFixture("timesheet.xlsx", t.in + "/a.xlsx");
        CopyFixture("notabook.xlsx", t.in + "/b.xlsx");  // fails in both
        CopyFixture("timesheet.ods", t.in + "/c.ods");
        if (text)
            WriteFile(t.data, *text);
        const auto before = Snapshot(t.dir / "");
        EXPECT_EQ(t.Glean(t.Args() + " /dry-run /jobs 2"), 1);
        const std::string dryErr = t.err.str(), printed = t.printed.str();
        EXPECT_EQ(Snapshot(t.dir / ""), before);

        EXPECT_EQ(t.Glean(t.Args() + " /jobs 2"), 1);
        EXPECT_EQ(dryErr, t.err.str());
        EXPECT_EQ(text.value_or("") + printed, ReadFile(t.data));
        EXPECT_EQ(printed.rfind(kTimesheetHeader, 0) == 0, text.value_or("").empty());
        EXPECT_EQ(CountFiles(t.out), 2);
    }
}

TEST_F(DryRun, PendingJournalIsReportedNotSettled)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CrashAfterAppend(0);
    ASSERT_TRUE(fs::exists(JournalFile()));
    const auto before = Snapshot(dir / "");
    std::string said;
    BatchResult r = RunWith([&](clsBatchRun& run) {
        run.setDryRun(true);
        run.onSettled = [&](const std::string& s) { said = s; };
    });
    EXPECT_EQ(r.configError, "");
    EXPECT_TRUE(Contains(said, JournalFile())) << said;
    EXPECT_EQ(Snapshot(dir / ""), before);
}

TEST_F(DryRun, OptionSpellingsAndTheProgramPrintsOnStdout)
{
    for (const char* text : {"/dry-run", "--dry-run", "/DRY-RUN"})
        EXPECT_TRUE(ParseGleanOptions(text).dryRun && ParseGleanOptions(text).usageError.empty()) << text;
    EXPECT_NE(ParseGleanOptions("/dryrun").usageError, "");
    EXPECT_NE(ParseGleanOptions("--dry-run=yes").usageError, "");

    if (!fs::exists(kGlean))
        GTEST_SKIP() << "glean not built";
    CopyFixture("timesheet.xls", in + "/a.xls");
    ASSERT_EQ(Shell(kGlean + " " + Args() + " /dry-run >'" + dir / "printed" + "' 2>/dev/null"), 0);
    EXPECT_FALSE(fs::exists(data));
    ASSERT_EQ(Shell(kGlean + " " + Args() + " >/dev/null 2>&1"), 0);
    EXPECT_EQ(ReadFile(dir / "printed"), ReadFile(data));
    EXPECT_EQ(ReadFile(data), Lines(1));
}

// The preview's table: ExtractLines's values, and each failing field's
// reason in its own cells while the others still show theirs.
TEST(ExtractTable, SameValuesAsTheLinesAndErrorsPerField)
{
    auto book = wb::Workbook::Open(Fixture("timesheet.xlsx"));
    FormDefinition good{{{"Name", "B2", "text"}, {"Start", "C2", "+dmy"}, {"Hours", "D5:D11", "0.0"}}};
    FormDefinition mixed = good;
    mixed.fields.push_back({"Odd", "<nope>", "text"});  // fails to resolve: every row
    mixed.fields.push_back({"Day", "D5:D11", "dmy"});   // empty cells are no dates: rows 3 to 7
    const auto table = ExtractTable(*book, mixed);
    ASSERT_EQ(table.size(), 7u);
    std::string shown;  // a failing cell as "!" before its text
    for (const auto& row : table) {
        for (size_t i = 0; i < row.size(); ++i)
            shown += (i ? "," : "") + (row[i].error.empty() ? row[i].text : "!" + row[i].text);
        shown += "\n";
    }
    EXPECT_EQ(shown,
              "\"Ann\",02/03/2009,8.0,!,08/01/1900\n\"Ann\",03/03/2009,7.5,!,07/01/1900\n\"Ann\",04/03/2009,0.0,!,!\n"
              "\"Ann\",05/03/2009,0.0,!,!\n\"Ann\",06/03/2009,0.0,!,!\n\"Ann\",07/03/2009,0.0,!,!\n"
              "\"Ann\",08/03/2009,0.0,!,!\n");
    EXPECT_EQ(table[0][3].error, "<nope> is not a reserved reference (<file> or <modified>)");
    EXPECT_EQ(ExtractLines(*book, good), kTimesheetLines);
}

TEST_F(DryRun, PreviewShowsTheSelectedOrFirstWorkbookAndWritesNothing)
{
    CopyFixture("timesheet.xlsx", in + "/b.xlsx");
    CopyFixture("notabook.xlsx", in + "/a.xlsx");
    WriteForm(dir / "mixed.dat", {{"Name", "B2", "text"}, {"Day", "D5:D11", "dmy"}});
    const auto before = Snapshot(dir / "");
    // The paths, the selected workbook, the start of the error ("": a table), its rows and failing cells.
    const std::tuple<const char*, BatchPaths, std::string, std::string, size_t, int> cases[] = {
        {"selected", {dir / "mixed.dat", in, out, data}, in + "/b.xlsx", "", 7, 5},
        {"first in the folder is broken", {form, in, out, data}, "", in + "/a.xlsx: not a workbook (text)", 0, 0},
        {"pattern", {form, in + "/b*", "", data}, "", "", 7, 0},
        {"empty input box", {form, "", out, data}, "", "No input folder given.", 0, 0},
        {"none matches", {form, in + "/z*", out, data}, "", "There is no workbook to preview in " + in + ".", 0, 0},
        {"selected one gone", {form, in, out, data}, in + "/gone.xlsx", "cannot open " + in + "/gone.xlsx", 0, 0},
    };
    for (const auto& [name, paths, selected, error, count, failures] : cases) {
        SCOPED_TRACE(name);
        PreviewTable t = PreviewWorkbook(paths, selected);
        EXPECT_EQ(t.error.rfind(error, 0), 0u) << t.error;
        EXPECT_EQ(t.error.empty(), error.empty()) << t.error;
        EXPECT_EQ(t.rows.size(), count);
        EXPECT_EQ(t.Failures(), failures);
        if (error.empty()) {
            EXPECT_EQ(t.workbook, in + "/b.xlsx");
            EXPECT_TRUE(t.dataFileNew);
            EXPECT_EQ(t.headers.size(), t.rows[0].size());
            EXPECT_EQ(t.headers[0], "Name");
            EXPECT_EQ(t.rows[6][0].text, "\"Ann\"");
        }
    }
    EXPECT_EQ(Snapshot(dir / ""), before);
    WriteFile(data, "");
    EXPECT_TRUE(PreviewWorkbook({form, in, out, data}, "").dataFileNew);
    WriteFile(data, kTimesheetHeader);
    EXPECT_FALSE(PreviewWorkbook({form, in, out, data}, in + "/b.xlsx").dataFileNew);
}

}  // namespace
