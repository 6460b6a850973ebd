// glean: reading its options, and what it prints and returns.
#include "harvester/GleanCommand.h"
#include "harvester/SettingsFile.h"
#include "harvester/clsBatchRun.h"
#include "tests/harvester/HarvestTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <sys/wait.h>

using namespace harvest_test;

namespace {

TEST(GleanOptions, OptionRules)
{
    struct Row {
        const char *text, *type, *in, *data;
        bool error;
    } rows[] = {
        {"", "", "", "", false},
        {"/IN \"My Forms\" /Type F.DAT /data d.csv", "F.DAT", "My Forms", "d.csv", false},  // value case kept
        {"--type f.dat --in=in --DATA d.csv", "f.dat", "in", "d.csv", false},
        {"/autorun /type a /type b", "b", "", "", false},  // a later option wins
        {"/data", "", "", "", false},                      // last word: empty value
        {"/in /out folder", "", "/out", "", true},         // /out is the value; folder is a stray
        {"-type f.dat", "", "", "", true},                 // one hyphen is not an option spelling
        {"/types f.dat", "", "", "", true},
        {"\"\"", "", "", "", true},
        {"/jobs two", "", "", "", true},
    };
    for (const Row& r : rows) {
        GleanOptions o = ParseGleanOptions(r.text);
        EXPECT_EQ(o.formType.value_or(""), r.type) << r.text;
        EXPECT_EQ(o.inDir.value_or(""), r.in) << r.text;
        EXPECT_EQ(o.dataFile.value_or(""), r.data) << r.text;
        EXPECT_EQ(!o.usageError.empty(), r.error) << r.text << ": " << o.usageError;
    }
    EXPECT_EQ(ParseGleanOptions("/jobs 4").jobs, 4);
    EXPECT_TRUE(ParseGleanOptions("--help").help);
}

class Glean : public ::testing::Test, protected JobFolders {
protected:
    int Run(const std::string& args)
    {
        GleanOptions o = ParseGleanOptions(args);
        EXPECT_EQ(o.usageError, "") << args;
        err.str("");
        return RunGlean(o, err, false);
    }
    static std::string Q(const std::string& s) { return "\"" + s + "\""; }

    std::ostringstream err;
};

TEST_F(Glean, ExitCodesZeroWhenAllHarvestedOneOnAnyFailure)
{
    const std::string args = "/type " + Q(form) + " /in " + Q(in) + " /data " + Q(data);
    EXPECT_EQ(Run(args), 0);
    EXPECT_EQ(err.str(), std::string(clsBatchRun::kNothingToDo) + "\n0 harvested, 0 failed\n");
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CopyFixture("timesheet.xls", in + "/b.xls");
    EXPECT_EQ(Run(args + " /out " + Q(out) + " /jobs 2"), 0);
    EXPECT_EQ(err.str(), "Done " + in + "/a.xlsx\nDone " + in + "/b.xls\n2 harvested, 0 failed\n");
    EXPECT_EQ(CountFiles(out), 2);
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CopyFixture("notabook.xlsx", in + "/b.xlsx");
    EXPECT_EQ(Run(args), 1);
    EXPECT_NE(err.str().find("Failed " + in + "/b.xlsx: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("\n1 harvested, 1 failed\n"), std::string::npos) << err.str();
}

TEST_F(Glean, ConfigurationErrorsExitTwoAndNameThePath)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    WriteFile(dir / "empty.dat", "0,0\r\n");
    const std::string rest = " /in " + Q(in) + " /data " + Q(data);
    const std::string job = "/type " + Q(form) + " /data " + Q(data);
    const std::pair<std::string, std::string> rows[] = {
        {"/type " + Q(dir / "missing.dat") + rest, dir / "missing.dat"},
        {"/type " + Q(dir / "empty.dat") + rest, dir / "empty.dat"},
        {"/type " + Q(form) + rest + " /out " + Q(dir / "nowhere"), dir / "nowhere"},
        {"/type " + Q(form) + " /in " + Q(in) + " /data " + Q(dir / "no/data.csv"), dir / "no"},
        {"/in " + Q(in) + " /data " + Q(data), "form definition (/type)"},
        {job + " /in " + Q(dir / "no-such-folder"), "The input folder does not exist: " + dir / "no-such-folder"},
        {job + " /in \"   \"", "No input folder given."},
        {job + " /in " + Q(in) + " /out " + Q(in), "The input folder is the output folder: " + in},
        {"/open " + Q(dir / "missing.set"),
         "Cannot read the settings file " + dir / "missing.set" + ": No such file or directory"},
    };
    for (const auto& [args, named] : rows) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Run(args), 2);
        EXPECT_NE(err.str().find(named), std::string::npos) << err.str();
    }
    EXPECT_FALSE(fs::exists(data));
    EXPECT_EQ(CountFiles(in), 1);

    // A data file that cannot be written, and a damaged journal.
    WriteFile(data, kTimesheetHeader);
    {
        FileAttribute readOnly(data, "+i");
        if (readOnly.Ok()) {
            EXPECT_EQ(Run(job + " /in " + Q(in)), 2);
            EXPECT_EQ(err.str(), "glean: Cannot write the data file " + data + ": Operation not permitted\n");
        }
    }
    WriteFile(data + ".journal", "glean journal 2 5\nend\n");
    EXPECT_EQ(Run(job + " /in " + Q(in)), 2);
    EXPECT_NE(err.str().find("The journal " + data + ".journal is damaged"), std::string::npos) << err.str();
    EXPECT_EQ(ReadFile(data), kTimesheetHeader);
    EXPECT_EQ(CountFiles(in), 1);
}

TEST_F(Glean, OneWorkbookNamedIsHarvested)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CopyFixture("timesheet.xlsx", in + "/b.xlsx");
    EXPECT_EQ(Run("/type " + Q(form) + " /data " + Q(data) + " /in " + Q(in + "/b.xlsx")), 0);
    EXPECT_EQ(err.str(), "Done " + in + "/b.xlsx\n1 harvested, 0 failed\n");
}

TEST_F(Glean, StoppedRunSaysWhyAndWhatWasNotTriedThenSettles)
{
    for (const char* name : {"a.xlsx", "b.xlsx", "c.xlsx"})
        CopyFixture("timesheet.xlsx", in + "/" + name);
    WriteFile(data, "");
    FileAttribute appendOnly(data, "+a");
    if (!appendOnly.Ok())
        GTEST_SKIP() << "chattr +a is not permitted here";
    fs::create_directory(out + "/b.xlsx");  // b cannot be moved, nor its lines taken out
    const std::string args = "/type " + Q(form) + " /in " + Q(in) + " /out " + Q(out) + " /data " + Q(data);
    EXPECT_EQ(Run(args), 1);
    const std::string said = err.str();
    EXPECT_EQ(said.rfind("Done " + in + "/a.xlsx\nFailed " + in + "/b.xlsx: Cannot move the workbook", 0), 0u) << said;
    EXPECT_NE(said.find("\nglean: the run stopped at " + in + "/b.xlsx\n"), std::string::npos) << said;
    EXPECT_NE(said.find("\nNot tried " + in + "/c.xlsx\n1 harvested, 1 failed, 1 not tried\n"), std::string::npos)
        << said;
    EXPECT_EQ(Run(args), 2);  // still blocked: the journal is named, nothing changes
    EXPECT_NE(err.str().find(data + ".journal"), std::string::npos) << err.str();
    fs::remove(out + "/b.xlsx");
    EXPECT_EQ(Run(args), 0);
    EXPECT_EQ(err.str(), "glean: The lines of " + in + "/b.xlsx were already in " + data + "; it was moved to " + out +
                             "/b.xlsx.\nDone " + in + "/c.xlsx\n1 harvested, 0 failed\n");
    EXPECT_EQ(ReadFile(data), std::string(kTimesheetHeader) + kTimesheetLines + kTimesheetLines + kTimesheetLines);
}

TEST_F(Glean, SettingsFileGivesThePathsAndOptionsReplaceSingleOnes)
{
    std::string other = dir.Mkdir("other");
    CopyFixture("timesheet.xlsx", other + "/x.xlsx");
    WriteSettings(dir / "job.set", {form, in, out, data, "kept line"});
    EXPECT_EQ(Run("/open " + Q(dir / "job.set") + " /in " + Q(other)), 0);
    EXPECT_TRUE(fs::exists(out + "/x.xlsx"));
    EXPECT_EQ(ReadFile(data), std::string(kTimesheetHeader) + kTimesheetLines);
}

TEST(GleanProgram, UsageAndExitCodes)
{
    std::string glean = std::string(APP_DIR) + "/glean";
    if (!fs::exists(glean))
        GTEST_SKIP() << "glean not built";
    auto exitCode = [&](const std::string& args) {
        int st = std::system((glean + " " + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    EXPECT_EQ(exitCode("--help"), 0);
    EXPECT_EQ(exitCode("stray"), 2);
    EXPECT_EQ(exitCode("/type"), 2);  // nothing to harvest with
}

// strace kills glean at its k-th call of one system call, a crash at an exact
// point; a second run must leave every workbook's lines in the data file once.
TEST(GleanProgram, KilledAtAnyWriteOrMoveThenRunAgainHarvestsEachWorkbookOnce)
{
    const std::string glean = std::string(APP_DIR) + "/glean";
    if (!fs::exists(glean))
        GTEST_SKIP() << "glean not built";
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace cannot trace here";
    // The call, the file it must touch ("" any), and the fewest such calls a run of three workbooks can make.
    const struct {
        const char* call;
        const char* file;
        int least;
    } calls[] = {
        {"openat", "data.csv", 1},           {"write", "data.csv", 2}, {"writev", "data.csv", 1},
        {"pwrite64", "data.csv.journal", 3}, {"rename", "", 3},        {"unlink", "", 2},
    };
    auto setUp = [](JobFolders& job) {
        for (const char* name : {"a.xlsx", "b.xls", "c.ods"})
            CopyFixture(std::string("timesheet.") + (std::strchr(name, '.') + 1), job.in + "/" + name);
        return " /type '" + job.form + "' /in '" + job.in + "' /out '" + job.out + "' /data '" + job.data +
               "' /jobs 1 >/dev/null 2>&1";
    };
    for (const auto& [call, file, least] : calls) {
        // As many kills as an untouched run makes such calls: every one of them is tried.
        int count = 0;
        {
            JobFolders job;
            const std::string args = setUp(job);
            const std::string only = *file ? " -P '" + job.dir / file + "'" : "";
            const std::string trace = job.dir / "trace.txt";
            // (The leak checker of a sanitized build cannot work under strace.)
            ASSERT_EQ(std::system(("ASAN_OPTIONS=detect_leaks=0 strace -f -o '" + trace + "'" + only +
                                   " -e trace=" + call + " " + glean + args)
                                      .c_str()),
                      0);
            std::istringstream lines(ReadFile(trace));
            for (std::string l; std::getline(lines, l);)
                count += l.find(std::string(" ") + call + "(") != std::string::npos;
        }
        EXPECT_GE(count, least) << call << " " << file;
        for (int k = 1; k <= count; ++k) {
            SCOPED_TRACE(std::string(call) + " " + file + " " + std::to_string(k));
            JobFolders job;
            const std::string args = setUp(job);
            const std::string only = *file ? " -P '" + job.dir / file + "'" : "";
            const int killed = std::system(("strace -f -o /dev/null" + only + " -e inject=" + call +
                                            ":signal=SIGKILL:when=" + std::to_string(k) + " " + glean + args)
                                               .c_str());
            EXPECT_FALSE(WIFEXITED(killed) && WEXITSTATUS(killed) == 0) << "not killed";
            const int st = std::system((glean + args).c_str());
            EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
            EXPECT_EQ(ReadFile(job.data),
                      std::string(kTimesheetHeader) + kTimesheetLines + kTimesheetLines + kTimesheetLines);
            EXPECT_EQ(CountFiles(job.in), 0);
            EXPECT_EQ(CountFiles(job.out), 3);
            EXPECT_FALSE(fs::exists(job.data + ".journal"));
            EXPECT_FALSE(fs::exists(job.data + ".lock"));
        }
    }
}

TEST(SettingsFile, LineEnds)
{
    ScratchDir dir;
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"\r\n x \r\n", {"", " x "}},
        {"", {}},
    };
    for (const auto& [text, lines] : rows) {
        WriteFile(dir / "s.set", text);
        EXPECT_EQ(ReadSettings(dir / "s.set"), lines);
    }
}

TEST(SettingsFile, ErrorsSayWhatTheFileAndWhy)
{
    ScratchDir dir;
    fs::create_directory(dir / "folder.set");
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const std::pair<std::string, std::string> rows[] = {
        {message([&] { ReadSettings(dir / "missing.set"); }),
         "Cannot read the settings file " + dir / "missing.set" + ": No such file or directory"},
        {message([&] { ReadSettings(dir / "folder.set"); }),
         "Cannot read the settings file " + dir / "folder.set" + ": Is a directory"},
        {message([&] { WriteSettings(dir / "x/y.set", {"a"}); }),
         "Cannot write the settings file " + dir / "x/y.set" + ": No such file or directory"},
        {message([&] { WriteSettings(dir / "folder.set", {"a"}); }),
         "Cannot write the settings file " + dir / "folder.set" + ": Is a directory"},
    };
    for (const auto& [got, want] : rows)
        EXPECT_EQ(got, want);
}

TEST(SettingsFile, SavedAtomicallyKeepingPermissionsAndLinks)
{
    ScratchDir dir;
    WriteFile(dir / "real.set", "old\r\n");
    fs::permissions(dir / "real.set", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(dir / "real.set", dir / "link.set");
    WriteSettings(dir / "link.set", {"a", "b"});
    EXPECT_TRUE(fs::is_symlink(dir / "link.set"));
    EXPECT_EQ(ReadFile(dir / "real.set"), "a\r\nb\r\n");
    EXPECT_EQ(fs::status(dir / "real.set").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
