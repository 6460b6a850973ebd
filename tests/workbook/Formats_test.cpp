// Every fixture file, from every writer, dumped and compared with what the
// generator (fixtures/generate.py) wrote into it. A writer that stores
// something else has its own <file>.expected.json explaining why.
#include "workbook/Dump.h"
#include "tests/workbook/Json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

using namespace testjson;

namespace {

struct Fixture {
    std::string caseName;
    std::string file;
    fs::path Path() const { return kFixtures / caseName / file; }
};

void PrintTo(const Fixture& fx, std::ostream* os) { *os << fx.caseName << "/" << fx.file; }

std::vector<Fixture> AllFixtures()
{
    std::vector<Fixture> out;
    for (const auto& dir : fs::directory_iterator(kFixtures)) {
        // A case folder holds the expected dump; other folders hold other tests' files.
        if (!dir.is_directory() || !fs::exists(dir.path() / "expected.json")) continue;
        for (const auto& f : fs::directory_iterator(dir.path())) {
            std::string ext = f.path().extension().string();
            if (ext == ".xls" || ext == ".xlsx" || ext == ".ods")
                out.push_back({dir.path().filename().string(), f.path().filename().string()});
        }
    }
    std::sort(out.begin(), out.end(), [](const Fixture& a, const Fixture& b) {
        return std::tie(a.caseName, a.file) < std::tie(b.caseName, b.file);
    });
    return out;
}

std::string Str(const Value& v)
{
    switch (v.kind) {
    case Value::Null: return "null";
    case Value::Bool: return v.boolean ? "true" : "false";
    case Value::Number: return std::to_string(v.number);
    case Value::String: return v.string;
    default: return "?";
    }
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

class Formats : public testing::TestWithParam<Fixture> {};

TEST_P(Formats, DumpMatchesWhatTheWriterWasGiven)
{
    const Fixture& fx = GetParam();
    fs::path own = fx.Path();
    own += ".expected.json";
    fs::path expectedPath = fs::exists(own) ? own : kFixtures / fx.caseName / "expected.json";
    Value expected = testjson::Parse(ReadFile(expectedPath));

    std::vector<std::string> refs;
    for (const Value& r : expected["references"].items) refs.push_back(r["reference"].string);

    std::unique_ptr<wb::Workbook> book;
    try {
        book = wb::Workbook::Open(fx.Path().string());
    } catch (const wb::Error& e) {
        FAIL() << "cannot open: " << e.what();
    }
    std::string dumpText = wb::DumpJson(*book, refs);
    Value dump;
    ASSERT_NO_THROW(dump = testjson::Parse(dumpText)) << dumpText;
    SCOPED_TRACE("expected: " + expectedPath.string());

    std::string ext = fx.Path().extension().string().substr(1);
    EXPECT_EQ(dump["format"].string, ext);
    std::vector<std::string> sheets, wantSheets;
    for (const Value& s : dump["sheets"].items) sheets.push_back(s.string);
    for (const Value& s : expected["sheets"].items) wantSheets.push_back(s.string);
    EXPECT_EQ(sheets, wantSheets);
    EXPECT_EQ(Str(dump["active_sheet"]), Str(expected["active_sheet"]));
    EXPECT_EQ(dump["date1904"].boolean, expected["date1904"].boolean);
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
        if (w.Find("error")) {
            const Value* message = g.Find("error");
            ASSERT_TRUE(message) << "resolved to " << Str(g["sheet"]) << "!" << Str(g["range"]);
            EXPECT_NE(message->string.find(ref), std::string::npos)
                << "the message should name the reference: " << message->string;
            continue;
        }
        if (const Value* message = g.Find("error")) {
            ADD_FAILURE() << "error: " << message->string;
            continue;
        }
        EXPECT_EQ(g["sheet"].string, w["sheet"].string);
        EXPECT_EQ(g["range"].string, w["range"].string);
        EXPECT_EQ(g["rows"].number, w["rows"].number);
        EXPECT_EQ(g["cols"].number, w["cols"].number);
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

std::string FixtureName(const testing::TestParamInfo<Fixture>& info)
{
    std::string name = info.param.caseName + "_" + info.param.file;
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Formats, testing::ValuesIn(AllFixtures()), FixtureName);

// The set itself: every case is saved in each of the three formats, and
// every writer's file is there for every case.
TEST(FormatsFixtureSet, EveryCaseHasEveryWriter)
{
    std::map<std::string, std::vector<std::string>> files;
    for (const Fixture& fx : AllFixtures()) files[fx.caseName].push_back(fx.file);
    ASSERT_GE(files.size(), 2u);
    const std::vector<std::string> writers = {
        "gnumeric-biff5.xls", "gnumeric.ods", "gnumeric.xls",
        "libreoffice.ods", "libreoffice.xls", "libreoffice.xlsx", "xlsxwriter.xlsx"};
    for (const auto& [caseName, list] : files) EXPECT_EQ(list, writers) << caseName;
}

}  // namespace
