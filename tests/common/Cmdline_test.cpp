#include "common/ArgumentText.h"
#include "common/RtError.h"
#include "common/clsCmdline.h"
#include "common/modArgcArgv.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> CmdlineWords(const std::string& text, bool raw)
{
    clsCmdline c;
    c.setCmdline(text);
    std::vector<std::string> words;
    for (int i = 0; i < c.argc; ++i)
        words.push_back(raw ? c.argv(i) : c.arg(i));
    return words;
}

std::vector<std::string> ArgcArgvWords(const std::string& text)
{
    std::vector<std::string> words;
    for (int i = 1; i <= ArgCount(text); ++i)
        words.push_back(ArgByNumber(text, i));
    return words;
}

std::string Numbered(int n)
{
    std::string s;
    for (int i = 1; i <= n; ++i)
        s += "w" + std::to_string(i) + " ";
    return s;
}

}  // namespace

TEST(CommandLine, BothSplittersByTheirOwnRules)
{
    struct Case {
        std::string text;
        std::vector<std::string> argv;  // clsCmdline, quotes as written
        std::vector<std::string> arg;   // clsCmdline, outer quotes removed
        std::vector<std::string> byNumber;
    };
    const Case cases[] = {
        {"", {}, {}, {}},
        {"     ", {}, {}, {}},
        {"  one   two  three  ", {"one", "two", "three"}, {"one", "two", "three"}, {"one", "two", "three"}},
        {"/in \"C:\\My Forms\"", {"/in", "\"C:\\My Forms\""}, {"/in", "C:\\My Forms"}, {"/in", "C:\\My Forms"}},
        {"\"a\"\"b\"", {"\"a\"b\""}, {"a\"b"}, {"a", "b"}},
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
        EXPECT_EQ(ArgCount(c.text), static_cast<int>(c.byNumber.size())) << c.text;
    }
}

TEST(CommandLine, CmdlineKeepsTwentyWordsAndChecksItsIndex)
{
    clsCmdline c;
    EXPECT_THROW(c.argv(0), rt::RtError);  // never set
    c.setCmdline(Numbered(25));
    EXPECT_EQ(c.argc, 20);
    EXPECT_EQ(c.arg(19), "w20");
    EXPECT_EQ(ArgCount(Numbered(25)), 25);
    EXPECT_EQ(ArgByNumber(Numbered(25), 25), "w25");

    c.setCmdline("a b");
    EXPECT_EQ(c.argc, 2);
    EXPECT_EQ(c.arg(2), "");
    EXPECT_EQ(c.arg(19), "");  // words of the earlier line are gone
    for (int bad : {-1, 20}) {
        try {
            c.arg(bad);
            ADD_FAILURE() << bad;
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.Number(), 9);
        }
    }
}

TEST(CommandLine, ArgByNumberOutsideTheWordsIsEmpty)
{
    const std::string text = "a b c";
    for (int n : {-1, 0, 4, 100})
        EXPECT_EQ(ArgByNumber(text, n), "") << n;
}

TEST(CommandLine, RmQuotes)
{
    EXPECT_EQ(clsCmdline::RmQuotes("\"abc\""), "abc");
    EXPECT_EQ(clsCmdline::RmQuotes("\"abc"), "ab");  // the last character is not checked
    EXPECT_EQ(clsCmdline::RmQuotes("abc\""), "abc\"");
    EXPECT_EQ(clsCmdline::RmQuotes(""), "");
    EXPECT_EQ(clsCmdline::RmQuotes("\""), "");
}

TEST(CommandLine, ProcessArgumentText)
{
    SetProcessArgumentText("fields.dat \"my data.csv\" /csvh");
    EXPECT_EQ(ArgCount(), 3);
    EXPECT_EQ(ArgByNumber(2), "my data.csv");
    SetProcessArgumentText("");
    EXPECT_EQ(ArgCount(), 0);
}

TEST(ArgumentText, QuotesEmptyArgumentsAndThoseWithSpaces)
{
    struct Case { std::vector<std::string> args; std::string text; };
    const Case cases[] = {
        {{}, ""},
        {{"/in", "/data/forms"}, "/in /data/forms"},
        {{"/in", "/data/My Forms", "/autorun"}, "/in \"/data/My Forms\" /autorun"},
        {{"", "x"}, "\"\" x"},
        {{"a\tb"}, "a\tb"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArgumentText(c.args), c.text);

    const char* argv[] = {"/usr/bin/Gleanora", "/out", "/tmp/done here", nullptr};
    const std::string text = ArgumentText(3, argv);
    EXPECT_EQ(text, "/out \"/tmp/done here\"");

    // A shell-quoted folder name arrives as one word in both splitters.
    clsCmdline c;
    c.setCmdline(text);
    EXPECT_EQ(c.argc, 2);
    EXPECT_EQ(c.arg(1), "/tmp/done here");
    EXPECT_EQ(ArgByNumber(text, 2), "/tmp/done here");
}
