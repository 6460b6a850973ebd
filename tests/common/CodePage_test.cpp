#include "common/modCodePage.h"

#include <gtest/gtest.h>

TEST(CodePage, ConversionsAndCharactersTheCodePageLacks)
{
    std::vector<std::pair<std::string, std::string>> cases = {
        {"M\xfcller", "M\xc3\xbcller"}, {"\x80", "\xe2\x82\xac"},   {"\x9f", "\xc5\xb8"},
        {"\x81", "\xc2\x81"},           {"caf\xe9", "caf\xc3\xa9"}, {"", ""},
        {"\xff", "\xc3\xbf"},
    };
    std::string all;  // every byte comes back
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    cases.emplace_back(all, Windows1252ToUtf8(all));
    for (const auto& [cp1252, utf8] : cases) {
        EXPECT_EQ(Windows1252ToUtf8(cp1252), utf8) << utf8;
        std::string back;
        EXPECT_TRUE(IsValidUtf8(utf8) && Utf8ToWindows1252(utf8, back));
        EXPECT_EQ(back, cp1252);
    }
    // Characters the code page lacks are named.
    for (const std::string bad : {"\xe4\xb8\xad", "\xc4\x80", "\xf0\x9f\x98\x80", "\xc3"}) {
        std::string out, which;
        EXPECT_FALSE(Utf8ToWindows1252("ab" + bad + "c", out, &which)) << bad;
        EXPECT_EQ(which, bad);
    }
}

TEST(CodePage, StrictUtf8)
{
    const std::pair<std::string, bool> cases[] = {
        {"plain", true},         {"M\xc3\xbcller", true}, {"\xf0\x9f\x98\x80", true},
        {"\xef\xbb\xbf", true},  {"M\xfcller", false},    {"\xc0\x80", false},
        {"\xe0\x80\x80", false}, {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false},
        {"\xc3", false},         {"\xe2\x82", false},     {"\x80", false},
    };
    for (const auto& [bytes, valid] : cases)
        EXPECT_EQ(IsValidUtf8(bytes), valid) << bytes;
}
