#pragma once
// A form definition made from the blank form: offices give their form's
// input cells defined names, and each name that refers to one rectangle
// becomes a field.
//
// Flow: open the template; take the workbook-level names, the active sheet's
// own names (by their bare name) and the other sheets' own names (as
// "Sheet!Name", which the extraction resolves as listed); leave out the
// names the spreadsheet makes for itself (Print_Area and the like) and those
// that are not one rectangle; order the fields by the sheet position of the
// named cells (sheet, then top to bottom, then left to right); choose each
// format word from the first named cell's number format and type; write the
// "dat" form. glean's /define and the window's "New Form Type from
// Workbook..." both come here.
#include <stdexcept>
#include <string>
#include <vector>

namespace wb {
class Workbook;
enum class CellType;
}  // namespace wb

struct DefinedField {
    std::string name;       // the field name: the defined name
    std::string reference;  // what the extraction resolves: the name, or Sheet!Name
    std::string format;     // the format word
    std::string address;    // where it points, "Sheet1!B2:B8", for the table shown to the user
};

// A template that gives no form definition, or a form definition that may
// not be written; what() says why and names the file.
class DefineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The form definition exists and was not to be replaced.
class FormTypeExists : public DefineError {
public:
    using DefineError::DefineError;
};

// The format word for a cell with this number format code (as the reader
// gives it, "" for General) and type: a date format gives "dmy", a plain
// number format with 0 to 3 decimals "0" to "0.000" (thousands separators
// dropped: the data file is comma-separated), another pattern itself when
// the harvester's pattern language understands it, everything else "text".
std::string FormatWordFor(const std::string& numberFormat, wb::CellType type);

// The fields of a template, in sheet order. Throws DefineError when no
// defined name is usable, wb::Error when the workbook cannot be read.
std::vector<DefinedField> FieldsOfTemplate(const wb::Workbook& book);
std::vector<DefinedField> FieldsOfTemplate(const std::string& templatePath);

// The form definition's text in the "dat" form (count line, then one quoted
// row per field, CR LF line ends).
std::string FormDefinitionText(const std::vector<DefinedField>& fields);

// The fields as a table for a terminal: Field, Reference, Format, Cells.
std::string FieldTable(const std::vector<DefinedField>& fields);

// Writes the form definition atomically. An existing file is refused
// (FormTypeExists naming it) unless `replace`; rt::RtError when writing fails.
void WriteFormDefinition(const std::string& path, const std::vector<DefinedField>& fields, bool replace);

// The whole job: fields of the template, then the file. Returns the fields.
std::vector<DefinedField> DefineFormType(const std::string& templatePath, const std::string& formPath, bool replace);
