// glean: reading its options, and what it prints and returns.
#include "harvester/GleanCommand.h"
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
        const char* text;
        const char* type;
        const char* in;
        const char* data;
        bool error;
    } rows[] = {
        {"", "", "", "", false},
        {"/type f.dat /in in /data d.csv", "f.dat", "in", "d.csv", false},
        {"/IN \"My Forms\" /Type F.DAT", "F.DAT", "My Forms", "", false},  // any case; value case kept
        {"--type f.dat --in=in --DATA d.csv", "f.dat", "in", "d.csv", false},
        {"/type a /type b", "b", "", "", false},  // a later option wins
        {"/data", "", "", "", false},             // last word: empty value
        {"/in /out folder", "", "/out", "", true},  // /out is the value; folder is a stray
        {"book.xlsx", "", "", "", true},
        {"-type f.dat", "", "", "", true},  // one hyphen is not an option spelling
        {"/types f.dat", "", "", "", true},
        {"\"\"", "", "", "", true},
        {"/jobs two", "", "", "", true},
        {"/autorun /type f", "f", "", "", false},
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

class Glean : public ::testing::Test {
protected:
    void SetUp() override
    {
        in = dir.Mkdir("in");
        out = dir.Mkdir("out");
        form = TimesheetForm(dir / "form.dat");
        data = dir / "data.csv";
    }
    int Run(const std::string& args)
    {
        GleanOptions o = ParseGleanOptions(args);
        EXPECT_EQ(o.usageError, "") << args;
        err.str("");
        return RunGlean(o, err, false);
    }
    std::string Q(const std::string& s) { return "\"" + s + "\""; }

    ScratchDir dir;
    std::string in, out, form, data;
    std::ostringstream err;
};

TEST_F(Glean, AllHarvestedExitsZero)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CopyFixture("timesheet.xls", in + "/b.xls");
    EXPECT_EQ(Run("/type " + Q(form) + " /in " + Q(in) + " /out " + Q(out) + " /data " + Q(data) + " /jobs 2"), 0);
    EXPECT_EQ(err.str(), "Done " + in + "/a.xlsx\nDone " + in + "/b.xls\n2 harvested, 0 failed\n");
    EXPECT_EQ(CountFiles(out), 2);
}

TEST_F(Glean, AnyFailureExitsOne)
{
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    CopyFixture("notabook.xlsx", in + "/b.xlsx");
    EXPECT_EQ(Run("/type " + Q(form) + " /in " + Q(in) + " /data " + Q(data)), 1);
    EXPECT_NE(err.str().find("Failed " + in + "/b.xlsx: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("\n1 harvested, 1 failed\n"), std::string::npos) << err.str();
}

TEST_F(Glean, NothingToHarvestExitsZero)
{
    EXPECT_EQ(Run("/type " + Q(form) + " /in " + Q(in) + " /data " + Q(data)), 0);
    EXPECT_EQ(err.str(), "All of the forms in the input directory have been processed.\n0 harvested, 0 failed\n");
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

TEST(SettingsFile, LineEndsAndLimits)
{
    ScratchDir dir;
    struct Row {
        std::string text;
        std::vector<std::string> lines;
    } rows[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"\r\n x \r\n", {"", " x "}},
        {"", {}},
    };
    for (const Row& r : rows) {
        WriteFile(dir / "s.set", r.text);
        EXPECT_EQ(ReadSettings(dir / "s.set"), r.lines);
    }
    std::string sixty;
    for (int i = 0; i < 60; ++i)
        sixty += std::to_string(i) + "\r\n";
    WriteFile(dir / "big.set", sixty);
    EXPECT_EQ(ReadSettings(dir / "big.set").size(), 50u);
    EXPECT_THROW(ReadSettings(dir / "missing.set"), std::exception);
}

TEST(SettingsFile, WritesEveryLineWithCrLf)
{
    ScratchDir dir;
    WriteSettings(dir / "s.set", {" f.dat", "", "out/", "d.csv "});
    EXPECT_EQ(ReadFile(dir / "s.set"), " f.dat\r\n\r\nout/\r\nd.csv \r\n");
    EXPECT_EQ(ReadSettings(dir / "s.set"), (std::vector<std::string>{" f.dat", "", "out/", "d.csv "}));
    EXPECT_THROW(WriteSettings(dir / "no/s.set", {"x"}), std::exception);
}

}  // namespace

namespace {

// The bundled examples, as ./demo runs them, against their expected data file.
TEST(GleanExamples, ExampleFormsGiveTheExpectedDataFile)
{
    ScratchDir dir;
    std::string in = dir.Mkdir("in"), out = dir.Mkdir("done");
    for (auto& e : fs::directory_iterator(std::string(SOURCE_DIR) + "/examples/forms"))
        fs::copy_file(e.path(), in + "/" + e.path().filename().string());
    std::ostringstream err;
    GleanOptions o = ParseGleanOptions("/type \"" + std::string(SOURCE_DIR) + "/examples/timesheet.dat\" /in \"" + in +
                                       "\" /out \"" + out + "\" /data \"" + dir / "timesheets.csv" + "\"");
    EXPECT_EQ(RunGlean(o, err, false), 0) << err.str();
    EXPECT_EQ(ReadFile(dir / "timesheets.csv"),
              ReadFile(std::string(SOURCE_DIR) + "/examples/timesheets.expected.csv"));
    EXPECT_EQ(CountFiles(in), 0);
}

}  // namespace
