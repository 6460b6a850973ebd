#pragma once
// What one file format hands to Workbook: the workbook-wide parts at open,
// and the cells of one sheet on demand (only the sheets that references need
// are ever read).
#include "workbook/Workbook.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace wb::detail {

// Cells of one sheet, sparse.
class SheetCells {
public:
    void Set(int row, int col, CellValue v) { cells_[Key(row, col)] = std::move(v); }
    const CellValue* Get(int row, int col) const
    {
        auto it = cells_.find(Key(row, col));
        return it == cells_.end() ? nullptr : &it->second;
    }
    size_t Size() const { return cells_.size(); }

private:
    static uint64_t Key(int row, int col) { return (uint64_t(uint32_t(row)) << 32) | uint32_t(col); }
    std::unordered_map<uint64_t, CellValue> cells_;
};

// Sheet limits of the newest formats; anything past them is damage.
inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxCols = 16384;

class Reader {
public:
    virtual ~Reader() = default;

    Format format = Format::Xlsx;
    std::vector<std::string> sheetNames;
    std::vector<bool> sheetVisible;  // same length as sheetNames
    int activeSheet = -1;            // -1: none recorded
    bool date1904 = false;
    std::vector<DefinedName> names;  // in the file's order, display names already built

    // Fills `out` with every non-empty cell of sheet `index`. Throws wb::Error.
    virtual void LoadSheet(int index, SheetCells& out) = 0;
};

// Each throws wb::Error naming the file and the reason.
std::unique_ptr<Reader> OpenXls(const std::string& path);   // BIFF5/BIFF8 over libgsf
std::unique_ptr<Reader> OpenXlsx(const std::string& path);  // .xlsx/.xlsm over libzip + pugixml
std::unique_ptr<Reader> OpenOds(const std::string& path);   // .ods over libzip + pugixml
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

// Serial number in the workbook's date system of a day count from
// 1899-12-30 (with a time fraction).
double SerialFromDays(double days1899, bool date1904);
// "2009-03-02", "2009-03-02T12:30:00(.5)(Z)", "12:30:00" -> serial; nullopt
// when the text is no such date.
std::optional<double> IsoDateSerial(std::string_view s, bool date1904);

}  // namespace wb::detail
