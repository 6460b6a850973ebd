#include "harvester/FormTypeFromWorkbook.h"

#include "common/clsDatFile.h"
#include "common/modUtil.h"
#include "harvester/modFormatCellValue.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <tuple>

namespace {

// Names the spreadsheet makes for itself (print areas, filters): no input cells.
bool IsSpreadsheetsOwnName(const std::string& bare)
{
    static const char* const kOwn[] = {"consolidate_area", "auto_open",      "auto_close",    "extract",
                                       "database",         "criteria",       "print_area",    "print_titles",
                                       "recorder",         "data_form",      "auto_activate", "auto_deactivate",
                                       "sheet_title",      "_filterdatabase"};
    std::string folded = Lower(bare);
    if (folded.rfind("_xlnm.", 0) == 0)
        folded.erase(0, 6);
    for (const char* own : kOwn)
        if (folded == own)
            return true;
    return false;
}

std::string Bare(const wb::DefinedName& n)
{
    const size_t bang = n.scopeSheet >= 0 ? n.name.rfind('!') : std::string::npos;
    return bang == std::string::npos ? n.name : n.name.substr(bang + 1);
}

// Outside quotes, escapes and brackets: a day or year part makes a date
// (a time of day alone is not one).
bool ShowsDay(const std::string& code)
{
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') {
            const size_t end = code.find('"', i + 1);
            if (end == std::string::npos)
                return false;
            i = end;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == '[') {
            const size_t end = code.find(']', i + 1);
            if (end == std::string::npos)
                return false;
            i = end;
        } else if (c == 'd' || c == 'D' || c == 'y' || c == 'Y') {
            return true;
        }
    }
    return false;
}

// The first section of a plain number format ("0", "#,##0.00",
// "[Red]0.0;-0.0"): its decimals, or -1 when it is anything else.
int PlainDecimals(const std::string& code)
{
    std::string first;
    for (size_t i = 0; i < code.size() && code[i] != ';'; ++i) {
        if (code[i] == '[') {
            const size_t end = code.find(']', i);
            if (end == std::string::npos || std::string("<>=").find(code[i + 1]) != std::string::npos)
                return -1;  // a condition chooses the section: not a plain number
            i = end;
        } else {
            first += code[i];
        }
    }
    first = TrimSpaces(first);
    const size_t point = first.find('.');
    const std::string whole = first.substr(0, point);
    if (whole.empty() || whole.back() != '0' || whole.find_first_not_of("#,0") != std::string::npos)
        return -1;
    if (point == std::string::npos)
        return 0;
    const std::string decimals = first.substr(point + 1);
    if (decimals.find_first_not_of('0') != std::string::npos)
        return -1;
    return decimals.size() <= 3 ? int(decimals.size()) : -1;
}

std::string Pad(const std::string& s, size_t width)
{
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

}  // namespace

std::string FormatWordFor(const std::string& numberFormat, wb::CellType type)
{
    const std::string code = TrimSpaces(numberFormat);
    if (code.empty() || Lower(code) == "general") {
        if (type == wb::CellType::Date)
            return "dmy";
        return type == wb::CellType::Number ? "General Number" : "text";
    }
    if (code == "@")
        return "text";
    if (wb::IsDateFormat(code) && ShowsDay(code))
        return "dmy";
    static const char* const kDecimals[] = {"0", "0.0", "0.00", "0.000"};
    const int decimals = PlainDecimals(code);
    if (decimals >= 0)
        return kDecimals[decimals];
    return PatternUnderstood(code) ? code : "text";
}

std::vector<DefinedField> FieldsOfTemplate(const wb::Workbook& book)
{
    const int active = book.ActiveSheet();
    const auto& sheets = book.SheetNames();
    struct Found {
        DefinedField field;
        wb::Range range;
        int order;  // in the file, for names on the same cell
    };
    std::vector<Found> found;
    std::vector<std::string> taken;  // folded field names
    auto isTaken = [&](const std::string& name) {
        return std::find(taken.begin(), taken.end(), Lower(name)) != taken.end();
    };
    // Workbook-level names first, so that a sheet's own name of the same
    // text (which the bare name does not reach) gets its sheet written out.
    const auto& names = book.Names();
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < names.size(); ++i) {
            const wb::DefinedName& n = names[i];
            if ((pass == 0) != (n.scopeSheet < 0) || !n.range || IsSpreadsheetsOwnName(Bare(n)))
                continue;
            DefinedField f;
            f.name = f.reference = n.scopeSheet == active && !isTaken(Bare(n)) ? Bare(n) : n.name;
            if (isTaken(f.name))
                continue;  // the same name twice: the extraction reaches only the first
            taken.push_back(Lower(f.name));
            const wb::Range& r = *n.range;
            f.address = (r.sheet >= 0 && size_t(r.sheet) < sheets.size() ? sheets[size_t(r.sheet)] + "!" : "") +
                        wb::RangeAddress(r);
            f.format = FormatWordFor(book.NumberFormat(r.sheet, r.firstRow, r.firstCol),
                                     book.Cell(r.sheet, r.firstRow, r.firstCol).type);
            found.push_back({f, r, int(i)});
        }
    }
    if (found.empty())
        throw DefineError(book.Path() + ": no defined name refers to one range of cells (" +
                          std::to_string(names.size()) + (names.size() == 1 ? " name" : " names") +
                          " in the workbook); name the form's input cells first");
    // The active sheet first, then the others in tab order; on each, top to
    // bottom and left to right.
    auto key = [&](const Found& f) {
        return std::make_tuple(f.range.sheet != active, f.range.sheet, f.range.firstRow, f.range.firstCol, f.order);
    };
    std::sort(found.begin(), found.end(), [&](const Found& a, const Found& b) { return key(a) < key(b); });
    std::vector<DefinedField> fields;
    for (Found& f : found)
        fields.push_back(std::move(f.field));
    return fields;
}

std::vector<DefinedField> FieldsOfTemplate(const std::string& templatePath)
{
    return FieldsOfTemplate(*wb::Workbook::Open(templatePath));
}

std::string FieldTable(const std::vector<DefinedField>& fields)
{
    std::vector<std::vector<std::string>> rows = {{"Field", "Reference", "Format", "Cells"}};
    for (const DefinedField& f : fields)
        rows.push_back({f.name, f.reference, f.format, f.address});
    size_t width[3] = {0, 0, 0};
    for (const auto& row : rows)
        for (size_t c = 0; c < 3; ++c)
            width[c] = std::max(width[c], row[c].size());
    std::string out;
    for (const auto& row : rows)
        out += Pad(row[0], width[0] + 2) + Pad(row[1], width[1] + 2) + Pad(row[2], width[2] + 2) + row[3] + "\n";
    return out;
}

void WriteFormDefinition(const std::string& path, const std::vector<DefinedField>& fields, bool replace)
{
    std::error_code ec;
    if (!replace && std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found)
        throw FormTypeExists(path + " already exists");
    clsDatFile dat;
    dat.setFileName(path);
    dat.setFmt(0);
    dat.setRows(int(fields.size()));
    dat.setCols(3);
    dat.Clear();
    for (size_t i = 0; i < fields.size(); ++i) {
        dat.setData(int(i), 0, fields[i].name);
        dat.setData(int(i), 1, fields[i].reference);
        dat.setData(int(i), 2, fields[i].format);
    }
    dat.Save();
}

std::vector<DefinedField> DefineFormType(const std::string& templatePath, const std::string& formPath, bool replace)
{
    // Replacing the template itself would lose the form.
    std::error_code ec;
    if (std::filesystem::equivalent(templatePath, formPath, ec))
        throw DefineError(formPath + " is the workbook itself; choose another name for the form definition");
    std::vector<DefinedField> fields = FieldsOfTemplate(templatePath);
    WriteFormDefinition(formPath, fields, replace);
    return fields;
}
