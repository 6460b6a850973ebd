#include "workbook/Biff.h"

#include "workbook/BiffRecords.h"
#include "workbook/BiffText.h"
#include "workbook/Compound.h"
#include "workbook/NumberFormat.h"
#include "workbook/Reader.h"
#include "workbook/Reference.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>

namespace wb::detail {

namespace {

const char* const kOldVersions = "Excel 2.x-4.x workbooks are not supported";

// BIFF sheets have 65,536 rows (the 16-bit row field) and 256 columns; that
// also bounds the cells one sheet can hold in memory.
constexpr int kBiffCols = 256;

// Built-in defined names, by the code that the NAME record stores
// ([MS-XLS] 2.4.150 Lbl, field Name).
const char* const kBuiltinNames[] = {
    "Consolidate_Area", "Auto_Open", "Auto_Close", "Extract",       "Database",        "Criteria",    "Print_Area",
    "Print_Titles",     "Recorder",  "Data_Form",  "Auto_Activate", "Auto_Deactivate", "Sheet_Title", "_FilterDatabase",
};

struct Xti {
    uint16_t supBook;
    int16_t first, last;
};

// A number in a key, whole.
std::string& AppendSize(std::string& key, uint64_t n)
{
    return key.append(reinterpret_cast<const char*>(&n), sizeof n);
}

struct RawName {
    uint16_t flags = 0;
    std::string name;                   // for a built-in name its display name
    int itab = 0;                       // 0: workbook level; else 1-based sheet
    uint32_t rgceAt = 0, rgceSize = 0;  // the formula, in the reader's name formula bytes
};

// The key of the names (NoteNames), built while the globals are read and
// dropped after them: one buffer per thread keeps its room from workbook to
// workbook instead of a few KB allocated and freed for each. The room that a
// workbook with unusually many names took is given back after it.
class NamesKey {
public:
    NamesKey() { Buffer().clear(); }
    ~NamesKey()
    {
        if (Buffer().capacity() > (size_t(64) << 10))
            Buffer() = std::string();
    }
    NamesKey(const NamesKey&) = delete;
    NamesKey& operator=(const NamesKey&) = delete;
    std::string& Buffer()
    {
        thread_local std::string key;
        return key;
    }
};

// What the first records of a BIFF8 workbook stream left, kept for the next
// workbook read on this thread. Those records, up to the first one about
// sheets, names or shared strings, are the window, date system, fonts,
// number formats and cell styles: the same bytes in every copy of one form.
// A stream that starts with the same bytes leaves the same, and takes it
// instead of reading them.
struct GlobalsStart {
    std::string bytes;  // the stream's first records, whole; empty: nothing kept
    // Parts of them that say nothing read here, in order, and are not
    // compared: who saved the copy, where its window stood.
    std::vector<std::pair<uint32_t, uint32_t>> loose;
    bool window1 = false;
    int activeSheet = -1;
    bool date1904 = false;
    std::vector<uint16_t> xfFormat;
    std::unordered_map<uint16_t, std::string> formats;
    // Which styles are dates, once a workbook that added no style or format
    // after these records has worked it out.
    bool xfDateKnown = false;
    std::vector<bool> xfDate;
};
constexpr size_t kMostGlobalsStart = size_t(64) << 10;

// The first record about sheets, names or shared strings, or the end.
bool EndsGlobalsStart(uint16_t type)
{
    switch (type) {
    case rec::BoundSheet:
    case rec::Name:
    case rec::ExternSheet:
    case rec::SupBook:
    case rec::Sst:
    case rec::Eof:
        return true;
    default:
        return false;
    }
}

GlobalsStart& LastGlobalsStart()
{
    thread_local GlobalsStart last;
    return last;
}

class XlsReader final : public Reader {
public:
    explicit XlsReader(const std::string& path);
    XlsReader(const std::string& path, std::unique_ptr<char[]> bytes, size_t size);
    void LoadSheet(int index, const SheetFilter& keep, SheetCells& out) override;
    std::string FormatCode(int style) const override;

private:
    void ReadGlobals();
    void ReadGlobalsBof();
    bool ResumeGlobals();
    void EndOfGlobalsStart();
    void OnBoundSheet();
    void OnName();
    void OnExternSheet();
    void OnSst();
    void OnFormat();
    void BuildNames();
    void NoteNames(std::string& key);
    // Once for each form rather than each workbook (LastNames): kept small
    // and out of line, leaving the compiler's room for inlining to the paths
    // every cell takes.
    [[gnu::cold]] void ReadNames();
    std::optional<Range> NameRange(const RawName& raw, int scope, const char*& why) const;
    int SheetOfXti(uint16_t ixti, const char*& why) const;
    int SheetOfBiff5(int16_t ixals, int16_t first, int16_t last, const char*& why) const;

    // Text readers; BIFF8 strings are Unicode, BIFF5 ones 8-bit in the
    // workbook's code page. That code page may only be known from FONT
    // records after some text of the globals, so there BIFF5 text is kept
    // as it is stored and decoded when the globals end.
    std::string Biff8String(Cursor& c, bool shortCount);
    std::string Biff5String(Cursor& c, bool shortCount);
    void DecodeGlobalsText(int codePageRecord, int fontCodePage);
    std::string CellString(Cursor& c) { return biff_ == 8 ? Biff8String(c, false) : Biff5String(c, false); }

    CellValue NumberCell(const Cursor& c, double v, uint16_t xf) const;
    static void CheckFinite(const Cursor& c, double v);

    std::string path_;
    CompoundStream stream_;
    RecordStream rs_;
    Record rec_;
    int biff_ = 8;
    CodePage cp_;
    bool rawText_ = false;  // BIFF5 globals: text not yet decoded

    std::vector<uint32_t> sheetOffsets_;
    std::vector<uint16_t> xfFormat_;
    std::vector<bool> xfDate_;
    std::unordered_map<uint16_t, std::string> formats_;
    // The shared strings, decoded when a kept cell needs one: where each
    // one's characters start in which SST record (checked when read).
    struct SstItem {
        uint32_t record, at;
        uint16_t cch;
        bool highByte;
    };
    std::vector<Record> sstRecords_;
    std::vector<SstItem> sst_;
    std::vector<bool> supBookSelf_;
    std::vector<Xti> xti_;
    std::vector<std::string> externSheets5_;  // BIFF5: own-document sheet names, else empty
    // BIFF8: where each NAME record starts (the bytes the names are made of
    // go into a NamesKey while the globals are read).
    std::vector<uint64_t> nameRecords_;
    std::vector<RawName> rawNames_;
    std::vector<uint8_t> nameFormulas_;  // the formulas of rawNames_, one after the other
    bool haveWindow1_ = false;
    // While the globals are read: whether their first records are behind
    // (taken from the last workbook, or kept for the next), and whether a
    // style or format came after them.
    bool startKnown_ = false;
    bool startKept_ = false;   // they are those kept for the next workbook
    bool startTaken_ = false;  // they were taken from the last one
    bool stylesAfterStart_ = false;
    // The first records' parts that are not compared (GlobalsStart::loose), as met.
    static constexpr int kMostLoose = 8;
    std::pair<uint32_t, uint32_t> loose_[kMostLoose];
    int looseCount_ = 0;
    void Loose(uint64_t from, uint64_t to)
    {
        if (from == to)
            return;
        if (looseCount_ < kMostLoose)
            loose_[looseCount_] = {uint32_t(from), uint32_t(to)};
        ++looseCount_;  // more than kMostLoose: the start is not kept
    }
};

XlsReader::XlsReader(const std::string& path) : path_(path), stream_(path, {"Workbook", "Book"}), rs_(stream_, path_)
{
    format = Format::Xls;
    ReadGlobals();
}

XlsReader::XlsReader(const std::string& path, std::unique_ptr<char[]> bytes, size_t size)
    : path_(path), stream_(path, std::move(bytes), size, {"Workbook", "Book"}), rs_(stream_, path_)
{
    format = Format::Xls;
    ReadGlobals();
}

std::string XlsReader::Biff8String(Cursor& c, bool shortCount)
{
    // XLUnicodeString [MS-XLS] 2.5.294 / ShortXLUnicodeString 2.5.240.
    const size_t cch = shortCount ? c.U8() : c.U16();
    const uint8_t flags = c.U8();
    std::string s;
    c.Chars8(s, cch, flags & 1);
    return s;
}

std::string XlsReader::Biff5String(Cursor& c, bool shortCount)
{
    const size_t cch = shortCount ? c.U8() : c.U16();
    const uint8_t* p = c.Bytes(cch);
    if (rawText_)
        return std::string(reinterpret_cast<const char*>(p), cch);
    std::string s;
    cp_.Append(s, p, cch);
    return s;
}

void XlsReader::DecodeGlobalsText(int codePageRecord, int fontCodePage)
{
    // CODEPAGE decides; some writers leave it out (or write a value that
    // names no code page, or 1200, which says nothing about 8-bit text),
    // and then the fonts' character set does; else 1252.
    int cp = 1252;
    if (codePageRecord != 1200 && CodePage::Known(codePageRecord))
        cp = codePageRecord;
    else if (fontCodePage)
        cp = fontCodePage;
    cp_.Set(cp);
    rawText_ = false;
    auto decode = [&](std::string& s) {
        std::string d;
        cp_.Append(d, reinterpret_cast<const uint8_t*>(s.data()), s.size());
        s = std::move(d);
    };
    for (std::string& s : sheetNames)
        decode(s);
    for (auto& [id, code] : formats_)
        decode(code);
    for (RawName& n : rawNames_)
        decode(n.name);
    for (std::string& s : externSheets5_)
        decode(s);
}

void XlsReader::ReadGlobalsBof()
{
    // BOF, [MS-XLS] 2.4.21: the stream starts with the globals substream.
    if (!rs_.Next(rec_))
        throw Error(path_ + ": the " + stream_.Name() + " stream is empty");
    if (rec_.type == rec::Bof2 || rec_.type == rec::Bof3 || rec_.type == rec::Bof4)
        throw Error(path_ + ": " + kOldVersions);
    if (rec_.type != rec::Bof)
        rs_.Fail(rec_, "the workbook stream does not start with a BOF record");
    {
        Cursor c(rs_, rec_);
        const uint16_t vers = c.U16();
        const uint16_t dt = c.U16();
        if (vers == 0x0200 || vers == 0x0300 || vers == 0x0400)
            throw Error(path_ + ": " + kOldVersions);
        if (vers >= 0x0600)
            biff_ = 8;
        else if (vers == 0x0500)
            biff_ = 5;
        else
            biff_ = rec_.data.size() >= 16 ? 8 : 5;
        if (dt == 0x0100)
            throw Error(path_ + ": " + kOldVersions);  // Excel 4.0 workbook
        if (dt != 0x0005)
            rs_.Fail(rec_, "the workbook stream does not start with the workbook globals");
    }
    xfFormat_.reserve(64);  // writers give some 20 to 80
}

bool XlsReader::ResumeGlobals()
{
    const GlobalsStart& m = LastGlobalsStart();
    const size_t n = m.bytes.size();
    if (n == 0 || stream_.Size() < n)
        return false;
    const uint8_t* s = stream_.Data();
    // A CONTINUE right after them would have been joined to their last record.
    if (stream_.Size() - n >= 2 && s[n] == uint8_t(rec::Continue) && s[n + 1] == 0)
        return false;
    size_t at = 0;
    for (const auto& [from, to] : m.loose) {
        if (std::memcmp(s + at, m.bytes.data() + at, from - at) != 0)
            return false;
        at = to;
    }
    if (std::memcmp(s + at, m.bytes.data() + at, n - at) != 0)
        return false;
    biff_ = 8;
    haveWindow1_ = m.window1;
    activeSheet = m.activeSheet;
    date1904 = m.date1904;
    xfFormat_ = m.xfFormat;
    formats_ = m.formats;
    rs_.Seek(n);
    startKnown_ = startKept_ = startTaken_ = true;
    return true;
}

void XlsReader::EndOfGlobalsStart()
{
    startKnown_ = true;
    const size_t n = size_t(rec_.offset);
    if (biff_ != 8 || n > kMostGlobalsStart || looseCount_ > kMostLoose)
        return;
    GlobalsStart& m = LastGlobalsStart();
    m.bytes.clear();  // kept last: what fails before leaves nothing to take
    m.loose.assign(loose_, loose_ + looseCount_);
    m.window1 = haveWindow1_;
    m.activeSheet = activeSheet;
    m.date1904 = date1904;
    m.xfFormat = xfFormat_;
    m.formats = formats_;
    m.xfDateKnown = false;
    m.xfDate.clear();
    m.bytes.assign(reinterpret_cast<const char*>(stream_.Data()), n);
    startKept_ = true;
}

void XlsReader::ReadGlobals()
{
    if (!ResumeGlobals())
        ReadGlobalsBof();
    rawText_ = biff_ == 5;
    NamesKey key;
    std::string& namesKey = key.Buffer();
    int codePageRecord = 0;
    int fontCodePage = 0;

    bool ended = false;
    while (!ended && rs_.Next(rec_)) {
        if (!startKnown_ && EndsGlobalsStart(rec_.type))
            EndOfGlobalsStart();
        switch (rec_.type) {
        case rec::Eof:
            ended = true;
            break;           // EOF, [MS-XLS] 2.4.103
        case rec::FilePass:  // FilePass, [MS-XLS] 2.4.117
            throw Error(path_ + ": the workbook is encrypted (protected by a password to open); "
                                "save it without that password to read it");
        case rec::BoundSheet:
            OnBoundSheet();
            break;
        case rec::Window1: {
            // Window1, [MS-XLS] 2.4.345: itabCur is the active tab. Only the
            // first window counts.
            Cursor c(rs_, rec_);
            c.Skip(10);
            const uint16_t tab = c.U16();
            if (!haveWindow1_)
                activeSheet = tab;
            haveWindow1_ = true;
            if (!startKnown_) {  // the window's place and size differ from copy to copy
                const uint64_t body = rec_.offset + 4;
                Loose(body, body + 10);
                Loose(body + 12, body + rec_.data.size());
            }
            break;
        }
        case rec::WriteAccess:  // WriteAccess, [MS-XLS] 2.4.349: who saved the copy
            if (!startKnown_)
                Loose(rec_.offset + 4, rec_.offset + 4 + rec_.data.size());
            break;
        case rec::DateMode: {  // Date1904, [MS-XLS] 2.4.77
            Cursor c(rs_, rec_);
            date1904 = c.U16() == 1;
            break;
        }
        case rec::CodePage: {  // CodePage, [MS-XLS] 2.4.52; BIFF8 text is Unicode anyway
            Cursor c(rs_, rec_);
            codePageRecord = c.U16();
            break;
        }
        case rec::Font: {
            // Font, [MS-XLS] 2.4.122: bCharSet. The first font in a
            // character set other than ANSI says which script the text is
            // in; a font or two in the Western set say little.
            if (biff_ != 5 || fontCodePage)
                break;
            Cursor c(rs_, rec_);
            c.Skip(12);
            const int cp = CodePageOfCharset(c.U8());
            if (cp != 1252)
                fontCodePage = cp;
            break;
        }
        case rec::Name:  // read once the globals end, unless the last workbook's are these
            NoteNames(namesKey);
            if (nameRecords_.empty())
                nameRecords_.reserve(32);
            nameRecords_.push_back(rec_.offset);
            break;
        case rec::ExternSheet:
            NoteNames(namesKey);
            OnExternSheet();
            break;
        case rec::SupBook: {
            // SupBook, [MS-XLS] 2.4.271: cch 0x0401 marks the self-reference
            // that internal 3-D references go through.
            NoteNames(namesKey);
            Cursor c(rs_, rec_);
            c.U16();
            supBookSelf_.push_back(c.U16() == 0x0401 && rec_.data.size() == 4);
            break;
        }
        case rec::Sst:
            if (biff_ == 8)
                OnSst();
            break;
        case rec::Format:
            if (startKnown_)
                stylesAfterStart_ = true;
            OnFormat();
            break;
        case rec::Xf: {  // XF, [MS-XLS] 2.4.353: ifmt is all we need
            if (startKnown_)
                stylesAfterStart_ = true;
            Cursor c(rs_, rec_);
            c.U16();
            xfFormat_.push_back(c.U16());
            break;
        }
        default:
            break;
        }
    }
    if (!ended)
        throw Error(path_ + ": the " + stream_.Name() +
                    " stream ends inside the workbook globals (the file is truncated or damaged)");
    // The names are made of the NAME, EXTERNSHEET and SUPBOOK records and the
    // sheet names, and of nothing else (BIFF5's 8-bit text aside): copies of
    // one form, read one after the other, share the list made for the first.
    if (biff_ == 8) {
        // After the records, the sheet names, marked by a type no record has
        // (types are 16-bit): no two workbooks' keys can read alike.
        AppendSize(namesKey, 0x10000);
        for (const std::string& sheet : sheetNames)
            AppendSize(namesKey, sheet.size()).append(sheet);
        sharedNames = LastNames::Find(namesKey);
    }
    if (!sharedNames)
        ReadNames();
    if (biff_ == 5)
        DecodeGlobalsText(codePageRecord, fontCodePage);
    if (sheetNames.empty())
        throw Error(path_ + ": the workbook has no sheets");
    if (activeSheet >= int(sheetNames.size()))
        activeSheet = -1;

    // The styles and formats of the first records alone: worked out once for
    // the copies of a form, kept from its second copy on (a workbook unlike
    // the last does not pay for keeping them).
    GlobalsStart& start = LastGlobalsStart();
    const bool startStyles = startKept_ && !stylesAfterStart_;
    if (startStyles && start.xfDateKnown) {
        xfDate_ = start.xfDate;
    } else {
        xfDate_.resize(xfFormat_.size());
        for (size_t i = 0; i < xfFormat_.size(); ++i) {
            const uint16_t id = xfFormat_[i];
            auto it = formats_.find(id);
            // A FORMAT record decides for its id, built-in ids included: Gnumeric
            // numbers its own formats from 50, inside the built-in date ranges.
            xfDate_[i] = it != formats_.end() ? IsDateFormatCode(it->second) : IsBuiltinDateFormat(id);
        }
        if (startStyles && startTaken_) {
            start.xfDate = xfDate_;
            start.xfDateKnown = true;
        }
    }
    if (sharedNames)
        return;
    BuildNames();
    if (biff_ == 8) {
        sharedNames = LastNames::Keep(std::string(namesKey), std::move(names));
        names = {};
    }
}

void XlsReader::ReadNames()
{
    for (const uint64_t at : nameRecords_) {
        rs_.Seek(at);
        rs_.Next(rec_);
        OnName();
    }
}

void XlsReader::NoteNames(std::string& k)
{
    // Type, size, where CONTINUE bodies start and the body: all that reading
    // the record depends on. BIFF5 names are not shared.
    if (biff_ != 8)
        return;
    const uint64_t head[3] = {rec_.type, rec_.data.size(), rec_.breaks.size()};
    k.append(reinterpret_cast<const char*>(head), sizeof head);
    for (const size_t at : rec_.breaks)
        AppendSize(k, at);
    k.append(reinterpret_cast<const char*>(rec_.data.data()), rec_.data.size());
}

void XlsReader::OnBoundSheet()
{
    // BoundSheet8, [MS-XLS] 2.4.28 (BIFF5: the name is 8-bit text).
    Cursor c(rs_, rec_);
    const uint32_t offset = c.U32();
    const uint8_t hidden = c.U8() & 3;
    c.U8();  // sheet type: worksheets, charts, macro sheets and modules all count for indexes
    std::string name = biff_ == 8 ? Biff8String(c, true) : Biff5String(c, true);
    sheetOffsets_.push_back(offset);
    sheetNames.push_back(std::move(name));
    sheetVisible.push_back(hidden == 0);
}

void XlsReader::OnName()
{
    // Lbl, [MS-XLS] 2.4.150. BIFF5 has the same fixed part, with ixals in
    // place of reserved3 and an 8-bit name.
    Cursor c(rs_, rec_);
    RawName n;
    n.flags = c.U16();
    c.U8();  // chKey
    const size_t cch = c.U8();
    const size_t cce = c.U16();
    c.U16();  // reserved3 / ixals
    n.itab = c.U16();
    size_t texts = 0;  // menu text, description, help topic, status text after the formula
    for (int i = 0; i < 4; ++i)
        texts += c.U8();
    std::string name;
    if (biff_ == 8) {
        const uint8_t flags = cch ? c.U8() : 0;
        c.Chars8(name, cch, flags & 1);
    } else {
        // Gnumeric counts the characters of the name, not its bytes, in a
        // double-byte code page; the record's length tells the bytes.
        size_t bytes = cch;
        if (c.Left() > cce + texts && c.Left() - cce - texts > cch)
            bytes = c.Left() - cce - texts;
        name.assign(reinterpret_cast<const char*>(c.Bytes(bytes)), bytes);  // decoded when the globals end
    }
    if (n.flags & 0x0020) {  // fBuiltin: the name is one code
        const unsigned code = name.empty() ? 0xFFu : static_cast<unsigned char>(name[0]);
        if (code >= std::size(kBuiltinNames)) {
            rawNames_.push_back({});  // keeps the record order; skipped later
            return;
        }
        name = kBuiltinNames[code];
    }
    n.name = std::move(name);
    const uint8_t* rgce = c.Bytes(cce);
    if (rawNames_.empty()) {
        rawNames_.reserve(32);
        nameFormulas_.reserve(512);
    }
    n.rgceAt = uint32_t(nameFormulas_.size());
    n.rgceSize = uint32_t(cce);
    nameFormulas_.insert(nameFormulas_.end(), rgce, rgce + cce);
    rawNames_.push_back(std::move(n));
}

void XlsReader::OnExternSheet()
{
    Cursor c(rs_, rec_);
    if (biff_ == 8) {
        // ExternSheet, [MS-XLS] 2.4.106: an array of XTI (2.5.344).
        const size_t count = c.U16();
        c.Need(count * 6);
        xti_.reserve(xti_.size() + count);
        for (size_t i = 0; i < count; ++i) {
            Xti x;
            x.supBook = c.U16();
            x.first = c.S16();
            x.last = c.S16();
            xti_.push_back(x);
        }
        return;
    }
    // BIFF5: one record per sheet reference, an encoded name whose first
    // byte says the kind; 0x03 is a sheet of this workbook by name, which
    // runs to the end of the record (writers differ on whether the count
    // includes the kind byte, and on bytes or characters).
    const size_t cch = c.U8();
    c.Need(cch);
    const size_t left = c.Left();
    const uint8_t* p = c.Bytes(left);
    std::string sheet;
    if (left > 1 && p[0] == 0x03)
        sheet.assign(reinterpret_cast<const char*>(p + 1), left - 1);  // decoded later
    externSheets5_.push_back(std::move(sheet));
}

void XlsReader::OnSst()
{
    // SST, [MS-XLS] 2.4.265: XLUnicodeRichExtendedString items (2.5.293);
    // rich-text runs and phonetic data are skipped. Only where each string
    // lies is kept now.
    Record& r = sstRecords_.emplace_back();
    r.type = rec_.type;
    r.offset = rec_.offset;
    r.breaks = rec_.breaks;
    if (rec_.joined.empty() || rec_.data.data() != rec_.joined.data()) {
        r.data = rec_.data;  // in place in the stream, which outlives the reader's use of it
    } else {
        r.joined.swap(rec_.joined);
        r.data = r.joined;
    }
    const uint32_t record = uint32_t(sstRecords_.size() - 1);
    Cursor c(rs_, r);
    c.U32();  // cstTotal
    const uint32_t unique = c.U32();
    sst_.reserve(std::min<size_t>(unique, c.Left() / 3));
    while (sst_.size() < unique && c.Left() > 0) {
        const size_t cch = c.U16();
        const uint8_t flags = c.U8();
        const size_t runs = (flags & 0x08) ? c.U16() : 0;
        const size_t ext = (flags & 0x04) ? c.U32() : 0;
        sst_.push_back({record, uint32_t(c.Pos()), uint16_t(cch), bool(flags & 1)});
        c.SkipChars8(cch, flags & 1);
        c.Skip(runs * 4);
        c.Skip(ext);
    }
}

void XlsReader::OnFormat()
{
    // Format, [MS-XLS] 2.4.126 (BIFF5: 8-bit code with a 1-byte count).
    Cursor c(rs_, rec_);
    const uint16_t id = c.U16();
    formats_[id] = biff_ == 8 ? Biff8String(c, false) : Biff5String(c, true);
}

int XlsReader::SheetOfXti(uint16_t ixti, const char*& why) const
{
    if (ixti >= xti_.size()) {
        why = "a reference to a missing EXTERNSHEET entry";
        return -1;
    }
    const Xti& x = xti_[ixti];
    if (x.supBook >= supBookSelf_.size() || !supBookSelf_[x.supBook]) {
        why = "an external reference";
        return -1;
    }
    if (x.first != x.last) {
        why = "a reference across several sheets";
        return -1;
    }
    if (x.first < 0 || x.first >= int(sheetNames.size())) {
        why = "a reference to a deleted sheet";
        return -1;
    }
    return x.first;
}

int XlsReader::SheetOfBiff5(int16_t ixals, int16_t first, int16_t last, const char*& why) const
{
    // A negative ixals points into this workbook; the sheet indexes follow,
    // or else the EXTERNSHEET entry names the sheet.
    if (ixals >= 0) {
        why = "an external reference";
        return -1;
    }
    if (first >= 0 && first < int(sheetNames.size())) {
        if (first != last) {
            why = "a reference across several sheets";
            return -1;
        }
        return first;
    }
    const size_t entry = size_t(-(ixals + 1));
    if (entry < externSheets5_.size() && !externSheets5_[entry].empty())
        for (size_t i = 0; i < sheetNames.size(); ++i)
            if (sheetNames[i] == externSheets5_[entry])
                return int(i);
    why = "a reference to a deleted or unknown sheet";
    return -1;
}

std::optional<Range> XlsReader::NameRange(const RawName& raw, int scope, const char*& why) const
{
    // One token that is a cell or an area: PtgRef3d 2.5.198.85, PtgArea3d
    // 2.5.198.28, PtgRef 2.5.198.84, PtgArea 2.5.198.27. Anything else
    // (constants, functions, unions, external references) is not a range.
    const std::span<const uint8_t> t(nameFormulas_.data() + raw.rgceAt, raw.rgceSize);
    auto u16 = [&](size_t at) { return uint16_t(t[at] | (t[at + 1] << 8)); };
    why = "a formula";
    if (t.empty()) {
        why = "nothing";
        return std::nullopt;
    }
    const uint8_t ptg = t[0];
    const uint8_t base = (ptg & 0x9F) | 0x20;  // the token without its value class
    Range r;
    int sheet = -1;
    int r1, r2, c1, c2;
    const bool biff8 = biff_ == 8;
    if (ptg < 0x20 || ptg >= 0x80) {
        if (ptg == 0x17 || ptg == 0x1C || ptg == 0x1D || ptg == 0x1E || ptg == 0x1F)
            why = "a constant";
        return std::nullopt;
    }
    switch (base) {
    case 0x3A:  // Ref3d
        if (biff8) {
            if (t.size() != 7)
                return std::nullopt;
            sheet = SheetOfXti(u16(1), why);
            r1 = r2 = u16(3);
            c1 = c2 = u16(5) & 0x3FFF;
        } else {
            if (t.size() != 18)
                return std::nullopt;
            sheet = SheetOfBiff5(int16_t(u16(1)), int16_t(u16(11)), int16_t(u16(13)), why);
            r1 = r2 = u16(15) & 0x3FFF;
            c1 = c2 = t[17];
        }
        break;
    case 0x3B:  // Area3d
        if (biff8) {
            if (t.size() != 11)
                return std::nullopt;
            sheet = SheetOfXti(u16(1), why);
            r1 = u16(3);
            r2 = u16(5);
            c1 = u16(7) & 0x3FFF;
            c2 = u16(9) & 0x3FFF;
        } else {
            if (t.size() != 21)
                return std::nullopt;
            sheet = SheetOfBiff5(int16_t(u16(1)), int16_t(u16(11)), int16_t(u16(13)), why);
            r1 = u16(15) & 0x3FFF;
            r2 = u16(17) & 0x3FFF;
            c1 = t[19];
            c2 = t[20];
        }
        break;
    case 0x24:  // Ref: the sheet of a sheet-level name
        if (t.size() != (biff8 ? 5u : 4u))
            return std::nullopt;
        sheet = scope;
        why = "a reference without a sheet";
        r1 = r2 = biff8 ? u16(1) : (u16(1) & 0x3FFF);
        c1 = c2 = biff8 ? (u16(3) & 0x3FFF) : t[3];
        break;
    case 0x25:  // Area
        if (t.size() != (biff8 ? 9u : 7u))
            return std::nullopt;
        sheet = scope;
        why = "a reference without a sheet";
        if (biff8) {
            r1 = u16(1), r2 = u16(3), c1 = u16(5) & 0x3FFF, c2 = u16(7) & 0x3FFF;
        } else {
            r1 = u16(1) & 0x3FFF, r2 = u16(3) & 0x3FFF, c1 = t[5], c2 = t[6];
        }
        break;
    case 0x3C:
    case 0x3D:
    case 0x2A:
    case 0x2B:
        why = "a deleted reference";
        return std::nullopt;
    default:
        return std::nullopt;
    }
    if (sheet < 0)
        return std::nullopt;
    if (c1 >= kMaxCols || c2 >= kMaxCols) {
        why = "a column outside the sheet";
        return std::nullopt;
    }
    r.sheet = sheet;
    r.firstRow = std::min(r1, r2);
    r.lastRow = std::max(r1, r2);
    r.firstCol = std::min(c1, c2);
    r.lastCol = std::max(c1, c2);
    return r;
}

void XlsReader::BuildNames()
{
    names.reserve(rawNames_.size());
    for (RawName& raw : rawNames_) {
        if (raw.name.empty())
            continue;
        int scope = -1;
        if (raw.itab > 0) {
            if (raw.itab > int(sheetNames.size()))
                continue;  // scoped to a sheet that is not there
            scope = raw.itab - 1;
        }
        DefinedName& dn = names.emplace_back();
        dn.scopeSheet = scope;
        const char* why = nullptr;
        dn.range = NameRange(raw, scope, why);
        if (scope >= 0) {
            dn.name.reserve(sheetNames[scope].size() + 1 + raw.name.size());
            dn.name.append(sheetNames[scope]).append(1, '!').append(raw.name);
        } else {
            dn.name = std::move(raw.name);
        }
        if (!dn.range)
            dn.formula.append(1, '(').append(why).append(1, ')');
    }
    rawNames_.clear();
    nameFormulas_.clear();
}

void XlsReader::CheckFinite(const Cursor& c, double v)
{
    if (!std::isfinite(v))
        c.Fail("a number cell holds no finite number");
}

CellValue XlsReader::NumberCell(const Cursor& c, double v, uint16_t xf) const
{
    CheckFinite(c, v);
    CellValue cv;
    cv.number = v;
    if (xf < xfDate_.size() && xfDate_[xf]) {
        cv.type = CellType::Date;
        cv.date1904 = date1904;
    } else {
        cv.type = CellType::Number;
    }
    return cv;
}

// Cell, [MS-XLS] 2.5.19: row, column, XF index. Inline whatever else the
// sheet's loop holds: nearly every record of a sheet starts so.
[[gnu::always_inline]] inline void ReadCellHead(Cursor& c, SheetCells& out, int& row, int& col, uint16_t& xf)
{
    const uint8_t* h = c.Bytes(6);
    row = h[0] | (h[1] << 8);
    col = h[2] | (h[3] << 8);
    xf = uint16_t(h[4] | (h[5] << 8));
    if (col >= kBiffCols)
        c.Fail("a cell lies outside the sheet's 256 columns");
    if (out.KeepsStyles())
        out.SetStyle(row, col, xf);
}

void XlsReader::LoadSheet(int index, const SheetFilter& keep, SheetCells& out)
{
    out.Keep(keep);  // BIFF cells are few and small: kept or dropped as they come
    if (index < 0 || index >= int(sheetNames.size()))
        throw Error(path_ + ": the workbook has no sheet number " + std::to_string(index + 1));
    auto sheetText = [&] { return "sheet \"" + sheetNames[index] + "\""; };  // for messages
    rs_.Seek(sheetOffsets_[index]);
    if (!rs_.Next(rec_))
        throw Error(path_ + ": " + sheetText() + " starts past the end of the " + stream_.Name() +
                    " stream (the file is truncated or damaged)");
    if (rec_.type != rec::Bof)
        rs_.Fail(rec_, sheetText() + " does not start with a BOF record");

    int depth = 1;  // charts embedded in a sheet bring their own BOF..EOF
    bool pendingString = false;
    int pendingRow = 0, pendingCol = 0;

    while (rs_.Next(rec_)) {
        const uint16_t type = rec_.type;
        if (type == rec::Bof) {
            ++depth;
            continue;
        }
        if (type == rec::Eof) {
            if (--depth == 0)
                return;
            continue;
        }
        if (depth != 1)
            continue;
        Cursor c(rs_, rec_);
        int row, col;
        uint16_t xf;
        switch (type) {
        case rec::Number: {  // Number, [MS-XLS] 2.4.180
            ReadCellHead(c, out, row, col, xf);
            pendingString = false;
            const double v = c.F64();
            if (out.Wants(row, col))
                out.SetWanted(row, col, NumberCell(c, v, xf));
            else
                CheckFinite(c, v);
            break;
        }
        case rec::Rk: {  // RK, [MS-XLS] 2.4.220
            ReadCellHead(c, out, row, col, xf);
            pendingString = false;
            const double v = RkValue(c.U32());
            if (out.Wants(row, col))
                out.SetWanted(row, col, NumberCell(c, v, xf));
            else
                CheckFinite(c, v);
            break;
        }
        case rec::MulRk: {  // MulRk, [MS-XLS] 2.4.175: row, first column, (XF, RK)..., last column
            row = c.U16();
            const int first = c.U16();
            pendingString = false;
            const size_t size = rec_.data.size();
            if (size < 6 || (size - 6) % 6 != 0)
                c.Fail("the record's length does not fit its cells");
            const int count = int((size - 6) / 6);
            const int last = rec_.data[size - 2] | (rec_.data[size - 1] << 8);
            if (last != first + count - 1 || last >= kBiffCols)
                c.Fail("the record's columns do not fit its cells");
            for (int i = 0; i < count; ++i) {
                xf = c.U16();
                if (out.KeepsStyles())
                    out.SetStyle(row, first + i, xf);
                out.Set(row, first + i, NumberCell(c, RkValue(c.U32()), xf));
            }
            break;
        }
        case rec::LabelSst: {  // LabelSst, [MS-XLS] 2.4.149
            ReadCellHead(c, out, row, col, xf);
            pendingString = false;
            const uint32_t isst = c.U32();
            if (isst >= sst_.size())
                c.Fail("a cell refers to a shared string that does not exist");
            if (!out.Wants(row, col))
                break;
            const SstItem& item = sst_[isst];
            Cursor sc(rs_, sstRecords_[item.record]);
            sc.Skip(item.at);
            CellValue& v = out.Place(row, col);
            v.type = CellType::Text;
            sc.Chars8(v.text, item.cch, item.highByte);
            out.CountText(v.text.size());
            break;
        }
        case rec::Label:      // Label, [MS-XLS] 2.4.148
        case rec::RString: {  // RString, [MS-XLS] 2.4.229: formatting runs follow the text
            ReadCellHead(c, out, row, col, xf);
            pendingString = false;
            CellValue v;
            v.type = CellType::Text;
            v.text = CellString(c);
            out.Set(row, col, std::move(v));
            break;
        }
        case rec::BoolErr: {  // BoolErr, [MS-XLS] 2.4.24
            ReadCellHead(c, out, row, col, xf);
            pendingString = false;
            const uint8_t value = c.U8();
            const uint8_t isError = c.U8();
            CellValue v;
            if (isError) {
                const char* text = ErrorText(value);
                if (!text)
                    c.Fail("a cell holds an unknown error code");
                v.type = CellType::Error;
                v.text = text;
            } else {
                v.type = CellType::Boolean;
                v.number = value ? 1 : 0;
            }
            out.Set(row, col, std::move(v));
            break;
        }
        case rec::Formula:
        case rec::Formula4: {
            // Formula, [MS-XLS] 2.4.127, with its FormulaValue (2.5.133).
            // Shared and array formulas keep their result here too.
            ReadCellHead(c, out, row, col, xf);
            pendingString = false;
            const uint8_t* val = c.Bytes(8);
            CellValue v;
            if (val[6] == 0xFF && val[7] == 0xFF) {
                switch (val[0]) {
                case 0:  // text, in the STRING record that follows
                    v.type = CellType::Text;
                    pendingString = true;
                    pendingRow = row;
                    pendingCol = col;
                    break;
                case 1:
                    v.type = CellType::Boolean;
                    v.number = val[2] ? 1 : 0;
                    break;
                case 2: {
                    const char* text = ErrorText(val[2]);
                    if (!text)
                        c.Fail("a formula result holds an unknown error code");
                    v.type = CellType::Error;
                    v.text = text;
                    break;
                }
                case 3:
                    v.type = CellType::Text;
                    break;  // empty text
                default:
                    c.Fail("a formula result of unknown type");
                }
            } else {
                double d;
                std::memcpy(&d, val, 8);
                v = NumberCell(c, d, xf);
            }
            out.Set(row, col, std::move(v));
            break;
        }
        case rec::String: {  // String, [MS-XLS] 2.4.268: the text result of the formula before
            if (!pendingString)
                break;
            pendingString = false;
            CellValue v;
            v.type = CellType::Text;
            v.text = CellString(c);
            out.Set(pendingRow, pendingCol, std::move(v));
            break;
        }
        case rec::Blank:  // Blank 2.4.20: formatted but empty; only a format lookup wants it
            pendingString = false;
            if (out.KeepsStyles())
                ReadCellHead(c, out, row, col, xf);
            break;
        case rec::MulBlank: {  // MulBlank 2.4.174: row, first column, XF..., last column
            pendingString = false;
            if (!out.KeepsStyles() || rec_.data.size() < 6)
                break;
            row = c.U16();
            const int first = c.U16();
            const int count = int((rec_.data.size() - 6) / 2);
            for (int i = 0; i < count && first + i < kBiffCols; ++i)
                out.SetStyle(row, first + i, c.U16());
            break;
        }
        default:
            break;
        }
    }
    throw Error(path_ + ": the " + stream_.Name() + " stream ends inside " + sheetText() +
                " (the file is truncated or damaged)");
}

std::string XlsReader::FormatCode(int style) const
{
    if (style < 0 || size_t(style) >= xfFormat_.size())
        return {};
    const uint16_t id = xfFormat_[size_t(style)];
    auto it = formats_.find(id);
    if (it == formats_.end())
        return BuiltinFormatCode(id);
    return FoldCase(it->second) == "general" ? std::string() : it->second;
}

bool LooksLikeOldBiff(const uint8_t* p, size_t n)
{
    if (n < 8)
        return false;
    const uint16_t type = uint16_t(p[0] | (p[1] << 8));
    const uint16_t size = uint16_t(p[2] | (p[3] << 8));
    return (type == rec::Bof2 || type == rec::Bof3 || type == rec::Bof4) && size >= 4 && size <= 16;
}

}  // namespace

bool HasOldBiffSignature(const void* data, size_t size)
{
    return LooksLikeOldBiff(static_cast<const uint8_t*>(data), size);
}

std::unique_ptr<Reader> OpenXls(const std::string& path, std::unique_ptr<char[]> bytes, size_t size)
{
    // Here the bytes are known to start as a compound file: its own errors
    // are the ones to give.
    return std::make_unique<XlsReader>(path, std::move(bytes), size);
}

std::unique_ptr<Reader> OpenXls(const std::string& path)
{
    try {
        return std::make_unique<XlsReader>(path);
    } catch (const Error&) {
        // A bare Excel 2.x-4.x stream has no compound file around it: say so
        // rather than "not a compound file".
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            uint8_t head[8];
            const size_t n = std::fread(head, 1, sizeof head, f);
            std::fclose(f);
            if (LooksLikeOldBiff(head, n))
                throw Error(path + ": " + kOldVersions);
        }
        throw;
    }
}

}  // namespace wb::detail
