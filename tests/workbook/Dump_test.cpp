#include "tests/workbook/Json.h"
#include "workbook/Dump.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/wait.h>

using namespace testjson;

TEST(JsonString, EscapesWhatJsonNeedsAndMendsBadUtf8)
{
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD for each byte that is no UTF-8
    const std::pair<std::string, std::string> cases[] = {
        {"", R"("")"},
        {"say \"hi\" C:\\dir/", R"("say \"hi\" C:\\dir/")"},
        {"line\nnext\r\tend\b\f", R"("line\nnext\r\tend\b\f")"},
        {std::string("nul\0here", 8), R"("nul\u0000here")"},
        {"\x01\x1f\x7f", R"("\u0001\u001f\u007f")"},
        {"Zoë Łódź 東京 😀", "\"Zoë Łódź 東京 😀\""},
        {"a\xff\x62", "\"a" + bad + "b\""},                         // never a UTF-8 byte
        {"\xC3", "\"" + bad + "\""},                                // lead byte at the end
        {"\xC0\xAF", "\"" + bad + bad + "\""},                      // overlong '/'
        {"\xED\xA0\x80", "\"" + bad + bad + bad + "\""},            // surrogate
        {"\xF4\x90\x80\x80", "\"" + bad + bad + bad + bad + "\""},  // past U+10FFFF
        {"\x80x", "\"" + bad + "x\""},                              // stray continuation byte
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(wb::JsonString(in), out) << in;
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    EXPECT_EQ(Str(ParseJson(wb::JsonString(all))).substr(0, 128), all.substr(0, 128));
    EXPECT_EQ(Str(ParseJson(wb::ErrorJson("/tmp/a \"b\".xls: bad"))["error"]), "/tmp/a \"b\".xls: bad");
}

// The layout people read and attach to bug reports: members in this order,
// one name and one cell a line.
TEST(DumpJson, LaysOutOneObject)
{
    const std::string path = Fixture("dates1904/xlsxwriter.xlsx");
    auto book = wb::Workbook::Open(path);
    std::string dump = wb::DumpJson(*book, {"B2:B3", "Nowhere!A1"});
    const std::string want = R"({
  "format": "xlsx",
  "sheets": ["Notes", "Dates"],
  "active_sheet": "Dates",
  "date1904": true,
  "names": [
    {"name": "When", "sheet": "Dates", "range": "B1:B6"}
  ],
  "references": [
    {"reference": "B2:B3", "sheet": "Dates", "range": "B2:B3", "rows": 2, "cols": 1, "cells": [
      {"type": "date", "text": "2024-02-29"},
      {"type": "date", "text": "1999-12-31 13:45:00"}
    ]},
    {"reference": "Nowhere!A1", "error": )";
    ASSERT_EQ(dump.substr(0, want.size()), want);
    EXPECT_EQ(dump.substr(dump.size() - 9), "\"}\n  ]\n}\n");
    EXPECT_NE(Str(ParseJson(dump)["references"][1]["error"]).find(path), std::string::npos);
    // A huge range is an error, not billions of lines.
    const QJsonValue v = ParseJson(wb::DumpJson(*book, {"A1:XFD1048576", "A1:C1000"}));
    EXPECT_NE(Str(v["references"][0]["error"]).find("A1:XFD1048576"), std::string::npos);
    EXPECT_EQ(v["references"][1]["cells"].toArray().size(), 3000);
}

// wbinspect itself: an unreadable file gives {"error": ...} and exit status 1.
TEST(Wbinspect, MissingFileGivesErrorObjectAndStatusOne)
{
    std::string exe = std::string(APP_DIR) + "/wbinspect";
    if (access(exe.c_str(), X_OK) != 0)
        GTEST_SKIP() << "wbinspect not built";
    const std::string out = TempPath(".json");
    const int status = std::system((exe + " /nonexistent/dir/form.xls >" + out + " 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(Str(ParseJson(ReadFile(out))["error"]).find("/nonexistent/dir/form.xls"), std::string::npos);
}
