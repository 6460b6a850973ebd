#pragma once
// Turning one cell's text into the text written to the data file.
//
// The input is the reader's text of a cell (numbers as plain decimal text,
// dates as yyyy-mm-dd[ hh:mm:ss], TRUE/FALSE, error values as shown, text as
// typed). The output never depends on the machine's locale. All functions
// are pure and safe to call from several threads. The accepted date texts
// and the pattern language are described in docs/number-patterns.md.
#include "common/clsDatFile.h"
#include "workbook/Workbook.h"

#include <cstdint>
#include <string>
#include <string_view>

// The format words: "text", "0", "0.0", "0.00", "0.000", "dmy", "mdy",
// "ymd" (a leading "+" adds the item index k to the number or date), any
// other word is a formatting pattern (see FormatPattern). Case-insensitive;
// blanks around the word are ignored.
// Throws rt::RtError 13 (type mismatch, v as subject) for a date word on a
// text that is not a date, and for an error value ("#N/A") under a number
// or date word or a pattern; rt::RtError 6 (overflow) for a number too large
// for a double or a date pushed past 9999-12-31 by the offset.
std::string FormatCellValue(const std::string& v, const std::string& fmt, int16_t k);

// A format word read once, for the many cells of one field: FormatCellValue
// is ReadCellFormat and AppendCellValue.
struct CellFormat {
    enum Kind { Copy, Text, Fixed, Dmy, Mdy, Ymd, Pattern } kind = Copy;
    int decimals = 0;     // Fixed: 0 to 3
    bool plus = false;    // a leading "+": the item index k is added
    std::string pattern;  // Pattern: the word, trimmed
};
CellFormat ReadCellFormat(const std::string& fmt);
// FormatCellValue(v, ...), appended to out.
void AppendCellValue(std::string& out, const std::string& v, const CellFormat& f, int16_t k);
// FormatCellValue(c.Text(), ...) appended to out, the same text without
// building c's text where it need not be built.
void AppendCellValue(std::string& out, const wb::CellValue& c, const CellFormat& f, int16_t k);

// The "text" format: v in double quotes, inner quotes doubled.
// (AppendQuoted, common/clsDatFile.h, appends the same without a copy.)
std::string QuoteText(const std::string& v);

// Lenient number reading: spaces, tabs and line feeds ignored anywhere; sign,
// digits, one ".", exponent; &H and &O prefixes; 0 when no number starts the
// text. Throws rt::RtError 6 when the number is too large for a double.
double ReadNumber(const std::string& v);

// A date or date-time text (yyyy-mm-dd[ hh:mm[:ss]], d/m/yyyy, 2 March 2009
// and the other forms listed in docs/number-patterns.md), or a plain number
// taken as a serial, as a day serial in the 1900 system (1 = 1900-01-01,
// 61 = 1900-03-01, the time as fraction); false when not a date from
// 1900-01-01 to 9999-12-31.
bool ReadDate(const std::string& v, double& serial);

// The formatting pattern language (described in docs/number-patterns.md).
// A text that is neither a number nor a date is returned unchanged, or put
// into the pattern's "@" section; an empty pattern returns v unchanged.
// Throws rt::RtError 13 for a number that is no valid date under a date
// pattern, and for a number under a pattern with no place for its digits
// (">", "kg"; the message names the pattern).
std::string FormatPattern(const std::string& v, const std::string& pattern);

// Whether FormatPattern shows numbers and dates under this pattern as the
// spreadsheet that wrote it does: a named format, or a pattern of the subset
// above whose first section has a place for the value. Patterns with parts
// the subset does not have (fill "*", spacing "_", fractions "?", conditions
// and elapsed times in brackets, "General", era and other letters) are not.
bool PatternUnderstood(const std::string& pattern);
