#pragma once
// What a workbook holds, as one JSON object: the format, sheets, active
// sheet, date system, defined names and the cells of chosen references.
// wbinspect prints it for people writing form definitions and for bug
// reports; the tests compare it against the dumps the fixture writers were
// given.
#include "workbook/Workbook.h"

#include <string>
#include <string_view>
#include <vector>

namespace wb {

// A JSON string literal, quotes included. Quotes, backslashes and control
// characters are escaped; valid UTF-8 is kept as it is, invalid bytes become
// U+FFFD so the output always parses.
std::string JsonString(std::string_view utf8);

// The dump of an open workbook. A reference that does not resolve (or whose
// sheet cannot be read) gets an "error" member instead of its cells.
std::string DumpJson(const Workbook& book, const std::vector<std::string>& references);

// {"error": message} for a file that could not be opened.
std::string ErrorJson(const std::string& message);

// Ranges with more cells than this are not listed (a typo such as A:XFD
// would otherwise print billions of lines).
inline constexpr long long kMaxDumpCells = 1000000;

}  // namespace wb
