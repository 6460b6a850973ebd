// glean: reading its options, and what it prints and returns.
#include "harvester/GleanCommand.h"
#include "harvester/clsBatchRun.h"
#include "harvester/SettingsFile.h"
#include "tests/harvester/HarvestTestUtil.h"

#include <gtest/gtest.h>

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
        EXPECT_EQ(o.formType, r.type) << r.text;
        EXPECT_EQ(o.inDir, r.in) << r.text;
        EXPECT_EQ(o.dataFile, r.data) << r.text;
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

TEST_F(Glean, ConfigurationErrorsExitTwo)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    WriteFile(dir / "empty.dat", "0,0\r\n");
    const std::string rest = " /in " + Q(in) + " /data " + Q(data);
    EXPECT_EQ(Run("/type " + Q(dir / "missing.dat") + rest), 2);
    EXPECT_EQ(Run("/type " + Q(dir / "empty.dat") + rest), 2);
    EXPECT_EQ(Run("/type " + Q(form) + rest + " /out " + Q(dir / "nowhere")), 2);
    EXPECT_EQ(Run("/type " + Q(form) + " /in " + Q(in) + " /data " + Q(dir / "no/data.csv")), 2);
    EXPECT_EQ(Run("/in " + Q(in) + " /data " + Q(data)), 2);
    EXPECT_EQ(Run("/open " + Q(dir / "missing.set")), 2);
    EXPECT_FALSE(fs::exists(data));
    EXPECT_EQ(CountFiles(in), 1);
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

TEST(SettingsFile, LineEnds)
{
    ScratchDir dir;
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"a\r\nb\r\n", {"a", "b"}}, {"a\rb", {"a", "b"}}, {"a\nb\n", {"a", "b"}}, {"\r\n x \r\n", {"", " x "}},
        {"", {}},
    };
    for (const auto& [text, lines] : rows) {
        WriteFile(dir / "s.set", text);
        EXPECT_EQ(ReadSettings(dir / "s.set"), lines);
    }
    EXPECT_THROW(ReadSettings(dir / "missing.set"), std::exception);
}

}  // namespace
