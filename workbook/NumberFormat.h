#pragma once
// Which number formats show a date or time (shared by the BIFF and OOXML readers).
#include <string>

namespace wb::detail {

// Built-in format ids that are dates or times: 14-22, 27-36, 45-47, 50-58.
bool IsBuiltinDateFormat(int id);

// A custom format code shows a date or time when, outside quoted text,
// escaped characters and [colour]/[condition] brackets, it holds d, m, y, h,
// s (or e, g, b era codes), or an elapsed-time bracket such as [h].
// "General", "0.00", "#,##0" and "[Red]0.0" are not dates.
bool IsDateFormatCode(const std::string& code);

}  // namespace wb::detail
