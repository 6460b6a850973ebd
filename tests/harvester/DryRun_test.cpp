// Dry runs and the window's preview: the same checks, reading and formatting
// as a run, and not one byte written, created or moved.
#include "common/DataFileLock.h"
#include "harvester/GleanCommand.h"
#include "harvester/RunErrors.h"
#include "harvester/WorkbookPreview.h"
#include "harvester/clsBatchRun.h"
#include "tests/harvester/HarvestTestUtil.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>

using namespace harvest_test;

namespace {

// Every file and folder under `root`: kind, size, modification time to the
// nanosecond and a file's bytes.
std::map<std::string, std::string> Snapshot(const std::string& root)
{
    std::map<std::string, std::string> all;
    auto add = [&](const fs::path& p) {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        std::string s = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode))
            s += "\n" + ReadFile(p.string());
        all[p.string()] = s;
    };
    add(root);
    for (const auto& e : fs::recursive_directory_iterator(root))
        add(e.path());
    return all;
}

class DryRun : public ::testing::Test, protected JobFolders {
protected:
    std::string Q(const std::string& s) const { return "\"" + s + "\""; }
    std::string Args() const
    {
        return "/type " + Q(form) + " /in " + Q(in) + " /out " + Q(out) + " /data " + Q(data) + " /jobs 2";
    }
    int Glean(const std::string& args, std::string* printed = nullptr)
    {
        GleanOptions o = ParseGleanOptions(args);
        EXPECT_EQ(o.usageError, "") << args;
        std::ostringstream lines;
        err.str("");
        const int rc = RunGlean(o, err, false, &lines);
        if (printed)
            *printed = lines.str();
        return rc;
    }
    std::ostringstream err;
};

TEST_F(DryRun, WritesNothingAndPrintsExactlyWhatTheRunThenAppends)
{
    // The data file absent, present with lines, present but empty (the header comes first).
    const struct {
        const char* name;
        bool exists;
        std::string text;
    } rows[] = {{"no data file", false, ""},
                {"data file with lines", true, std::string(kTimesheetHeader) + kTimesheetLines},
                {"empty data file", true, ""}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        JobFolders job;
        CopyFixture("timesheet.xlsx", job.in + "/a.xlsx");
        CopyFixture("notabook.xlsx", job.in + "/b.xlsx");  // fails in both
        CopyFixture("timesheet.ods", job.in + "/c.ods");
        if (r.exists)
            WriteFile(job.data, r.text);
        const std::string args =
            "/type " + Q(job.form) + " /in " + Q(job.in) + " /out " + Q(job.out) + " /data " + Q(job.data);

        const auto before = Snapshot(job.dir / "");
        std::string printed;
        const int dry = Glean(args + " /dry-run", &printed);
        const std::string dryErr = err.str();
        EXPECT_EQ(Snapshot(job.dir / ""), before);

        const int real = Glean(args);
        EXPECT_EQ(dry, real);
        EXPECT_EQ(real, 1);
        EXPECT_EQ(dryErr, err.str());
        EXPECT_EQ(r.text + printed, ReadFile(job.data));
        EXPECT_EQ(printed.rfind(kTimesheetHeader, 0) == 0, r.text.empty());
        EXPECT_EQ(CountFiles(job.out), 2);
    }
}

TEST_F(DryRun, ConfigurationErrorsAreTheRunsAndTouchNothing)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    const std::string dataDir = dir.Mkdir("d");
    const std::string data2 = dataDir + "/data.csv";
    WriteFile(dir / "empty.dat", "0,0\r\n");
    bool skip = false;  // chattr is not permitted here
    // What to break (undone after the row), the paths, the sentence both give.
    const struct {
        std::string name;
        std::function<std::function<void()>()> brk;
        BatchPaths paths;
        std::string said;
    } rows[] = {
        {"no form", [] { return std::function<void()>(); }, {dir / "none.dat", in, out, data}, "does not exist"},
        {"empty form", [] { return std::function<void()>(); }, {dir / "empty.dat", in, out, data}, "is empty"},
        {"no input", [] { return std::function<void()>(); }, {form, "", out, data}, "No input folder given."},
        {"input is output", [] { return std::function<void()>(); }, {form, in, in, data}, "is the output folder"},
        {"data folder missing",
         [] { return std::function<void()>(); },
         {form, in, out, dir / "no/d.csv"},
         "folder of the data file does not exist"},
        {"damaged journal",
         [&] {
             WriteFile(data2 + ".journal", "glean journal 2 5\nend\n");
             return std::function<void()>([&] { fs::remove(data2 + ".journal"); });
         },
         {form, in, out, data2},
         "is damaged"},
        {"data file in use",
         [&] {
             auto lock = std::make_shared<DataFileLock>();
             lock->Take(data2, false);
             return std::function<void()>([lock] { lock->Release(); });
         },
         {form, in, out, data2},
         "in use by another program"},
        {"data file immutable",
         [&] {
             WriteFile(data2, kTimesheetHeader);
             auto attr = std::make_shared<FileAttribute>(data2, "+i");
             skip = !attr->Ok();
             return std::function<void()>([&, attr] {
                 attr->Remove();
                 fs::remove(data2);
             });
         },
         {form, in, out, data2},
         "Cannot write the data file " + data2},
        {"data folder immutable",
         [&] {
             auto attr = std::make_shared<FileAttribute>(dataDir, "+i");
             skip = !attr->Ok();
             return std::function<void()>([attr] { attr->Remove(); });
         },
         {form, in, out, data2},
         "Cannot create the lock file " + data2 + ".lock"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        skip = false;
        const std::function<void()> undo = r.brk();
        if (skip) {
            undo();
            continue;
        }
        const auto before = Snapshot(dir / "");
        BatchResult res[2];
        for (bool dry : {true, false}) {
            MemoryStatusList list;
            clsBatchRun run(list);
            run.setPaths(r.paths);
            run.setDryRun(dry);
            res[dry ? 0 : 1] = run.RunBatch();
            if (dry) {
                EXPECT_EQ(Snapshot(dir / ""), before);
            }
        }
        EXPECT_NE(res[0].configError.find(r.said), std::string::npos) << res[0].configError;
        EXPECT_EQ(res[0].configError, res[1].configError);
        if (undo)
            undo();
    }

    // glean's exit status is the run's.
    std::string printed;
    EXPECT_EQ(Glean("/type " + Q(dir / "none.dat") + " /in " + Q(in) + " /data " + Q(data) + " /dry-run", &printed), 2);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(err.str(), "glean: The form definition does not exist: " + dir / "none.dat" + "\n");
}

TEST_F(DryRun, PendingJournalIsReportedNotSettled)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    // A run killed after its append: the journal holds it.
    MemoryStatusList list;
    {
        clsBatchRun run(list);
        run.setPaths({form, in, out, data});
        run.afterAppend = [](int) { throw DataFileError("killed", true); };
        run.RunBatch();
    }
    ASSERT_TRUE(fs::exists(data + ".journal"));
    const auto before = Snapshot(dir / "");
    clsBatchRun dry(list);
    dry.setPaths({form, in, out, data});
    dry.setDryRun(true);
    std::string said;
    dry.onSettled = [&](const std::string& s) { said = s; };
    BatchResult r = dry.RunBatch();
    EXPECT_EQ(r.configError, "");
    EXPECT_NE(said.find(data + ".journal"), std::string::npos) << said;
    EXPECT_EQ(Snapshot(dir / ""), before);
}

TEST(DryRunOption, SpellingsAndTheProgramPrintsOnStdout)
{
    for (const char* text : {"/dry-run", "--dry-run", "/DRY-RUN"}) {
        SCOPED_TRACE(text);
        GleanOptions o = ParseGleanOptions(text);
        EXPECT_TRUE(o.dryRun);
        EXPECT_EQ(o.usageError, "");
    }
    EXPECT_NE(ParseGleanOptions("/dryrun").usageError, "");
    EXPECT_NE(ParseGleanOptions("--dry-run=yes").usageError, "");

    const std::string glean = std::string(APP_DIR) + "/glean";
    if (!fs::exists(glean))
        GTEST_SKIP() << "glean not built";
    JobFolders job;
    CopyFixture("timesheet.xls", job.in + "/a.xls");
    const std::string args =
        " /type '" + job.form + "' /in '" + job.in + "' /out '" + job.out + "' /data '" + job.data + "'";
    ASSERT_EQ(std::system((glean + args + " /dry-run >'" + (job.dir / "printed") + "' 2>/dev/null").c_str()), 0);
    EXPECT_FALSE(fs::exists(job.data));
    ASSERT_EQ(std::system((glean + args + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_EQ(ReadFile(job.dir / "printed"), ReadFile(job.data));
    EXPECT_EQ(ReadFile(job.data), std::string(kTimesheetHeader) + kTimesheetLines);
}

// The preview's table: ExtractLines's values, and each failing field's
// reason in its own cells while the others still show theirs.
TEST(ExtractTable, SameValuesAsTheLinesAndErrorsPerField)
{
    ScratchDir dir;
    auto book = wb::Workbook::Open(Fixture("timesheet.xlsx"));
    FormDefinition good{{{"Name", "B2", "text"}, {"Start", "C2", "+dmy"}, {"Hours", "D5:D11", "0.0"}}};
    FormDefinition mixed = good;
    mixed.fields.push_back({"Odd", "<nope>", "text"});  // fails to resolve: every row
    mixed.fields.push_back({"Day", "D5:D11", "dmy"});   // empty cells are no dates: rows 3 to 7
    const auto rows = ExtractTable(*book, mixed);
    ASSERT_EQ(rows.size(), 7u);
    std::string joined;
    for (size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(rows[k].size(), 5u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(rows[k][i].error, "");
            joined += (i ? "," : "") + rows[k][i].text;
        }
        joined += "\r\n";
        EXPECT_EQ(rows[k][3].error, "<nope> is not a reserved reference (<file> or <modified>)");
        EXPECT_EQ(rows[k][3].text, "");
        EXPECT_EQ(rows[k][4].error.empty(), k < 2) << rows[k][4].error;
    }
    EXPECT_EQ(rows[0][4].text, "08/01/1900");
    EXPECT_EQ(joined, ExtractLines(*book, good));
    EXPECT_EQ(joined, kTimesheetLines);
}

TEST_F(DryRun, PreviewShowsTheSelectedOrFirstWorkbookAndWritesNothing)
{
    CopyFixture("timesheet.xlsx", in + "/b.xlsx");
    CopyFixture("notabook.xlsx", in + "/a.xlsx");
    WriteForm(dir / "mixed.dat", {{"Name", "B2", "text"}, {"Day", "D5:D11", "dmy"}});
    const auto before = Snapshot(dir / "");
    const struct {
        const char* name;
        BatchPaths paths;
        std::string selected;
        std::string error;  // "" a table
        size_t rows;
        int failures;
    } rows[] = {
        {"selected", {dir / "mixed.dat", in, out, data}, in + "/b.xlsx", "", 7, 5},
        {"first in the folder is broken", {form, in, out, data}, "", in + "/a.xlsx: not a workbook (text)", 0, 0},
        {"pattern", {form, in + "/b*", "", data}, "", "", 7, 0},
        {"empty input box", {form, "", out, data}, "", "No input folder given.", 0, 0},
        {"nothing to preview",
         {form, in + "/z*", out, data},
         "",
         "There is no workbook to preview in " + in + ".",
         0,
         0},
        {"selected one gone", {form, in, out, data}, in + "/gone.xlsx", "cannot open " + in + "/gone.xlsx", 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        PreviewTable t = PreviewWorkbook(r.paths, r.selected);
        EXPECT_EQ(t.error.rfind(r.error, 0), 0u) << t.error;
        EXPECT_EQ(t.error.empty(), r.error.empty()) << t.error;
        EXPECT_EQ(t.rows.size(), r.rows);
        EXPECT_EQ(t.Failures(), r.failures);
        if (r.error.empty()) {
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
