#include "common/RtError.h"

#include <gtest/gtest.h>

TEST(RtError, MessageIsStandardTextAndSubject)
{
    struct Case { int number; std::string subject; std::string what; };
    const Case cases[] = {
        {53, "/tmp/x.dat", "File not found: /tmp/x.dat"},
        {62, "", "Input past end of file"},
        {13, "abc", "Type mismatch: abc"},
        {6, "", "Overflow"},
        {9, "", "Subscript out of range"},
    };
    for (const auto& c : cases) {
        rt::RtError e(c.number, c.subject);
        EXPECT_EQ(e.what(), c.what);
        EXPECT_EQ(e.Number(), c.number);
        EXPECT_EQ(e.Subject(), c.subject);
    }
}
