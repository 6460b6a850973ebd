#include "common/RtError.h"
#include "common/modGetWords.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::string line;
    std::vector<std::string> words;  // empty: rejected
};

std::vector<std::string> Words(const WordList& w) { return {w.begin() + 1, w.end()}; }

std::string Joined(int n, const std::string& sep)
{
    std::string s;
    for (int i = 1; i <= n; ++i)
        s += (i > 1 ? sep : "") + std::to_string(i);
    return s;
}

}  // namespace

TEST(GetWords, SplitsByTheStateTable)
{
    const Case cases[] = {
        {"a,b,c", {"a", "b", "c"}},
        {" a , b ", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a", ""}},
        {"", {""}},
        {"   ", {""}},
        {"\"a,b\",c", {"a,b", "c"}},
        {"\"x\"\"y\"", {"x\"y"}},
        {"\"\"", {""}},
        {"\"\",\"\"", {"", ""}},
        {"\"  x  \"", {"x"}},
        {"\"x\"   ,y", {"x", "y"}},
        {"\"a\" \"b\"", {"a\" b"}},
        {"\"a\"   \"b\"", {"a\"   b"}},
        {"ab\"c,d", {"ab\"c", "d"}},
        {"\"x\"y,z", {}},
        {"\"abc", {}},
        {"\"abc,d", {}},
        {"a\t,b", {"a\t", "b"}},
        {"\ta", {"\ta"}},
        {"a\nb", {"a", "b"}},           // a line feed separates like a comma
        {"\"a\nb\",c", {"a\nb", "c"}},  // ... except inside quotes
        {"a\rb", {"a\rb"}},
        {",", {"", ""}},
        {"a b , c", {"a b", "c"}},
        {"\"a\",", {"a", ""}},
        {"a,\"b", {}},                  // words before the fault are not kept
        {"\"a\"x,\"b\"", {}},
        {"\"\"\"\"", {"\""}},
        {"\"a\"\"\"", {"a\""}},
        {"\"a\" ", {"a"}},
        {"\xc3\xa9t\xc3\xa9,\"na\xc3\xafve\"", {"\xc3\xa9t\xc3\xa9", "na\xc3\xafve"}},
    };
    for (const auto& c : cases) {
        const WordList w = GetWords(c.line);
        ASSERT_FALSE(w.empty());
        EXPECT_EQ(w[0], "") << c.line;
        EXPECT_EQ(Words(w), c.words) << "line: [" << c.line << "]";
        EXPECT_EQ(UBound(w), static_cast<int>(c.words.size())) << c.line;
    }
}

TEST(GetWords, EightyWordsSucceedAndTheEightyFirstFailsWithError9)
{
    EXPECT_EQ(UBound(GetWords(Joined(80, ","))), 80);
    EXPECT_EQ(UBound(GetWords(std::string(79, ','))), 80);
    for (const std::string& line : {Joined(81, ","), std::string(80, ','), Joined(81, ",") + ",\"unterminated"}) {
        try {
            GetWords(line);
            ADD_FAILURE() << "no error for " << line;
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), 9);
        }
    }
}

TEST(GetWords, LineLengthLimitIs32766)
{
    EXPECT_EQ(GetWords(std::string(32766, 'x'))[1].size(), 32766u);
    try {
        GetWords(std::string(32767, 'x'));
        FAIL() << "no error";
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.Number(), 6);
    }
}
