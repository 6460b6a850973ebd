// The workbook facade: format sniffing, reference resolution, the sheet cache
// and the text form of a cell value.
#include "workbook/Workbook.h"

#include "workbook/Biff.h"
#include "workbook/NumberFormat.h"
#include "workbook/Reader.h"
#include "workbook/Reference.h"
#include "workbook/ZipArchive.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/stat.h>

namespace wb {

const char* FormatName(Format f)
{
    switch (f) {
    case Format::Xls: return "xls";
    case Format::Xlsx: return "xlsx";
    case Format::Ods: return "ods";
    case Format::Xlsb: return "xlsb";
    }
    return "?";
}

const char* CellTypeName(CellType t)
{
    switch (t) {
    case CellType::Empty: return "empty";
    case CellType::Number: return "number";
    case CellType::Text: return "text";
    case CellType::Boolean: return "boolean";
    case CellType::Error: return "error";
    case CellType::Date: return "date";
    }
    return "?";
}

// ---------------------------------------------------------------- value text

namespace {

// Plain decimal text of a double: shortest round trip, at most 15
// significant digits, never an exponent.
std::string NumberText(double v)
{
    if (std::isnan(v))
        return "#NUM!";
    if (std::isinf(v))
        return "#NUM!";
    if (v == 0)
        return "0";  // also -0
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string_view sci(buf, size_t(res.ptr - buf));
    // Mantissa digits without the point.
    auto digitsOf = [](std::string_view s, std::string& digits, int& exp, bool& neg) {
        neg = !s.empty() && s[0] == '-';
        if (neg)
            s.remove_prefix(1);
        const size_t e = s.find('e');
        digits.clear();
        for (char c : s.substr(0, e))
            if (c != '.')
                digits += c;
        exp = std::atoi(std::string(s.substr(e + 1)).c_str());
    };
    std::string digits;
    int exp = 0;
    bool neg = false;
    digitsOf(sci, digits, exp, neg);
    if (digits.size() > 15) {
        res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
        digitsOf(std::string_view(buf, size_t(res.ptr - buf)), digits, exp, neg);
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    // digits d1 d2 ... with the point after d1, times 10^exp.
    std::string out;
    if (neg)
        out += '-';
    const int pointPos = exp + 1;  // digits before the point
    if (pointPos <= 0) {
        out += "0.";
        out.append(size_t(-pointPos), '0');
        out += digits;
    } else if (size_t(pointPos) >= digits.size()) {
        out += digits;
        out.append(size_t(pointPos) - digits.size(), '0');
    } else {
        out += digits.substr(0, size_t(pointPos));
        out += '.';
        out += digits.substr(size_t(pointPos));
    }
    return out;
}

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = (long long)yoe + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// yyyy-mm-dd[ hh:mm:ss]; nullopt when the serial is no date a spreadsheet shows.
std::optional<std::string> DateText(double serial, bool date1904)
{
    if (!std::isfinite(serial) || serial < -700000 || serial > 3000000)
        return std::nullopt;
    double day = std::floor(serial);
    long long secs = std::llround((serial - day) * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        day += 1;
    }
    const long long n = (long long)day;
    long long y;
    unsigned m, d;
    if (date1904) {
        CivilFromDays(DaysFromCivil(1904, 1, 1) + n, y, m, d);
    } else if (n == 60) {
        // The 29 February 1900 that the 1900 date system counts.
        y = 1900, m = 2, d = 29;
    } else if (n >= 61) {
        CivilFromDays(DaysFromCivil(1899, 12, 30) + n, y, m, d);
    } else if (n == 0) {
        // A time of day without a date: the zero date of the automation world.
        CivilFromDays(DaysFromCivil(1899, 12, 30), y, m, d);
    } else {
        CivilFromDays(DaysFromCivil(1899, 12, 31) + n, y, m, d);
    }
    if (y < 1 || y > 9999)
        return std::nullopt;
    char buf[40];
    if (secs == 0)
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld", y, m, d, secs / 3600,
                      secs / 60 % 60, secs % 60);
    return std::string(buf);
}

}  // namespace

namespace detail {

double SerialFromDays(double days1899, bool date1904)
{
    if (date1904)
        return days1899 - 1462;
    // Before 1 March 1900 the 1900 system is one day off, for its 29 February.
    return days1899 < 61 ? days1899 - 1 : days1899;
}

std::optional<double> IsoDateSerial(std::string_view s, bool date1904)
{
    auto num = [&](size_t& i, size_t digits, int& out) {
        if (i + digits > s.size())
            return false;
        out = 0;
        for (size_t k = 0; k < digits; ++k) {
            const char c = s[i + k];
            if (c < '0' || c > '9')
                return false;
            out = out * 10 + (c - '0');
        }
        i += digits;
        return true;
    };
    size_t i = 0;
    double days = 0;
    bool hasDate = false;
    if (s.size() >= 10 && s[4] == '-') {
        int y, m, d;
        if (!num(i, 4, y) || s[i++] != '-' || !num(i, 2, m) || s[i++] != '-' || !num(i, 2, d))
            return std::nullopt;
        if (m < 1 || m > 12 || d < 1 || d > 31)
            return std::nullopt;
        days = double(DaysFromCivil(y, unsigned(m), unsigned(d)) - DaysFromCivil(1899, 12, 30));
        hasDate = true;
        if (i < s.size() && (s[i] == 'T' || s[i] == ' '))
            ++i;
    }
    double frac = 0;
    if (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        int hh, mm, ss = 0;
        if (!num(i, 2, hh) || i >= s.size() || s[i++] != ':' || !num(i, 2, mm))
            return std::nullopt;
        double sec = 0;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!num(i, 2, ss))
                return std::nullopt;
            sec = ss;
            if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
                double scale = 0.1;
                for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10)
                    sec += (s[i] - '0') * scale;
            }
        }
        if (hh > 24 || mm > 59 || sec >= 61)
            return std::nullopt;
        frac = (hh * 3600.0 + mm * 60.0 + sec) / 86400.0;
    } else if (!hasDate) {
        return std::nullopt;
    }
    // A zone suffix (Z, +01:00) is ignored: the value is a local wall-clock time.
    if (i < s.size() && s[i] != 'Z' && s[i] != '+' && s[i] != '-')
        return std::nullopt;
    if (!hasDate)
        return frac;  // a time of day alone
    return SerialFromDays(days, date1904) + frac;
}

}  // namespace detail

std::string CellValue::Text() const
{
    switch (type) {
    case CellType::Empty: return {};
    case CellType::Number: return NumberText(number);
    case CellType::Text:
    case CellType::Error: return text;
    case CellType::Boolean: return number != 0 ? "TRUE" : "FALSE";
    case CellType::Date: {
        // Out of the calendar the spreadsheet shows the number.
        auto t = DateText(number, date1904);
        return t ? *t : NumberText(number);
    }
    }
    return {};
}

std::string RangeAddress(const Range& r)
{
    std::string s = detail::ColumnName(r.firstCol);
    s += std::to_string(r.firstRow + 1);
    if (r.lastRow != r.firstRow || r.lastCol != r.firstCol) {
        s += ':';
        s += detail::ColumnName(r.lastCol);
        s += std::to_string(r.lastRow + 1);
    }
    return s;
}

// ---------------------------------------------------------------- names

namespace detail {

// Lower case for comparisons without regard to letter case: ASCII plus the
// two-byte UTF-8 letters of Latin-1, Latin Extended-A, Greek and Cyrillic.
std::string FoldCase(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF && i + 1 < s.size()) {
            unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) ||
                (cp >= 0x410 && cp <= 0x42F))
                cp += 0x20;
            else if (cp >= 0x400 && cp <= 0x40F)
                cp += 0x50;
            else if (cp >= 0x100 && cp <= 0x17F && cp != 0x130 && cp != 0x131 && cp != 0x138 &&
                     cp != 0x149 && cp != 0x178 && cp != 0x17F) {
                // Latin Extended-A pairs: upper case on one parity, depending on the block.
                const bool oddUpper = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
                if ((cp % 2 == 1) == oddUpper)
                    cp += 1;
            }
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
            ++i;
            continue;
        }
        out += char(c);
    }
    return out;
}

}  // namespace detail

// ---------------------------------------------------------------- workbook

namespace detail {

SheetFilter SheetFilter::All(long long maxCells)
{
    SheetFilter f;
    f.all_ = true;
    f.maxCells_ = maxCells;
    f.lastRow_ = kMaxRows - 1;
    return f;
}

SheetFilter SheetFilter::Only(std::vector<Range> rects)
{
    SheetFilter f;
    f.rects_ = std::move(rects);
    for (const Range& r : f.rects_)
        f.lastRow_ = std::max(f.lastRow_, r.lastRow);
    return f;
}

bool SheetFilter::Wants(int row, int col) const
{
    if (all_)
        return true;
    for (const Range& r : rects_)
        if (row >= r.firstRow && row <= r.lastRow && col >= r.firstCol && col <= r.lastCol)
            return true;
    return false;
}

bool SheetFilter::WantsRows(int first, int last) const
{
    if (all_)
        return true;
    for (const Range& r : rects_)
        if (first <= r.lastRow && last >= r.firstRow)
            return true;
    return false;
}

int SheetFilter::LastCol(int first, int last) const
{
    if (all_)
        return kMaxCols - 1;
    int col = -1;
    for (const Range& r : rects_)
        if (first <= r.lastRow && last >= r.firstRow)
            col = std::max(col, r.lastCol);
    return col;
}

}  // namespace detail

struct Workbook::Impl {
    std::string path;
    std::unique_ptr<detail::Reader> reader;
    int active = 0;
    std::vector<std::string> foldedSheets;
    std::vector<std::string> foldedNames;  // as listed
    std::vector<std::string> foldedBare;   // sheet-level names without "Sheet!"
    struct Sheet {
        std::unique_ptr<detail::SheetCells> cells;
        std::vector<Range> wanted;  // from WillRead
        bool whole = false;         // loaded with every cell
    };
    mutable std::vector<Sheet> sheets;

    bool Covered(const Sheet& s, int row, int col) const
    {
        if (s.whole)
            return true;
        for (const Range& r : s.wanted)
            if (row >= r.firstRow && row <= r.lastRow && col >= r.firstCol && col <= r.lastCol)
                return true;
        return false;
    }

    const detail::SheetCells& Load(int index, int row, int col) const
    {
        Sheet& s = sheets[size_t(index)];
        if (s.cells && Covered(s, row, col))
            return *s.cells;
        // Nothing announced for this cell: the whole sheet, within the limit.
        const bool whole = !Covered(s, row, col);
        const detail::SheetFilter keep =
            whole ? detail::SheetFilter::All() : detail::SheetFilter::Only(s.wanted);
        s.cells.reset();
        auto cells = std::make_unique<detail::SheetCells>();
        cells->Keep(keep);
        try {
            reader->LoadSheet(index, keep, *cells);
        } catch (const detail::LimitError& e) {
            throw Error(path + ": sheet " + reader->sheetNames[size_t(index)] + ": " + e.what());
        }
        s.cells = std::move(cells);
        s.whole = whole;
        return *s.cells;
    }
};

namespace {

// What the first bytes of a file say it is.
std::string Describe(const unsigned char* b, size_t n)
{
    if (n == 0)
        return "empty file";
    size_t i = 0;
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        i = 3;
    while (i < n && (b[i] == ' ' || b[i] == '\t' || b[i] == '\r' || b[i] == '\n'))
        ++i;
    std::string head;
    for (size_t k = i; k < n && head.size() < 16; ++k)
        head += char(std::tolower(b[k]));
    if (head.rfind("<!doctype html", 0) == 0 || head.rfind("<html", 0) == 0 ||
        head.rfind("<table", 0) == 0 || head.rfind("<meta", 0) == 0 || head.rfind("<head", 0) == 0)
        return "HTML";
    if (head.rfind("<?xml", 0) == 0)
        return "XML";
    if (n >= 4 && b[0] == '%' && b[1] == 'P' && b[2] == 'D' && b[3] == 'F')
        return "PDF";
    // A bare BIFF stream outside a compound file: Excel 2.x to 4.0 (and a
    // few writers' raw BIFF5/8).
    if (n >= 4 && b[0] == 0x09 && (b[1] == 0x00 || b[1] == 0x02 || b[1] == 0x04 || b[1] == 0x08))
        return "Excel 2.x-4.0 worksheet or bare BIFF stream, not supported";
    if (n >= 2 && b[0] == 'P' && b[1] == 'K')
        return "zip archive without workbook parts";
    bool text = true;
    for (size_t k = 0; k < n; ++k)
        if (b[k] < 0x09 || (b[k] > 0x0D && b[k] < 0x20))
            text = false;
    return text ? "text" : "unknown binary format";
}

}  // namespace

namespace detail {

namespace {

std::unique_ptr<Reader> OpenPackage(std::unique_ptr<ZipArchive> zip)
{
    const std::string& path = zip->Path();
    if (zip->Has("xl/workbook.bin") && !zip->Has("xl/workbook.xml"))
        return OpenXlsbPackage(std::move(zip));
    if (zip->Has("xl/workbook.xml") || zip->Has("_rels/.rels"))
        return OpenXlsxPackage(std::move(zip));
    if (zip->Has("content.xml")) {
        auto mime = zip->Read("mimetype", 256);
        if (mime && mime->find("opendocument.spreadsheet") == std::string::npos)
            throw Error(path + ": not a workbook (OpenDocument " + *mime + ")");
        return OpenOdsPackage(std::move(zip));
    }
    throw Error(path + ": not a workbook (zip archive without workbook parts)");
}

}  // namespace

std::unique_ptr<Reader> OpenZipWorkbook(const std::string& path)
{
    return OpenPackage(std::make_unique<ZipArchive>(path));
}

std::unique_ptr<Reader> OpenZipWorkbook(const std::string& path, std::string bytes)
{
    return OpenPackage(std::make_unique<ZipArchive>(path, std::move(bytes)));
}

}  // namespace detail

Workbook::Workbook(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::Open(const std::string& path)
{
    std::array<unsigned char, 512> head{};
    size_t n = 0;
    std::string whole;  // a zip package small enough to read at once
    // Bigger packages are read from the file, part by part.
    constexpr size_t kReadWhole = size_t(16) << 20;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            throw Error("cannot open " + path + ": " + std::strerror(errno));
        n = std::fread(head.data(), 1, head.size(), f);
        bool bad = std::ferror(f);
        if (!bad && n >= 4 && head[0] == 'P' && head[1] == 'K') {
            struct stat st {};
            if (fstat(fileno(f), &st) == 0 && st.st_size >= 0 && size_t(st.st_size) <= kReadWhole) {
                whole.assign(reinterpret_cast<const char*>(head.data()), n);
                char buf[65536];
                size_t got;
                while ((got = std::fread(buf, 1, sizeof buf, f)) > 0 && whole.size() <= kReadWhole)
                    whole.append(buf, got);
                bad = std::ferror(f);
            }
        }
        std::fclose(f);
        if (bad)
            throw Error("cannot read " + path + ": " + std::strerror(errno));
    }
    static const unsigned char kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::unique_ptr<detail::Reader> reader;
    if ((n >= 8 && std::memcmp(head.data(), kCompound, 8) == 0) || detail::HasOldBiffSignature(head.data(), n)) {
        reader = detail::OpenXls(path);  // also tells Excel 2.x-4.x files apart
    } else if (n >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4) {
        reader = whole.empty() ? detail::OpenZipWorkbook(path) : detail::OpenZipWorkbook(path, std::move(whole));
    } else {
        throw Error(path + ": not a workbook (" + Describe(head.data(), n) + ")");
    }
    if (reader->sheetNames.empty())
        throw Error(path + ": the workbook has no sheets");
    reader->sheetVisible.resize(reader->sheetNames.size(), true);

    auto impl = std::make_unique<Impl>();
    impl->path = path;
    const int count = int(reader->sheetNames.size());
    int active = reader->activeSheet;
    // No recorded tab, or one hidden since: the first visible sheet.
    if (active < 0 || active >= count || !reader->sheetVisible[size_t(active)]) {
        active = 0;
        for (int i = 0; i < count; ++i)
            if (reader->sheetVisible[size_t(i)]) {
                active = i;
                break;
            }
    }
    impl->active = active;
    for (const auto& s : reader->sheetNames)
        impl->foldedSheets.push_back(detail::FoldCase(s));
    for (const auto& d : reader->names) {
        impl->foldedNames.push_back(detail::FoldCase(d.name));
        const size_t bang = d.name.rfind('!');
        impl->foldedBare.push_back(d.scopeSheet >= 0 && bang != std::string::npos
                                       ? detail::FoldCase(std::string_view(d.name).substr(bang + 1))
                                       : std::string());
    }
    impl->sheets.resize(size_t(count));
    impl->reader = std::move(reader);
    return std::unique_ptr<Workbook>(new Workbook(std::move(impl)));
}

Format Workbook::FileFormat() const { return impl_->reader->format; }
const std::string& Workbook::Path() const { return impl_->path; }
const std::vector<std::string>& Workbook::SheetNames() const { return impl_->reader->sheetNames; }
int Workbook::ActiveSheet() const { return impl_->active; }
bool Workbook::Date1904() const { return impl_->reader->date1904; }
const std::vector<DefinedName>& Workbook::Names() const { return impl_->reader->names; }

Range Workbook::Resolve(const std::string& reference) const
{
    const Impl& m = *impl_;
    const auto& names = m.reader->names;
    const std::string folded = detail::FoldCase(reference);
    auto fromName = [&](size_t i) -> Range {
        if (!names[i].range)
            throw Error(m.path + ": the name " + names[i].name + " does not refer to a range (" +
                        names[i].formula + ")");
        return *names[i].range;
    };
    // Names as listed first, then the active sheet's own names by their bare name.
    for (size_t i = 0; i < names.size(); ++i)
        if (m.foldedNames[i] == folded)
            return fromName(i);
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].scopeSheet == m.active && m.foldedBare[i] == folded)
            return fromName(i);

    auto a = detail::ParseAddress(reference);
    if (!a)
        throw Error(m.path + ": " + reference + " is neither a defined name nor a cell address");
    Range r;
    r.sheet = m.active;
    if (!a->sheet.empty()) {
        const std::string sheet = detail::FoldCase(a->sheet);
        r.sheet = -1;
        for (size_t i = 0; i < m.foldedSheets.size(); ++i)
            if (m.foldedSheets[i] == sheet) {
                r.sheet = int(i);
                break;
            }
        if (r.sheet < 0)
            throw Error(m.path + ": " + reference + " names no sheet of the workbook");
    }
    r.firstRow = a->firstRow;
    r.firstCol = a->firstCol;
    r.lastRow = a->lastRow;
    r.lastCol = a->lastCol;
    return r;
}

void Workbook::WillRead(const std::vector<Range>& ranges) const
{
    for (const Range& r : ranges) {
        if (r.sheet < 0 || size_t(r.sheet) >= impl_->sheets.size())
            continue;
        Impl::Sheet& s = impl_->sheets[size_t(r.sheet)];
        if (s.whole || std::find(s.wanted.begin(), s.wanted.end(), r) != s.wanted.end())
            continue;
        s.wanted.push_back(r);
        if (!s.whole)
            s.cells.reset();  // read again, with the new range, when next asked
    }
}

CellValue Workbook::Cell(int sheet, int row, int col) const
{
    if (sheet < 0 || size_t(sheet) >= impl_->sheets.size())
        throw Error(impl_->path + ": no sheet number " + std::to_string(sheet + 1));
    const CellValue* v = impl_->Load(sheet, row, col).Get(row, col);
    return v ? *v : CellValue{};
}

bool IsDateFormat(const std::string& code) { return detail::IsDateFormatCode(code); }

std::string Workbook::NumberFormat(int sheet, int row, int col) const
{
    if (sheet < 0 || size_t(sheet) >= impl_->sheets.size())
        throw Error(impl_->path + ": no sheet number " + std::to_string(sheet + 1));
    Range r;
    r.sheet = sheet;
    r.firstRow = r.lastRow = row;
    r.firstCol = r.lastCol = col;
    const detail::SheetFilter keep = detail::SheetFilter::Only({r});
    detail::SheetCells cells;
    cells.Keep(keep);
    cells.KeepStyles();
    try {
        impl_->reader->LoadSheet(sheet, keep, cells);
    } catch (const detail::LimitError& e) {
        throw Error(impl_->path + ": sheet " + impl_->reader->sheetNames[size_t(sheet)] + ": " + e.what());
    }
    const int style = cells.Style(row, col);
    return style < 0 ? std::string() : impl_->reader->FormatCode(style);
}

}  // namespace wb
