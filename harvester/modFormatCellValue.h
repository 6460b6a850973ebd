#pragma once
// Turning one cell's text into the text written to the data file.
#include <cstdint>
#include <string>

// The format words: "text", "0", "0.0", "0.00", "0.000", "dmy", "mdy",
// "ymd" (a leading "+" adds the item index k to the number or date), any
// other word is a formatting pattern (see FormatPattern). Case-insensitive.
// Throws rt::RtError 13 (type mismatch) for a date word on a text that is not
// a date, and for an error value under a numeric or date word.
std::string FormatCellValue(const std::string& v, const std::string& fmt, int16_t k);

// The "text" format: v in double quotes, inner quotes doubled.
std::string QuoteText(const std::string& v);

// Lenient number reading: spaces, tabs and line feeds ignored anywhere; sign,
// digits, one ".", exponent; &H and &O prefixes; 0 when no number starts the text.
double ReadNumber(const std::string& v);

// A date or date-time text (yyyy-mm-dd[ hh:mm[:ss]] and the other forms the
// reader accepts) as a day serial in the 1900 system; false when not a date.
bool ReadDate(const std::string& v, double& serial);

// The classic formatting pattern language (subset documented in the .cpp).
// A text that is neither a number nor a date is returned unchanged; an empty
// pattern returns v unchanged.
std::string FormatPattern(const std::string& v, const std::string& pattern);
