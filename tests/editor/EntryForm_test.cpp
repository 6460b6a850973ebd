// The entry form computed from a specification table, and the numbers read
// from its texts.
#include "editor/modEntryForm.h"
#include "editor/modVal.h"

#include "common/clsDatFile.h"

#include <gtest/gtest.h>

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

// Places in twips and option texts exactly; names, captions, modes, columns
// and pick lists are checked through the window in tst_frmMain.
TEST(EntryForm, WorkedExampleOfThreeFields)
{
    const std::vector<Field> f =
        Plan({{"Name", "50", "0", "-"}, {"Colour", "30", "2", "colours.txt"}, {"Size", "20", "1", "sizes.txt"}});
    ASSERT_EQ(f.size(), 3u);
    const std::tuple<double, double, std::string> places[] = {
        {120, 4310, "X=0/100 W=50/100"}, {4440, 2582, "X=50/100 W=30/100"}, {7032, 1718, "X=80/100 W=20/100"}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ((std::tuple{f[i].left, f[i].width, f[i].tag}), places[i]) << i;
    // Numbers run from twenty without gaps.
    const std::vector<Field> twelve = Plan(std::vector<std::vector<std::string>>(12, {"F", "8", "0", "-"}));
    EXPECT_EQ(twelve[11].inputName, "cbo31");
}

TEST(EntryForm, FractionalAndOddWidthsAndModes)
{
    const std::vector<Field> f = Plan({{"A", "12.5", "0", "-"}, {"B", "37.5", "0", "-"}, {"C", "20", "0", "-"}});
    ASSERT_EQ(f.size(), 3u);
    // The field keeps its exact share; the list column rounds halves to even,
    // the option text halves away from zero, the running sum halves to even.
    EXPECT_EQ((std::tuple{f[0].width, f[0].columnWidth, f[0].tag}), (std::tuple{1080 - 10, 12, "X=0/100 W=13/100"}));
    EXPECT_EQ((std::tuple{f[1].left, f[1].columnWidth, f[1].tag}), (std::tuple{120 + 1080, 38, "X=12/100 W=38/100"}));
    EXPECT_EQ((std::tuple{f[2].left, f[2].tag}), (std::tuple{120 + 1080 + 3240, "X=50/100 W=20/100"}));

    const std::vector<Field> odd = Plan({{"A", "wide", "x", " -"}, {"B", "50", "2.5", "--"}, {"C", "10", "0", "-"}});
    // A width without a number is zero; 2.5 to even; only a plain hyphen makes a text box.
    EXPECT_EQ((std::tuple{odd[0].width, odd[0].columnWidth, odd[0].mode, odd[0].isTextBox}),
              (std::tuple{-10, 0, 0, false}));
    EXPECT_EQ((std::tuple{odd[1].left, odd[1].mode, odd[1].isTextBox, odd[1].listFile, odd[2].isTextBox}),
              (std::tuple{120, 2, false, "/app/--", true}));
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
    for (const auto& [value, even, away] : cases)
        EXPECT_EQ((std::pair<int, int>(RoundHalfEven(value), RoundHalfAway(value))), (std::pair{even, away})) << value;
    EXPECT_EQ((std::pair{ToInt16(40000), ToInt16(-40000)}), (std::pair<int16_t, int16_t>{32767, -32768}));
    // A space before non-negative numbers.
    EXPECT_EQ((std::pair{entryform::Str(12), entryform::Str(-3)}), (std::pair<std::string, std::string>{" 12", "-3"}));
}

}  // namespace
