#include "common/RtError.h"
#include "common/modGetWords.h"

#include <gtest/gtest.h>

namespace {

// The words as "[a][b]", "" for a rejected line, or the number of the error thrown.
std::string Words(const std::string& line)
{
    try {
        const WordList w = GetWords(line);
        std::string s = w.empty() ? "no list" : w[0];  // element 0 is always empty
        for (std::size_t i = 1; i < w.size(); ++i)
            s += "[" + w[i] + "]";
        return s;
    } catch (const rt::RtError& e) {
        return "error " + std::to_string(e.Number());
    }
}

}  // namespace

// A line feed separates like a comma, except inside quotes; a rejected line keeps
// none of the words before its fault.
TEST(GetWords, SplitsByTheStateTableUpToEightyWordsAnd32766Bytes)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a,", "[a][]"},   {"a,b,c", "[a][b][c]"}, {"\"a,b\",c", "[a,b][c]"},
        {"", "[]"},        {" a , b ", "[a][b]"},  {"\"x\"\"y\"", "[x\"y]"},
        {"   ", "[]"},     {"a,,b", "[a][][b]"},   {"\"x\"   ,y", "[x][y]"},
        {"\"\"", "[]"},    {"\"\",\"\"", "[][]"},  {"\"a\" \"b\"", "[a\" b]"},
        {"\"x\"y,z", ""},  {"\"  x  \"", "[x]"},   {"\"a\"   \"b\"", "[a\"   b]"},
        {"\"abc", ""},     {"a\t,b", "[a\t][b]"},  {"ab\"c,d", "[ab\"c][d]"},
        {"\"abc,d", ""},   {"a\nb", "[a][b]"},     {"\"a\nb\",c", "[a\nb][c]"},
        {"\ta", "[\ta]"},  {"a\rb", "[a\rb]"},     {"a b , c", "[a b][c]"},
        {",", "[][]"},     {"\"a\",", "[a][]"},    {"\"a\"\"\"", "[a\"]"},
        {"a,\"b", ""},     {"\"a\"x,\"b\"", ""},   {"\xc3\xa9,\"\xc3\xaf\"", "[\xc3\xa9][\xc3\xaf]"},
        {"\"a\" ", "[a]"}, {"\"\"\"\"", "[\"]"},
    };
    for (const auto& [line, words] : cases)
        EXPECT_EQ(Words(line), words) << "line: [" << line << "]";
    std::string eighty = "1";
    for (int i = 2; i <= 80; ++i)
        eighty += "," + std::to_string(i);
    EXPECT_EQ((std::pair{UBound(GetWords(eighty)), UBound(GetWords(std::string(79, ',')))}), (std::pair{80, 80}));
    for (const std::string& line : {eighty + ",81", std::string(80, ','), eighty + ",81,\"unterminated"})
        EXPECT_EQ(Words(line), "error 9") << line;
    EXPECT_EQ(Words(std::string(32766, 'x')), "[" + std::string(32766, 'x') + "]");
    EXPECT_EQ(Words(std::string(32767, 'x')), "error 6");
}
