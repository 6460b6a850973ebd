// The editor's command line: options, positional words and the files chosen.
#include "editor/modEntryForm.h"
#include "editor/modMain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tabwright;

namespace fs = std::filesystem;

namespace {

const std::string kFolder = "/opt/tabwright";
const std::string kDefaultSpec = "/opt/tabwright/Tabwright.dat";
const std::string kTitle = "Quorra Data File Editor";

StartupValues Parse(const std::string& text)
{
    return ParseStartup(text, kFolder, "Tabwright");
}

TEST(Startup, WordsGiveTheStartupValues)
{
    // Words, then the title, specification, data file and format (no title and specification: a usage error).
    const std::tuple<std::string, std::string, std::string, std::string, std::string> cases[] = {
        {"", kTitle, kDefaultSpec, "", "0"},
        {"/T \"My Title\" /CSV data.csv", "My Title", kDefaultSpec, "data.csv", "1"},
        {"-t Edit -csvh data.csv", "Edit", kDefaultSpec, "data.csv", "2"},
        {"data.dat /t", "", kDefaultSpec, "data.dat", "0"},  // a last /t gives an empty title
        {"/t /csv data.dat", "/csv", kDefaultSpec, "data.dat", "0"},
        {"/csv /csvh data.csv", kTitle, kDefaultSpec, "data.csv", "2"},
        {"/csvh /csv data.csv", kTitle, kDefaultSpec, "data.csv", "1"},
        {"/t One /t Two", "Two", kDefaultSpec, "", "0"},
        {"/v 123 /nonexistent/spec.dat data.dat", kTitle, "/nonexistent/spec.dat", "data.dat", "0"},  // /v skips a word
        {"a b c", "", "", "", ""},
        {"/csv a /t T b c", "", "", "", ""},
    };
    for (const auto& [text, title, spec, data, fmt] : cases) {
        const StartupValues v = Parse(text);
        const bool usage = title.empty() && spec.empty();
        EXPECT_EQ(v.usageError, usage) << text;
        if (usage)
            continue;
        EXPECT_EQ((std::tuple{v.title, v.specFile, v.dataFile, v.noFile, v.fmtText}),
                  (std::tuple{title, spec, data, data.empty(), fmt}))
            << text;
    }
    EXPECT_EQ(Parse("Spec.DAT Data.DAT").positional, (std::vector<std::string>{"Spec.DAT", "Data.DAT"}));
    EXPECT_EQ(UsageText("Tabwright"), "Usage: \r\nTabwright [[specfile] datfile] [/t title] [/csv|/csvh]");
}

// A relative specification or pick list name is looked for here, then in the program folder.
TEST(Startup, RelativeNamesAreLookedForHereThenInTheProgramFolder)
{
    const fs::path old = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("tw_startup_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    std::ofstream("local.dat") << "1,4\r\n";
    fs::create_directory("folder.dat");
    EXPECT_EQ(Parse("local.dat data.dat").specFile, "local.dat");
    EXPECT_EQ(Parse("forms.dat data.dat").specFile, kFolder + "/forms.dat");
    EXPECT_EQ(Parse("folder.dat data.dat").specFile, kFolder + "/folder.dat");  // a folder is no file
    const StartupValues single = Parse("local.dat");  // a single word is never the specification
    EXPECT_EQ((std::pair{single.specFile, single.dataFile}), (std::pair{kDefaultSpec, std::string("local.dat")}));
    // A pick list named as it is found from here is kept; an absolute name is never moved.
    EXPECT_EQ(entryform::ResolveInFolder("local.dat", kFolder), "local.dat");
    EXPECT_EQ(entryform::ResolveInFolder("/no/such/list.txt", kFolder), "/no/such/list.txt");
    fs::current_path(old);
    fs::remove_all(dir);
}

}  // namespace
