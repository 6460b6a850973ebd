#include "common/clsDatFile.h"

#include "common/RtError.h"
#include "common/SafeSave.h"
#include "common/modGetWords.h"
#include "common/modUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr int kMaxCount = clsDatFile::kMaxRows;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string Reason(int err)
{
    return std::strerror(err);
}

rt::RtError ReadError(int err, const std::string& file)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return rt::RtError(rt::FileNotFound, file);
    case EACCES:
    case EPERM:
        return rt::RtError(rt::PermissionDenied, file);
    default:
        return rt::RtError(rt::PathFileAccessError, Reason(err), file);
    }
}

std::string ReadWholeFile(const std::string& name)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ReadError(errno, name);
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw ReadError(err, name);
        }
        text.append(buf, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

// Lines end at CR or CR LF. A file without any CR (written by a Linux tool)
// ends its lines at LF instead, unless the LF stands inside a quoted word.
class LineReader {
public:
    LineReader(std::string_view text, const std::string& file) : text_(text), file_(file)
    {
        lfOnly_ = text_.find('\r') == std::string_view::npos;
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    // Lines returned so far: the last one returned is line Line() of the file.
    int Line() const { return line_; }

    // The lines not yet read, up to the last one that holds more than blanks.
    int LinesLeft() const
    {
        LineReader rest = *this;
        int count = 0;
        int upToLastFilled = 0;
        while (!rest.AtEnd()) {
            ++count;
            if (rest.Next().find_first_not_of(" \t") != std::string_view::npos)
                upToLastFilled = count;
        }
        return upToLastFilled;
    }

    // Ends the text after its last line that holds more than blanks.
    void DropTrailingEmptyLines()
    {
        LineReader rest = *this;
        std::size_t end = pos_;
        while (!rest.AtEnd())
            if (rest.Next().find_first_not_of(" \t") != std::string_view::npos)
                end = rest.pos_;
        text_ = text_.substr(0, end);
    }

    std::string_view Next()
    {
        if (AtEnd())
            throw rt::RtError(rt::InputPastEndOfFile, file_);
        ++line_;
        std::size_t end = lfOnly_ ? FindLfLineEnd() : text_.find('\r', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        const auto line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (!lfOnly_ && pos_ < text_.size() && text_[pos_] == '\n')
            ++pos_;
        return line;
    }

private:
    // Follows the word splitter's states just far enough to know whether an
    // LF is inside quotes.
    std::size_t FindLfLineEnd() const
    {
        enum { Between, Plain, Quoted, AfterQuote } state = Between;
        for (std::size_t i = pos_; i < text_.size(); ++i) {
            const char c = text_[i];
            switch (state) {
            case Between:
                if (c == '\n')
                    return i;
                if (c == '"')
                    state = Quoted;
                else if (c != ' ' && c != ',')
                    state = Plain;
                break;
            case Plain:
                if (c == '\n')
                    return i;
                if (c == ',')
                    state = Between;
                break;
            case Quoted:
                if (c == '"')
                    state = AfterQuote;
                break;
            case AfterQuote:
                if (c == '\n')
                    return i;
                if (c == '"')
                    state = Quoted;
                else if (c == ',')
                    state = Between;
                else if (c != ' ')
                    state = Plain;  // the line will be rejected; only its end matters
                break;
            }
        }
        // A quote that never closes cannot hold the rest of the file: the
        // line is malformed and ends at its first LF.
        return state == Quoted ? text_.find('\n', pos_) : std::string_view::npos;
    }

    std::string_view text_;
    const std::string& file_;
    std::size_t pos_ = 0;
    int line_ = 0;
    bool lfOnly_ = false;
};

// One whole number of the count line: spaces around it, an optional sign, digits.
int ParseCount(std::string_view s, const std::string& file, bool rows)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        throw rt::RtError(rt::TypeMismatch, file);
    long value = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            throw rt::RtError(rt::TypeMismatch, file);
        value = std::min(value * 10 + (c - '0'), 1'000'000L);
    }
    if (negative)
        value = -value;
    if (rows && value > kMaxCount)
        throw rt::RtError(rt::Overflow, clsDatFile::kTooManyRows, file);
    if (value > kMaxCount || value < -kMaxCount - 1)
        throw rt::RtError(rt::Overflow, file);
    if (value < 0)
        throw rt::RtError(rt::SubscriptOutOfRange, file);
    return static_cast<int>(value);
}

// Where a "dat" file breaks its own count line (see LoadCheckedDat).
DatProblem CheckDat(std::string_view text, const std::string& path)
{
    LineReader in(text, path);
    if (in.AtEnd())
        return {};
    int rows = 0, cols = 0;
    try {
        const auto countLine = in.Next();
        const auto comma = countLine.find(',');
        if (comma == std::string_view::npos)
            throw rt::RtError(rt::TypeMismatch);
        rows = ParseCount(countLine.substr(0, comma), path, true);
        cols = ParseCount(countLine.substr(comma + 1), path, false);
    } catch (const rt::RtError& e) {
        return {1, e.Number() == rt::Overflow              ? "a count above 32,767"
                   : e.Number() == rt::SubscriptOutOfRange ? "a negative count"
                                                           : "the count line is not two whole numbers (rows,columns)"};
    }
    if (cols > 80)
        return {1, "the count line gives " + std::to_string(cols) + " columns, more than 80"};
    auto plural = [](int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
    int line = 1;
    for (int r = 0; r < rows; ++r) {
        ++line;
        if (in.AtEnd())
            return {line,
                    "the file ends after " + plural(r, "row") + " where the count line gives " + std::to_string(rows)};
        const auto row = in.Next();
        WordList words;
        try {
            words = GetWords(row);
        } catch (const rt::RtError& e) {
            return {line, e.Number() == rt::SubscriptOutOfRange ? "more than 80 fields"
                                                                : "a line longer than 32,766 characters"};
        }
        if (UBound(words) == 0)
            return {line, std::count(row.begin(), row.end(), '"') % 2 ? "a quote that is not closed"
                                                                      : "text after a closing quote"};
        if (UBound(words) != cols)
            return {line, plural(UBound(words), "field") + " where the count line gives " + std::to_string(cols)};
    }
    while (!in.AtEnd()) {
        ++line;
        if (in.Next().find_first_not_of(" \t") != std::string_view::npos)
            return {line, "more rows than the " + std::to_string(rows) + " that the count line gives"};
    }
    return {};
}

}  // namespace

void AppendQuoted(std::string& out, std::string_view value)
{
    if (value.find('"') == std::string_view::npos) {
        // Most values: the quotes and the text in one go.
        const std::size_t at = out.size();
        out.append(value.size() + 2, '"');
        if (!value.empty())  // an empty view may hold no pointer at all
            std::memcpy(out.data() + at + 1, value.data(), value.size());
        return;
    }
    out += '"';
    for (std::size_t q; (q = value.find('"')) != std::string_view::npos; value.remove_prefix(q + 1))
        out.append(value.substr(0, q + 1)) += '"';
    out.append(value) += '"';
}

bool clsDatFile::Exists() const
{
    if (fileName_.empty() || fs::path(fileName_).filename().string().starts_with('.'))
        return false;
    struct stat st {};
    return ::stat(fileName_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string clsDatFile::FileType() const
{
    return (fmt_ == 1 || fmt_ == 2) ? "csv" : "dat";
}

void clsDatFile::setHeaders(const std::vector<std::string>& headers)
{
    headers_ = headers;
}

void clsDatFile::setRows(int N)
{
    if (N < 1)
        throw rt::FatalError("clsDatFile.Rows out of bounds (" + std::to_string(N) + ")");
    if (N > kMaxCount)
        throw rt::RtError(rt::Overflow);
    rows_ = static_cast<int16_t>(N);
}

void clsDatFile::setCols(int N)
{
    if (N < 1)
        throw rt::FatalError("clsDatFile.Cols out of bounds (" + std::to_string(N) + ")");
    if (N > kMaxCount)
        throw rt::RtError(rt::Overflow);
    cols_ = static_cast<int16_t>(N);
}

void clsDatFile::Allocate()
{
    table_.assign(static_cast<std::size_t>(std::max<int>(rows_, 0)), {});
    allocRows_ = rows_;
    allocCols_ = cols_;
    allocated_ = true;
}

// The counts may have been changed since the storage was made: a cell outside
// the storage is an error, as for any array.
void clsDatFile::CheckStorage(int pRow, int pCol) const
{
    if (!allocated_ || pRow >= allocRows_ || pCol >= allocCols_)
        throw rt::RtError(rt::SubscriptOutOfRange);
}

std::string clsDatFile::Data(int pRow, int pCol) const
{
    if (pRow < 0 || pRow >= rows_ || pCol < 0 || pCol >= cols_)
        return {};
    CheckStorage(pRow, pCol);
    return std::string(table_[static_cast<std::size_t>(pRow)].Cell(pCol));
}

void clsDatFile::setData(int pRow, int pCol, const std::string& pValue)
{
    if (pRow < 0 || pRow >= rows_ || pCol < 0 || pCol >= cols_)
        return;
    CheckStorage(pRow, pCol);
    table_[static_cast<std::size_t>(pRow)].setCell(pCol, pValue);
}

std::vector<std::string> clsDatFile::Col(int x) const
{
    std::vector<std::string> column(static_cast<std::size_t>(std::max<int>(rows_, 0)));
    if (x < 0 || x >= cols_ || rows_ < 1)
        return column;
    CheckStorage(rows_ - 1, x);
    for (int r = 0; r < rows_; ++r)
        column[static_cast<std::size_t>(r)] = Data(r, x);
    return column;
}

void clsDatFile::MoveRowUp(int pRow)
{
    if (pRow < 1 || pRow > rows_ - 1)
        return;
    CheckStorage(pRow, 0);
    std::swap(table_[static_cast<std::size_t>(pRow)], table_[static_cast<std::size_t>(pRow - 1)]);
}

void clsDatFile::Clear()
{
    Allocate();
}

std::vector<DatRow> clsDatFile::TakeTable()
{
    allocated_ = false;
    allocRows_ = allocCols_ = 0;
    return std::exchange(table_, {});
}

void clsDatFile::setTable(std::vector<DatRow> rows, int cols)
{
    if (rows.size() > static_cast<std::size_t>(kMaxCount))
        throw rt::RtError(rt::Overflow, kTooManyRows, fileName_);
    table_ = std::move(rows);
    rows_ = static_cast<int16_t>(table_.size());
    cols_ = static_cast<int16_t>(std::clamp(cols, 0, kMaxCount));
    allocRows_ = rows_;
    allocCols_ = cols_;
    allocated_ = true;
}

void clsDatFile::Load()
{
    if (fmt_ < 0 || fmt_ > 2)
        return;
    if (fileName_.empty())
        throw rt::FatalError("clsDatFile.Load: Filename not set");
    LoadBytes(ReadWholeFile(fileName_));
}

DatProblem clsDatFile::LoadCheckedDat()
{
    if (fileName_.empty())
        throw rt::FatalError("clsDatFile.Load: Filename not set");
    const std::string bytes = ReadWholeFile(fileName_);
    DatProblem problem = CheckDat(bytes, fileName_);
    if (problem.line == 0) {
        fmt_ = 0;
        LoadBytes(bytes);
    }
    return problem;
}

void clsDatFile::LoadBytes(std::string_view text)
{
    bom_ = text.starts_with(kBom);
    if (bom_)
        text.remove_prefix(kBom.size());
    encoding_ = IsValidUtf8(text) ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    rowsRead_ = stoppedAt_ = rowsNotRead_ = 0;
    try {
        if (fmt_ == 0)
            LoadDat(text);
        else
            LoadCsv(text, fmt_ == 2);
    } catch (const rt::RtError& e) {
        if (!e.Subject().empty())
            throw;
        throw rt::RtError(e.Number(), fileName_);  // name the file the line came from
    }
}

void clsDatFile::LoadDat(std::string_view text)
{
    LineReader in(text, fileName_);
    const auto countLine = in.Next();
    const auto comma = countLine.find(',');
    if (comma == std::string_view::npos)
        throw rt::RtError(rt::TypeMismatch, fileName_);
    // Checked before storing, so a bad count line leaves the object as it was.
    const int rows = ParseCount(countLine.substr(0, comma), fileName_, true);
    const int cols = ParseCount(countLine.substr(comma + 1), fileName_, false);
    rows_ = static_cast<int16_t>(rows);
    cols_ = static_cast<int16_t>(cols);
    Allocate();
    for (auto& row : table_) {
        const LineReader before = in;
        WordList words = GetWords(in.Next());
        if (UBound(words) != cols_) {
            // This row and the rest stay empty; blank lines at the end lose nothing.
            rowsNotRead_ = before.LinesLeft();
            stoppedAt_ = rowsNotRead_ > 0 ? in.Line() : 0;
            return;
        }
        row = DatRow(words, 1);
        ++rowsRead_;
    }
    // Lines beyond the count line's rows would be lost by the next save.
    if (const int left = in.LinesLeft()) {
        stoppedAt_ = in.Line() + 1;
        rowsNotRead_ = left;
    }
}

void clsDatFile::LoadCsv(std::string_view text, bool header)
{
    LineReader in(text, fileName_);
    in.DropTrailingEmptyLines();
    fileHeaders_.clear();
    if (header) {
        // Header texts are never taken from a file; its words are kept aside
        // for a caller that writes the file back.
        try {
            fileHeaders_ = GetWords(in.Next());
            fileHeaders_.erase(fileHeaders_.begin());
        } catch (const rt::RtError&) {
            fileHeaders_.clear();
        }
    }
    // One pass: the rows are kept as they are split and become the table.
    std::vector<DatRow> rows;
    {
        const WordList first = GetWords(in.Next());
        setCols(UBound(first));
        rows.emplace_back(first, 1);
    }
    while (!in.AtEnd()) {
        const LineReader before = in;
        WordList words = GetWords(in.Next());
        if (UBound(words) != cols_) {
            stoppedAt_ = in.Line();
            rowsNotRead_ = before.LinesLeft();
            break;
        }
        if (rows.size() == kMaxCount)
            throw rt::RtError(rt::Overflow, kTooManyRows, fileName_);
        rows.emplace_back(words, 1);
    }
    setRows(static_cast<int>(rows.size()));
    rowsRead_ = rows_;
    table_ = std::move(rows);
    allocRows_ = rows_;
    allocCols_ = cols_;
    allocated_ = true;
}

std::string clsDatFile::SaveText(bool csv, bool header) const
{
    if (rows_ > 0 && cols_ > 0)
        CheckStorage(rows_ - 1, cols_ - 1);
    if (header && static_cast<int>(headers_.size()) < cols_)
        throw rt::RtError(rt::SubscriptOutOfRange);

    std::string out;
    if (bom_)
        out += kBom;
    auto endRow = [&out] { out += "\r\n"; };
    if (!csv) {
        out += std::to_string(rows_) + "," + std::to_string(cols_);
        endRow();
    } else if (header) {
        for (int c = 0; c < cols_; ++c) {
            if (c > 0)
                out += ',';
            AppendQuoted(out, headers_[static_cast<std::size_t>(c)]);
        }
        endRow();
    }
    for (int r = 0; r < rows_; ++r) {
        const DatRow& row = table_[static_cast<std::size_t>(r)];
        std::size_t pos = 0;
        for (int c = 0; c < cols_; ++c) {
            if (c > 0)
                out += ',';
            AppendQuoted(out, row.Next(pos));
        }
        endRow();
    }
    return out;
}

void clsDatFile::Save() const
{
    if (fileName_.empty() || fmt_ < 0 || fmt_ > 2)
        return;
    WriteAtomically(fileName_, SaveText(fmt_ != 0, fmt_ == 2));
}
