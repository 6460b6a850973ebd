#pragma once
// What one file format hands to Workbook: the workbook-wide parts at open,
// and the cells of one sheet on demand (only the sheets that references need
// are ever read).
#include "workbook/Calendar.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace wb::detail {

// Sheet limits of the newest formats; anything past them is damage.
inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxCols = 16384;

// What a sheet load keeps: the cells inside some rectangles (the sheet field
// of each Range is ignored), or every cell up to a count. Readers skip all
// else as they go, so that memory follows what the caller reads, not what the
// file holds.
class SheetFilter {
public:
    // Every cell of the sheet; more than `maxCells` non-empty ones fail the load.
    static SheetFilter All(long long maxCells = kDefaultMaxCells);
    // The cells inside `rects` (empty: none).
    static SheetFilter Only(std::vector<Range> rects);

    bool KeepsAll() const { return all_; }
    long long MaxCells() const { return maxCells_; }
    const std::vector<Range>& Rects() const { return rects_; }
    // Inline: asked for every cell a reader meets.
    bool Wants(int row, int col) const
    {
        if (all_)
            return true;
        if (boxRows_ > 0) {
            if (row < boxRow_ || row - boxRow_ >= boxRows_ || col < boxCol_ || col - boxCol_ >= boxCols_)
                return false;
            if (!bits_.empty()) {
                const size_t bit = size_t(row - boxRow_) * size_t(boxCols_) + size_t(col - boxCol_);
                return (bits_[bit / 64] >> (bit % 64)) & 1;
            }
        }
        return WantsInRects(row, col);
    }
    // Any cell of this row, or of rows first..last.
    bool WantsRow(int row) const
    {
        if (!rowLastCol_.empty())
            return row >= boxRow_ && row - boxRow_ < boxRows_ && rowLastCol_[size_t(row - boxRow_)] >= 0;
        return WantsRows(row, row);
    }
    bool WantsRows(int first, int last) const;
    // The last row a kept cell can stand on; -1 when none: a streaming reader
    // stops after it.
    int LastRow() const { return lastRow_; }
    // The last column a kept cell can stand on in rows first..last; -1 when
    // none: a reader passes over the rest of the row after it.
    int LastCol(int first, int last) const;
    int LastCol(int row) const
    {
        if (!rowLastCol_.empty())
            return row >= boxRow_ && row - boxRow_ < boxRows_ ? rowLastCol_[size_t(row - boxRow_)] : -1;
        return LastCol(row, row);
    }
    // Calls f(firstRow, firstCol, lastRow, lastCol) for each part of the block
    // rows first..last, columns c1..c2 that the filter keeps (rectangles may
    // overlap: a cell can come twice).
    template <class F>
    void ForEachKept(long long r1, long long c1, long long r2, long long c2, F f) const
    {
        if (all_) {
            f(r1, c1, r2, c2);
            return;
        }
        for (const Range& r : rects_) {
            const long long a = std::max<long long>(r1, r.firstRow), b = std::min<long long>(r2, r.lastRow);
            const long long c = std::max<long long>(c1, r.firstCol), d = std::min<long long>(c2, r.lastCol);
            if (a <= b && c <= d)
                f(a, c, b, d);
        }
    }

    // What a sheet may hold in "all" mode: about 100 MB of cells.
    static constexpr long long kDefaultMaxCells = 1'000'000;

private:
    bool WantsInRects(int row, int col) const;

    bool all_ = false;
    long long maxCells_ = kDefaultMaxCells;
    std::vector<Range> rects_;
    int lastRow_ = -1;
    // The rectangles' bounding box, and when it is small, one bit per cell
    // of it: Wants is asked for every cell a reader meets.
    int boxRow_ = 0, boxCol_ = 0, boxRows_ = 0, boxCols_ = 0;
    std::vector<uint64_t> bits_;
    // With the bits: by row of the box, the last column kept there (-1: none).
    std::vector<int> rowLastCol_;
};

// The most text the kept cells of one sheet may hold.
inline constexpr size_t kMaxKeptTextBytes = size_t(32) << 20;

// Raised when a load keeps more than its filter or kMaxKeptTextBytes allow;
// the workbook adds the file and sheet to the message.
class LimitError : public Error {
public:
    using Error::Error;
};

// Cells of one sheet, sparse.
class SheetCells {
public:
    // From here on only the cells `f` wants are kept, up to its cell limit
    // (LimitError past it): a reader that does not filter as it goes (.xls)
    // still keeps no more. `f` is used while cells are set: it must outlive
    // the load (lookups after it need no filter).
    void Keep(const SheetFilter& f)
    {
        // The same object again is taken for the same filter (a reader
        // repeating its caller's call): a filter changed in place goes to
        // fresh cells.
        if (&f == filter_)
            return;
        filter_ = &f;
        maxCells_ = f.KeepsAll() ? f.MaxCells() : -1;
        // Room for what the rectangles can hold, when that is little.
        long long room = 0;
        for (const Range& r : f.Rects())
            room += (long long)r.Rows() * r.Cols();
        if (room > 0 && room <= 4096 && values_.empty()) {
            values_.reserve(size_t(room));
            keys_.reserve(size_t(room));
            // Slots for all of them at once, not grown (and filled again) on the way.
            size_t n = 64;
            while (n < 2 * size_t(room))
                n *= 2;
            slots_.assign(n, 0);
        }
    }
    void Set(int row, int col, CellValue v)
    {
        if (!filter_->KeepsAll() && !filter_->Wants(row, col))
            return;
        SetWanted(row, col, std::move(v));
    }
    // Set for a cell that Wants has said yes to.
    void SetWanted(int row, int col, CellValue&& v)
    {
        const size_t bytes = v.text.size();
        Place(row, col) = std::move(v);
        CountText(bytes);
    }
    // A cell that Wants has said yes to, emptied, for the reader to fill in
    // place (its text then counted by CountText): long texts are not moved.
    CellValue& Place(int row, int col)
    {
        const uint64_t key = Key(row, col);
        if (2 * (values_.size() + 1) > slots_.size())
            Grow();
        uint32_t& slot = slots_[SlotOf(key)];
        if (slot != 0) {
            values_[slot - 1] = CellValue();
            return values_[slot - 1];
        }
        values_.emplace_back();
        keys_.push_back(key);
        slot = uint32_t(values_.size());
        if (maxCells_ >= 0 && (long long)values_.size() > maxCells_)
            throw LimitError("too many cells (more than " + std::to_string(maxCells_) + " kept from one sheet)");
        return values_.back();
    }
    void CountText(size_t bytes)
    {
        textBytes_ += bytes;
        if (textBytes_ > kMaxKeptTextBytes)
            throw LimitError("the cells read hold more than " + std::to_string(kMaxKeptTextBytes >> 20) +
                             " MiB of text");
    }
    // Whether Set keeps a cell there: a reader need not build the others.
    bool Wants(int row, int col) const { return filter_->KeepsAll() || filter_->Wants(row, col); }
    const CellValue* Get(int row, int col) const
    {
        if (values_.empty())
            return nullptr;
        const uint32_t slot = slots_[SlotOf(Key(row, col))];
        return slot ? &values_[slot - 1] : nullptr;
    }
    // Valid until the next Set.
    CellValue* Find(int row, int col) { return const_cast<CellValue*>(std::as_const(*this).Get(row, col)); }
    // For text set after the cell (a shared string read later): counts toward the limit.
    void AddText(CellValue& v, std::string text)
    {
        const size_t bytes = text.size();
        v.text = std::move(text);
        CountText(bytes);
    }
    size_t Size() const { return values_.size(); }

    // A format lookup also wants each kept cell's style (the index that
    // Reader::FormatCode takes), formatted blanks included.
    void KeepStyles() { keepStyles_ = true; }
    bool KeepsStyles() const { return keepStyles_; }
    // Out of line: asked for rarely, and the readers' paths for each cell
    // stay small enough to be inlined.
    void SetStyle(int row, int col, int style);
    int Style(int row, int col) const  // -1: none recorded
    {
        auto it = styles_.find(Key(row, col));
        return it == styles_.end() ? -1 : it->second;
    }

private:
    static uint64_t Key(int row, int col) { return (uint64_t(uint32_t(row)) << 32) | uint32_t(col); }
    // Where `key` is in slots_, or where it would go. Each slot holds a
    // 1-based index into values_, 0 when free (open addressing, linear
    // probing; slots_ is never more than half full).
    size_t SlotOf(uint64_t key) const
    {
        const size_t mask = slots_.size() - 1;
        size_t i = size_t((key * 0x9E3779B97F4A7C15u) >> 32) & mask;
        while (slots_[i] != 0 && keys_[slots_[i] - 1] != key)
            i = (i + 1) & mask;
        return i;
    }
    void Grow()
    {
        slots_.assign(slots_.empty() ? 64 : 2 * slots_.size(), 0);
        for (size_t k = 0; k < keys_.size(); ++k)
            slots_[SlotOf(keys_[k])] = uint32_t(k + 1);
    }
    // The kept cells in the order first set, and their keys.
    std::vector<CellValue> values_;
    std::vector<uint64_t> keys_;
    std::vector<uint32_t> slots_;
    static const SheetFilter& KeepAll();
    const SheetFilter* filter_ = &KeepAll();
    long long maxCells_ = -1;
    size_t textBytes_ = 0;
    bool keepStyles_ = false;
    std::unordered_map<uint64_t, int> styles_;
};

class Reader {
public:
    virtual ~Reader() = default;

    Format format = Format::Xlsx;
    std::vector<std::string> sheetNames;
    std::vector<bool> sheetVisible;  // same length as sheetNames
    int activeSheet = -1;            // -1: none recorded
    bool date1904 = false;
    std::vector<DefinedName> names;  // in the file's order, display names already built
    // When set, the names instead (`names` then stays empty): one list shared
    // by workbooks whose names and sheet names are written alike (so a
    // reference resolves alike in them). Names() gives either.
    std::shared_ptr<const std::vector<DefinedName>> sharedNames;
    const std::vector<DefinedName>& Names() const { return sharedNames ? *sharedNames : names; }

    // Fills `out` with the non-empty cells of sheet `index` that `keep`
    // wants. Throws wb::Error; LimitError when more is kept than allowed.
    virtual void LoadSheet(int index, const SheetFilter& keep, SheetCells& out) = 0;

    // The number format code of a cell style that LoadSheet recorded
    // (SheetCells::KeepStyles); empty for General or an unknown style.
    virtual std::string FormatCode(int style) const = 0;
};

// The names of the last workbook read on this thread whose reader keeps
// them here, by a key of every byte they were made of (the reader gathers
// it): copies of one form, read one after the other, share one list. One
// list is held, however many workbooks are read.
class LastNames {
public:
    // The list made of `key`, when it is the one kept; else null.
    static std::shared_ptr<const std::vector<DefinedName>> Find(std::string_view key);
    // Keeps `names`, made of `key`, in place of the list kept before; returns it.
    static std::shared_ptr<const std::vector<DefinedName>> Keep(std::string&& key, std::vector<DefinedName>&& names);
};

// Each throws wb::Error naming the file and the reason.
std::unique_ptr<Reader> OpenXls(const std::string& path);  // BIFF5/BIFF8 in a compound file
// The same over the whole file's bytes, already read (a compound file).
std::unique_ptr<Reader> OpenXls(const std::string& path, std::unique_ptr<char[]> bytes, size_t size);
std::unique_ptr<Reader> OpenXlsx(const std::string& path);  // .xlsx/.xlsm: ZipArchive + XmlStream
std::unique_ptr<Reader> OpenOds(const std::string& path);   // .ods: ZipArchive + XmlStream
// A zip file: .xlsx/.xlsm when it holds a workbook part, .xlsb when that
// part is xl/workbook.bin, .ods when it holds content.xml; anything else is
// "not a workbook".
std::unique_ptr<Reader> OpenZipWorkbook(const std::string& path);
std::unique_ptr<Reader> OpenZipWorkbook(const std::string& path, std::string bytes);
class ZipArchive;
std::unique_ptr<Reader> OpenXlsxPackage(std::unique_ptr<ZipArchive> zip);
std::unique_ptr<Reader> OpenOdsPackage(std::unique_ptr<ZipArchive> zip);
// .xlsb: a zip package whose workbook part is xl/workbook.bin.
std::unique_ptr<Reader> OpenXlsbPackage(std::unique_ptr<ZipArchive> zip);

// A relationship target as a package part name: relative to `folder` (the
// source part's folder, "xl/"), or absolute from the package root.
std::string ResolvePartTarget(const std::string& folder, const std::string& target);

// Lower case for comparing names and sheet names without regard to letter
// case (ASCII and the common two-byte UTF-8 alphabets).
std::string FoldCase(std::string_view s);
// FoldCase(a) == FoldCase(b) for strings of the same length.
bool SameFoldedSameSize(std::string_view a, std::string_view b);
// FoldCase(a) == FoldCase(b), without building either (folding keeps the
// length: ASCII stays one byte, a two-byte letter two).
inline bool SameFolded(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && SameFoldedSameSize(a, b);
}

}  // namespace wb::detail
