#pragma once
// The cells of one table row in one block of memory: each cell is its length
// (seven bits a byte, the high bit set while more follow) and then its bytes.
// A full table of 32,767 rows then takes little more memory than its file.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class DatRow {
public:
    DatRow() = default;
    // words[first] onwards, one cell each.
    explicit DatRow(const std::vector<std::string>& words, std::size_t first = 0);

    // "" for a cell beyond the last.
    std::string_view Cell(int c) const;
    // Adds empty cells before c when the row is shorter.
    void setCell(int c, std::string_view value);

    // Reading cell after cell: the cell at byte offset pos, moving pos to the
    // next one; "" once pos is at the end.
    std::string_view Next(std::size_t& pos) const;

    bool operator==(const DatRow&) const = default;

private:
    std::string packed_;
};
