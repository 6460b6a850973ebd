// Every fixture file, from every writer, dumped and compared with what the
// generator (fixtures/generate.py) wrote into it. A writer that stores
// something else has its own <file>.expected.json explaining why.
#include "workbook/Dump.h"
#include "tests/workbook/Json.h"

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
    for (const auto& dir : fs::directory_iterator(kFixtures)) {
        if (!dir.is_directory() || !fs::exists(dir.path() / "expected.json")) continue;
        for (const auto& f : fs::directory_iterator(dir.path())) {
            std::string ext = f.path().extension().string();
            if (ext == ".xls" || ext == ".xlsx" || ext == ".ods" || ext == ".xlsb")
                out.push_back(dir.path().filename().string() + "/" + f.path().filename().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A value as one line of text: strings bare, arrays joined.
std::string Str(const Value& v)
{
    std::string out = v.kind == Value::Null ? "null" : v.kind == Value::Bool ? (v.boolean ? "true" : "false")
                      : v.kind == Value::Number ? std::to_string(v.number) : v.string;
    for (const Value& item : v.items) out += Str(item) + ", ";
    return out;
}

// Names as "name -> sheet!range" lines, sorted: each writer keeps its own order.
std::vector<std::string> NameLines(const Value& names)
{
    std::vector<std::string> out;
    for (const Value& n : names.items) {
        const Value* sheet = n.Find("sheet");
        out.push_back(n["name"].string + " -> " + (sheet ? sheet->string + "!" : "") + Str(n["range"]));
    }
    std::sort(out.begin(), out.end());
    return out;
}

class Formats : public testing::TestWithParam<std::string> {};

TEST_P(Formats, DumpMatchesWhatTheWriterWasGiven)
{
    const fs::path path = kFixtures / GetParam();
    fs::path expectedPath = path.string() + ".expected.json";
    if (!fs::exists(expectedPath)) expectedPath = path.parent_path() / "expected.json";
    Value expected = Parse(ReadFile(expectedPath));

    std::vector<std::string> refs;
    for (const Value& r : expected["references"].items) refs.push_back(r["reference"].string);
    std::unique_ptr<wb::Workbook> book;
    try {
        book = wb::Workbook::Open(path.string());
    } catch (const wb::Error& e) {
        FAIL() << "cannot open: " << e.what();
    }
    std::string dumpText = wb::DumpJson(*book, refs);
    Value dump;
    ASSERT_NO_THROW(dump = Parse(dumpText)) << dumpText;
    SCOPED_TRACE("expected: " + expectedPath.string());

    EXPECT_EQ(dump["format"].string, path.extension().string().substr(1));
    for (const char* key : {"sheets", "active_sheet", "date1904"}) EXPECT_EQ(Str(dump[key]), Str(expected[key])) << key;
    EXPECT_EQ(NameLines(dump["names"]), NameLines(expected["names"]));

    const auto& got = dump["references"].items;
    const auto& want = expected["references"].items;
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Value& g = got[i];
        const Value& w = want[i];
        const std::string& ref = w["reference"].string;
        SCOPED_TRACE("reference " + ref);
        EXPECT_EQ(g["reference"].string, ref);
        const Value* message = g.Find("error");
        if (w.Find("error")) {
            ASSERT_TRUE(message) << "resolved to " << Str(g["sheet"]) << "!" << Str(g["range"]);
            EXPECT_NE(message->string.find(ref), std::string::npos)
                << "the message should name the reference: " << message->string;
            continue;
        }
        if (message) {
            ADD_FAILURE() << "error: " << message->string;
            continue;
        }
        for (const char* key : {"sheet", "range", "rows", "cols"}) EXPECT_EQ(Str(g[key]), Str(w[key])) << key;
        const auto& gc = g["cells"].items;
        const auto& wc = w["cells"].items;
        ASSERT_EQ(gc.size(), wc.size());
        for (size_t k = 0; k < wc.size(); ++k) {
            EXPECT_EQ(gc[k]["type"].string + ": " + gc[k]["text"].string,
                      wc[k]["type"].string + ": " + wc[k]["text"].string)
                << "cell " << k << " of " << w["range"].string;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Formats, testing::ValuesIn(AllFixtures()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// The set itself: every case is saved by every writer, so the comparison
// above covers each reader.
TEST(FormatsFixtureSet, EveryCaseHasEveryWriter)
{
    std::map<std::string, std::vector<std::string>> files;
    for (const std::string& fx : AllFixtures()) files[fx.substr(0, fx.find('/'))].push_back(fx.substr(fx.find('/') + 1));
    ASSERT_GE(files.size(), 2u);
    const std::vector<std::string> writers = {
        "gnumeric-biff5.xls", "gnumeric.ods", "gnumeric.xls",
        "libreoffice.ods", "libreoffice.xls", "libreoffice.xlsx", "sheetjs.xlsb", "xlsxwriter.xlsx"};
    for (const auto& [caseName, list] : files) EXPECT_EQ(list, writers) << caseName;
}

}  // namespace
