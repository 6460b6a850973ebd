#pragma once
// Which number formats show a date or time (shared by the BIFF and OOXML readers).
#include <string>
#include <unordered_map>
#include <vector>

namespace wb::detail {

// Built-in format ids that are dates or times: 14-22, 27-36, 45-47, 50-58.
bool IsBuiltinDateFormat(int id);

// A custom format code shows a date or time when, outside quoted text,
// escaped characters and [colour]/[condition] brackets, it holds d, m, y, h,
// s (or e, g, b era codes), or an elapsed-time bracket such as [h].
// "General", "0.00", "#,##0" and "[Red]0.0" are not dates.
bool IsDateFormatCode(const std::string& code);

// The code of a built-in format id that files need not spell out ("0.00" for
// 2, "0%" for 9, "@" for 49); empty for General and for ids whose look
// depends on the machine's locale (dates 14-22 come back in their US form).
std::string BuiltinFormatCode(int id);

// The format code of cell style `style` in a package that maps styles to
// format ids (`formatIdOfStyle`) and spells out its own codes (`custom`):
// empty for General and for a style out of range.
std::string StyleFormatCode(int style, const std::vector<int>& formatIdOfStyle,
                            const std::unordered_map<int, std::string>& custom);

}  // namespace wb::detail
