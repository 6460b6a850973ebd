#pragma once
// A table of strings, rows by columns, kept in a text file in one of three
// forms: 0 "dat" (a count line, then the rows), 1 csv rows, 2 csv with a
// header line. Every field written is quoted with inner quotes doubled;
// every line ends with CR LF. Counts are 16-bit.
//
// Reading: a UTF-8 byte-order mark is skipped (and written again on Save);
// lines end at CR or CR LF, or, in a file that holds no CR at all, at an LF
// outside quotes. Cells hold the file's bytes unchanged; Encoding tells
// whether they are UTF-8 or Windows-1252. Trailing empty lines of a csv file
// are not rows.
//
// A table that ends before the file does (a line of another width, more lines
// than the count line announces) is a partial read: the rows before it are
// kept, and StoppedAtLine and RowsNotRead say what was left out.
//
// Misuse (a count below 1, Load without a file name) throws rt::FatalError;
// file and format faults throw rt::RtError with its number (common/RtError.h).
#include "common/DatRow.h"
#include "common/modCodePage.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where a "dat" form file breaks its own count line (see LoadCheckedDat).
// line is 1 for the count line; 0 when the file is well formed or has no
// count line at all (Load reports that).
struct DatProblem {
    int line = 0;
    std::string what;  // "2 fields where the count line gives 3"
};

class clsDatFile {
public:
    static constexpr int kMaxRows = 32767;
    // The reason given when a file or a table has more rows.
    static constexpr const char* kTooManyRows = "A data file holds at most 32,767 rows";

    const std::string& FileName() const { return fileName_; }
    void setFileName(const std::string& name) { fileName_ = name; }

    // True when the name is not empty and names an existing regular file that
    // is not hidden (a name starting with ".").
    bool Exists() const;

    void setFmt(int16_t fmt) { fmt_ = fmt; }
    int16_t Fmt() const { return fmt_; }
    std::string FileType() const;  // "dat" or "csv"

    void setHeaders(const std::vector<std::string>& headers);

    int16_t Rows() const { return rows_; }
    void setRows(int N);  // below 1: FatalError "clsDatFile.Rows out of bounds (N)"; above 32,767: RtError 6
    int16_t Cols() const { return cols_; }
    void setCols(int N);

    std::string Data(int pRow, int pCol) const;                   // "" outside the table
    void setData(int pRow, int pCol, const std::string& pValue);  // ignored outside the table
    std::vector<std::string> Col(int x) const;                    // a copy of column x, Rows elements

    // What Load found, so that a save can write the file back as it was.
    TextEncoding Encoding() const { return encoding_; }
    void setEncoding(TextEncoding encoding) { encoding_ = encoding; }
    bool ByteOrderMark() const { return bom_; }
    void setByteOrderMark(bool bom) { bom_ = bom; }

    // The rows Load filled from the file (a dat file's Rows stays as its
    // count line says, rows from a bad line on empty). On a partial read,
    // StoppedAtLine is the first line not taken (counted from 1, the count or
    // header line included) and RowsNotRead the lines from there to the last
    // line that is not empty; both 0 when the whole file was read.
    int RowsRead() const { return rowsRead_; }
    // The words of a format 2 file's header line as Load read it (the
    // header texts themselves are never taken from a file).
    const std::vector<std::string>& FileHeaders() const { return fileHeaders_; }
    int StoppedAtLine() const { return stoppedAt_; }
    int RowsNotRead() const { return rowsNotRead_; }

    // Swaps row pRow with the row above; nothing outside 1..Rows()-1. Part of
    // the table's interface for other callers: the editor moves rows in its
    // own model (RowTableModel) between TakeTable and setTable.
    void MoveRowUp(int pRow);

    // The rows, moved out (the table has no storage afterwards) and in (Rows
    // becomes their number, Cols is given), for a caller that keeps them in
    // between, so that a full table is never copied.
    std::vector<DatRow> TakeTable();
    void setTable(std::vector<DatRow> rows, int cols);
    void Clear();
    void Load();
    // Load of a "dat" file for readers that must not take a damaged file for
    // a shorter one (Load stops quietly at the first bad row): the file is
    // read once, and where it breaks its count line is returned instead of
    // loading it. Blank lines after the rows are allowed. A missing or
    // unreadable file throws as Load does.
    DatProblem LoadCheckedDat();
    void Save() const;  // atomic: a temporary file in the same folder renamed over the target

private:
    std::string fileName_;
    int16_t fmt_ = 0;
    int16_t rows_ = 0;
    int16_t cols_ = 0;
    std::vector<std::string> headers_;
    std::vector<std::string> fileHeaders_;
    bool allocated_ = false;
    TextEncoding encoding_ = TextEncoding::Utf8;
    bool bom_ = false;
    int rowsRead_ = 0;
    int stoppedAt_ = 0;
    int rowsNotRead_ = 0;
    // Storage bounds as last allocated; the counts may be changed after that.
    int allocRows_ = 0;
    int allocCols_ = 0;
    // One entry per row; a row's cells are created on its first write, so a
    // count line that promises far more than the file holds costs little.
    std::vector<DatRow> table_;

    void Allocate();
    void CheckStorage(int pRow, int pCol) const;
    void LoadBytes(std::string_view bytes);
    void LoadDat(std::string_view text);
    void LoadCsv(std::string_view text, bool header);
    std::string SaveText(bool csv, bool header) const;
};

// Appends value as one field of a data file line: between double quotes,
// each inner quote doubled (a"b -> "a""b").
void AppendQuoted(std::string& out, std::string_view value);
