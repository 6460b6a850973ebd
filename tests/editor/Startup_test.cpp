// The editor's command line: options, positional words and the files chosen.
#include "editor/modMain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tabwright;

namespace fs = std::filesystem;

namespace {

const std::string kFolder = "/opt/tabwright";
const std::string kDefaultSpec = "/opt/tabwright/Tabwright.dat";

StartupValues Parse(const std::string& text) {
    return ParseStartup(text, kFolder, "Tabwright");
}

struct Case {
    const char* name;
    const char* text;
    const char* title;
    const char* spec;
    const char* data;
    bool noFile;
    const char* fmt;
    bool usage;
};

class StartupWords : public ::testing::TestWithParam<Case> {};

TEST_P(StartupWords, GivesTheStartupValues) {
    const Case& c = GetParam();
    const StartupValues v = Parse(c.text);
    EXPECT_EQ(v.UsageError, c.usage);
    if (c.usage) return;
    EXPECT_EQ(v.Title, c.title);
    EXPECT_EQ(v.SpecFile, c.spec);
    EXPECT_EQ(v.DataFile, c.data);
    EXPECT_EQ(v.NoFile, c.noFile);
    EXPECT_EQ(v.FmtText, c.fmt);
}

const char* kTitle = "Quorra Data File Editor";

INSTANTIATE_TEST_SUITE_P(
    Table, StartupWords,
    ::testing::Values(
        Case{"NoWord", "", kTitle, kDefaultSpec.c_str(), "", true, "0", false},
        Case{"OneWordIsTheDataFile", "\"/home/u/My Forms/week.dat\"", kTitle, kDefaultSpec.c_str(),
             "/home/u/My Forms/week.dat", false, "0", false},
        Case{"OptionsInCapitals", "/T \"My Title\" /CSV data.csv", "My Title", kDefaultSpec.c_str(),
             "data.csv", false, "1", false},
        Case{"DashSpellings", "-t Edit -csvh data.csv", "Edit", kDefaultSpec.c_str(), "data.csv", false, "2",
             false},
        Case{"TitleLastIsEmpty", "data.dat /t", "", kDefaultSpec.c_str(), "data.dat", false, "0", false},
        Case{"TitleTakesAnOptionWord", "/t /csv data.dat", "/csv", kDefaultSpec.c_str(), "data.dat", false,
             "0", false},
        Case{"CsvThenCsvh", "/csv /csvh data.csv", kTitle, kDefaultSpec.c_str(), "data.csv", false, "2", false},
        Case{"CsvhThenCsv", "/csvh /csv data.csv", kTitle, kDefaultSpec.c_str(), "data.csv", false, "1", false},
        Case{"TitleTwiceLastCounts", "/t One /t Two", "Two", kDefaultSpec.c_str(), "", true, "0", false},
        Case{"VSkipsAWord", "/v 123 /nonexistent/spec.dat data.dat", kTitle, "/nonexistent/spec.dat", "data.dat",
             false, "0", false},
        Case{"ThreeWordsIsUsage", "a b c", "", "", "", false, "", true},
        Case{"ThreeWordsAmongOptions", "/csv a /t T b c", "", "", "", false, "", true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(Startup, PositionalWordsKeepTheirCapitals) {
    const StartupValues v = Parse("Spec.DAT Data.DAT");
    ASSERT_EQ(v.Positional.size(), 2u);
    EXPECT_EQ(v.Positional[0], "Spec.DAT");
    EXPECT_EQ(v.Positional[1], "Data.DAT");
    EXPECT_EQ(v.DataFile, "Data.DAT");
}

class StartupSpecLookup : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("tw_startup_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "cwd");
        fs::current_path(dir_ / "cwd");
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    fs::path old_, dir_;
};

TEST_F(StartupSpecLookup, RelativeNameFoundInTheCurrentFolderIsUsedAsGiven) {
    std::ofstream("local.dat") << "1,4\r\n";
    const StartupValues v = Parse("local.dat data.dat");
    EXPECT_EQ(v.SpecFile, "local.dat");
    EXPECT_EQ(v.DataFile, "data.dat");
}

TEST_F(StartupSpecLookup, RelativeNameNotFoundIsTakenFromTheProgramFolder) {
    const StartupValues v = Parse("forms.dat data.dat");
    EXPECT_EQ(v.SpecFile, kFolder + "/forms.dat");
}

TEST_F(StartupSpecLookup, AFolderOfThatNameIsNotASpecificationFile) {
    fs::create_directory("forms.dat");
    EXPECT_EQ(Parse("forms.dat data.dat").SpecFile, kFolder + "/forms.dat");
}

TEST_F(StartupSpecLookup, ASingleWordIsNeverTheSpecificationFile) {
    std::ofstream("local.dat") << "1,4\r\n";
    const StartupValues v = Parse("local.dat");
    EXPECT_EQ(v.SpecFile, kDefaultSpec);
    EXPECT_EQ(v.DataFile, "local.dat");
}

TEST(Startup, UsageText) {
    EXPECT_EQ(UsageText("Tabwright"), "Usage: \r\nTabwright [[specfile] datfile] [/t title] [/csv|/csvh]");
}

}  // namespace
