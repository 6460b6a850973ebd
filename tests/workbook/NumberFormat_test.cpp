#include "workbook/NumberFormat.h"

#include <gtest/gtest.h>

using wb::detail::IsBuiltinDateFormat;
using wb::detail::IsDateFormatCode;

namespace {

TEST(IsBuiltinDateFormat, Ids)
{
    for (int id = 0; id < 200; ++id) {
        const bool expected =
            (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
        EXPECT_EQ(IsBuiltinDateFormat(id), expected) << id;
    }
}

TEST(IsDateFormatCode, Table)
{
    for (const char* code :
         {"General", "0.00", "#,##0", "[Blue]#,##0;[Red]-#,##0", "0.00E+00", "##0.0e-0", "0%", "@", "\"days\" 0",
          "0\" h\"", "0\\h", "_(* #,##0_);_(* (#,##0)", "[$$-409]#,##0.00", "[$€-407] #,##0.00", "[>=100]0;0.0",
          "#,##0 \"Stunden\"", "", "0.00;\"h\"", "\"unterminated"})
        EXPECT_FALSE(IsDateFormatCode(code)) << code;
    for (const char* code : {"yyyy-mm-dd", "d-mmm-yy", "DD.MM.YYYY", "mmm yyyy", "hh:mm", "h:mm AM/PM", "[h]:mm:ss",
                             "[mm]:ss", "[ss]", "[$-409]mmmm d, yyyy", "[Red]dd/mm/yy", "\"Date: \"dd/mm/yyyy",
                             "ge.m.d", "General;dd/mm/yyyy", "[$-F800]dddd, mmmm dd, yyyy"})
        EXPECT_TRUE(IsDateFormatCode(code)) << code;
}

}  // namespace
