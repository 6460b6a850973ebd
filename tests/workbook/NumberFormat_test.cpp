#include "workbook/NumberFormat.h"

#include <gtest/gtest.h>

using wb::detail::IsBuiltinDateFormat;
using wb::detail::IsDateFormatCode;

namespace {

TEST(IsBuiltinDateFormat, Ids)
{
    for (int id = 0; id < 200; ++id) {
        const bool expected = (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
                              (id >= 50 && id <= 58);
        EXPECT_EQ(IsBuiltinDateFormat(id), expected) << id;
    }
}

TEST(IsDateFormatCode, Table)
{
    const std::pair<const char*, bool> cases[] = {
        {"General", false},
        {"general", false},
        {"0", false},
        {"0.00", false},
        {"#,##0", false},
        {"[Red]0.0", false},
        {"[Blue]#,##0;[Red]-#,##0", false},
        {"0.00E+00", false},
        {"##0.0e-0", false},
        {"0%", false},
        {"@", false},
        {"\"days\" 0", false},
        {"0\" h\"", false},
        {"0\\h", false},
        {"_(* #,##0_);_(* (#,##0)", false},
        {"[$$-409]#,##0.00", false},
        {"[$€-407] #,##0.00", false},
        {"[>=100]0;0.0", false},
        {"#,##0 \"Stunden\"", false},
        {"", false},
        {"yyyy-mm-dd", true},
        {"dd/mm/yyyy", true},
        {"d-mmm-yy", true},
        {"DD.MM.YYYY", true},
        {"mmm yyyy", true},
        {"hh:mm", true},
        {"h:mm AM/PM", true},
        {"[h]:mm:ss", true},
        {"[mm]:ss", true},
        {"[ss]", true},
        {"[$-409]mmmm d, yyyy", true},
        {"[Red]dd/mm/yy", true},
        {"\"Date: \"dd/mm/yyyy", true},
        {"ge.m.d", true},
        {"General;dd/mm/yyyy", true},
        {"0.00;\"h\"", false},
        {"[$-F800]dddd, mmmm dd, yyyy", true},
        {"\"unterminated", false},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(IsDateFormatCode(code), expected) << code;
}

}  // namespace
