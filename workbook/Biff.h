#pragma once
// The .xls reader: BIFF8 (Excel 97-2003) and BIFF5 (Excel 5.0/95) workbook
// streams inside a compound file. OpenXls (Reader.h) reads the workbook
// globals at once (sheets, active tab, date system, code page, names,
// shared strings, number formats) and one sheet's cells when LoadSheet asks.
#include <cstddef>

namespace wb::detail {

// True when the bytes start a bare BIFF2, BIFF3 or BIFF4 stream (Excel 2.x
// to 4.x, no compound file around it), so that the caller can hand the file
// to OpenXls for a clear "not supported" message.
bool HasOldBiffSignature(const void* data, size_t size);

}  // namespace wb::detail
