#pragma once
// The formatting pattern engine of the cell formatting; the pattern language
// is described in docs/number-patterns.md.
#include <string>

namespace cellformat {

// See FormatPattern.
std::string ApplyPattern(const std::string& v, const std::string& pattern);

// See PatternUnderstood (modFormatCellValue.h).
bool PatternUnderstood(const std::string& pattern);

}  // namespace cellformat
