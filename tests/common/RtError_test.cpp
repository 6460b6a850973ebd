#include "common/RtError.h"

#include <gtest/gtest.h>

TEST(RtError, MessageIsStandardTextAndSubject)
{
    const std::tuple<int, std::string, std::string> cases[] = {
        {62, "", "Input past end of file"}, {53, "/tmp/x.dat", "File not found: /tmp/x.dat"},
        {13, "abc", "Type mismatch: abc"},  {6, "", "Overflow"},
        {9, "", "Subscript out of range"},
    };
    for (const auto& [number, subject, what] : cases) {
        const rt::RtError e(number, subject);
        EXPECT_EQ((std::pair<std::string, std::string>{e.what(), e.Subject()}), (std::pair{what, subject}));
    }
}
