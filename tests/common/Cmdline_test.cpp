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

TEST(CommandLine, BothSplittersByTheirOwnRules)
{
    // clsCmdline with quotes as written, with outer quotes removed; ArgByNumber.
    struct Case {
        std::string text;
        Words argv, arg, byNumber;
    };
    const Case cases[] = {
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
    for (const auto& c : cases) {
        EXPECT_EQ(CmdlineWords(c.text, true), c.argv) << c.text;
        EXPECT_EQ(CmdlineWords(c.text, false), c.arg) << c.text;
        EXPECT_EQ(ArgcArgvWords(c.text), c.byNumber) << c.text;
    }
    for (int n : {-1, 0, 4})
        EXPECT_EQ(ArgByNumber("a b c", n), "") << n;
    EXPECT_EQ(clsCmdline::RmQuotes("\"abc"), "ab");  // the last character is not checked
    EXPECT_EQ(clsCmdline::RmQuotes("abc\""), "abc\"");
    EXPECT_EQ(clsCmdline::RmQuotes("\""), "");
}

TEST(CommandLine, CmdlineKeepsTwentyWordsAndChecksItsIndex)
{
    std::string numbered;
    for (int i = 1; i <= 25; ++i)
        numbered += "w" + std::to_string(i) + " ";
    clsCmdline c;
    EXPECT_THROW(c.argv(0), rt::RtError);  // never set
    c.setCmdline(numbered);
    EXPECT_EQ(c.argc, 20);
    EXPECT_EQ(c.arg(19), "w20");
    EXPECT_EQ(ArgByNumber(numbered, 25), "w25");
    c.setCmdline("a b");
    EXPECT_EQ(c.arg(19), "");  // words of the earlier line are gone
    EXPECT_THROW(c.arg(-1), rt::RtError);
    EXPECT_THROW(c.arg(20), rt::RtError);
}

TEST(CommandLine, ArgumentTextQuotesEmptyArgumentsAndThoseWithSpaces)
{
    const std::pair<Words, std::string> cases[] = {
        {{}, ""},
        {{"/in", "/data/My Forms", "/autorun"}, "/in \"/data/My Forms\" /autorun"},
        {{"", "x"}, "\"\" x"},
        {{"a\tb"}, "a\tb"},
    };
    for (const auto& [args, text] : cases)
        EXPECT_EQ(ArgumentText(args), text);
    const char* argv[] = {"/usr/bin/Gleanora", "/out", "/tmp/done here", nullptr};
    const std::string text = ArgumentText(3, argv);
    EXPECT_EQ(CmdlineWords(text, false), (Words{"/out", "/tmp/done here"}));
    SetProcessArgumentText(text);
    EXPECT_EQ(ArgCount(), 2);
    EXPECT_EQ(ArgByNumber(2), "/tmp/done here");
    SetProcessArgumentText("");
    EXPECT_EQ(ArgCount(), 0);
}

TEST(CommandLine, EveryArgumentSurvivesArgumentTextAndBothSplitters)
{
    const Words cases[] = {
        {"/in", "my \"x\" dir"},
        {"/in", "a\"b"},
        {"\""},
        {"\"\""},
        {"say \"hi\"", "x"},
        {"", "x", ""},
        {"trail\""},
        {"\"lead"},
        {"two  spaces", "\"a\" \"b\""},
        {"/data", "C:\\My \"Forms\"\\d.csv"},
    };
    for (const auto& args : cases) {
        const std::string text = ArgumentText(args);
        SCOPED_TRACE(text);
        EXPECT_EQ(CmdlineWords(text, false), args);
        EXPECT_EQ(ArgcArgvWords(text), args);
    }
    EXPECT_EQ(ArgumentText({"/in", "my \"x\" dir"}), "/in \"my \"\"x\"\" dir\"");
}
