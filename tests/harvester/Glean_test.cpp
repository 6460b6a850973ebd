// glean: reading its options, and what it prints and returns.
#include "harvester/SettingsFile.h"
#include "tests/harvester/BatchRunFixture.h"

#include <tuple>

using namespace harvest_test;

namespace {

TEST(GleanOptions, OptionRules)
{
    const std::tuple<const char*, const char*, const char*, const char*, bool> rows[] = {
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
    for (const auto& [text, type, in, data, error] : rows) {
        GleanOptions o = ParseGleanOptions(text);
        EXPECT_EQ(o.formType.value_or(""), type) << text;
        EXPECT_EQ(o.inDir.value_or(""), in) << text;
        EXPECT_EQ(o.dataFile.value_or(""), data) << text;
        EXPECT_EQ(!o.usageError.empty(), error) << text << ": " << o.usageError;
    }
    EXPECT_EQ(ParseGleanOptions("/jobs 4").jobs, 4);
    EXPECT_TRUE(ParseGleanOptions("--help").help);
}

using GleanRun = BatchRun;

// 0 when all were harvested, 1 on any failure, 2 on glean's own
// configuration errors (the run's own are tested with the batch run's).
TEST_F(GleanRun, ExitCodesZeroWhenAllHarvestedOneOnAnyFailureTwoOnItsOwnErrors)
{
    EXPECT_EQ(Glean(Args()), 0);
    EXPECT_EQ(err.str(), std::string(clsBatchRun::kNothingToDo) + "\n0 harvested, 0 failed\n");
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CopyFixture("timesheet.xls", in + "/b.xls");
    EXPECT_EQ(Glean(Args() + " /jobs 2"), 0);
    EXPECT_EQ(err.str(), "Done " + in + "/a.xlsx\nDone " + in + "/b.xls\n2 harvested, 0 failed\n");
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CopyFixture("notabook.xlsx", in + "/b.xlsx");
    EXPECT_EQ(Glean(Args()), 1);
    EXPECT_TRUE(Contains(err.str(), "Failed " + in + "/b.xlsx: ")) << err.str();
    EXPECT_TRUE(Contains(err.str(), "\n1 harvested, 1 failed\n")) << err.str();
    // One workbook named as the input, blanks around it: b.xlsx stays.
    CopyFixture("timesheet.xlsx", in + "/c.xlsx");
    EXPECT_EQ(Glean(Args() + " /in \" " + in + "/c.xlsx \""), 0);
    EXPECT_EQ(err.str(), "Done " + in + "/c.xlsx\n1 harvested, 0 failed\n");
    EXPECT_EQ(Files(in) + " / " + Files(out), "b.xlsx / a.xlsx b.xls c.xlsx");

    EXPECT_EQ(Glean("/in \"" + in + "\" /data \"" + data + "\""), 2);
    EXPECT_EQ(err.str().rfind("glean: no form definition (/type) given\n", 0), 0u) << err.str();
    EXPECT_EQ(Glean("/open \"" + dir / "missing.set" + "\""), 2);
    const std::string said =
        "glean: Cannot read the settings file " + dir / "missing.set" + ": No such file or directory\n";
    EXPECT_EQ(err.str().rfind(said, 0), 0u) << err.str();
}

TEST_F(GleanRun, StoppedRunSaysWhyAndWhatWasNotTriedThenSettles)
{
    AddBooks(3);
    WriteFile(data, "");
    FileAttribute appendOnly(data, "+a");
    if (!appendOnly.Ok())
        GTEST_SKIP() << "chattr +a is not permitted here";
    fs::create_directory(out + "/b001.xlsx");  // b001 cannot be moved, nor its lines taken out
    EXPECT_EQ(Glean(Args()), 1);
    const std::string said = err.str();
    EXPECT_EQ(said.rfind("Done " + in + "/b000.xlsx\nFailed " + in + "/b001.xlsx: Cannot move the workbook", 0), 0u)
        << said;
    EXPECT_TRUE(Contains(said, "\nglean: the run stopped at " + in + "/b001.xlsx\n")) << said;
    EXPECT_TRUE(Contains(said, "\nNot tried " + in + "/b002.xlsx\n1 harvested, 1 failed, 1 not tried\n")) << said;
    EXPECT_EQ(Glean(Args()), 2);  // still blocked: the journal is named, nothing changes
    EXPECT_TRUE(Contains(err.str(), JournalFile())) << err.str();
    EXPECT_EQ(State(), "data 2, in 2, out 1, journal");
    fs::remove(out + "/b001.xlsx");
    EXPECT_EQ(Glean(Args()), 0);
    EXPECT_EQ(err.str(), "glean: The lines of " + in + "/b001.xlsx were already in " + data + "; it was moved to " +
                             out + "/b001.xlsx.\nDone " + in + "/b002.xlsx\n1 harvested, 0 failed\n");
    EXPECT_EQ(State(), "data 3, in 0, out 3");  // each workbook's lines once
}

TEST_F(GleanRun, SettingsFileGivesThePathsAndOptionsReplaceSingleOnes)
{
    std::string other = dir.Mkdir("other");
    CopyFixture("timesheet.xlsx", other + "/x.xlsx");
    WriteSettings(dir / "job.set", {form, in, out, data, "kept line"});
    EXPECT_EQ(Glean("/open \"" + dir / "job.set" + "\" /in \"" + other + "\""), 0);
    EXPECT_TRUE(fs::exists(out + "/x.xlsx"));
    EXPECT_EQ(ReadFile(data), Lines(1));
}

// strace kills glean at its k-th call of one system call, a crash at an exact
// point; a second run must leave every workbook's lines in the data file once.
TEST(GleanProgram, KilledAtAnyWriteOrMoveThenRunAgainHarvestsEachWorkbookOnce)
{
    if (!fs::exists(kGlean))
        GTEST_SKIP() << "glean not built";
    if (Shell("strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace cannot trace here";
    // The call, the file it must touch ("" any), and the fewest such calls a run of three workbooks can make.
    const std::tuple<const char*, const char*, int> calls[] = {
        {"openat", "data.csv", 1},           {"write", "data.csv", 2}, {"writev", "data.csv", 1},
        {"pwrite64", "data.csv.journal", 3}, {"rename", "", 3},        {"unlink", "", 2},
    };
    // glean on a job of three workbooks, under `strace` when given. (The leak
    // checker of a sanitized build cannot work under strace.)
    auto glean = [](const JobFolders& job, const std::string& file, const std::string& strace) {
        const std::string only = !file.empty() ? " -P '" + job.dir / file + "'" : "";
        return Shell((strace.empty() ? "" : "ASAN_OPTIONS=detect_leaks=0 strace -f " + strace + only + " ") + kGlean +
                     " " + job.Args() + " /jobs 1 >/dev/null 2>&1");
    };
    for (const auto& [call, file, least] : calls) {
        // As many kills as an untouched run makes such calls: every one of them is tried.
        int count = 0;
        {
            JobFolders job;
            job.AddBooks(3);
            ASSERT_EQ(glean(job, file, "-o '" + job.dir / "trace.txt" + "' -e trace=" + call), 0);
            std::istringstream lines(ReadFile(job.dir / "trace.txt"));
            for (std::string l; std::getline(lines, l);)
                count += Contains(l, std::string(" ") + call + "(");
        }
        EXPECT_GE(count, least) << call << " " << file;
        for (int k = 1; k <= count; ++k) {
            SCOPED_TRACE(std::string(call) + " " + file + " " + std::to_string(k));
            JobFolders job;
            job.AddBooks(3);
            const std::string kill = std::string("-e inject=") + call + ":signal=SIGKILL:when=" + std::to_string(k);
            EXPECT_NE(glean(job, file, "-o /dev/null " + kill), 0) << "not killed";
            EXPECT_EQ(glean(job, "", ""), 0);
            EXPECT_EQ(job.State(), "data 3, in 0, out 3");
        }
    }
}

TEST(SettingsFile, LineEndsErrorsThatSayWhatFileAndWhyAndLinksKept)
{
    ScratchDir dir;
    // The file's text, then the lines read.
    const std::pair<std::string, Strings> rows[] = {{"a\r\nb\r\n", {"a", "b"}},
                                                    {"a\rb", {"a", "b"}},
                                                    {"a\nb\n", {"a", "b"}},
                                                    {"\r\n x \r\n", {"", " x "}},
                                                    {"", {}}};
    for (const auto& [text, lines] : rows) {
        WriteFile(dir / "s.set", text);
        EXPECT_EQ(ReadSettings(dir / "s.set"), lines) << text;
    }
    fs::create_directory(dir / "folder.set");
    const std::tuple<std::string, const char*, const char*> errors[] = {
        {"read", "missing.set", "No such file or directory"},
        {"read", "folder.set", "Is a directory"},
        {"write", "x/y.set", "No such file or directory"},
        {"write", "folder.set", "Is a directory"},
    };
    for (const auto& [verb, name, why] : errors) {
        const Thrown t = ThrownBy(
            [&] { verb == "read" ? ReadSettings(dir / name) : (WriteSettings(dir / name, {"a"}), Strings()); });
        EXPECT_EQ(t.what, "Cannot " + verb + " the settings file " + dir / name + ": " + why);
    }
    // Saved atomically, keeping the permissions and the link.
    WriteFile(dir / "real.set", "old\r\n");
    fs::permissions(dir / "real.set", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(dir / "real.set", dir / "link.set");
    WriteSettings(dir / "link.set", {"a", "b"});
    EXPECT_TRUE(fs::is_symlink(dir / "link.set"));
    EXPECT_EQ(ReadFile(dir / "real.set"), "a\r\nb\r\n");
    EXPECT_EQ(fs::status(dir / "real.set").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
