// .xlsb: the binary form of the Office Open XML workbook ([MS-XLSB]). The
// package is the one of .xlsx (a zip, XML relationships); the parts are
// sequences of records. A record is its type (1 or 2 bytes) and its size (1
// to 4 bytes), 7 bits in each byte with the top bit saying that another
// byte follows, then the body ([MS-XLSB] 2.1.4).
//
// Every part is inflated piece by piece and read record by record. At open:
// xl/workbook.bin (sheets, active tab, date system, defined names with the
// supporting links that their references go through). On the first sheet
// load: xl/styles.bin (which cell formats show a date) and a count of the
// strings in xl/sharedStrings.bin. A sheet part keeps only the wanted
// cells; the shared strings that they show are read after it, in one pass,
// and no other string is kept.
#include "workbook/BiffRecords.h"
#include "workbook/BiffText.h"
#include "workbook/NumberFormat.h"
#include "workbook/Reader.h"
#include "workbook/Reference.h"
#include "workbook/XmlStream.h"
#include "workbook/ZipArchive.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wb::detail {

namespace {

constexpr long long kMaxTextBytesPerSheet = 256LL << 20;
// Sheet and defined names kept in memory at most; far more than any form has.
constexpr size_t kMaxNameBytes = size_t(8) << 20;
// More than any writer makes (Excel stops at 64,000 cell formats); the rest
// of a bigger styles part is not kept.
constexpr size_t kMaxFormats = 65536;
// Supporting links kept; a reference through a later one reads as external.
constexpr size_t kMaxLinks = 65536;

// Record types, [MS-XLSB] 2.3.
namespace brt {
constexpr uint32_t RowHdr = 0x0000;
constexpr uint32_t CellBlank = 0x0001;
constexpr uint32_t CellRk = 0x0002;
constexpr uint32_t CellError = 0x0003;
constexpr uint32_t CellBool = 0x0004;
constexpr uint32_t CellReal = 0x0005;
constexpr uint32_t CellSt = 0x0006;
constexpr uint32_t CellIsst = 0x0007;
constexpr uint32_t FmlaString = 0x0008;
constexpr uint32_t FmlaNum = 0x0009;
constexpr uint32_t FmlaBool = 0x000A;
constexpr uint32_t FmlaError = 0x000B;
// The "short" cells carry no column: each is the next column of its row.
constexpr uint32_t ShortBlank = 0x000C;
constexpr uint32_t ShortRk = 0x000D;
constexpr uint32_t ShortError = 0x000E;
constexpr uint32_t ShortBool = 0x000F;
constexpr uint32_t ShortReal = 0x0010;
constexpr uint32_t ShortSt = 0x0011;
constexpr uint32_t ShortIsst = 0x0012;
constexpr uint32_t SstItem = 0x0013;
constexpr uint32_t Name = 0x0027;
constexpr uint32_t Fmt = 0x002C;
constexpr uint32_t Xf = 0x002F;
constexpr uint32_t CellRString = 0x003E;
constexpr uint32_t BeginSheetData = 0x0091;
constexpr uint32_t EndSheetData = 0x0092;
constexpr uint32_t WbProp = 0x0099;
constexpr uint32_t BundleSh = 0x009C;
constexpr uint32_t BookView = 0x009E;
constexpr uint32_t SupBookSrc = 0x0163;
constexpr uint32_t SupSelf = 0x0165;
constexpr uint32_t SupSame = 0x0166;
constexpr uint32_t ExternSheet = 0x016A;
constexpr uint32_t BeginCellXfs = 0x0269;
constexpr uint32_t EndCellXfs = 0x026A;
constexpr uint32_t SupAddin = 0x029B;
}  // namespace brt

// Real records are small (a cell's text is at most 32,767 characters, a
// name's formula a few KB); a bigger one is damage or a bomb.
constexpr size_t kMaxRecordSize = size_t(16) << 20;

// The records of one part, in order, inflated piece by piece: only a buffer
// holding the current record is in memory. Every read past a record's end,
// and a record that runs past the part's end, is a wb::Error naming the
// file, the part, the record type and its byte offset.
class Records {
public:
    explicit Records(std::unique_ptr<ZipMember> member) : member_(std::move(member)) {}

    bool Next()
    {
        if (!Fill(1))
            return false;
        offset_ = base_ + pos_;
        type_ = 0;
        size_t size = 0;
        for (int i = 0; i < 2; ++i) {
            const uint8_t b = Byte("the part ends inside a record header");
            type_ |= uint32_t(b & 0x7F) << (7 * i);
            if (!(b & 0x80))
                break;
            if (i == 1)
                Fail("a record type longer than two bytes");
        }
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = Byte("the part ends inside a record header");
            size |= size_t(b & 0x7F) << (7 * i);
            if (!(b & 0x80))
                break;
            if (i == 3)
                Fail("a record size longer than four bytes");
        }
        if (size > kMaxRecordSize) {
            // Damage (the part ends first) or a record nobody writes.
            if (!SkipAll(size))
                Fail("the record runs past the end of the part (" + std::to_string(size) + " bytes stated)");
            Fail("a record of " + std::to_string(size) + " bytes, more than the limit of " +
                 std::to_string(kMaxRecordSize >> 20) + " MiB");
        }
        if (!Fill(size))
            Fail("the record runs past the end of the part (" + std::to_string(size) + " bytes stated)");
        body_ = std::string_view(buf_.data() + pos_, size);
        bodyOffset_ = base_ + pos_;
        pos_ += size;
        return true;
    }

    uint32_t Type() const { return type_; }
    // Valid until the next call of Next.
    std::string_view Body() const { return body_; }
    // Where the body starts in the part.
    size_t BodyOffset() const { return bodyOffset_; }

    [[noreturn]] void Fail(const std::string& why) const
    {
        char type[16];
        std::snprintf(type, sizeof type, "0x%04X", unsigned(type_));
        throw Error(member_->Archive().Path() + ": " + member_->Name() + ": " + why + " (record " + type + " at byte " +
                    std::to_string(offset_) + ")");
    }

private:
    static constexpr size_t kChunk = size_t(64) << 10;

    // At least `n` unread bytes in the buffer; false when the part ends first.
    bool Fill(size_t n)
    {
        if (end_ - pos_ >= n)
            return true;
        if (pos_ > 0) {  // what was read is no longer needed
            std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
            base_ += pos_;
            end_ -= pos_;
            pos_ = 0;
        }
        if (buf_.size() < std::max(n, kChunk))
            buf_.resize(std::max(n, kChunk));
        while (end_ < n && !atEnd_) {
            const size_t got = member_->Read(buf_.data() + end_, buf_.size() - end_);
            if (got == 0)
                atEnd_ = true;
            end_ += got;
        }
        return end_ >= n;
    }

    // Passes over `n` bytes without keeping them; false when the part ends first.
    bool SkipAll(size_t n)
    {
        while (n > 0) {
            if (!Fill(1))
                return false;
            const size_t step = std::min(n, end_ - pos_);
            pos_ += step;
            n -= step;
        }
        return true;
    }

    uint8_t Byte(const char* why)
    {
        if (!Fill(1))
            Fail(why);
        return uint8_t(buf_[pos_++]);
    }

    std::unique_ptr<ZipMember> member_;
    std::vector<char> buf_;
    size_t pos_ = 0, end_ = 0;  // unread bytes: buf_[pos_, end_)
    size_t base_ = 0;           // the part's offset of buf_[0]
    bool atEnd_ = false;
    size_t offset_ = 0;
    size_t bodyOffset_ = 0;
    uint32_t type_ = 0;
    std::string_view body_;
};

// A bounds-checked reader over one record's body (little-endian fields).
class Fields {
public:
    explicit Fields(const Records& r)
        : r_(r), p_(reinterpret_cast<const uint8_t*>(r.Body().data())), left_(r.Body().size())
    {}

    uint8_t U8() { return *Take(1); }
    uint16_t U16()
    {
        const uint8_t* p = Take(2);
        return uint16_t(p[0] | (p[1] << 8));
    }
    uint32_t U32()
    {
        const uint8_t* p = Take(4);
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    double F64()
    {
        double v;
        std::memcpy(&v, Take(8), 8);
        return v;
    }
    const uint8_t* Bytes(size_t n) { return Take(n); }
    void Skip(size_t n) { Take(n); }
    size_t Left() const { return left_; }

    // XLWideString ([MS-XLSB] 2.5.169): a 4-byte count of UTF-16 units, then
    // the units. The count is checked against the record before anything
    // is read.
    std::string WideString()
    {
        const uint32_t cch = U32();
        if (cch > left_ / 2)
            r_.Fail("a text runs past the end of the record");
        std::string s;
        AppendUtf16(s, Take(size_t(cch) * 2), cch);
        return s;
    }
    // XLNullableWideString: the count 0xFFFFFFFF stands for no text.
    std::string NullableWideString()
    {
        if (left_ >= 4 && std::memcmp(p_, "\xFF\xFF\xFF\xFF", 4) == 0) {
            Skip(4);
            return {};
        }
        return WideString();
    }

    [[noreturn]] void Fail(const std::string& why) const { r_.Fail(why); }

private:
    const uint8_t* Take(size_t n)
    {
        if (n > left_)
            r_.Fail("the record ends inside a field");
        const uint8_t* p = p_;
        p_ += n;
        left_ -= n;
        return p;
    }

    const Records& r_;
    const uint8_t* p_;
    size_t left_;
};

struct Xti {
    uint32_t link;
    int32_t first, last;
};

struct RawName {
    std::string name;
    uint32_t itab = 0xFFFFFFFF;  // 0xFFFFFFFF: workbook level; else the sheet index
    std::string rgce;
};

class XlsbReader : public Reader {
public:
    explicit XlsbReader(std::unique_ptr<ZipArchive> zip) : zip_(std::move(zip))
    {
        format = Format::Xlsb;
        ReadRelationships();
        ReadWorkbook();
    }

    void LoadSheet(int index, const SheetFilter& keep, SheetCells& out) override
    {
        if (index < 0 || size_t(index) >= sheetParts_.size())
            throw Error(zip_->Path() + ": no sheet number " + std::to_string(index + 1));
        const std::string& partName = sheetParts_[size_t(index)];
        if (partName.empty())
            return;  // a chart sheet or a sheet without a part: no cells
        // The shared parts first: one member open at a time.
        if (zip_->Has(partName))
            LoadSharedParts();
        auto member = zip_->Open(partName);
        if (!member)
            throw Error(zip_->Path() + ": the part " + partName + " of sheet " + sheetNames[size_t(index)] +
                        " is missing");
        out.Keep(keep);
        std::unordered_map<uint64_t, SharedRef> shared;  // by cell: a cell written twice counts once
        ReadCells(std::move(member), keep, out, shared);
        if (!shared.empty())
            ResolveShared(sheetNames[size_t(index)], shared, out);
    }

private:
    void ReadRelationships()
    {
        const std::string relsName = "xl/_rels/workbook.bin.rels";
        auto member = zip_->Open(relsName, size_t(16) << 20);
        if (!member)
            return;
        XmlStream xs(std::move(member));
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
            if (e != XmlStream::Start || xs.Depth() != 2 || xs.Name() != "Relationship" ||
                xs.AttrOr("TargetMode") == "External")
                continue;
            const std::string_view type = xs.AttrOr("Type");
            const std::string target = ResolvePartTarget("xl/", std::string(xs.AttrOr("Target")));
            if (type.ends_with("/sharedStrings"))
                sharedStringsPart_ = target;
            else if (type.ends_with("/styles"))
                stylesPart_ = target;
            else if (type.ends_with("/worksheet") && targets_.size() < 65536)
                targets_[std::string(xs.AttrOr("Id"))] = target;
        }
    }

    void ReadWorkbook()
    {
        const std::string partName = "xl/workbook.bin";
        auto member = zip_->Open(partName);
        if (!member)
            throw Error(zip_->Path() + ": the part " + partName + " is missing");
        Records r(std::move(member));
        std::vector<RawName> rawNames;
        bool haveView = false;
        size_t nameBytes = 0;
        auto keepBytes = [&](size_t bytes) {
            nameBytes += bytes + 128;
            if (nameBytes > kMaxNameBytes)
                throw Error(zip_->Path() + ": " + partName + ": the sheet and defined names take more than " +
                            std::to_string(kMaxNameBytes >> 20) + " MiB");
        };
        while (r.Next()) {
            Fields f(r);
            switch (r.Type()) {
            case brt::WbProp:  // BrtWbProp 2.4.853: f1904 is the lowest bit
                date1904 = f.U32() & 1;
                break;
            case brt::BookView:  // BrtBookView 2.4.301: window, tab ratio, itabFirst, itabCur
                if (haveView)
                    break;  // the first view is the one a workbook opens with
                haveView = true;
                f.Skip(24);
                activeSheet = int(std::min<uint32_t>(f.U32(), 0x7FFFFFFF));
                break;
            case brt::BundleSh: {  // BrtBundleSh 2.4.304: state, tab id, relationship id, name
                const uint32_t state = f.U32();
                f.U32();
                const std::string relId = f.NullableWideString();
                std::string name = f.WideString();
                keepBytes(relId.size() + name.size());
                sheetVisible.push_back(state == 0);
                auto t = targets_.find(relId);
                sheetParts_.push_back(t == targets_.end() ? std::string() : t->second);
                sheetNames.push_back(std::move(name));
                break;
            }
            case brt::SupSelf:
            case brt::SupSame:
            case brt::SupBookSrc:
            case brt::SupAddin:
                // Supporting links, in order; only "this workbook" leads to our sheets.
                if (linkIsSelf_.size() < kMaxLinks)
                    linkIsSelf_.push_back(r.Type() == brt::SupSelf);
                break;
            case brt::ExternSheet: {  // BrtExternSheet 2.4.636: count, then Xti (2.5.173) of 12 bytes
                const uint32_t count = f.U32();
                if (count > f.Left() / 12)
                    f.Fail("more sheet references than the record holds");
                keepBytes(size_t(count) * sizeof(Xti));
                for (uint32_t i = 0; i < count; ++i) {
                    Xti x;
                    x.link = f.U32();
                    x.first = int32_t(f.U32());
                    x.last = int32_t(f.U32());
                    xti_.push_back(x);
                }
                break;
            }
            case brt::Name: {  // BrtName 2.4.687: flags, chKey, itab, name, formula (cce, rgce, ...)
                f.U32();
                f.U8();
                RawName n;
                n.itab = f.U32();
                n.name = f.WideString();
                const uint32_t cce = f.U32();
                if (cce > f.Left())
                    f.Fail("a name's formula runs past the end of the record");
                n.rgce.assign(reinterpret_cast<const char*>(f.Bytes(cce)), cce);
                keepBytes(n.name.size() + n.rgce.size());
                if (n.name.rfind("_xlnm.", 0) == 0)
                    n.name.erase(0, 6);  // built-in names (Print_Area) as the spreadsheet lists them
                rawNames.push_back(std::move(n));
                break;
            }
            default:
                break;
            }
        }
        if (sheetNames.empty())
            throw Error(zip_->Path() + ": " + partName + " lists no sheets");
        if (activeSheet >= int(sheetNames.size()))
            activeSheet = -1;
        BuildNames(rawNames);
    }

    void BuildNames(const std::vector<RawName>& rawNames)
    {
        for (const RawName& raw : rawNames) {
            if (raw.name.empty())
                continue;
            int scope = -1;
            if (raw.itab != 0xFFFFFFFF) {
                if (raw.itab >= sheetNames.size())
                    continue;  // scoped to a sheet that is not there
                scope = int(raw.itab);
            }
            DefinedName dn;
            dn.scopeSheet = scope;
            dn.name = scope >= 0 ? sheetNames[size_t(scope)] + "!" + raw.name : raw.name;
            std::string why;
            dn.range = NameRange(raw.rgce, scope, why);
            if (!dn.range)
                dn.formula = "(" + why + ")";
            names.push_back(std::move(dn));
        }
    }

    int SheetOfXti(uint16_t ixti, std::string& why) const
    {
        if (ixti >= xti_.size()) {
            why = "a reference to a missing sheet reference entry";
            return -1;
        }
        const Xti& x = xti_[ixti];
        if (x.link >= linkIsSelf_.size() || !linkIsSelf_[x.link]) {
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

    // A name's formula when it is one token naming one cell or one area:
    // PtgRef3d, PtgArea3d (through the sheet references), or PtgRef, PtgArea
    // (on the name's own sheet). Rows are 4 bytes, columns 2 (14 bits and
    // two relative flags) in .xlsb.
    std::optional<Range> NameRange(const std::string& rgce, int scope, std::string& why) const
    {
        const auto* t = reinterpret_cast<const uint8_t*>(rgce.data());
        auto u16 = [&](size_t at) { return uint16_t(t[at] | (t[at + 1] << 8)); };
        auto u32 = [&](size_t at) {
            return uint32_t(t[at]) | (uint32_t(t[at + 1]) << 8) | (uint32_t(t[at + 2]) << 16) |
                   (uint32_t(t[at + 3]) << 24);
        };
        why = "a formula";
        if (rgce.empty()) {
            why = "nothing";
            return std::nullopt;
        }
        const uint8_t ptg = t[0];
        if (ptg < 0x20 || ptg >= 0x80) {
            if (ptg == 0x17 || ptg == 0x1C || ptg == 0x1D || ptg == 0x1E || ptg == 0x1F)
                why = "a constant";
            return std::nullopt;
        }
        const uint8_t base = (ptg & 0x1F) | 0x20;  // the token without its value class
        int sheet = -1;
        uint32_t r1, r2;
        int c1, c2;
        switch (base) {
        case 0x3A:  // PtgRef3d: ixti, row, column
            if (rgce.size() != 9)
                return std::nullopt;
            sheet = SheetOfXti(u16(1), why);
            r1 = r2 = u32(3);
            c1 = c2 = u16(7) & 0x3FFF;
            break;
        case 0x3B:  // PtgArea3d: ixti, first row, last row, first column, last column
            if (rgce.size() != 15)
                return std::nullopt;
            sheet = SheetOfXti(u16(1), why);
            r1 = u32(3);
            r2 = u32(7);
            c1 = u16(11) & 0x3FFF;
            c2 = u16(13) & 0x3FFF;
            break;
        case 0x24:  // PtgRef: the sheet of a sheet-level name
            if (rgce.size() != 7)
                return std::nullopt;
            sheet = scope;
            why = "a reference without a sheet";
            r1 = r2 = u32(1);
            c1 = c2 = u16(5) & 0x3FFF;
            break;
        case 0x25:  // PtgArea
            if (rgce.size() != 13)
                return std::nullopt;
            sheet = scope;
            why = "a reference without a sheet";
            r1 = u32(1);
            r2 = u32(5);
            c1 = u16(9) & 0x3FFF;
            c2 = u16(11) & 0x3FFF;
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
        if (r1 >= uint32_t(kMaxRows) || r2 >= uint32_t(kMaxRows)) {
            why = "a row outside the sheet";
            return std::nullopt;
        }
        Range g;
        g.sheet = sheet;
        g.firstRow = int(std::min(r1, r2));
        g.lastRow = int(std::max(r1, r2));
        g.firstCol = std::min(c1, c2);
        g.lastCol = std::max(c1, c2);
        return g;
    }

    // A kept cell that shows a shared string, filled in once the sheet is read.
    struct SharedRef {
        uint32_t index;
        int row, col;
    };

    std::string SharedStringsPart() const
    {
        return sharedStringsPart_.empty() ? "xl/sharedStrings.bin" : sharedStringsPart_;
    }

    // Styles and the number of shared strings serve every sheet; read once,
    // on the first sheet. Every shared string is checked here, so that a
    // damaged part is refused whichever strings a sheet shows.
    void LoadSharedParts()
    {
        if (sharedLoaded_)
            return;
        sharedLoaded_ = true;
        if (auto member = zip_->Open(SharedStringsPart())) {
            Records r(std::move(member));
            while (r.Next()) {
                if (r.Type() != brt::SstItem)
                    continue;
                // RichStr 2.5.121: flags, then the XLWideString; runs and
                // phonetic text follow and are not needed.
                Fields f(r);
                f.U8();
                const uint32_t cch = f.U32();
                if (cch > f.Left() / 2)
                    f.Fail("a shared string runs past the end of its record");
                ++sstCount_;
            }
        }
        const std::string stylesName = stylesPart_.empty() ? "xl/styles.bin" : stylesPart_;
        if (auto member = zip_->Open(stylesName)) {
            Records r(std::move(member));
            std::unordered_map<int, bool> custom;  // format id -> shows a date
            bool inCellXfs = false;
            while (r.Next()) {
                Fields f(r);
                switch (r.Type()) {
                case brt::Fmt: {  // BrtFmt 2.4.648: ifmt, stFmtCode
                    if (custom.size() >= kMaxFormats)
                        break;
                    const int id = f.U16();
                    std::string code = f.WideString();
                    custom[id] = IsDateFormatCode(code);
                    customCodes_[id] = std::move(code);
                    break;
                }
                case brt::BeginCellXfs:
                    inCellXfs = true;
                    break;
                case brt::EndCellXfs:
                    inCellXfs = false;
                    break;
                case brt::Xf: {  // BrtXF 2.4.812: ixfeParent, iFmt, ...
                    if (!inCellXfs || xfIsDate_.size() >= kMaxFormats)
                        break;  // a cell style's format, not a cell's
                    f.U16();
                    const int id = f.U16();
                    auto c = custom.find(id);
                    xfIsDate_.push_back(c != custom.end() ? c->second : IsBuiltinDateFormat(id));
                    xfFormatId_.push_back(id);
                    break;
                }
                default:
                    break;
                }
            }
        }
    }

    // The shared strings that kept cells show, read in one pass over the
    // part; the others are passed over.
    void ResolveShared(const std::string& sheet, const std::unordered_map<uint64_t, SharedRef>& refs,
                       SheetCells& out) const
    {
        std::vector<uint32_t> wanted;
        wanted.reserve(refs.size());
        for (const auto& [key, r] : refs)
            wanted.push_back(r.index);
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
        std::unordered_map<uint32_t, std::string> found;
        size_t foundBytes = 0;
        if (auto member = zip_->Open(SharedStringsPart())) {
            Records r(std::move(member));
            uint32_t index = 0;
            size_t next = 0;
            while (next < wanted.size() && r.Next()) {
                if (r.Type() != brt::SstItem)
                    continue;
                if (index == wanted[next]) {
                    Fields f(r);
                    f.U8();
                    std::string text = f.WideString();
                    foundBytes += text.size();
                    if (foundBytes > kMaxKeptTextBytes)
                        throw Error(zip_->Path() + ": sheet " + sheet + ": the cells read hold more than " +
                                    std::to_string(kMaxKeptTextBytes >> 20) + " MiB of text");
                    found.emplace(index, std::move(text));
                    ++next;
                }
                ++index;
            }
        }
        for (const auto& [key, r] : refs) {
            auto it = found.find(r.index);
            if (it == found.end())  // counted when the sheet was read: the part changed under us
                throw Error(zip_->Path() + ": " + SharedStringsPart() + ": shared string " + std::to_string(r.index) +
                            " is missing");
            if (CellValue* v = out.Find(r.row, r.col))
                if (v->type == CellType::Text && v->text.empty())
                    out.AddText(*v, it->second);
        }
    }

    void ReadCells(std::unique_ptr<ZipMember> member, const SheetFilter& keep, SheetCells& out,
                   std::unordered_map<uint64_t, SharedRef>& shared) const
    {
        const std::string partName = member->Name();
        Records r(std::move(member));
        bool inData = false;
        long long row = -1;
        long long col = -1;
        long long textBytes = 0;
        while (r.Next()) {
            const uint32_t type = r.Type();
            if (type == brt::BeginSheetData) {
                inData = true;
                continue;
            }
            if (type == brt::EndSheetData)
                return;  // the rest of the part holds no cells
            if (!inData)
                continue;
            Fields f(r);
            if (type == brt::RowHdr) {  // BrtRowHdr 2.4.726: the row of the cells that follow
                const uint32_t rw = f.U32();
                if (rw >= uint32_t(kMaxRows))
                    f.Fail("row number " + std::to_string(rw + 1ULL) + " outside the sheet");
                if (!keep.KeepsAll() && (long long)rw > keep.LastRow())
                    return;  // rows come in order: nothing wanted follows
                row = rw;
                col = -1;
                continue;
            }
            const bool isShort = type >= brt::ShortBlank && type <= brt::ShortIsst;
            if (!(type <= brt::FmlaError || isShort || type == brt::CellRString))
                continue;
            // Cell 2.5.10: column, then the cell format (24 bits) and a flag
            // byte; the short cells leave the column out.
            if (row < 0)
                f.Fail("a cell before the first row header");
            col = isShort ? col + 1 : (long long)f.U32();
            if (col >= kMaxCols)
                f.Fail("a cell outside the sheet's " + std::to_string(kMaxCols) + " columns");
            const uint32_t style = f.U32() & 0xFFFFFF;
            if (!keep.KeepsAll() && !keep.Wants(int(row), int(col)))
                continue;
            if (out.KeepsStyles())
                out.SetStyle(int(row), int(col), int(style));
            if (type == brt::CellBlank || type == brt::ShortBlank)
                continue;  // formatted but empty
            const uint64_t key = (uint64_t(uint32_t(row)) << 32) | uint32_t(col);
            CellValue v;
            switch (type) {
            case brt::CellRk:
            case brt::ShortRk:
                v = NumberCell(f, RkValue(f.U32()), style);
                break;
            case brt::CellReal:
            case brt::ShortReal:
            case brt::FmlaNum:
                v = NumberCell(f, f.F64(), style);
                break;
            case brt::CellBool:
            case brt::ShortBool:
            case brt::FmlaBool:
                v.type = CellType::Boolean;
                v.number = f.U8() ? 1 : 0;
                break;
            case brt::CellError:
            case brt::ShortError:
            case brt::FmlaError: {
                const char* text = ErrorText(f.U8());
                if (!text)
                    f.Fail("a cell holds an unknown error code");
                v.type = CellType::Error;
                v.text = text;
                break;
            }
            case brt::CellSt:
            case brt::ShortSt:
            case brt::FmlaString:
                v.type = CellType::Text;
                v.text = f.WideString();
                break;
            case brt::CellRString:  // RichStr 2.5.121: flags, then the text
                f.U8();
                v.type = CellType::Text;
                v.text = f.WideString();
                break;
            case brt::CellIsst:
            case brt::ShortIsst: {
                const uint32_t isst = f.U32();
                if (isst >= sstCount_)
                    f.Fail("a cell refers to shared string " + std::to_string(isst) + ", which does not exist");
                v.type = CellType::Text;  // its text comes once the sheet is read
                out.Set(int(row), int(col), std::move(v));
                shared[key] = {isst, int(row), int(col)};
                continue;
            }
            default:
                continue;
            }
            textBytes += (long long)v.text.size();
            if (textBytes > kMaxTextBytesPerSheet)
                f.Fail("the sheet's text grows beyond " + std::to_string(kMaxTextBytesPerSheet >> 20) + " MiB");
            shared.erase(key);  // a cell written again is what it says last
            out.Set(int(row), int(col), std::move(v));
        }
        if (inData)
            throw Error(zip_->Path() + ": " + partName + ": the part ends inside the sheet's cells" +
                        " (the file is truncated or damaged)");
    }

    std::string FormatCode(int style) const override { return StyleFormatCode(style, xfFormatId_, customCodes_); }

    CellValue NumberCell(const Fields& f, double v, uint32_t style) const
    {
        if (!std::isfinite(v))
            f.Fail("a number cell holds no finite number");
        CellValue cv;
        cv.number = v;
        if (style < xfIsDate_.size() && xfIsDate_[style]) {
            cv.type = CellType::Date;
            cv.date1904 = date1904;
        } else {
            cv.type = CellType::Number;
        }
        return cv;
    }

    std::unique_ptr<ZipArchive> zip_;
    std::unordered_map<std::string, std::string> targets_;  // relationship id -> sheet part
    std::vector<std::string> sheetParts_;                   // by sheet; empty for a sheet without a part
    std::string sharedStringsPart_, stylesPart_;
    std::vector<bool> linkIsSelf_;  // supporting links in order: this workbook or another source
    std::vector<Xti> xti_;
    bool sharedLoaded_ = false;
    uint32_t sstCount_ = 0;  // strings in the shared strings part
    std::vector<bool> xfIsDate_;
    std::vector<int> xfFormatId_;                       // by cell style
    std::unordered_map<int, std::string> customCodes_;  // format id -> code
};

}  // namespace

std::unique_ptr<Reader> OpenXlsbPackage(std::unique_ptr<ZipArchive> zip)
{
    return std::make_unique<XlsbReader>(std::move(zip));
}

}  // namespace wb::detail
