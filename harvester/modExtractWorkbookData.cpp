#include "harvester/modExtractWorkbookData.h"

#include "common/RtError.h"
#include "common/clsDatFile.h"
#include "common/modUtil.h"
#include "harvester/modFormatCellValue.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxItems = 32767;
constexpr size_t kMostReserved = size_t(1) << 20;  // what a workbook's lines reserve at once

// The format word without its "+" and in lower case.
std::string FormatWord(const std::string& fmt)
{
    return Lower(!fmt.empty() && fmt[0] == '+' ? fmt.substr(1) : fmt);
}

bool IsNumericOrDateWord(const std::string& word)
{
    return word == "0" || word == "0.0" || word == "0.00" || word == "0.000" || word == "dmy" || word == "mdy" ||
           word == "ymd";
}

// A comma, a quote or a line break; a plain loop, as values are short.
bool NeedsQuotes(std::string_view s)
{
    for (const char c : s)
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
}

int Length(const wb::Range& r)
{
    return std::max(r.Rows(), r.Cols());
}

// Item k of a range: a single cell repeats, a run gives one cell per item and
// nothing past its end, a block of several rows and columns gives nothing.
// Valid until the next call on the workbook.
const wb::CellValue& ItemValue(const wb::Workbook& book, const wb::Range& r, int k)
{
    static const wb::CellValue kEmpty;
    const wb::CellValue* v = nullptr;
    if (r.Rows() == 1) {
        if (r.Cols() == 1)
            k = 0;
        if (k < r.Cols())
            v = book.FindCell(r.sheet, r.firstRow, r.firstCol + k);
    } else if (r.Cols() == 1 && k < r.Rows()) {
        v = book.FindCell(r.sheet, r.firstRow + k, r.firstCol);
    }
    return v ? *v : kEmpty;
}

wb::Range ResolveChecked(const wb::Workbook& book, const std::string& reference)
{
    wb::Range r = book.Resolve(reference);
    if (Length(r) > kMaxItems)
        throw rt::RtError(rt::Overflow, "reference " + reference + " spans " + std::to_string(Length(r)) +
                                            " cells, more than 32,767");
    return r;
}

FieldFormat ReadFieldFormat(const FormField& f)
{
    const std::string word = FormatWord(f.format);
    return {ReadCellFormat(f.format), word == "text", IsNumericOrDateWord(word)};
}

// One formatted value as it stands in the line, appended to `out`: a value
// that holds a comma, a quote or a line break is quoted whatever its format
// word, so that it cannot shift the columns after it.
void AppendField(std::string& out, const FieldFormat& f, const wb::CellValue& c, int16_t k)
{
    if (c.type == wb::CellType::Error && f.numberOrDate)
        throw rt::RtError(rt::TypeMismatch, "the cell holds the error " + c.text);
    const size_t start = out.size();
    AppendCellValue(out, c, f.format, k);
    if (!f.textWord && NeedsQuotes(std::string_view(out).substr(start))) {
        const std::string value = out.substr(start);
        out.resize(start);
        AppendQuoted(out, value);
    }
}

// What a field reads: a range of the workbook, or the one value of a
// reserved reference, which repeats on every line like a one-cell field.
struct Source {
    wb::Range range;
    std::optional<wb::CellValue> fixed;
};

// Blocks give no values and reserved references no cells: only single cells
// and runs are read.
bool ReadsCells(const Source& s)
{
    return !s.fixed && (s.range.Rows() == 1 || s.range.Cols() == 1);
}

int Length(const Source& s)
{
    return s.fixed ? 1 : Length(s.range);
}

const wb::CellValue& ItemValue(const wb::Workbook& book, const Source& s, int k)
{
    return s.fixed ? *s.fixed : ItemValue(book, s.range, k);
}

// The workbook file's modification time as a date-time serial (1900 system)
// in local time, as a file manager shows it, to the second.
wb::CellValue ModifiedValue(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw rt::RtError(rt::PathFileAccessError,
                          std::string("cannot read the modification time: ") + std::strerror(errno), path);
    std::tm tm{};
    ::localtime_r(&st.st_mtim.tv_sec, &tm);
    const long long local = static_cast<long long>(st.st_mtim.tv_sec) + tm.tm_gmtoff;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    wb::CellValue v;
    v.type = wb::CellType::Date;
    v.number = 25569.0 + double(days) + double(secs) / 86400.0;  // 25569: 1970-01-01
    return v;
}

// "<file>" and "<modified>" (any letter case) say where a line came from. No
// defined name or address holds "<", so no reference that resolves in a
// workbook is taken for one; they never reach the workbook.
Source ResolveSource(const wb::Workbook& book, const std::string& reference)
{
    if (reference.size() >= 2 && reference.front() == '<' && reference.back() == '>') {
        const std::string word = Lower(reference);
        if (word == "<file>") {
            wb::CellValue v;
            v.type = wb::CellType::Text;
            v.text = std::filesystem::path(book.Path()).filename().string();
            return {{}, v};
        }
        if (word == "<modified>")
            return {{}, ModifiedValue(book.Path())};
        throw wb::Error(book.Path() + ": " + reference + " is not a reserved reference (<file> or <modified>)");
    }
    return {ResolveChecked(book, reference), std::nullopt};
}

std::string Describe(const FormField& f)
{
    return "field " + f.name + " (" + f.reference + ")";
}

// Every field's source, in form order, with its reason where it has none.
struct ResolvedFields {
    std::vector<std::optional<Source>> sources;  // none: the field did not resolve
    std::vector<std::string> errors;             // empty while every field resolves
    int items = 0;                               // the longest source's length
};

// Resolves every field's reference and tells the workbook which cells will be
// read. A reference that does not resolve goes to `failed`, which either
// throws (the whole extraction stops there) or returns the reason the field
// keeps.
template <typename OnFailure>
ResolvedFields ResolveFields(const wb::Workbook& book, const FormDefinition& form, const OnFailure& failed,
                             std::vector<wb::Range>* readOut = nullptr)
{
    ResolvedFields out;
    out.sources.resize(form.fields.size());
    std::vector<wb::Range> read;
    read.reserve(form.fields.size());
    for (size_t i = 0; i < form.fields.size(); ++i) {
        try {
            out.sources[i] = ResolveSource(book, form.fields[i].reference);
        } catch (const std::exception& e) {
            std::string why = failed(e);
            out.errors.resize(form.fields.size());
            out.errors[i] = std::move(why);
            continue;
        }
        out.items = std::max(out.items, Length(*out.sources[i]));
        if (ReadsCells(*out.sources[i]))
            read.push_back(out.sources[i]->range);
    }
    book.WillRead(read);
    if (readOut)
        *readOut = std::move(read);
    return out;
}

// The last resolution of a form made on this thread, by what it depends on:
// copies of one form resolve alike (Workbook::NamesToken), so their fields
// are resolved once; only reserved references are resolved for each.
struct LastResolution {
    uint64_t form = 0;
    std::shared_ptr<const void> names;  // null: nothing kept
    int active = -1;
    ResolvedFields fields;
    std::vector<wb::Range> read;
    bool reserved = false;  // some field is a reserved reference
};

// ExtractLines' failure: the first field that does not resolve fails the
// workbook; messages stay on one line whatever the reference holds.
[[noreturn]] std::string FailsTheWorkbook(const std::exception& e)
{
    if (const auto* rtError = dynamic_cast<const rt::RtError*>(&e))
        throw rt::RtError(rtError->Number(), OneLine(e.what()), {});
    if (dynamic_cast<const wb::Error*>(&e))
        throw wb::Error(OneLine(e.what()));
    throw;
}

// ResolveFields for ExtractLines. The fields are valid until the next call
// on this thread.
const ResolvedFields& ResolveForLines(const wb::Workbook& book, const PreparedForm& prepared)
{
    thread_local LastResolution last;
    const FormDefinition& form = prepared.Form();
    std::shared_ptr<const void> names = book.NamesToken();
    if (names && names == last.names && prepared.Serial() == last.form && book.ActiveSheet() == last.active) {
        for (size_t i = 0; last.reserved && i < form.fields.size(); ++i) {
            if (!last.fields.sources[i]->fixed)
                continue;
            try {
                last.fields.sources[i] = ResolveSource(book, form.fields[i].reference);
            } catch (const std::exception& e) {
                FailsTheWorkbook(e);
            }
        }
        book.WillRead(last.read);
        return last.fields;
    }
    last.names = nullptr;  // not valid again before the fields are
    std::vector<wb::Range> read;
    last.fields = ResolveFields(book, form, FailsTheWorkbook, &read);
    if (names) {
        last.form = prepared.Serial();
        last.names = std::move(names);
        last.active = book.ActiveSheet();
        last.read = std::move(read);
        last.reserved = std::any_of(last.fields.sources.begin(), last.fields.sources.end(),
                                    [](const std::optional<Source>& s) { return s->fixed.has_value(); });
    }
    return last.fields;
}

}  // namespace

FormDefinitionError::FormDefinitionError(const std::string& path, int line, const std::string& fault)
    : rt::RtError(rt::TypeMismatch, "malformed at line " + std::to_string(line) + ": " + fault, {}), path_(path),
      line_(line)
{}

PreparedForm::PreparedForm(FormDefinition form) : form_(std::move(form))
{
    static std::atomic<uint64_t> prepared{0};
    serial_ = ++prepared;
    formats_.reserve(form_.fields.size());
    for (const FormField& f : form_.fields)
        formats_.push_back(ReadFieldFormat(f));
}

FormDefinition LoadFormDefinition(const std::string& path)
{
    clsDatFile dat;
    dat.setFileName(path);
    dat.setFmt(0);
    // Loading alone would take a damaged file for one with empty fields.
    const DatProblem problem = dat.LoadCheckedDat();
    if (problem.line > 0)
        throw FormDefinitionError(path, problem.line, problem.what);
    if (dat.Rows() < 1)
        throw rt::RtError(rt::SubscriptOutOfRange, "the form definition has no fields: " + path);
    FormDefinition form;
    form.fields.reserve(dat.Rows());
    for (int i = 0; i < dat.Rows(); ++i)
        form.fields.push_back({dat.Data(i, 0), dat.Data(i, 1), dat.Data(i, 2)});
    return form;
}

std::string HeaderLine(const FormDefinition& form)
{
    std::string line;
    for (size_t i = 0; i < form.fields.size(); ++i) {
        if (i)
            line += ',';
        const std::string& name = form.fields[i].name;
        line += NeedsQuotes(name) ? QuoteText(name) : name;
    }
    return line + "\r\n";
}

int16_t RangeLength(const wb::Workbook& book, const std::string& reference)
{
    return static_cast<int16_t>(Length(ResolveSource(book, reference)));
}

std::string CellValue(const wb::Workbook& book, const std::string& reference, int16_t k)
{
    return ItemValue(book, ResolveSource(book, reference), k).Text();
}

std::string ExtractLines(const wb::Workbook& book, const FormDefinition& form)
{
    return ExtractLines(book, PreparedForm(form));
}

std::string ExtractLines(const wb::Workbook& book, const PreparedForm& prepared)
{
    const FormDefinition& form = prepared.Form();
    if (form.fields.empty())
        throw rt::RtError(rt::SubscriptOutOfRange, "the form definition has no fields");
    const ResolvedFields& resolved = ResolveForLines(book, prepared);
    const int items = resolved.items;
    const std::vector<FieldFormat>& formats = prepared.Formats();

    // A single cell without a "+" shows the same on every line: formatted
    // once, on the first, and copied from there, a run of such fields at once.
    struct Repeat {
        bool repeats = false;
        size_t start = 0, size = 0;  // in the first line; after it, of the run that starts here
        size_t last = 0;             // after the first line: the run's last field
    };
    const size_t n = form.fields.size();
    std::vector<Repeat> same(n);
    for (size_t i = 0; i < n; ++i)
        same[i].repeats = Length(*resolved.sources[i]) == 1 && !formats[i].format.plus;

    std::string out;
    out.reserve(n * 16);
    for (int k = 0; k < items; ++k) {
        for (size_t i = 0; i < n; ++i) {
            if (i)
                out += ',';
            Repeat& r = same[i];
            if (k > 0 && r.repeats) {
                out.append(out, r.start, r.size);
                i = r.last;
                continue;
            }
            const FormField& f = form.fields[i];
            try {
                const size_t start = out.size();
                AppendField(out, formats[i], ItemValue(book, *resolved.sources[i], k), static_cast<int16_t>(k));
                if (r.repeats)
                    r.start = start, r.size = out.size() - start;
            } catch (const rt::RtError& e) {
                // The cell text may hold line breaks; the message may not.
                throw rt::RtError(
                    e.Number(),
                    OneLine(std::string(e.what()) + " (" + Describe(f) + ", item " + std::to_string(k + 1) + ")"),
                    book.Path());
            }
        }
        out += "\r\n";
        if (k == 0) {
            // Fields stand one after the other, a comma apart: a run ends where the next one's text ends.
            for (size_t i = n; i-- > 0;) {
                Repeat& r = same[i];
                r.last = i;
                if (r.repeats && i + 1 < n && same[i + 1].repeats) {
                    r.last = same[i + 1].last;
                    r.size = same[i + 1].start + same[i + 1].size - r.start;
                }
            }
            // Forms' other lines are about as long as the first; capped, since a
            // long first line may stand over thousands of short ones.
            out.reserve(std::min(out.size() * size_t(items) * 5 / 4, kMostReserved));
        }
    }
    return out;
}

std::vector<std::vector<FieldValue>> ExtractTable(const wb::Workbook& book, const FormDefinition& form)
{
    // The workbook is named by whoever shows the table, not in every cell.
    auto reason = [&book](const std::exception& e) {
        std::string s = OneLine(e.what());
        const std::string prefix = book.Path() + ": ";
        if (s.rfind(prefix, 0) == 0)
            s.erase(0, prefix.size());
        return s;
    };
    // A field that does not resolve shows why in its cells.
    const ResolvedFields resolved = ResolveFields(book, form, reason);
    const int items = std::max(1, resolved.items);

    const PreparedForm prepared(form);
    const std::vector<FieldFormat>& formats = prepared.Formats();

    std::vector<std::vector<FieldValue>> rows(static_cast<size_t>(items), std::vector<FieldValue>(form.fields.size()));
    for (int k = 0; k < items; ++k) {
        for (size_t i = 0; i < form.fields.size(); ++i) {
            FieldValue& v = rows[static_cast<size_t>(k)][i];
            if (!resolved.sources[i]) {
                v.error = resolved.errors[i];
                continue;
            }
            try {
                AppendField(v.text, formats[i], ItemValue(book, *resolved.sources[i], k), static_cast<int16_t>(k));
            } catch (const std::exception& e) {
                v.error = reason(e);
            }
        }
    }
    return rows;
}

std::string ExtractLines(const std::string& workbookPath, const FormDefinition& form)
{
    auto book = wb::Workbook::Open(workbookPath);
    return ExtractLines(*book, form);
}

namespace {

// Appends `text` (whole lines) to the file with one write, creating it when
// missing. Throws rt::RtError naming the file.
void AppendText(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw rt::RtError(rt::PathFileAccessError, std::string("cannot open: ") + std::strerror(errno), path);
    struct stat st {};
    ::fstat(fd, &st);
    if (const int err = WriteAll(fd, text)) {
        // No partial line may stay behind.
        [[maybe_unused]] const int undone = ::ftruncate(fd, st.st_size);
        ::close(fd);
        throw rt::RtError(rt::PathFileAccessError, std::string("cannot write: ") + std::strerror(err), path);
    }
    ::close(fd);
}

}  // namespace

void ExtractWorkbookData(const std::string& workbookPath, const std::string& formPath, const std::string& dataPath)
{
    FormDefinition form = LoadFormDefinition(formPath);
    std::string text = ExtractLines(workbookPath, form);
    struct stat st {};
    if (::stat(dataPath.c_str(), &st) != 0)
        text = HeaderLine(form) + text;
    AppendText(dataPath, text);
}
