#pragma once
// Reading filled-in forms without a spreadsheet application.
//
// Flow: Workbook::Open sniffs the file's first bytes (compound file: BIFF
// .xls; zip with xl/workbook.xml: .xlsx/.xlsm; zip with xl/workbook.bin:
// .xlsb; zip with content.xml: .ods),
// reads the workbook-wide parts (sheet list, active sheet, date system,
// defined names) and nothing else. Resolve turns a reference (defined name or
// A1 address) into a Range; Cell reads one value, loading that sheet's cells
// on first use. Values come back typed; CellValue::Text gives the one text
// form that the extraction formats. Every failure is a wb::Error whose
// message names the file and, where it helps, the sheet, cell or record.
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace wb {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Format { Xls, Xlsx, Ods, Xlsb };
const char* FormatName(Format f);  // "xls", "xlsx", "ods", "xlsb"

enum class CellType { Empty, Number, Text, Boolean, Error, Date };
const char* CellTypeName(CellType t);  // "empty", "number", "text", "boolean", "error", "date"

struct CellValue {
    CellType type = CellType::Empty;
    double number = 0;      // Number; Date: serial in the workbook's date system; Boolean: 0 or 1
    std::string text;       // Text; Error: as the spreadsheet shows it ("#DIV/0!")
    bool date1904 = false;  // Date: which epoch the serial counts from

    // The text handed to the extraction: numbers as the shortest text that
    // reads back to the same double (at most 15 significant digits, no
    // exponent, "." as decimal point); dates as yyyy-mm-dd with " hh:mm:ss"
    // when there is a time part; TRUE/FALSE; errors as shown; text as stored.
    std::string Text() const;
};

// A rectangle on one sheet; rows and columns from 0, last inclusive.
struct Range {
    int sheet = 0;
    int firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
    int Rows() const { return lastRow - firstRow + 1; }
    int Cols() const { return lastCol - firstCol + 1; }
    bool operator==(const Range&) const = default;
};

// Whether a number format code shows a date or time, as the readers decide
// which numbers are dates.
bool IsDateFormat(const std::string& code);

// "B2" or "B2:D8" (no sheet, no dollar signs).
std::string RangeAddress(const Range& r);

struct DefinedName {
    std::string name;            // "Total" for a workbook-level name, "Sheet2!Total" for a sheet-level one
    int scopeSheet = -1;         // -1: workbook level
    std::optional<Range> range;  // empty: not one rectangle (constant, formula, union, external)
    std::string formula;         // without a range: what the name refers to, for messages
};

// The file as Open found it, before reading it: for a caller that must tell
// later whether the path still names that file, unchanged.
struct FileStamp {
    unsigned long long dev = 0, ino = 0;
    long long size = 0;
    long long mtimeNs = 0;
};

// A file's bytes as Workbook::Open reads them: whole, with one call, when
// small enough; else its first bytes, and the reader reads the rest itself.
struct FileBytes {
    std::unique_ptr<char[]> bytes;  // uninitialised past `size`
    size_t size = 0;
    bool whole = false;
    bool stamped = false;  // `stamp` holds the file opened
    FileStamp stamp;
};

class Workbook {
public:
    // Throws wb::Error: not a workbook, unsupported or encrypted, damaged.
    // `opened`, when given, gets the stamp of the file opened (left as it is
    // when the system cannot tell).
    static std::unique_ptr<Workbook> Open(const std::string& path, FileStamp* opened = nullptr);
    // Open in two steps, for a caller that reads several files one after the
    // other before it opens them. ReadFile throws wb::Error: cannot open or
    // read; Open as above, on what ReadFile read from `path`.
    static FileBytes ReadFile(const std::string& path);
    // ReadFile for the file `name` of the folder open as `folder` (AT_FDCWD:
    // the working folder), `path` in messages. Opened by its name in a folder
    // already open, the system does not walk the path's folders again.
    static FileBytes ReadFileAt(int folder, const char* name, const std::string& path);
    static std::unique_ptr<Workbook> Open(const std::string& path, FileBytes file);
    virtual ~Workbook();

    Format FileFormat() const;
    const std::string& Path() const;
    const std::vector<std::string>& SheetNames() const;
    int ActiveSheet() const;  // the tab active when saved; else the first visible sheet
    bool Date1904() const;
    const std::vector<DefinedName>& Names() const;  // in the file's order
    // The same for workbooks whose names and sheet names were read from the
    // same bytes (null when the reader does not tell): a reference resolves
    // alike in two workbooks of one token and one active sheet. While held,
    // no other workbook gets it.
    std::shared_ptr<const void> NamesToken() const;

    // A defined name (as listed, or a sheet-level name of the active sheet by
    // its bare name; any letter case; first match in order), else an address
    // such as B4, $C$10:$C$16, Sheet2!B4 or 'My Sheet'!B2 on the active sheet
    // unless it names a sheet. Throws wb::Error naming the reference when it
    // is neither, or when the name is not one rectangle.
    Range Resolve(const std::string& reference) const;

    // Says which cells will be read, before Cell() is called: a sheet is then
    // read once, keeping only the cells inside these ranges (and those of
    // earlier calls), so that memory and time follow the ranges and not the
    // file. Without it a sheet keeps every cell, up to a limit (a sheet with
    // more fails). A Cell() outside the ranges given reads its sheet again,
    // whole.
    void WillRead(const std::vector<Range>& ranges) const;

    // One cell by sheet position; Empty outside the sheet's data.
    CellValue Cell(int sheet, int row, int col) const;
    // The same without a copy: nullptr for an empty cell; valid until the
    // next call on this workbook.
    const CellValue* FindCell(int sheet, int row, int col) const;

    // The number format code of one cell as the file stores it ("0.00",
    // "dd/mm/yyyy", "0%", "@"), also of a formatted empty cell; empty for
    // the general format. Reads the sheet again for this cell alone.
    std::string NumberFormat(int sheet, int row, int col) const;

    struct Impl;

protected:
    explicit Workbook(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace wb
