#pragma once
// A1 addresses as the references of a form definition write them.
#include "workbook/Workbook.h"

#include <optional>
#include <string>
#include <string_view>

namespace wb::detail {

struct Address {
    std::string sheet;  // empty when the address names no sheet; quotes removed ('It''s' -> It's)
    int firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;  // from 0, normalised so first <= last
};

// "B4", "$C$10:$C$16", "Sheet2!B4", "'My Sheet'!B2:C3", and whole rows or
// columns across the sheet: "3:3", "$2:$4", "A:A", "Sheet2!$A:$C". Letters
// in any case. nullopt when not an address or outside the sheet limits.
std::optional<Address> ParseAddress(std::string_view text);

// Column letters from 0: 0 -> "A", 26 -> "AA".
std::string ColumnName(int col);

}  // namespace wb::detail
