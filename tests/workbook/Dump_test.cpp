#include "workbook/Dump.h"
#include "tests/workbook/Json.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace {

struct EscapeCase {
    std::string in;
    std::string out;
};

TEST(JsonString, EscapesWhatJsonNeedsAndKeepsUtf8)
{
    const EscapeCase cases[] = {
        {"", R"("")"},
        {"plain", R"("plain")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"C:\\dir\\file", R"("C:\\dir\\file")"},
        {"line\nnext\r\tend", R"("line\nnext\r\tend")"},
        {std::string("nul\0here", 8), R"("nul\u0000here")"},
        {"\x01\x1f\x7f", R"("\u0001\u001f\u007f")"},
        {"\b\f", R"("\b\f")"},
        {"Zoë Łódź 東京 😀", "\"Zoë Łódź 東京 😀\""},
        {"/", R"("/")"},
    };
    for (const auto& c : cases) EXPECT_EQ(wb::JsonString(c.in), c.out) << c.in;
}

TEST(JsonString, InvalidUtf8BecomesReplacementCharacter)
{
    const EscapeCase cases[] = {
        {"a\xff" "b", "\"a\xEF\xBF\xBD" "b\""},          // never a UTF-8 byte
        {"\xC3", "\"\xEF\xBF\xBD\""},                     // lead byte at the end
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},     // overlong '/'
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // past U+10FFFF
        {"\x80x", "\"\xEF\xBF\xBDx\""},                  // stray continuation byte
    };
    for (const auto& c : cases) EXPECT_EQ(wb::JsonString(c.in), c.out);
}

TEST(JsonString, EveryByteStringReadsBackAsJson)
{
    std::string all;
    for (int i = 0; i < 256; ++i) all += char(i);
    testjson::Value v = testjson::Parse(wb::JsonString(all));
    ASSERT_EQ(v.kind, testjson::Value::String);
    EXPECT_EQ(v.string.substr(0, 128), all.substr(0, 128));
}

TEST(ErrorJson, IsOneObjectWithTheMessage)
{
    testjson::Value v = testjson::Parse(wb::ErrorJson("/tmp/a \"b\".xls: not a workbook"));
    ASSERT_EQ(v.members.size(), 1u);
    EXPECT_EQ(v["error"].string, "/tmp/a \"b\".xls: not a workbook");
}

// wbinspect itself: an unreadable file gives {"error": ...} and exit status 1.
TEST(Wbinspect, MissingFileGivesErrorObjectAndStatusOne)
{
    std::string exe = std::string(APP_DIR) + "/wbinspect";
    std::FILE* f = std::fopen(exe.c_str(), "r");
    if (!f) GTEST_SKIP() << "wbinspect not built";
    std::fclose(f);
    std::string cmd = exe + " /nonexistent/dir/form.xls 2>/dev/null";
    std::FILE* p = popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    std::string out;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    testjson::Value v = testjson::Parse(out);
    EXPECT_NE(v["error"].string.find("/nonexistent/dir/form.xls"), std::string::npos) << out;
}

}  // namespace
