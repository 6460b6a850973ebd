// Every fixture file, from every writer, dumped and compared with what the
// generator (fixtures/generate.py) wrote into it. A writer that stores
// something else has its own <file>.expected.json explaining why.
#include "tests/workbook/Json.h"
#include "workbook/Dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace testjson;

namespace {

// Fixtures as "case/file": each case folder holds the expected dump; other
// folders hold other tests' files.
std::vector<std::string> AllFixtures()
{
    std::vector<std::string> out;
    for (const auto& f : fs::recursive_directory_iterator(kFixtures))
        if (f.path().extension() != ".json" && fs::exists(f.path().parent_path() / "expected.json"))
            out.push_back(fs::relative(f.path(), kFixtures).string());
    std::sort(out.begin(), out.end());
    return out;
}

// Names as "name -> sheet!range" lines, sorted: each writer keeps its own order.
std::vector<std::string> NameLines(const QJsonValue& names)
{
    std::vector<std::string> out;
    for (const QJsonValue& n : names.toArray())
        out.push_back(Str(n["name"]) + " -> " + (n["sheet"].isUndefined() ? "" : Str(n["sheet"]) + "!") +
                      Str(n["range"]));
    std::sort(out.begin(), out.end());
    return out;
}

class Formats : public testing::TestWithParam<std::string> {};

TEST_P(Formats, DumpMatchesWhatTheWriterWasGiven)
{
    const fs::path path = kFixtures / GetParam();
    const fs::path own = path.string() + ".expected.json",
                   expectedPath = fs::exists(own) ? own : path.parent_path() / "expected.json";
    const QJsonValue expected = ParseJson(ReadFile(expectedPath));

    std::vector<std::string> refs;
    for (const QJsonValue& r : expected["references"].toArray())
        refs.push_back(Str(r["reference"]));
    auto book = wb::Workbook::Open(path.string());  // an exception fails the test with its message
    const QJsonValue dump = ParseJson(wb::DumpJson(*book, refs));
    SCOPED_TRACE("expected: " + expectedPath.string());

    EXPECT_EQ(Str(dump["format"]), path.extension().string().substr(1));
    for (const char* key : {"sheets", "active_sheet", "date1904"})
        EXPECT_EQ(Str(dump[key]), Str(expected[key])) << key;
    EXPECT_EQ(NameLines(dump["names"]), NameLines(expected["names"]));

    // Each reference as a whole; a refusal only has to name the reference.
    const QJsonArray got = dump["references"].toArray(), want = expected["references"].toArray();
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i)
        if (want[i]["error"].isUndefined())
            EXPECT_EQ(Str(got[i]), Str(want[i]));
        else
            EXPECT_NE(Str(got[i]["error"]).find(Str(want[i]["reference"])), std::string::npos) << Str(got[i]);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Formats, testing::ValuesIn(AllFixtures()),
                         ParamName<testing::TestParamInfo<std::string>>);

// The set itself: every case is saved by every writer, so the comparison
// above covers each reader.
TEST(FormatsFixtureSet, EveryCaseHasEveryWriter)
{
    std::map<std::string, std::vector<std::string>> files;
    for (const std::string& fx : AllFixtures())
        files[fx.substr(0, fx.find('/'))].push_back(fx.substr(fx.find('/') + 1));
    ASSERT_GE(files.size(), 2u);
    const std::vector<std::string> writers = {"gnumeric-biff5.xls", "gnumeric.ods",    "gnumeric.xls",
                                              "libreoffice.ods",    "libreoffice.xls", "libreoffice.xlsx",
                                              "sheetjs.xlsb",       "xlsxwriter.xlsx"};
    for (const auto& [caseName, list] : files)
        EXPECT_EQ(list, writers) << caseName;
}

}  // namespace
