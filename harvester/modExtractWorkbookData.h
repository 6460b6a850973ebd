#pragma once
// Harvesting one filled-in workbook.
//
// Flow: the form definition (a "dat" table: field name, reference, format
// word) is loaded; the workbook is opened; every reference is resolved to a
// range (defined names first, then an address on the active sheet or the
// sheet it names), except the reserved references "<file>" (the workbook's
// file name, as text) and "<modified>" (its modification time in local time,
// as a date), which give one value that repeats on every line like a
// one-cell field; the item count is the longest range; each item gives one
// line of formatted values. The lines are built in memory and appended to the
// data file with one write, after a header line of field names when the file
// does not exist yet, so a failing workbook leaves nothing behind.
//
// Both programs take the first path below: LoadFormDefinition and
// PreparedForm once per run, then HeaderLine and ExtractLines; the batch run
// appends the lines itself, with its journal and lock (DataFileAppender.h).
// The second group is this module's interface for other callers:
// ExtractWorkbookData does all of it for one workbook in one call,
// RangeLength and CellValue answer for one reference.
#include "common/RtError.h"
#include "harvester/modFormatCellValue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wb {
class Workbook;
}

struct FormField {
    std::string name;       // column 0
    std::string reference;  // column 1
    std::string format;     // column 2
};

struct FormDefinition {
    std::vector<FormField> fields;
};

// A form definition that breaks its own count line (a short or long row, an
// unclosed quote, fewer or more rows than counted, more than 80 columns, a
// bad count). what() gives the line and the fault ("malformed at line 3: 2
// fields where the count line gives 3"); the caller names the file, Path().
class FormDefinitionError : public rt::RtError {
public:
    FormDefinitionError(const std::string& path, int line, const std::string& fault);
    const std::string& Path() const noexcept { return path_; }
    int Line() const noexcept { return line_; }

private:
    std::string path_;
    int line_;
};

// ---- The batch run's path.

// Loads a form definition ("dat" form), strictly: a malformed file throws
// FormDefinitionError rather than loading with empty rows. Throws
// rt::FatalError for an empty path, rt::RtError 53 for a missing file,
// rt::RtError 9 when it has no rows, 62 when it is empty.
FormDefinition LoadFormDefinition(const std::string& path);

// A field's format word, read once for all its cells.
struct FieldFormat {
    CellFormat format;
    bool textWord = false;      // "text": the value comes quoted already
    bool numberOrDate = false;  // a number or date word
};

// A form definition with its format words read: made once per run, for all
// the workbooks of the run.
class PreparedForm {
public:
    explicit PreparedForm(FormDefinition form);
    const FormDefinition& Form() const { return form_; }
    const std::vector<FieldFormat>& Formats() const { return formats_; }  // one per field
    // No other form prepared in this process has it (a copy keeps it).
    uint64_t Serial() const { return serial_; }

private:
    FormDefinition form_;
    std::vector<FieldFormat> formats_;
    uint64_t serial_;
};

// The header line (field names joined by ","), ended by CR LF.
std::string HeaderLine(const FormDefinition& form);

// All the lines of one workbook, each ended by CR LF. Throws wb::Error or
// rt::RtError; the message names the workbook, and the reference or field
// where one is at fault.
// The batch run's: the format words read once for the whole run.
std::string ExtractLines(const wb::Workbook& book, const PreparedForm& form);
std::string ExtractLines(const wb::Workbook& book, const FormDefinition& form);
std::string ExtractLines(const std::string& workbookPath, const FormDefinition& form);

// One value as its line would hold it, or why the field gives none.
struct FieldValue {
    std::string text;
    std::string error;  // set: the run would fail the workbook here
};

// The lines of one workbook as a table for a preview: one row per item, one
// value per field, with the same reading and formatting as ExtractLines; a
// field that fails shows its error in its cells instead of stopping.
std::vector<std::vector<FieldValue>> ExtractTable(const wb::Workbook& book, const FormDefinition& form);

// ---- For other callers; no program calls these.

// Loads the form definition, extracts, writes the header line when the data
// file does not exist, and appends with one write (no journal, no lock).
// Nothing is written on failure.
void ExtractWorkbookData(const std::string& workbookPath, const std::string& formPath, const std::string& dataPath);

// Larger of a range's row and column count, over 32,767: rt::RtError 6.
int16_t RangeLength(const wb::Workbook& book, const std::string& reference);

// The text of item k of the reference (a single cell repeats, a run gives one
// cell per item, a block gives ""), or of a reserved reference (one item that
// repeats). Not to be confused with the reader's value type wb::CellValue.
std::string CellValue(const wb::Workbook& book, const std::string& reference, int16_t k);
