// .xlsb: the binary form of the Office Open XML workbook ([MS-XLSB]). The
// package is the one of .xlsx (a zip, XML relationships); the parts are
// sequences of records. A record is its type (1 or 2 bytes) and its size (1
// to 4 bytes), 7 bits in each byte with the top bit saying that another
// byte follows, then the body ([MS-XLSB] 2.1.4).
//
// At open: xl/workbook.bin (sheets, active tab, date system, defined names
// with the supporting links that their references go through). On the
// first sheet load: xl/sharedStrings.bin (kept as the part's bytes and one
// offset per string, decoded when a cell asks) and xl/styles.bin (which
// cell formats show a date). A sheet part is read record by record; only
// the cells are kept.
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

// The records of one part, in order. Every read past a record's end, and a
// record that runs past the part's end, is a wb::Error naming the file, the
// part, the record type and its byte offset.
class Records {
public:
    Records(const std::string& file, const std::string& part, std::string_view bytes)
        : file_(file), part_(part), bytes_(bytes)
    {
    }

    bool Next()
    {
        if (pos_ >= bytes_.size())
            return false;
        offset_ = pos_;
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
        if (size > bytes_.size() - pos_)
            Fail("the record runs past the end of the part (" + std::to_string(size) + " bytes stated)");
        body_ = bytes_.substr(pos_, size);
        pos_ += size;
        return true;
    }

    uint32_t Type() const { return type_; }
    std::string_view Body() const { return body_; }
    // Where the body starts in the part.
    size_t BodyOffset() const { return size_t(body_.data() - bytes_.data()); }

    [[noreturn]] void Fail(const std::string& why) const
    {
        char type[16];
        std::snprintf(type, sizeof type, "0x%04X", unsigned(type_));
        throw Error(file_ + ": " + part_ + ": " + why + " (record " + type + " at byte " + std::to_string(offset_) +
                    ")");
    }

private:
    uint8_t Byte(const char* why)
    {
        if (pos_ >= bytes_.size())
            Fail(why);
        return uint8_t(bytes_[pos_++]);
    }

    const std::string& file_;
    const std::string& part_;
    std::string_view bytes_;
    size_t pos_ = 0;
    size_t offset_ = 0;
    uint32_t type_ = 0;
    std::string_view body_;
};

// A bounds-checked reader over one record's body (little-endian fields).
class Fields {
public:
    explicit Fields(const Records& r) : r_(r), p_(reinterpret_cast<const uint8_t*>(r.Body().data())), left_(r.Body().size()) {}

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

bool EndsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// Column letters with dollar signs: 2 -> "$C".
std::string AbsColumn(int col) { return "$" + ColumnName(col); }

// A sheet name as a formula writes it: quoted unless it is a plain word.
std::string SheetRef(const std::string& sheet)
{
    bool plain = !sheet.empty() && !(sheet[0] >= '0' && sheet[0] <= '9');
    for (unsigned char ch : sheet)
        if (!(std::isalnum(ch) || ch == '_' || ch == '.' || ch >= 0x80))
            plain = false;
    if (plain)
        return sheet;
    std::string q = "'";
    for (char ch : sheet) {
        q += ch;
        if (ch == '\'')
            q += '\'';
    }
    return q + "'";
}

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
        auto data = zip_->Read(partName);
        if (!data)
            throw Error(zip_->Path() + ": the part " + partName + " of sheet " + sheetNames[size_t(index)] +
                        " is missing");
        LoadSharedParts();
        out.Keep(keep);
        ReadCells(partName, *data, keep, out);
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
            if (EndsWith(type, "/sharedStrings"))
                sharedStringsPart_ = target;
            else if (EndsWith(type, "/styles"))
                stylesPart_ = target;
            else if (EndsWith(type, "/worksheet") && targets_.size() < 65536)
                targets_[std::string(xs.AttrOr("Id"))] = target;
        }
    }

    void ReadWorkbook()
    {
        const std::string partName = "xl/workbook.bin";
        const std::string bytes = zip_->ReadRequired(partName);
        Records r(zip_->Path(), partName, bytes);
        std::vector<RawName> rawNames;
        bool haveView = false;
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
                linkIsSelf_.push_back(r.Type() == brt::SupSelf);
                break;
            case brt::ExternSheet: {  // BrtExternSheet 2.4.636: count, then Xti (2.5.173) of 12 bytes
                const uint32_t count = f.U32();
                if (count > f.Left() / 12)
                    f.Fail("more sheet references than the record holds");
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
                if (n.name.rfind("_xlnm.", 0) == 0)
                    n.name.erase(0, 6);  // built-in names (Print_Area) as the spreadsheet lists them
                rawNames.push_back(std::move(n));
                break;
            }
            default: break;
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
            if (dn.range) {
                const Range& g = *dn.range;
                dn.formula = SheetRef(sheetNames[size_t(g.sheet)]) + "!" + AbsColumn(g.firstCol) + "$" +
                             std::to_string(g.firstRow + 1);
                if (g.Rows() > 1 || g.Cols() > 1)
                    dn.formula += ":" + AbsColumn(g.lastCol) + "$" + std::to_string(g.lastRow + 1);
            } else {
                dn.formula = "(" + why + ")";
            }
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
        case 0x2B: why = "a deleted reference"; return std::nullopt;
        default: return std::nullopt;
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

    // Shared strings and styles serve every sheet; read once, on the first sheet.
    void LoadSharedParts()
    {
        if (sharedLoaded_)
            return;
        sharedLoaded_ = true;
        const std::string sstName = sharedStringsPart_.empty() ? "xl/sharedStrings.bin" : sharedStringsPart_;
        if (auto data = zip_->Read(sstName)) {
            sst_ = std::move(*data);
            Records r(zip_->Path(), sstName, sst_);
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
                sstOffsets_.push_back(uint32_t(r.BodyOffset() + 1));
            }
        }
        const std::string stylesName = stylesPart_.empty() ? "xl/styles.bin" : stylesPart_;
        if (auto data = zip_->Read(stylesName)) {
            Records r(zip_->Path(), stylesName, *data);
            std::unordered_map<int, bool> custom;  // format id -> shows a date
            bool inCellXfs = false;
            while (r.Next()) {
                Fields f(r);
                switch (r.Type()) {
                case brt::Fmt: {  // BrtFmt 2.4.648: ifmt, stFmtCode
                    const int id = f.U16();
                    custom[id] = IsDateFormatCode(f.WideString());
                    break;
                }
                case brt::BeginCellXfs: inCellXfs = true; break;
                case brt::EndCellXfs: inCellXfs = false; break;
                case brt::Xf: {  // BrtXF 2.4.812: ixfeParent, iFmt, ...
                    if (!inCellXfs)
                        break;  // a cell style's format, not a cell's
                    f.U16();
                    const int id = f.U16();
                    auto c = custom.find(id);
                    xfIsDate_.push_back(c != custom.end() ? c->second : IsBuiltinDateFormat(id));
                    break;
                }
                default: break;
                }
            }
        }
    }

    std::string SharedString(uint32_t index) const
    {
        const auto* p = reinterpret_cast<const uint8_t*>(sst_.data()) + sstOffsets_[index];
        const uint32_t cch = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
        std::string s;
        AppendUtf16(s, p + 4, cch);  // checked against its record when the part was read
        return s;
    }

    void ReadCells(const std::string& partName, const std::string& bytes, const SheetFilter& keep,
                   SheetCells& out) const
    {
        Records r(zip_->Path(), partName, bytes);
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
            if (type == brt::CellBlank || type == brt::ShortBlank)
                continue;  // formatted but empty
            CellValue v;
            switch (type) {
            case brt::CellRk:
            case brt::ShortRk: v = NumberCell(f, RkValue(f.U32()), style); break;
            case brt::CellReal:
            case brt::ShortReal:
            case brt::FmlaNum: v = NumberCell(f, f.F64(), style); break;
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
                if (isst >= sstOffsets_.size())
                    f.Fail("a cell refers to shared string " + std::to_string(isst) + ", which does not exist");
                v.type = CellType::Text;
                v.text = SharedString(isst);
                break;
            }
            default: continue;
            }
            // A long shared string used by many cells is copied into each.
            textBytes += (long long)v.text.size();
            if (textBytes > kMaxTextBytesPerSheet)
                f.Fail("the sheet's text grows beyond " + std::to_string(kMaxTextBytesPerSheet >> 20) + " MiB");
            out.Set(int(row), int(col), std::move(v));
        }
        if (inData)
            throw Error(zip_->Path() + ": " + partName + ": the part ends inside the sheet's cells" +
                        " (the file is truncated or damaged)");
    }

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
    std::string sst_;                   // the shared strings part
    std::vector<uint32_t> sstOffsets_;  // of each string's XLWideString in sst_
    std::vector<bool> xfIsDate_;
};

}  // namespace

std::unique_ptr<Reader> OpenXlsbPackage(std::unique_ptr<ZipArchive> zip)
{
    return std::make_unique<XlsbReader>(std::move(zip));
}

}  // namespace wb::detail
