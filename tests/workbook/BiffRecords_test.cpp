// Record-level behaviour of the .xls reader on hand-built workbook streams
// and on the writers' own files: CONTINUE handling, code pages, names, and
// damage that must become a clear error.
#include "tests/workbook/Json.h"
#include "workbook/Compound.h"
#include "workbook/Dump.h"
#include "workbook/Reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <future>
#include <tuple>

namespace {

using wb::CellType;
using wb::detail::OpenXls;
using wb::detail::SheetCells;
using Bytes = std::string;
using testjson::F64;
using testjson::Le;

using Strings = std::vector<std::string>;

Bytes Cell(int row, int col, int xf = 15)
{
    return Le<2>(row, col, xf);
}

Bytes Record(uint16_t type, const Bytes& body)
{
    return Le<2>(type, unsigned(body.size())) + body;
}

// Cells as "type:value", numbers exact (shortest round trip); "missing" where there is none.
Strings Values(const SheetCells& cells, const std::vector<std::pair<int, int>>& at)
{
    Strings out;
    for (auto [row, col] : at) {
        const wb::CellValue* v = cells.Get(row, col);
        char number[32] = "";
        if (v && (v->type == CellType::Number || v->type == CellType::Date))
            *std::to_chars(number, number + 31, v->number).ptr = '\0';
        out.push_back(v ? wb::CellTypeName(v->type) + (":" + (*number ? std::string(number) : v->text)) : "missing");
    }
    return out;
}

// A workbook stream built record by record; BOUNDSHEET offsets are patched
// once the sheet's position is known.
class StreamBuilder {
public:
    explicit StreamBuilder(int biff = 8) : biff_(biff) {}

    StreamBuilder& Raw(const Bytes& records)
    {
        s_ += records;
        return *this;
    }
    StreamBuilder& Rec(uint16_t type, const Bytes& body) { return Raw(Record(type, body)); }
    StreamBuilder& Bof(uint16_t dt)
    {
        return Rec(0x0809, Le<2>(biff_ == 8 ? 0x0600u : 0x0500u, dt) + Bytes(biff_ == 8 ? 12 : 4, 0));
    }
    StreamBuilder& Eof() { return Rec(0x000A, {}); }
    StreamBuilder& BoundSheet(const char* name, bool hidden = false)
    {
        patch_.push_back(s_.size() + 4);
        const Bytes b = Le<4>(0) + Le<1>(hidden ? 1 : 0, 0, std::strlen(name)) + (biff_ == 8 ? Bytes(1, 0) : "");
        return Rec(0x0085, b + name);
    }
    // Marks where sheet `i` (in BOUNDSHEET order) starts: the next record.
    StreamBuilder& SheetStartsHere(size_t i, uint32_t shift = 0)
    {
        const uint32_t at = uint32_t(s_.size()) + shift;
        std::memcpy(&s_[patch_.at(i)], &at, 4);
        return *this;
    }
    const Bytes& Data() const { return s_; }

private:
    int biff_;
    Bytes s_;
    std::vector<size_t> patch_;
};

std::string Write(const Bytes& stream, const std::string& streamName = "Workbook")
{
    const std::string path = testjson::TempPath(".xls");
    wb::detail::WriteCompoundFile(path, streamName, stream.data(), stream.size());
    return path;
}

// Reads every sheet; the cells of the last one.
SheetCells ReadAll(const std::string& path)
{
    auto r = OpenXls(path);
    SheetCells cells;
    for (size_t i = 0; i < r->sheetNames.size(); ++i) {
        cells = SheetCells();
        r->LoadSheet(int(i), wb::detail::SheetFilter::All(), cells);
    }
    return cells;
}

// A BIFF8 workbook of one sheet "One" holding the records `cells`, after the global records `globals`.
Bytes Biff8Book(const Bytes& cells, const Bytes& globals = {})
{
    StreamBuilder sb(8);
    sb.Bof(0x0005).Rec(0x0042, Le<2>(1200)).BoundSheet("One").Raw(globals).Eof();
    return sb.SheetStartsHere(0).Bof(0x0010).Raw(cells).Eof().Data();
}

// Shared strings are decoded when a cell asks for them, after the records
// that follow the SST (here an EXTERNSHEET joined with its CONTINUE) have
// been read.
TEST(BiffRecords, SharedStringsSplitByContinueRecords)
{
    // SST: "abc" + "Ω😀z" and a lone surrogate, where the CONTINUE re-sends
    // the flag byte (now 16-bit); strings that start inside the CONTINUE: a
    // rich "hi" with one run, "k" with phonetic data to skip, and "lm" +
    // "nop" across the next CONTINUE, which re-sends the 8-bit flag.
    const Bytes globals = Record(0x00FC, Le<4>(4, 4) + Le<2>(8) + Le<1>(0) + Bytes("abc")) +
                          Record(0x003C, Le<1>(0x01) + Le<2>(0x03A9, 0xD83D, 0xDE00, 'z', 0xD800, 2) + Le<1>(0x08) +
                                             Le<2>(1) + Bytes("hi") + Le<4>(0) + Le<2>(1) + Le<1>(0x04) + Le<4>(3) +
                                             Bytes("kxyz") + Le<2>(5) + Le<1>(0) + Bytes("lm")) +
                          Record(0x003C, Le<1>(0) + Bytes("nop")) + Record(0x0017, Le<2>(1, 0)) +
                          Record(0x003C, Le<2>(0, 0));
    Bytes cells;
    for (int i = 0; i < 4; ++i)
        cells += Record(0x00FD, Cell(i, 0) + Le<4>(3 - i));  // the last string first
    cells += Record(0x00FD, Cell(1, 0) + Le<4>(1));          // a cell given twice: the last one
    EXPECT_EQ(Values(ReadAll(Write(Biff8Book(cells, globals))), {{0, 0}, {1, 0}, {2, 0}, {3, 0}}),
              (Strings{"text:lmnop", "text:hi", "text:hi", "text:abcΩ\U0001F600z\uFFFD"}));
}

TEST(BiffRecords, FormulaStringResultContinuedAndRk)
{
    const Bytes cells =
        // A FORMULA whose text result follows in a STRING record split by
        // CONTINUE, a SHRFMLA between them (which is allowed).
        Record(0x0006, Cell(0, 0) + Le<1>(0x00, 0, 0, 0, 0, 0, 0xFF, 0xFF) + Le<2>(0, 0, 0, 0)) +
        Record(0x04BC, Bytes(6, 0)) + Record(0x0207, Le<2>(4) + Le<1>(0x00) + Bytes("ab")) +
        Record(0x003C, Le<1>(0x01, 'c', 0, 'd', 0)) +
        // MULRK: 1 (integer), 1.5 (double high bits), 12.34 (integer / 100)
        Record(0x00BD, Le<2>(1, 2, 15) + Le<4>((1u << 2) | 2) + Le<2>(15) + Le<4>(0x3FF80000u) + Le<2>(15) +
                           Le<4>((1234u << 2) | 3) + Le<2>(4)) +
        Record(0x027E, Cell(2, 0) + Le<4>(uint32_t(-7 * 4) | 2));  // RK of a negative integer
    EXPECT_EQ(Values(ReadAll(Write(Biff8Book(cells))), {{0, 0}, {1, 2}, {1, 3}, {1, 4}, {2, 0}}),
              (Strings{"text:abcd", "number:1", "number:1.5", "number:12.34", "number:-7"}));
}

TEST(BiffRecords, FormatRecordDecidesWhetherAnIdIsADate)
{
    // XF 0: id 20 redefined as a percentage; XF 1: id 14 without a FORMAT
    // record (built-in date); XF 2: custom id 164 "dd/mm/yy"; XF 3: id 165 "0.0".
    Bytes globals, cells;
    for (auto [id, code] : {std::pair{20u, "0.00%"}, {164u, "dd/mm/yy"}, {165u, "0.0"}})
        globals += Record(0x041E, Le<2>(id, unsigned(std::strlen(code))) + Le<1>(0) + Bytes(code));
    for (unsigned id : {20u, 14u, 164u, 165u})
        globals += Record(0x00E0, Le<2>(0, id) + Bytes(16, 0));
    for (int xf = 0; xf < 4; ++xf)
        cells += Record(0x0203, Cell(0, xf, xf) + F64(40000.5));
    EXPECT_EQ(Values(ReadAll(Write(Biff8Book(cells, globals))), {{0, 0}, {0, 1}, {0, 2}, {0, 3}}),
              (Strings{"number:40000.5", "date:40000.5", "date:40000.5", "number:40000.5"}));
}

Bytes NameRecord(const char* name, unsigned itab, const Bytes& rgce, unsigned flags = 0)
{
    return Le<2>(flags) + Le<1>(0, uint8_t(std::strlen(name))) + Le<2>(unsigned(rgce.size()), 0, itab) +
           Le<1>(0, 0, 0, 0, 0) + Bytes(name) + rgce;  // 8-bit characters
}

Bytes Area3d(unsigned ixti, unsigned r1, unsigned r2, unsigned c1, unsigned c2)
{
    return Le<1>(0x3B) + Le<2>(ixti, r1, r2, c1, c2);
}

TEST(BiffRecords, NamesAndWhatTheyReferTo)
{
    // Sheets: A (visible), B (hidden); no WINDOW1, so no active tab.
    // SUPBOOK 0 is this workbook, SUPBOOK 1 another one. XTI 0: sheet B,
    // XTI 1: sheets A..B, XTI 2: the other workbook, XTI 3: a deleted sheet.
    StreamBuilder sb(8);
    sb.Bof(0x0005).BoundSheet("A").BoundSheet("B", true);
    sb.Rec(0x01AE, {2, 0, 0x01, 0x04}).Rec(0x01AE, Le<2>(1, 4) + Le<1>(0) + Bytes("x.xls"));
    sb.Rec(0x0017, Le<2>(4, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0xFFFE, 0xFFFE));
    const Bytes area = Le<1>(0x25) + Le<2>(1, 2, 0, 1);
    const Bytes names[] = {
        NameRecord("Cell", 0, Le<1>(0x3A) + Le<2>(0, 4, 0xC002)),  // B!$C$5 with relative flags set
        NameRecord("Block", 0, Area3d(0, 9, 1, 3, 0)),             // corners given backwards
        NameRecord("Span", 0, Area3d(1, 0, 0, 0, 0)),
        NameRecord("Outside", 0, Area3d(2, 0, 0, 0, 0)),
        NameRecord("Gone", 0, Area3d(3, 0, 0, 0, 0)),
        NameRecord("Bad", 0, Area3d(9, 0, 0, 0, 0)),
        NameRecord("Here", 2, area),     // sheet-level: the area lies on B
        NameRecord("Nowhere", 0, area),  // no sheet to put it on
        NameRecord("Number", 0, Le<1>(0x1F) + F64(1)),
        NameRecord("Paren", 0, Area3d(0, 0, 0, 0, 0) + Le<1>(0x15)),  // not one plain area
        NameRecord("\x06", 1, Area3d(0, 0, 4, 0, 2), 0x0020),         // built-in Print_Area of A
        NameRecord("Lost", 7, Area3d(0, 0, 0, 0, 0)),                 // scoped to a missing sheet
    };
    for (const Bytes& n : names)
        sb.Rec(0x0018, n);
    sb.Eof().SheetStartsHere(0).Bof(0x0010).Eof().SheetStartsHere(1).Bof(0x0010).Eof();
    auto r = OpenXls(Write(sb.Data()));

    EXPECT_EQ(r->activeSheet, -1);
    EXPECT_EQ(r->sheetVisible, (std::vector<bool>{true, false}));
    EXPECT_EQ(testjson::Names(r->Names()),
              (Strings{"Cell -1 1!C5", "Block -1 1!A2:D10", "Span -1", "Outside -1", "Gone -1", "Bad -1",
                       "B!Here 1 1!A2:B3", "Nowhere -1", "Number -1", "Paren -1", "A!Print_Area 0 1!A1:C5"}));
    EXPECT_EQ(r->Names()[8].formula, "(a constant)");  // only a name that is no range says what it is
}

// A name as listed wins over the active sheet's own name by its bare name,
// the first in order over a later one, whatever the letter case; other
// sheets' names need their sheet; many names, also with letters outside
// ASCII, are all found.
TEST(BiffRecords, ResolveFindsTheFirstNameInOrder)
{
    StreamBuilder sb(8);
    sb.Bof(0x0005).Rec(0x003D, Le<2>(0, 0, 0, 0, 0, 1, 0, 1, 0x258)).BoundSheet("A").BoundSheet("B");
    sb.Rec(0x01AE, {2, 0, 0x01, 0x04}).Rec(0x0017, Le<2>(2, 0, 1, 1, 0, 0, 0));  // XTI 0: B, XTI 1: A
    const Bytes names[] = {
        NameRecord("Total", 0, Area3d(0, 0, 0, 0, 0)),
        NameRecord("TOTAL", 0, Area3d(0, 1, 1, 0, 0)),
        NameRecord("Local", 2, Area3d(0, 2, 2, 0, 0)),
        NameRecord("Other", 1, Area3d(1, 3, 3, 0, 0)),
        NameRecord("Both", 2, Area3d(0, 4, 4, 0, 0)),
        NameRecord("Both", 0, Area3d(0, 5, 5, 0, 0)),
        NameRecord("Donn\xE9"
                   "es",
                   0, Area3d(0, 6, 6, 0, 0)),
    };
    for (const Bytes& n : names)
        sb.Rec(0x0018, n);
    for (unsigned i = 0; i < 40; ++i)
        sb.Rec(0x0018, NameRecord(("N" + std::to_string(i)).c_str(), 0, Area3d(0, 10 + i, 10 + i, 1, 1)));
    sb.Eof().SheetStartsHere(0).Bof(0x0010).Eof().SheetStartsHere(1).Bof(0x0010).Eof();
    auto book = wb::Workbook::Open(Write(sb.Data()));
    ASSERT_EQ(book->ActiveSheet(), 1);

    const std::pair<std::string, std::string> rows[] = {
        {"total", "1!A1"},  {"Local", "1!A3"},   {"b!LOCAL", "1!A3"}, {"a!other", "0!A4"}, {"both", "1!A6"},
        {"B!Both", "1!A5"}, {"DONNÉES", "1!A7"}, {"n0", "1!B11"},     {"N39", "1!B50"},    {"C3", "1!C3"},
        {"A!C3", "0!C3"},   {"Other", "error"},  {"N_40", "error"},   {"", "error"},
    };
    for (const auto& [ref, want] : rows) {
        SCOPED_TRACE(ref);
        try {
            const wb::Range r = book->Resolve(ref);
            EXPECT_EQ(std::to_string(r.sheet) + "!" + wb::RangeAddress(r), want);
        } catch (const wb::Error&) {
            EXPECT_EQ("error", want);
        }
    }
}

// What a form's names are made of, each changed in one copy of it.
struct FormNames {
    unsigned active = 0;       // WINDOW1's tab
    const char* second = "B";  // the second sheet's name
    bool third = false;        // a third sheet, which "Third" is scoped to
    unsigned xti0 = 1;         // the sheet XTI 0 refers to
    bool self = true;          // SUPBOOK 0 is this workbook
    unsigned totalRow = 0;     // where "Total" lies
    bool splitSooner = false;  // "abcd"'s CONTINUE one byte sooner
};

std::string FormWithNames(const FormNames& f)
{
    StreamBuilder sb(8);
    sb.Bof(0x0005).Rec(0x003D, Le<2>(0, 0, 0, 0, 0, f.active, 0, 1, 0x258));
    sb.BoundSheet("A").BoundSheet(f.second);
    if (f.third)
        sb.BoundSheet("C");
    sb.Rec(0x01AE, Le<2>(2, f.self ? 0x0401 : 0x0402)).Rec(0x0017, Le<2>(2, 0, f.xti0, f.xti0, 0, 0, 0));
    sb.Rec(0x0018, NameRecord("Total", 0, Area3d(0, f.totalRow, f.totalRow, 0, 0)));
    sb.Rec(0x0018, NameRecord("Local", 2, Area3d(0, 2, 2, 1, 1)));
    sb.Rec(0x0018, NameRecord("Here", 1, Area3d(1, 3, 3, 2, 2)));
    sb.Rec(0x0018, NameRecord("Third", 3, Area3d(1, 4, 4, 0, 0)));
    // "abcd", its characters split by a CONTINUE that sends the flag byte
    // again; one byte sooner, the same bytes read as "a", flag "b", "\0cd".
    const Bytes name = NameRecord("abcd", 0, Area3d(1, 5, 5, 0, 0));
    const size_t ab = 15 + 2;  // the fixed part and "ab"
    const Bytes joined = name.substr(0, ab) + Le<1>(0) + name.substr(ab);
    const size_t cut = f.splitSooner ? ab - 1 : ab;
    sb.Rec(0x0018, joined.substr(0, cut)).Rec(0x003C, joined.substr(cut));
    sb.Eof();
    for (size_t i = 0; i < (f.third ? 3u : 2u); ++i)
        sb.SheetStartsHere(i).Bof(0x0010).Eof();
    return Write(sb.Data());
}

// The names of a workbook and what some references resolve to.
std::string NamesOf(const std::string& path)
{
    auto book = wb::Workbook::Open(path);
    std::string out;
    for (const std::string& n : testjson::Names(book->Names()))
        out += n + "; ";
    for (const char* ref : {"Total", "Local", "Here", "abcd", "C!Third"}) {
        try {
            const wb::Range r = book->Resolve(ref);
            out += std::string(ref) + "=" + std::to_string(r.sheet) + "!" + wb::RangeAddress(r) + "; ";
        } catch (const wb::Error&) {
            out += std::string(ref) + "=error; ";
        }
    }
    return out;
}

// Copies of one form, read one after the other, share one list of names.
// A workbook whose names are made of other bytes, or whose active sheet
// differs, gets its own, whatever was read before it.
TEST(BiffRecords, WorkbooksShareOnlyNamesMadeOfTheSameBytes)
{
    // Read on a thread of its own, nothing read before it: what the file says.
    auto alone = [](const std::string& path) { return std::async(std::launch::async, NamesOf, path).get(); };
    const std::string form = FormWithNames({});
    const std::string copy = FormWithNames({});
    const std::string want = alone(form);
    {
        auto a = wb::Workbook::Open(form), b = wb::Workbook::Open(copy);
        EXPECT_EQ(&a->Names(), &b->Names());
    }
    const std::pair<const char*, FormNames> changed[] = {
        {"active sheet", {.active = 1}},     {"sheet name", {.second = "Bee"}}, {"sheet count", {.third = true}},
        {"EXTERNSHEET", {.xti0 = 0}},        {"SUPBOOK", {.self = false}},      {"NAME", {.totalRow = 7}},
        {"CONTINUE", {.splitSooner = true}},
    };
    for (const auto& [what, f] : changed) {
        SCOPED_TRACE(what);
        const std::string other = FormWithNames(f);
        const std::string itsOwn = alone(other);
        ASSERT_NE(itsOwn, want);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(NamesOf(form), want);
            EXPECT_EQ(NamesOf(other), itsOwn);
            EXPECT_EQ(NamesOf(other), itsOwn);
            EXPECT_EQ(NamesOf(copy), want);
        }
    }
}

// The globals' first records (window, date system, formats, styles) as the
// last workbook read on this thread left them are taken only by a stream
// that starts with the same bytes: each workbook reads as it does alone.
struct StartOfGlobals {
    int dateMode = 0;
    const char* code = "dd/mm/yy";  // FORMAT 164, the format of XF 0
    int tab = 0;                    // WINDOW1's active sheet
    bool xfAfter = false;           // XF 3 (a date) after the first BOUNDSHEET
    bool window2 = false;           // a second WINDOW1 there, of the other sheet
    const char* user = "Ann";       // WRITEACCESS: who saved the copy
    int left = 100;                 // WINDOW1: where the window stood
    bool stringLast = false;        // a STRING record last of them (one CONTINUE records join)
};

// The stream; `startEnd`: where its first records end (the first BOUNDSHEET).
Bytes GlobalsStream(const StartOfGlobals& g, size_t* startEnd = nullptr)
{
    StreamBuilder sb(8);
    Bytes user = Le<2>(unsigned(std::strlen(g.user))) + Le<1>(0) + g.user;
    user.resize(112, ' ');
    sb.Bof(0x0005).Rec(0x005C, user).Rec(0x0042, Le<2>(1200));
    sb.Rec(0x003D, Le<2>(g.left) + Bytes(8, 0) + Le<2>(g.tab) + Bytes(6, 0));
    sb.Rec(0x041E, Le<2>(164, unsigned(std::strlen(g.code))) + Le<1>(0) + g.code);
    for (unsigned id : {164u, 0u, 14u})  // XF 0..2
        sb.Rec(0x00E0, Le<2>(0, id) + Bytes(16, 0));
    sb.Rec(0x0022, Le<2>(g.dateMode));  // last of them: a compare that stops short misses it
    if (g.stringLast)
        sb.Rec(0x0207, Le<2>(2) + Le<1>(0) + "ab");
    if (startEnd)
        *startEnd = sb.Data().size();
    sb.BoundSheet("One").BoundSheet("Two");
    if (g.xfAfter)
        sb.Rec(0x00E0, Le<2>(0, 14) + Bytes(16, 0));
    if (g.window2)
        sb.Rec(0x003D, Bytes(10, 0) + Le<2>(1 - g.tab) + Bytes(6, 0));
    sb.Eof().SheetStartsHere(0).Bof(0x0010);
    for (int xf = 0; xf < 4; ++xf)
        sb.Rec(0x0203, Cell(0, xf, xf) + F64(40000.5));
    sb.Eof().SheetStartsHere(1).Bof(0x0010).Eof();
    return sb.Data();
}

// The date system, the active sheet and the first sheet's cells, or the error.
std::string GlobalsRead(const std::string& path)
{
    try {
        auto r = OpenXls(path);
        SheetCells cells;
        r->LoadSheet(0, wb::detail::SheetFilter::All(), cells);
        std::string out =
            (r->date1904 ? "1904 tab " : "1900 tab ") + std::to_string(r->activeSheet) + " " + r->FormatCode(0);
        for (const std::string& v : Values(cells, {{0, 0}, {0, 1}, {0, 2}, {0, 3}}))
            out += " " + v;
        return out;
    } catch (const wb::Error& e) {
        return e.what();
    }
}

TEST(BiffRecords, GlobalsStartTakenOnlyFromTheSameBytes)
{
    const std::string a = Write(GlobalsStream({.dateMode = 1, .tab = 1}));
    const std::string formatCode = Write(GlobalsStream({.dateMode = 1, .code = "0.0", .tab = 1}));
    const std::string xfAfter = Write(GlobalsStream({.code = "0.0", .xfAfter = true}));
    const std::string noXfAfter = Write(GlobalsStream({.code = "0.0", .window2 = true}));
    const std::string cut = Write(GlobalsStream({.code = "0.0"}).substr(0, 60));  // inside its first records
    const std::string dateSystem = Write(GlobalsStream({.tab = 1}));
    // Saved by someone else, the window elsewhere: the same but for those.
    const std::string otherUser = Write(GlobalsStream({.dateMode = 1, .tab = 1, .user = "Bob Jones", .left = 7}));
    const std::string otherTab = Write(GlobalsStream({.dateMode = 1, .user = "Bob Jones", .left = 7}));
    // After first records that end with a STRING record: a CONTINUE (here
    // longer than what is left) that joins it, and the stream cut right there.
    size_t startEnd = 0;
    const Bytes withString = GlobalsStream({.stringLast = true}, &startEnd);
    const std::string stringLast = Write(withString);
    const std::string continued = Write(withString.substr(0, startEnd) + Le<2>(0x003C, 200) + "xyz");
    const std::string cutAtTheirEnd = Write(withString.substr(0, startEnd));
    const std::pair<const char*, std::string> order[] = {
        {"a STRING record last", stringLast},
        {"a CONTINUE after it", continued},
        {"cut where they end", cutAtTheirEnd},
        {"first", a},
        {"again", a},
        {"saved by another", otherUser},
        {"another active sheet", otherTab},
        {"the first again", a},
        {"the date system", dateSystem},
        {"a format code", formatCode},
        {"XF after", xfAfter},
        {"no XF after", noXfAfter},
        {"no XF after again", noXfAfter},
        {"cut short", cut},
        {"after the cut", noXfAfter},
        {"the first once more", a},
    };
    for (const auto& [what, path] : order) {
        SCOPED_TRACE(what);
        const std::string alone = std::async(std::launch::async, GlobalsRead, path).get();
        EXPECT_EQ(GlobalsRead(path), alone);
    }
    // The books differ where they should.
    EXPECT_EQ(GlobalsRead(a), "1904 tab 1 dd/mm/yy date:40000.5 number:40000.5 date:40000.5 number:40000.5");
    EXPECT_EQ(GlobalsRead(formatCode), "1904 tab 1 0.0 number:40000.5 number:40000.5 date:40000.5 number:40000.5");
    EXPECT_EQ(GlobalsRead(xfAfter), "1900 tab 0 0.0 number:40000.5 number:40000.5 date:40000.5 date:40000.5");
}

// The writers' own files, each read right after itself and after others:
// each reads as it does alone, whatever was read before it on the thread.
TEST(BiffFiles, EachReadsAsAloneWhateverCameBefore)
{
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(testjson::kFixtures))
        if (e.path().extension() == ".xls")
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 10u);
    auto dump = [](const std::string& path) {
        try {
            return wb::DumpJson(*wb::Workbook::Open(path), {"A1:J40"});
        } catch (const wb::Error& e) {
            return std::string(e.what());
        }
    };
    std::vector<std::string> alone;
    for (const std::string& f : files)
        alone.push_back(std::async(std::launch::async, dump, f).get());
    for (size_t i = 0; i < files.size(); ++i)
        for (size_t j : {i, i, (i + 1) % files.size(), files.size() - 1 - i}) {
            SCOPED_TRACE(files[i] + " then " + files[j]);
            EXPECT_EQ(dump(files[j]), alone[j]);
        }
}

// Without a usable CODEPAGE record the fonts' character set decides, also
// for the text of records before the first FONT (sheet names here).
TEST(BiffRecords, Biff5CodePageFromFontsWithoutCodePageRecord)
{
    // CODEPAGE record (-1: none), the fonts' character sets, whether they come
    // before BOUNDSHEET, the text of the bytes C0 E9.
    const std::tuple<int, std::vector<uint8_t>, bool, const char*> rows[] = {
        {-1, {204}, false, "Ай"},
        {-1, {204}, true, "Ай"},
        {-1, {0, 0, 238, 204}, false, "Ŕé"},  // the first font outside the Western set
        {-1, {2, 0}, false, "Àé"},            // symbol fonts say nothing
        {-1, {}, false, "Àé"},
        {1200, {238}, false, "Ŕé"},  // 1200 says nothing about 8-bit text
        {0, {161}, false, "ΐι"},     // nor does a code page we do not know
        {1251, {238}, false, "Ай"},  // the record wins
        {10029, {204}, true, "ņť"},
    };
    for (const auto& [codePage, charsets, fontsFirst, utf8] : rows) {
        SCOPED_TRACE(utf8);
        Bytes fonts;
        for (uint8_t cs : charsets)
            fonts += Record(0x0031, Le<2>(200, 0, 8, 400, 0) + Le<1>(0, 0, cs, 0, 5) + Bytes("Arial"));
        StreamBuilder sb(5);
        sb.Bof(0x0005).Raw(codePage >= 0 ? Record(0x0042, Le<2>(unsigned(codePage))) : "");
        sb.Raw(fontsFirst ? fonts : "").BoundSheet("\xC0\xE9").Raw(fontsFirst ? "" : fonts).Eof().SheetStartsHere(0);
        const std::string path =
            Write(sb.Bof(0x0010).Rec(0x0204, Cell(0, 0) + Le<2>(2) + Le<1>(0xC0, 0xE9)).Eof().Data(), "Book");
        EXPECT_EQ(OpenXls(path)->sheetNames.at(0) + " " + Values(ReadAll(path), {{0, 0}}).at(0),
                  std::string(utf8) + " text:" + utf8);
    }
}

// BIFF5 names in a double-byte code page, their counts in bytes (as the
// format has it) or in characters (as Gnumeric writes them), and a
// reference that finds its sheet through EXTERNSHEET by name, whose count
// writers give with or without the kind byte.
TEST(BiffRecords, Biff5NamesAndSheetNamesInDoubleByteText)
{
    const std::string sheet = "\x83\x56\x81\x5B\x83\x67";  // シート, 3 characters
    const std::string name = "\x8D\x87\x8C\x76";           // 合計, 2 characters
    for (bool countChars : {false, true}) {
        SCOPED_TRACE(countChars);
        StreamBuilder sb(5);
        sb.Bof(0x0005).Rec(0x0042, Le<2>(932)).BoundSheet(sheet.c_str());
        const uint8_t externCount = uint8_t(countChars ? 3 : sheet.size() + 1);
        sb.Rec(0x0017, Le<1>(externCount, 0x03) + sheet);
        // Ref3d through EXTERNSHEET entry 0 (ixals -1), no sheet indexes: $B$3
        const Bytes ref = Le<1>(0x3A) + Le<2>(0xFFFF) + Bytes(8, 0) + Le<2>(0xFFFF, 0xFFFF, 2) + Le<1>(1);
        const uint8_t nameCount = uint8_t(countChars ? 2 : name.size());
        sb.Rec(0x0018,
               Le<2>(0) + Le<1>(0, nameCount) + Le<2>(unsigned(ref.size()), 0, 0) + Le<1>(0, 0, 0, 0) + name + ref);
        sb.Eof().SheetStartsHere(0).Bof(0x0010).Eof();
        auto r = OpenXls(Write(sb.Data(), "Book"));
        EXPECT_EQ(r->sheetNames, Strings{"シート"});
        EXPECT_EQ(testjson::Names(r->Names()), Strings{"合計 -1 0!B3"});
    }
}

// Each damaged stream must give an error naming the file and the record.
TEST(BiffRecords, DamageBecomesAnErrorNamingFileAndRecord)
{
    const Bytes good = Biff8Book(Record(0x0203, Cell(0, 0) + F64(2.5)));
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {StreamBuilder().Rec(0x0409, {0, 0, 0x10, 0, 0, 0}).Data(), "Excel 2.x-4.x workbooks are not supported"},
        {Le<1>(0x03, 0x02, 0x00, 0x00), "does not start with a BOF record"},
        {StreamBuilder().Bof(0x0005).BoundSheet("S").Data(), "ends inside the workbook globals"},
        {Bytes(good.begin(), good.end() - 6), "NUMBER record at byte"},  // cut inside the record
        {Bytes(good.begin(), good.end() - 4), "ends inside sheet \"One\""},
        {Biff8Book(Record(0x00FD, Cell(0, 0) + Le<4>(0))), "LABELSST record at byte"},  // no such string
        // MULRK whose last column does not match its cells
        {Biff8Book(Record(0x00BD, Le<2>(0, 0, 15) + Le<4>(2) + Le<2>(5))), "MULRK record at byte"},
        {Biff8Book(Record(0x0203, Cell(0, 256) + F64(1))), "NUMBER record at byte"},         // past column IV
        {Biff8Book(Record(0x0205, Cell(0, 0) + Le<1>(0x55, 1))), "BOOLERR record at byte"},  // unknown error code
        // a string count larger than the SST holds
        {Biff8Book({}, Record(0x00FC, Le<4>(1, 1) + Le<2>(50) + Le<1>(0) + Bytes("short"))), "SST record at byte"},
        {StreamBuilder().Bof(0x0005).BoundSheet("S").Eof().SheetStartsHere(0, 1000).Data(), "starts past the end"},
        {StreamBuilder().Bof(0x0005).BoundSheet("S").SheetStartsHere(0).Eof().Data(),
         "does not start with a BOF record"},
    };
    for (const auto& [stream, message] : cases) {
        SCOPED_TRACE(message);
        const std::string path = Write(stream);
        testjson::ExpectError(path, message, [&] { ReadAll(path); });
    }
    EXPECT_EQ(ReadAll(Write(good)).Get(0, 0)->number, 2.5);  // the undamaged base reads
}

bool Reads(const std::string& path)
{
    try {
        ReadAll(path);
        return true;
    } catch (const wb::Error&) {
        return false;
    }
}

// Real streams of LibreOffice (BIFF8) and Gnumeric (BIFF5, BIFF8): cut inside
// every record, at its header and inside its body, each must be an error;
// scrambled, each must be read or refused, never crash.
TEST(BiffRecords, CutAndScrambledRealStreams)
{
    for (const char* name : {"form_lo8.xls", "form_gn5.xls", "form_gn8.xls"}) {
        SCOPED_TRACE(name);
        wb::detail::CompoundStream stream(testjson::Fixture(std::string("xls/") + name), {"Workbook", "Book"});
        Bytes full(stream.Size(), '\0');
        ASSERT_TRUE(stream.Read(0, full.size(), reinterpret_cast<uint8_t*>(full.data())));
        ASSERT_TRUE(Reads(Write(full)));
        for (size_t pos = 0; pos + 4 <= full.size();) {
            const size_t len = uint8_t(full[pos + 2]) | (uint8_t(full[pos + 3]) << 8);
            for (size_t cut : {pos + 2, pos + 4 + len / 2}) {
                if (cut >= full.size())
                    continue;
                EXPECT_FALSE(Reads(Write(Bytes(full.begin(), full.begin() + long(cut))))) << "cut at " << cut;
            }
            pos += 4 + len;
        }
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u; };
        for (int round = 0; round < 50; ++round) {
            Bytes b = full;
            for (int k = 0; k < 4; ++k)
                b[(next() >> 8) % b.size()] = char(next() >> 16);
            Reads(Write(b));
        }
    }
}

// Long shared strings split over CONTINUE records, as the writers split them.
TEST(BiffFiles, SharedStringsAcrossContinueRecords)
{
    std::string omega;
    for (int i = 0; i < 4200; ++i)
        omega += "Ω";
    for (const char* name : {"strings_lo8.xls", "strings_gn8.xls"}) {
        SCOPED_TRACE(name);
        std::vector<std::pair<int, int>> at = {{0, 0}, {1, 0}};
        Strings want = {"text:" + std::string(9000, 'x'), "text:" + omega + "end"};
        for (int i = 0; i < 800; ++i) {
            at.push_back({4 + i / 20, i % 20});
            want.push_back("text:s" + std::to_string(1000 + i).substr(1) + "é");
        }
        EXPECT_EQ(Values(ReadAll(testjson::Fixture(std::string("xls/") + name)), at), want);
    }
}

// Readers hand SheetCells the filter their caller already gave it; a
// different filter, or the same one after another, must still take over.
TEST(SheetCells, EachKeepDecidesWhatIsKept)
{
    using wb::detail::SheetFilter;
    const wb::Range a{0, 0, 0, 0, 0}, b{0, 1, 1, 1, 1};
    // The filters given one after the other; whether A1 and B2 are kept, and
    // whether B2 went over the limit.
    const std::tuple<const char*, std::vector<SheetFilter>, bool, bool, bool> rows[] = {
        {"same twice", {SheetFilter::Only({a}), SheetFilter::Only({a})}, true, false, false},
        {"another", {SheetFilter::Only({a}), SheetFilter::Only({b})}, false, true, false},
        {"then all", {SheetFilter::Only({a}), SheetFilter::All()}, true, true, false},
        {"all then one", {SheetFilter::All(), SheetFilter::Only({a})}, true, false, false},
        {"limit twice", {SheetFilter::All(1), SheetFilter::All(1)}, true, false, true},
        {"limit once", {SheetFilter::All(1)}, true, false, true},
        {"limit lifted", {SheetFilter::All(1), SheetFilter::All(2)}, true, true, false},
    };
    for (const auto& [what, filters, keepsA, keepsB, overLimit] : rows) {
        SCOPED_TRACE(what);
        SheetCells cells;
        for (const SheetFilter& f : filters)
            cells.Keep(f);
        wb::CellValue v;
        v.type = CellType::Number;
        cells.Set(0, 0, v);
        bool limited = false;
        try {
            cells.Set(1, 1, v);
        } catch (const wb::detail::LimitError&) {
            limited = true;
        }
        EXPECT_EQ(std::tuple(cells.Get(0, 0) != nullptr, cells.Get(1, 1) != nullptr && !limited, limited),
                  std::tuple(keepsA, keepsB, overLimit));
    }
}

}  // namespace
