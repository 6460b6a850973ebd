// The entry form computed from a specification table, and the numbers read
// from its texts.
#include "editor/modEntryForm.h"
#include "editor/modVal.h"

#include "common/clsDatFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace tabwright;

namespace {

using entryform::Field;

std::vector<Field> Plan(const std::vector<std::vector<std::string>>& rows)
{
    clsDatFile spec;
    spec.setRows(int(rows.size()));
    spec.setCols(4);
    spec.Clear();
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            spec.setData(int(r), int(c), rows[r][c]);
    return entryform::PlanFields(spec, 120, 8640, "/app");
}

TEST(EntryForm, WorkedExampleOfThreeFields)
{
    const std::vector<Field> f =
        Plan({{"Name", "50", "0", "-"}, {"Colour", "30", "2", "colours.txt"}, {"Size", "20", "1", "sizes.txt"}});
    ASSERT_EQ(f.size(), 3u);
    const double lefts[] = {120, 4440, 7032};
    const double widths[] = {4310, 2582, 1718};
    const char* tags[] = {"X=0/100 W=50/100", "X=50/100 W=30/100", "X=80/100 W=20/100"};
    const int16_t columns[] = {50, 30, 20};
    const int16_t modes[] = {0, 2, 1};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(f[i].labelName, "lbl2" + std::to_string(i));
        EXPECT_EQ(f[i].inputName, "cbo2" + std::to_string(i));
        EXPECT_DOUBLE_EQ(f[i].left, lefts[i]);
        EXPECT_DOUBLE_EQ(f[i].width, widths[i]);
        EXPECT_EQ(f[i].tag, tags[i]);
        EXPECT_EQ(f[i].columnWidth, columns[i]);
        EXPECT_EQ(f[i].mode, modes[i]);
        EXPECT_EQ(f[i].isTextBox, i == 0);
    }
    EXPECT_EQ(f[0].labelCaption, " Name");
    EXPECT_EQ(f[1].caption, "Colour");
    EXPECT_EQ(f[1].listFile, "/app/colours.txt");
    // Numbers run from twenty without gaps.
    const std::vector<Field> twelve = Plan(std::vector<std::vector<std::string>>(12, {"F", "8", "0", "-"}));
    EXPECT_EQ(twelve[11].inputName, "cbo31");
}

TEST(EntryForm, FractionalWidthsRoundEachTheirOwnWay)
{
    const std::vector<Field> f = Plan({{"A", "12.5", "0", "-"}, {"B", "37.5", "0", "-"}, {"C", "20", "0", "-"}});
    ASSERT_EQ(f.size(), 3u);
    // The field keeps its exact share; the list column rounds halves to even,
    // the option text halves away from zero, the running sum halves to even.
    EXPECT_DOUBLE_EQ(f[0].width, 1080 - 10);
    EXPECT_EQ(f[0].columnWidth, 12);
    EXPECT_EQ(f[0].tag, "X=0/100 W=13/100");
    EXPECT_DOUBLE_EQ(f[1].left, 120 + 1080);
    EXPECT_EQ(f[1].columnWidth, 38);
    EXPECT_EQ(f[1].tag, "X=12/100 W=38/100");
    EXPECT_DOUBLE_EQ(f[2].left, 120 + 1080 + 3240);
    EXPECT_EQ(f[2].tag, "X=50/100 W=20/100");
}

TEST(EntryForm, OddSpecificationTexts)
{
    const std::vector<Field> f = Plan({{"A", "wide", "x", " -"}, {"B", "50", "2.5", "--"}, {"C", "10", "0", "-"}});
    EXPECT_DOUBLE_EQ(f[0].width, -10);  // a width without a number is zero
    EXPECT_EQ(f[0].columnWidth, 0);
    EXPECT_EQ(f[0].mode, 0);
    EXPECT_DOUBLE_EQ(f[1].left, 120);
    EXPECT_EQ(f[1].mode, 2);  // 2.5 to even
    // Only a plain hyphen makes a text box.
    EXPECT_FALSE(f[0].isTextBox);
    EXPECT_FALSE(f[1].isTextBox);
    EXPECT_EQ(f[1].listFile, "/app/--");
    EXPECT_TRUE(f[2].isTextBox);
}

TEST(EntryForm, PickListNameFoundAsGivenIsKept)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("tw_list_" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file) << "a\r\n";
    EXPECT_EQ(entryform::ResolveInFolder(file.string(), "/app"), file.string());
    EXPECT_EQ(entryform::ResolveInFolder("/no/such/list.txt", "/app"), "/no/such/list.txt");
    EXPECT_EQ(entryform::ResolveInFolder("lists/sizes.txt", "/app"), "/app/lists/sizes.txt");
    fs::remove(file);
}

TEST(EntryForm, ValReadsTheLeadingNumber)
{
    const std::pair<const char*, double> cases[] = {
        {"12.5", 12.5}, {"  7", 7}, {"abc", 0}, {"", 0},  {"-3.5x", -3.5}, {"1e2", 100}, {"1e", 1},
        {".5", 0.5},    {"+4", 4},  {".", 0},   {"-", 0}, {"30%", 30},     {"1,5", 1},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(Val(text), value) << text;
}

TEST(EntryForm, Rounding)
{
    const std::tuple<double, int, int> cases[] = {
        // value, half to even, half away from zero
        {0.5, 0, 1}, {1.5, 2, 2}, {2.5, 2, 3}, {-2.5, -2, -3}, {2.6, 3, 3}, {12.5, 12, 13}, {12.4, 12, 12},
    };
    for (const auto& [value, even, away] : cases) {
        EXPECT_EQ(RoundHalfEven(value), even) << value;
        EXPECT_EQ(RoundHalfAway(value), away) << value;
    }
    EXPECT_EQ(ToInt16(40000), 32767);
    EXPECT_EQ(ToInt16(-40000), -32768);
    EXPECT_EQ(entryform::Str(12), " 12");  // a space before non-negative numbers
    EXPECT_EQ(entryform::Str(-3), "-3");
}

// The default specification file as built beside the program: the reference
// field offers the reserved references but takes any text, the format field
// offers the format words.
TEST(EntryForm, ShippedSpecificationOffersReservedReferencesAndFormatWords)
{
    const std::string app = APP_DIR;
    clsDatFile spec;
    spec.setFileName(app + "/Tabwright.dat");
    spec.Load();
    const std::vector<Field> f = entryform::PlanFields(spec, 120, 8640, app);
    struct Row {
        const char* caption;
        bool textBox;
        int16_t mode;
        std::vector<std::string> entries;
    } rows[] = {
        {"Field name", true, 0, {}},
        {"Reference", false, 4, {"<file>", "<modified>"}},  // completes without checking: any reference can be typed
        {"Format", false, 4, {"text", "dmy", "0.00"}},
    };
    ASSERT_EQ(f.size(), std::size(rows));
    for (size_t i = 0; i < f.size(); ++i) {
        SCOPED_TRACE(rows[i].caption);
        EXPECT_EQ(f[i].caption, rows[i].caption);
        EXPECT_EQ(f[i].isTextBox, rows[i].textBox);
        if (rows[i].textBox)
            continue;
        EXPECT_EQ(f[i].mode, rows[i].mode);
        std::ifstream in(f[i].listFile, std::ios::binary);
        ASSERT_TRUE(in) << f[i].listFile;
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        for (const std::string& e : rows[i].entries)
            EXPECT_NE(std::find(lines.begin(), lines.end(), e), lines.end()) << e;
    }
}

}  // namespace
