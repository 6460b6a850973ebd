// The workbook facade: format sniffing, reference resolution, the sheet cache
// and the text form of a cell value.
#include "workbook/Workbook.h"

#include "workbook/Biff.h"
#include "workbook/Calendar.h"
#include "workbook/NumberFormat.h"
#include "workbook/Reader.h"
#include "workbook/Reference.h"
#include "workbook/ShortestDigits.h"
#include "workbook/ZipArchive.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wb {

const char* FormatName(Format f)
{
    switch (f) {
    case Format::Xls:
        return "xls";
    case Format::Xlsx:
        return "xlsx";
    case Format::Ods:
        return "ods";
    case Format::Xlsb:
        return "xlsb";
    }
    return "?";
}

const char* CellTypeName(CellType t)
{
    switch (t) {
    case CellType::Empty:
        return "empty";
    case CellType::Number:
        return "number";
    case CellType::Text:
        return "text";
    case CellType::Boolean:
        return "boolean";
    case CellType::Error:
        return "error";
    case CellType::Date:
        return "date";
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
    char digits[20];
    int point;
    const int count = ShownDigits(v, digits, point);
    // 0.digits times 10^point.
    std::string out;
    if (v < 0)
        out += '-';
    if (point <= 0) {
        out += "0.";
        out.append(size_t(-point), '0');
        out.append(digits, size_t(count));
    } else if (point >= count) {
        out.append(digits, size_t(count));
        out.append(size_t(point - count), '0');
    } else {
        out.append(digits, size_t(point));
        out += '.';
        out.append(digits + point, size_t(count - point));
    }
    return out;
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
    CivilDate c;
    if (date1904) {
        c = CivilFromDays(DaysFromCivil(1904, 1, 1) + n);
    } else if (n == 60) {
        // The 29 February 1900 that the 1900 date system counts.
        c = {1900, 2, 29};
    } else if (n >= 61) {
        c = CivilFromDays(DaysFromCivil(1899, 12, 30) + n);
    } else if (n == 0) {
        // A time of day without a date: serial 0 is 1899-12-30, where the
        // OLE Automation date that spreadsheets share counts from.
        c = CivilFromDays(DaysFromCivil(1899, 12, 30));
    } else {
        c = CivilFromDays(DaysFromCivil(1899, 12, 31) + n);
    }
    if (c.y < 1 || c.y > 9999)
        return std::nullopt;
    char buf[19];
    auto put = [&](int at, long long n, int width) {
        for (int i = width - 1; i >= 0; --i, n /= 10)
            buf[at + i] = char('0' + n % 10);
    };
    put(0, c.y, 4);
    buf[4] = '-';
    put(5, c.m, 2);
    buf[7] = '-';
    put(8, c.d, 2);
    if (secs == 0)
        return std::string(buf, 10);
    buf[10] = ' ';
    put(11, secs / 3600, 2);
    buf[13] = ':';
    put(14, secs / 60 % 60, 2);
    buf[16] = ':';
    put(17, secs % 60, 2);
    return std::string(buf, 19);
}

}  // namespace

std::string CellValue::Text() const
{
    switch (type) {
    case CellType::Empty:
        return {};
    case CellType::Number:
        return NumberText(number);
    case CellType::Text:
    case CellType::Error:
        return text;
    case CellType::Boolean:
        return number != 0 ? "TRUE" : "FALSE";
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

// ---------------------------------------------------------------- workbook

struct Workbook::Impl {
    std::string path;
    std::unique_ptr<detail::Reader> reader;
    int active = 0;
    struct Sheet {
        std::unique_ptr<detail::SheetCells> cells;
        std::vector<Range> wanted;  // from WillRead
        size_t announced = 0;       // of them, those from earlier calls
        bool whole = false;         // loaded with every cell
    };
    mutable std::vector<Sheet> sheets;
    // The defined names by the hash of their folded name, and the active
    // sheet's own names by their bare name too: each slot holds 2 * position
    // + 1 for a name as listed, + 2 for a bare name; 0 when free (linear
    // probing, never more than half full). Entries of one name lie along one
    // probe path in the file's order, so the first match met is the first in
    // order. Made at the first look-up: copies of one form resolved once
    // (Workbook::NamesToken) need none.
    mutable std::vector<uint32_t> nameSlots;

    void IndexNames() const;
    int FindName(std::string_view reference) const;

    bool Covered(const Sheet& s, int row, int col) const
    {
        if (s.whole)
            return true;
        for (const Range& r : s.wanted)
            if (row >= r.firstRow && row <= r.lastRow && col >= r.firstCol && col <= r.lastCol)
                return true;
        return false;
    }

    // The filter of these ranges, valid until the next call on this thread:
    // copies of one form ask for the same cells, and take the last one made.
    static const detail::SheetFilter& FilterOf(const std::vector<Range>& wanted)
    {
        struct Last {
            std::vector<Range> wanted;
            detail::SheetFilter filter = detail::SheetFilter::Only({});
        };
        thread_local Last last;
        if (last.wanted != wanted) {
            detail::SheetFilter made = detail::SheetFilter::Only(wanted);
            std::vector<Range> of = wanted;
            last.filter = std::move(made);  // the two together, or neither
            last.wanted = std::move(of);
        }
        return last.filter;
    }

    const detail::SheetCells& Load(int index, int row, int col) const
    {
        Sheet& s = sheets[size_t(index)];
        // A cell kept by the last load is right whatever was announced since.
        if (s.cells && (s.cells->Get(row, col) || Covered(s, row, col)))
            return *s.cells;
        // Nothing announced for this cell: the whole sheet, within the limit.
        const bool whole = !Covered(s, row, col);
        static const detail::SheetFilter all = detail::SheetFilter::All();
        const detail::SheetFilter& keep = whole ? all : FilterOf(s.wanted);
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

// The part of a sheet-level name after its "Sheet2!".
std::string_view BareName(std::string_view name)
{
    const size_t bang = name.rfind('!');
    return bang == std::string_view::npos ? std::string_view() : name.substr(bang + 1);
}

// Eight bytes a round (the last eight overlapping the round before), letters
// as either case: strings equal when folded get equal hashes.
uint64_t MixedBytes(std::string_view s, uint64_t& bits)
{
    const size_t n = s.size();
    const char* p = s.data();
    uint64_t h = n;
    auto mix = [&](uint64_t w) {
        bits |= w;
        h = (h ^ (w | 0x2020202020202020u)) * 0x9E3779B97F4A7C15u;
        h ^= h >> 32;
    };
    auto load = [](const char* at, size_t size) {
        uint64_t w = 0;
        std::memcpy(&w, at, size);
        return w;
    };
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8)
            mix(load(p + i, 8));
        mix(load(p + n - 8, 8));
    } else if (n >= 4) {
        mix(load(p, 4) | load(p + n - 4, 4) << 32);
    } else {
        uint64_t w = 0;
        for (size_t k = 0; k < n; ++k)
            w |= uint64_t(uint8_t(p[k])) << (8 * k);
        mix(w);
    }
    return h;
}

// A hash of FoldCase(s), without building it when s is ASCII.
uint64_t FoldedHash(std::string_view s)
{
    uint64_t bits = 0;
    const uint64_t h = MixedBytes(s, bits);
    if (!(bits & 0x8080808080808080u))
        return h;
    return MixedBytes(detail::FoldCase(s), bits);
}

}  // namespace

void Workbook::Impl::IndexNames() const
{
    const auto& names = reader->Names();
    size_t size = 4;
    while (size < 4 * names.size())
        size *= 2;
    std::vector<uint32_t>& slots = nameSlots;
    slots.assign(size, 0);
    auto put = [&](std::string_view key, uint32_t entry) {
        size_t s = FoldedHash(key) & (size - 1);
        while (slots[s])
            s = (s + 1) & (size - 1);
        slots[s] = entry;
    };
    for (size_t i = 0; i < names.size(); ++i) {
        put(names[i].name, uint32_t(2 * i + 1));
        if (names[i].scopeSheet == active)
            put(BareName(names[i].name), uint32_t(2 * i + 2));
    }
}

int Workbook::Impl::FindName(std::string_view reference) const
{
    // Names as listed first, then the active sheet's own names by their bare
    // name; letter case aside, compared where they lie.
    if (nameSlots.empty())
        IndexNames();
    const auto& names = reader->Names();
    const std::vector<uint32_t>& slots = nameSlots;
    const size_t mask = slots.size() - 1;
    int bare = -1;
    for (size_t s = FoldedHash(reference) & mask; slots[s]; s = (s + 1) & mask) {
        const size_t i = (slots[s] - 1) / 2;
        if ((slots[s] - 1) % 2 == 0) {
            if (detail::SameFolded(names[i].name, reference))
                return int(i);
        } else if (bare < 0 && detail::SameFolded(BareName(names[i].name), reference)) {
            bare = int(i);
        }
    }
    return bare;
}

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
    if (head.rfind("<!doctype html", 0) == 0 || head.rfind("<html", 0) == 0 || head.rfind("<table", 0) == 0 ||
        head.rfind("<meta", 0) == 0 || head.rfind("<head", 0) == 0)
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

FileBytes Workbook::ReadFile(const std::string& path)
{
    return ReadFileAt(AT_FDCWD, path.c_str(), path);
}

FileBytes Workbook::ReadFileAt(int folder, const char* name, const std::string& path)
{
    // The file is read with one call when it is small enough (the .xls and
    // zip readers then work on the bytes); bigger packages are read from the
    // file, part by part, and need only the first bytes here.
    constexpr size_t kReadWhole = size_t(16) << 20;
    FileBytes f;
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error("cannot open " + path + ": " + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};  // however this is left: out of memory for a big file too
    struct stat st {};
    size_t want = 512;
    if (::fstat(fd, &st) == 0) {
        f.stamped = true;
        f.stamp = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
                   static_cast<long long>(st.st_size),
                   static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
        if (S_ISREG(st.st_mode) && st.st_size >= 0 && size_t(st.st_size) <= kReadWhole) {
            want = size_t(st.st_size);
            f.whole = true;
        }
    }
    f.bytes.reset(new char[want ? want : 1]);
    int err = 0;
    while (f.size < want) {
        const ssize_t r = ::read(fd, f.bytes.get() + f.size, want - f.size);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            err = errno;
            break;
        }
        if (r == 0)
            break;  // shorter than it said
        f.size += size_t(r);
    }
    if (err)
        throw Error("cannot read " + path + ": " + std::strerror(err));
    return f;
}

std::unique_ptr<Workbook> Workbook::Open(const std::string& path, FileStamp* opened)
{
    FileBytes f = ReadFile(path);
    if (opened && f.stamped)
        *opened = f.stamp;
    return Open(path, std::move(f));
}

std::unique_ptr<Workbook> Workbook::Open(const std::string& path, FileBytes file)
{
    std::unique_ptr<char[]> bytes = std::move(file.bytes);
    const size_t size = file.size;
    const bool isWhole = file.whole;
    const unsigned char* head = reinterpret_cast<const unsigned char*>(bytes.get());
    const size_t n = std::min<size_t>(size, 512);
    static const unsigned char kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::unique_ptr<detail::Reader> reader;
    if (n >= 8 && std::memcmp(head, kCompound, 8) == 0) {
        reader = isWhole ? detail::OpenXls(path, std::move(bytes), size) : detail::OpenXls(path);
    } else if (detail::HasOldBiffSignature(head, n)) {
        reader = detail::OpenXls(path);  // tells Excel 2.x-4.x files apart
    } else if (n >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4) {
        reader =
            isWhole ? detail::OpenZipWorkbook(path, std::string(bytes.get(), size)) : detail::OpenZipWorkbook(path);
    } else {
        throw Error(path + ": not a workbook (" + Describe(head, n) + ")");
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
    impl->sheets.resize(size_t(count));
    impl->reader = std::move(reader);
    return std::unique_ptr<Workbook>(new Workbook(std::move(impl)));
}

Format Workbook::FileFormat() const
{
    return impl_->reader->format;
}
const std::string& Workbook::Path() const
{
    return impl_->path;
}
const std::vector<std::string>& Workbook::SheetNames() const
{
    return impl_->reader->sheetNames;
}
int Workbook::ActiveSheet() const
{
    return impl_->active;
}
bool Workbook::Date1904() const
{
    return impl_->reader->date1904;
}
const std::vector<DefinedName>& Workbook::Names() const
{
    return impl_->reader->Names();
}

std::shared_ptr<const void> Workbook::NamesToken() const
{
    return impl_->reader->sharedNames;
}

Range Workbook::Resolve(const std::string& reference) const
{
    const Impl& m = *impl_;
    if (const int i = m.FindName(reference); i >= 0) {
        const DefinedName& n = m.reader->Names()[size_t(i)];
        if (!n.range)
            throw Error(m.path + ": the name " + n.name + " does not refer to a range (" + n.formula + ")");
        return *n.range;
    }

    auto a = detail::ParseAddress(reference);
    if (!a)
        throw Error(m.path + ": " + reference + " is neither a defined name nor a cell address");
    Range r;
    r.sheet = m.active;
    if (!a->sheet.empty()) {
        r.sheet = -1;
        const auto& sheets = m.reader->sheetNames;
        for (size_t i = 0; i < sheets.size(); ++i)
            if (detail::SameFolded(sheets[i], a->sheet)) {
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
    // Only ranges of earlier calls are looked for: a range given twice in one
    // call costs a little room, a call repeated would grow the list each time.
    for (const Range& r : ranges) {
        if (r.sheet < 0 || size_t(r.sheet) >= impl_->sheets.size())
            continue;
        Impl::Sheet& s = impl_->sheets[size_t(r.sheet)];
        const auto earlier = s.wanted.begin() + std::ptrdiff_t(s.announced);
        if (s.whole || std::find(s.wanted.begin(), earlier, r) != earlier)
            continue;
        if (s.wanted.empty())
            s.wanted.reserve(ranges.size());
        s.wanted.push_back(r);
        s.cells.reset();  // read again, with the new range, when next asked
    }
    for (Impl::Sheet& s : impl_->sheets)
        s.announced = s.wanted.size();
}

CellValue Workbook::Cell(int sheet, int row, int col) const
{
    const CellValue* v = FindCell(sheet, row, col);
    return v ? *v : CellValue{};
}

const CellValue* Workbook::FindCell(int sheet, int row, int col) const
{
    if (sheet < 0 || size_t(sheet) >= impl_->sheets.size())
        throw Error(impl_->path + ": no sheet number " + std::to_string(sheet + 1));
    // A cell already loaded, or known empty, without a second look-up.
    const Impl::Sheet& s = impl_->sheets[size_t(sheet)];
    if (s.cells) {
        if (const CellValue* v = s.cells->Get(row, col))
            return v;
        if (impl_->Covered(s, row, col))
            return nullptr;
    }
    return impl_->Load(sheet, row, col).Get(row, col);
}

bool IsDateFormat(const std::string& code)
{
    return detail::IsDateFormatCode(code);
}

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
