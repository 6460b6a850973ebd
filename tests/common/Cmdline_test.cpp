#include "common/ArgumentText.h"
#include "common/RtError.h"
#include "common/clsCmdline.h"
#include "common/modArgcArgv.h"

#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::string>;

Words CmdlineWords(const std::string& text, bool raw)
{
    clsCmdline c;
    c.setCmdline(text);
    Words words;
    for (int i = 0; i < c.argc; ++i)
        words.push_back(raw ? c.argv(i) : c.arg(i));
    return words;
}

Words ArgcArgvWords(const std::string& text)
{
    Words words;
    for (int i = 1; i <= ArgCount(text); ++i)
        words.push_back(ArgByNumber(text, i));
    return words;
}

}  // namespace

TEST(CommandLine, BothSplittersByTheirOwnRulesAndIndexes)
{
    // clsCmdline with quotes as written, with outer quotes removed; ArgByNumber.
    const std::tuple<std::string, Words, Words, Words> cases[] = {
        {"", {}, {}, {}},
        {"     ", {}, {}, {}},
        {"  one   two  three  ", {"one", "two", "three"}, {"one", "two", "three"}, {"one", "two", "three"}},
        {"/in \"C:\\My Forms\"", {"/in", "\"C:\\My Forms\""}, {"/in", "C:\\My Forms"}, {"/in", "C:\\My Forms"}},
        {"\"a\"\"b\"", {"\"a\"b\""}, {"a\"b"}, {"a\"b"}},  // a doubled quote is one quote in both
        {"a\"b", {"a\"b"}, {"a\"b"}, {"ab"}},
        {"\"ab\"cd", {"\"ab\"", "cd"}, {"ab", "cd"}, {"ab", "cd"}},
        {"x \"open end", {"x"}, {"x"}, {"x", "open end"}},
        {"\"\" y", {"\"\"", "y"}, {"", "y"}, {"", "y"}},
        {"a\tb c", {"a\tb", "c"}, {"a\tb", "c"}, {"a\tb", "c"}},
    };
    for (const auto& [text, argv, arg, byNumber] : cases)
        EXPECT_EQ((std::tuple{CmdlineWords(text, true), CmdlineWords(text, false), ArgcArgvWords(text)}),
                  (std::tuple{argv, arg, byNumber}))
            << text;
    EXPECT_EQ(ArgByNumber("a b c", -1) + ArgByNumber("a b c", 0) + ArgByNumber("a b c", 4), "");
    // The last character is not checked.
    EXPECT_EQ((std::tuple{clsCmdline::RmQuotes("\"abc"), clsCmdline::RmQuotes("abc\""), clsCmdline::RmQuotes("\"")}),
              (std::tuple{"ab", "abc\"", ""}));
    // clsCmdline keeps twenty words and checks its index.
    std::string numbered;
    for (int i = 1; i <= 25; ++i)
        numbered += "w" + std::to_string(i) + " ";
    clsCmdline c;
    EXPECT_THROW(c.argv(0), rt::RtError);  // never set
    c.setCmdline(numbered);
    EXPECT_EQ((std::tuple{c.argc, c.arg(19), ArgByNumber(numbered, 25)}), (std::tuple{20, "w20", "w25"}));
    c.setCmdline("a b");
    EXPECT_EQ(c.arg(19), "");  // words of the earlier line are gone
    EXPECT_THROW(c.arg(-1), rt::RtError);
    EXPECT_THROW(c.arg(20), rt::RtError);
}

// Every list of arguments comes back from its text through both splitters;
// the text quotes empty arguments and those with spaces or quotes.
TEST(CommandLine, EveryArgumentSurvivesArgumentTextAndBothSplitters)
{
    const std::pair<Words, std::string> texts[] = {
        {{}, ""},
        {{"/in", "/data/My Forms", "/autorun"}, "/in \"/data/My Forms\" /autorun"},
        {{"", "x"}, "\"\" x"},
        {{"a\tb"}, "a\tb"},
        {{"/in", "my \"x\" dir"}, "/in \"my \"\"x\"\" dir\""},
    };
    std::vector<Words> cases = {
        {"\""},     {"/in", "a\"b"}, {"say \"hi\"", "x"},
        {"\"\""},   {"", "x", ""},   {"two  spaces", "\"a\" \"b\""},
        {"\"lead"}, {"trail\""},     {"/data", "C:\\My \"Forms\"\\d.csv"},
    };
    for (const auto& [args, text] : texts) {
        EXPECT_EQ(ArgumentText(args), text);
        cases.push_back(args);
    }
    for (const Words& args : cases) {
        const std::string text = ArgumentText(args);
        SCOPED_TRACE(text);
        EXPECT_EQ((std::pair{CmdlineWords(text, false), ArgcArgvWords(text)}), (std::pair{args, args}));
    }
    // The process's own arguments.
    const char* argv[] = {"/usr/bin/Gleanora", "/out", "/tmp/done here", nullptr};
    SetProcessArgumentText(ArgumentText(3, argv));
    EXPECT_EQ((std::pair{ArgCount(), ArgByNumber(2)}), (std::pair{2, std::string("/tmp/done here")}));
    SetProcessArgumentText("");
    EXPECT_EQ(ArgCount(), 0);
}
