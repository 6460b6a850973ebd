#include "common/RtError.h"
#include "common/modGetWords.h"

#include <gtest/gtest.h>

namespace {

int Err(const std::string& line)
{
    try {
        GetWords(line);
    } catch (const rt::RtError& e) {
        return e.Number();
    }
    return 0;
}

}  // namespace

TEST(GetWords, SplitsByTheStateTable)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        // line, words (none: rejected)
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
        {"a,\"b", {}},  // words before the fault are not kept
        {"\"a\"x,\"b\"", {}},
        {"\"\"\"\"", {"\""}},
        {"\"a\"\"\"", {"a\""}},
        {"\"a\" ", {"a"}},
        {"\xc3\xa9t\xc3\xa9,\"na\xc3\xafve\"", {"\xc3\xa9t\xc3\xa9", "na\xc3\xafve"}},
    };
    for (const auto& [line, words] : cases) {
        const WordList w = GetWords(line);
        ASSERT_FALSE(w.empty());
        EXPECT_EQ(w[0], "") << line;
        EXPECT_EQ(std::vector<std::string>(w.begin() + 1, w.end()), words) << "line: [" << line << "]";
    }
}

TEST(GetWords, LimitsAreEightyWordsAnd32766Bytes)
{
    std::string eighty = "1";
    for (int i = 2; i <= 80; ++i)
        eighty += "," + std::to_string(i);
    EXPECT_EQ(UBound(GetWords(eighty)), 80);
    EXPECT_EQ(UBound(GetWords(std::string(79, ','))), 80);
    for (const std::string& line : {eighty + ",81", std::string(80, ','), eighty + ",81,\"unterminated"})
        EXPECT_EQ(Err(line), 9) << line;
    EXPECT_EQ(GetWords(std::string(32766, 'x'))[1].size(), 32766u);
    EXPECT_EQ(Err(std::string(32767, 'x')), 6);
}
