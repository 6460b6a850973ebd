// The entry form computed from a specification table, and the numbers read
// from its texts.
#include "editor/modEntryForm.h"
#include "editor/modVal.h"

#include "common/clsDatFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tabwright;

namespace {

using entryform::Field;

clsDatFile Spec(const std::vector<std::vector<std::string>>& rows) {
    clsDatFile spec;
    spec.setRows(int(rows.size()));
    spec.setCols(4);
    spec.Clear();
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c) spec.setData(int(r), int(c), rows[r][c]);
    return spec;
}

TEST(EntryForm, WorkedExampleOfThreeFields) {
    const clsDatFile spec = Spec({{"Name", "50", "0", "-"},
                                  {"Colour", "30", "2", "colours.txt"},
                                  {"Size", "20", "1", "sizes.txt"}});
    const std::vector<Field> f = entryform::PlanFields(spec, 120, 8640, "/app");
    ASSERT_EQ(f.size(), 3u);

    const char* labels[] = {"lbl20", "lbl21", "lbl22"};
    const char* inputs[] = {"cbo20", "cbo21", "cbo22"};
    const double lefts[] = {120, 4440, 7032};
    const double widths[] = {4310, 2582, 1718};
    const char* tags[] = {"X=0/100 W=50/100", "X=50/100 W=30/100", "X=80/100 W=20/100"};
    const int16_t columns[] = {50, 30, 20};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(f[i].LabelName, labels[i]);
        EXPECT_EQ(f[i].InputName, inputs[i]);
        EXPECT_DOUBLE_EQ(f[i].Left, lefts[i]);
        EXPECT_DOUBLE_EQ(f[i].Width, widths[i]);
        EXPECT_EQ(f[i].Tag, tags[i]);
        EXPECT_EQ(f[i].ColumnWidth, columns[i]);
    }
    EXPECT_EQ(f[0].LabelCaption, " Name");
    EXPECT_EQ(f[1].Caption, "Colour");
    EXPECT_TRUE(f[0].IsTextBox);
    EXPECT_FALSE(f[1].IsTextBox);
    EXPECT_EQ(f[1].Mode, 2);
    EXPECT_EQ(f[2].Mode, 1);
    EXPECT_EQ(f[1].ListFile, "/app/colours.txt");
}

TEST(EntryForm, FractionalWidthsRoundEachTheirOwnWay) {
    const clsDatFile spec = Spec({{"A", "12.5", "0", "-"}, {"B", "37.5", "0", "-"}, {"C", "20", "0", "-"}});
    const std::vector<Field> f = entryform::PlanFields(spec, 120, 8640, "/app");
    ASSERT_EQ(f.size(), 3u);
    // The field keeps its exact share; the list column rounds halves to even,
    // the option text halves away from zero, the running sum halves to even.
    EXPECT_DOUBLE_EQ(f[0].Width, 1080 - 10);
    EXPECT_EQ(f[0].ColumnWidth, 12);
    EXPECT_EQ(f[0].Tag, "X=0/100 W=13/100");
    EXPECT_DOUBLE_EQ(f[1].Left, 120 + 1080);
    EXPECT_EQ(f[1].ColumnWidth, 38);
    EXPECT_EQ(f[1].Tag, "X=12/100 W=38/100");
    EXPECT_DOUBLE_EQ(f[2].Left, 120 + 1080 + 3240);
    EXPECT_EQ(f[2].Tag, "X=50/100 W=20/100");
}

TEST(EntryForm, OnlyAPlainHyphenMakesATextBox) {
    const clsDatFile spec = Spec({{"A", "10", "0", "-"}, {"B", "10", "0", " -"}, {"C", "10", "0", "--"}});
    const std::vector<Field> f = entryform::PlanFields(spec, 120, 8640, "/app");
    EXPECT_TRUE(f[0].IsTextBox);
    EXPECT_FALSE(f[1].IsTextBox);
    EXPECT_FALSE(f[2].IsTextBox);
    EXPECT_EQ(f[2].ListFile, "/app/--");
}

TEST(EntryForm, WidthWithoutANumberIsZero) {
    const clsDatFile spec = Spec({{"A", "wide", "x", "list"}, {"B", "50", "2.5", "list"}});
    const std::vector<Field> f = entryform::PlanFields(spec, 120, 8640, "/app");
    EXPECT_DOUBLE_EQ(f[0].Width, -10);
    EXPECT_EQ(f[0].ColumnWidth, 0);
    EXPECT_EQ(f[0].Mode, 0);
    EXPECT_DOUBLE_EQ(f[1].Left, 120);
    EXPECT_EQ(f[1].Mode, 2);  // 2.5 to even
}

TEST(EntryForm, PickListNameFoundAsGivenIsKept) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("tw_list_" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file) << "a\r\n";
    EXPECT_EQ(entryform::ResolveInFolder(file.string(), "/app"), file.string());
    EXPECT_EQ(entryform::ResolveInFolder("/no/such/list.txt", "/app"), "/no/such/list.txt");
    EXPECT_EQ(entryform::ResolveInFolder("lists/sizes.txt", "/app"), "/app/lists/sizes.txt");
    fs::remove(file);
}

TEST(EntryForm, FieldNumbersRunFromTwentyWithoutGaps) {
    std::vector<std::vector<std::string>> rows(12, {"F", "8", "0", "-"});
    const std::vector<Field> f = entryform::PlanFields(Spec(rows), 120, 8640, "/app");
    EXPECT_EQ(f[7].LabelName, "lbl27");
    EXPECT_EQ(f[11].InputName, "cbo31");
}

TEST(EntryForm, Messages) {
    EXPECT_EQ(entryform::SpecMissingMessage("/app/x.dat"), "Specification file: /app/x.dat doesn't exist.");
    EXPECT_EQ(entryform::SpecColumnsMessage("/app/x.dat"),
              "Error in specification file:\n/app/x.dat\nIt should have 4 columns.");
    EXPECT_EQ(entryform::WrongColumnsMessage("/d/a.dat", 5, "/app/x.dat", 4),
              "File /d/a.dat is not in the correct format. It has 5 columns.\n\n"
              "Specification /app/x.dat is for 4 column data files.");
}

TEST(EntryForm, StrPutsASpaceBeforeNonNegativeNumbers) {
    EXPECT_EQ(entryform::Str(0), " 0");
    EXPECT_EQ(entryform::Str(12), " 12");
    EXPECT_EQ(entryform::Str(-3), "-3");
}

TEST(EntryForm, TwipsToPixels) {
    EXPECT_EQ(entryform::ToPixels(120), 8);
    EXPECT_EQ(entryform::ToPixels(8640), 576);
    EXPECT_EQ(entryform::ToPixels(4310), 287);
}

struct ValCase {
    const char* text;
    double value;
};

class ValTable : public ::testing::TestWithParam<ValCase> {};

TEST_P(ValTable, ReadsTheLeadingNumber) {
    EXPECT_DOUBLE_EQ(Val(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, ValTable,
                         ::testing::Values(ValCase{"12.5", 12.5}, ValCase{"  7", 7}, ValCase{"abc", 0},
                                           ValCase{"", 0}, ValCase{"-3.5x", -3.5}, ValCase{"1e2", 100},
                                           ValCase{"1e", 1}, ValCase{".5", 0.5}, ValCase{"+4", 4},
                                           ValCase{".", 0}, ValCase{"-", 0}, ValCase{"30%", 30},
                                           ValCase{"1,5", 1}));

TEST(Rounding, HalvesToEvenAndAwayFromZero) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.6), 3);
    EXPECT_EQ(RoundHalfAway(2.5), 3);
    EXPECT_EQ(RoundHalfAway(-2.5), -3);
    EXPECT_EQ(RoundHalfAway(12.5), 13);
    EXPECT_EQ(RoundHalfAway(12.4), 12);
    EXPECT_EQ(ToInt16(40000), 32767);
    EXPECT_EQ(ToInt16(-40000), -32768);
}

}  // namespace
