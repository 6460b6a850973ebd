#include "common/modUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

// Control characters escaped, everything else (UTF-8 included) as it is,
// appended after what the line already holds.
TEST(OneLine, EscapesControlCharactersOnly)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"plain/path.xls", "plain/path.xls"},
        {"a\nb\r\nc\td", "a\\nb\\r\\nc\\td"},
        {std::string("\0\x1b\x7f", 3), "\\x00\\x1B\\x7F"},
        {"\n", "\\n"},
        {"Größe €", "Größe €"},
        {"end\x01", "end\\x01"},
    };
    for (const auto& [s, shown] : cases) {
        SCOPED_TRACE(shown);
        EXPECT_EQ(OneLine(s), shown);
        std::string line = "Done ";
        AppendOneLine(line, s);
        EXPECT_EQ(line, "Done " + shown);
    }
}
