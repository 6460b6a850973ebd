// .xlsx/.xlsm: the package relationships, workbook.xml, sharedStrings.xml,
// styles.xml and, on demand, one worksheet part.
#include "workbook/NumberFormat.h"
#include "workbook/Reader.h"
#include "workbook/Reference.h"
#include "workbook/XmlStream.h"
#include "workbook/ZipArchive.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace wb::detail {

namespace {

// The folder of a part: "xl/workbook.xml" -> "xl/".
std::string FolderOf(const std::string& part)
{
    const size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// "_rels/.rels" for "" and "xl/_rels/workbook.xml.rels" for "xl/workbook.xml".
std::string RelsOf(const std::string& part)
{
    const size_t slash = part.rfind('/');
    const std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
    return FolderOf(part) + "_rels/" + file + ".rels";
}

// A part name that resolves to itself: no escapes, backslashes, or empty,
// "." or ".." segments. Names with a segment that starts with a dot
// (".rels") are turned down too: the long way gives those back unchanged.
bool IsPlainPartName(std::string_view s)
{
    if (s.empty() || s.front() == '/' || s.front() == '.' || s.back() == '/')
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '%' || c == '\\' || (c == '/' && (s[i + 1] == '/' || s[i + 1] == '.')))
            return false;  // s[i + 1] is there: s does not end in '/'
    }
    return true;
}

// A relationship target as a package part name: relative to the source's
// folder, or absolute from the package root; ".." and "%20" resolved.
std::string ResolveTarget(const std::string& folder, const std::string& target)
{
    std::string raw = !target.empty() && target[0] == '/' ? target.substr(1) : folder + target;
    if (IsPlainPartName(raw))
        return raw;  // as nearly every writer gives it
    std::string decoded;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(raw[i + 2]))) {
            decoded += char(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += raw[i] == '\\' ? '/' : raw[i];
        }
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= decoded.size()) {
        size_t end = decoded.find('/', start);
        if (end == std::string::npos)
            end = decoded.size();
        std::string seg = decoded.substr(start, end - start);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

bool IsTrue(std::string_view v)
{
    return v == "1" || v == "true";
}

// "_x000D_" and the like: characters that XML cannot carry directly.
std::string DecodeEscapes(std::string_view s)
{
    if (s.find("_x") == std::string_view::npos)
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_' && i + 6 < s.size() && s[i + 1] == 'x' && s[i + 6] == '_') {
            unsigned cp = 0;
            auto r = std::from_chars(s.data() + i + 2, s.data() + i + 6, cp, 16);
            if (r.ec == std::errc() && r.ptr == s.data() + i + 6) {
                if (cp < 0x80) {
                    out += char(cp);
                } else if (cp < 0x800) {
                    out += char(0xC0 | (cp >> 6));
                    out += char(0x80 | (cp & 0x3F));
                } else {
                    out += char(0xE0 | (cp >> 12));
                    out += char(0x80 | ((cp >> 6) & 0x3F));
                    out += char(0x80 | (cp & 0x3F));
                }
                i += 6;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// Parts that only ever hold a few entries.
constexpr size_t kMaxSmallPart = size_t(16) << 20;
// Sheet and defined names kept in memory at most; far more than any form has.
constexpr size_t kMaxNameBytes = size_t(8) << 20;
// Excel's own limit is 8,192 characters.
constexpr size_t kMaxFormula = size_t(64) << 10;
// Most text one cell may hold; Excel's own limit is 32,767 characters.
constexpr size_t kMaxCellText = size_t(1) << 20;

// Text of a shared or inline string, after the Start of its <si> or <is>:
// the plain <t> and the <t> of each rich text run, joined; phonetic runs
// (<rPh>) and their properties left out. Consumes the element's End.
std::string StringItemText(XmlStream& xs)
{
    std::string_view only;
    if (xs.TakeOnlyChildText("t", only, kMaxCellText))
        return DecodeEscapes(only);
    std::string s;
    const int depth = xs.Depth();
    bool inRun = false;
    for (;;) {
        const XmlStream::Event e = xs.Next();
        if (e == XmlStream::Start) {
            if (xs.Name() == "t" && (xs.Depth() == depth + 1 || (inRun && xs.Depth() == depth + 2)))
                s += xs.ReadText(kMaxCellText - std::min(s.size(), kMaxCellText));
            else if (xs.Name() == "r" && xs.Depth() == depth + 1)
                inRun = true;
            else
                xs.Skip();
        } else if (e == XmlStream::End) {
            if (xs.Depth() < depth)
                break;
            inRun = false;
        } else if (e == XmlStream::Done) {
            xs.Fail("unexpected end of data");
        }
    }
    return DecodeEscapes(s);
}

// "A1" -> row 0, col 0 without sheet or dollar signs; false when malformed.
bool ParseCellRef(std::string_view s, int& row, int& col)
{
    long c = 0, r = 0;
    size_t i = 0;
    for (; i < s.size() && ((s[i] >= 'A' && s[i] <= 'Z') || (s[i] >= 'a' && s[i] <= 'z')); ++i) {
        if (i >= 3)
            return false;
        c = c * 26 + ((s[i] | 0x20) - 'a' + 1);
    }
    if (i == 0)
        return false;
    const size_t digitsStart = i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (i - digitsStart >= 7)
            return false;
        r = r * 10 + (s[i] - '0');
    }
    if (i == digitsStart || i != s.size() || r < 1)
        return false;
    row = int(r - 1);
    col = int(c - 1);
    return true;
}

bool ParseDouble(std::string_view s, double& out)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    // Plain decimals of up to 15 digits, as nearly every cell holds: their
    // digits and the power of ten are exact doubles, so the quotient is the
    // correctly rounded value, as from_chars gives it.
    static constexpr double kPow10[16] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    uint64_t digits = 0;
    unsigned count = 0, decimals = 0;
    bool point = false;
    size_t i = 0;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            digits = digits * 10 + unsigned(s[i] - '0');
            ++count;
            decimals += point;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (i == s.size() && count > 0 && count <= 15) {
        out = double(digits) / kPow10[decimals];
        return true;
    }
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty();
}

class XlsxReader : public Reader {
public:
    explicit XlsxReader(std::unique_ptr<ZipArchive> zip) : zip_(std::move(zip))
    {
        format = Format::Xlsx;
        // The package relationships name the workbook part; nearly every
        // writer puts it at xl/workbook.xml, which spares reading them.
        std::string workbookPart = "xl/workbook.xml";
        if (zip_->Has(workbookPart)) {
        } else if (auto member = zip_->Open("_rels/.rels", kMaxSmallPart)) {
            XmlStream xs(std::move(member));
            for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;)
                if (e == XmlStream::Start && xs.Depth() == 2 && xs.Name() == "Relationship" &&
                    xs.AttrOr("Type").ends_with("/officeDocument")) {
                    workbookPart = ResolveTarget("", std::string(xs.AttrOr("Target")));
                    break;
                }
        }
        if (workbookPart.ends_with(".bin"))
            throw Error(zip_->Path() + ": Excel binary workbook (.xlsb) whose workbook part is " + workbookPart +
                        " rather than xl/workbook.bin, not supported");
        ReadWorkbook(workbookPart);
    }

    void LoadSheet(int index, const SheetFilter& keep, SheetCells& out) override
    {
        if (index < 0 || size_t(index) >= sheetParts_.size())
            throw Error(zip_->Path() + ": no sheet number " + std::to_string(index + 1));
        const std::string& partName = sheetParts_[size_t(index)];
        if (partName.empty())
            return;  // a chart sheet or a sheet without a part: no cells
        auto member = zip_->Open(partName);
        if (!member)
            throw Error(zip_->Path() + ": the part " + partName + " of sheet " + sheetNames[size_t(index)] +
                        " is missing");
        LoadStyles();
        // The cells keep what ReadCells lets through: none is asked twice.
        out.Keep(keep);
        XmlStream xs(std::move(member));
        std::vector<SharedRef> shared;
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
            if (e != XmlStream::Start || xs.Depth() == 1)
                continue;
            if (xs.Depth() == 2 && xs.Name() == "sheetData") {
                ReadCells(xs, sheetNames[size_t(index)], keep, out, shared);
                break;
            }
            xs.Skip();
        }
        if (!shared.empty())
            ResolveShared(sheetNames[size_t(index)], shared, out);
    }

private:
    void ReadWorkbook(const std::string& workbookPart)
    {
        std::unordered_map<std::string, std::string> targets;  // relationship id -> part
        const std::string folder = FolderOf(workbookPart);
        if (auto member = zip_->Open(RelsOf(workbookPart), kMaxSmallPart)) {
            XmlStream xs(std::move(member));
            for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
                if (e != XmlStream::Start || xs.Depth() != 2 || xs.Name() != "Relationship" ||
                    xs.AttrOr("TargetMode") == "External")
                    continue;
                const std::string_view type = xs.AttrOr("Type");
                auto target = [&] { return ResolveTarget(folder, std::string(xs.AttrOr("Target"))); };
                if (type.ends_with("/sharedStrings"))
                    sharedStringsPart_ = target();
                else if (type.ends_with("/styles"))
                    stylesPart_ = target();
                else if (type.ends_with("/worksheet") && targets.size() < 65536)
                    targets[std::string(xs.AttrOr("Id"))] = target();
            }
        }
        auto member = zip_->Open(workbookPart);
        if (!member)
            throw Error(zip_->Path() + ": the part " + workbookPart + " is missing");
        XmlStream xs(std::move(member));
        bool viewSeen = false;
        size_t nameBytes = 0;
        names.reserve(32);  // a form's names, without growing the list again and again
        auto count = [&](size_t bytes) {
            nameBytes += bytes + 128;
            if (nameBytes > kMaxNameBytes)
                throw Error(zip_->Path() + ": " + workbookPart + ": the sheet and defined names take more than " +
                            std::to_string(kMaxNameBytes >> 20) + " MiB");
        };
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
            if (e != XmlStream::Start || xs.Depth() == 1)
                continue;
            const std::string_view name = xs.Name();
            const int depth = xs.Depth();
            if (depth == 2 && name == "workbookPr") {
                date1904 = IsTrue(xs.AttrOr("date1904"));
            } else if (depth == 2 && (name == "bookViews" || name == "sheets" || name == "definedNames")) {
                continue;  // read their children
            } else if (depth == 3 && name == "workbookView" && !viewSeen) {
                viewSeen = true;
                activeSheet = int(ToLong(xs.AttrOr("activeTab", "0")));
            } else if (depth == 3 && name == "sheet" && xs.ParentName() == "sheets") {
                sheetNames.emplace_back(xs.AttrOr("name"));
                count(sheetNames.back().size());
                const std::string_view state = xs.AttrOr("state");
                sheetVisible.push_back(state != "hidden" && state != "veryHidden");
                auto t = targets.find(std::string(xs.AttrOr("id")));
                sheetParts_.push_back(t == targets.end() ? std::string() : t->second);
            } else if (depth == 3 && name == "definedName" && xs.ParentName() == "definedNames") {
                DefinedName n;
                std::string nameText(xs.AttrOr("name"));
                if (nameText.rfind("_xlnm.", 0) == 0)
                    nameText.erase(0, 6);  // built-in names (Print_Area) as the spreadsheet lists them
                const std::string_view* local = xs.Attr("localSheetId");
                const int scope = local ? int(ToLong(*local)) : -1;
                n.formula = xs.ReadText(kMaxFormula);
                count(nameText.size() + n.formula.size());
                // Sheet-level names get their sheet's name once every sheet is known.
                n.scopeSheet = scope;
                n.name = std::move(nameText);
                names.push_back(std::move(n));
                continue;
            }
            xs.Skip();
        }
        for (DefinedName& n : names) {
            if (n.scopeSheet >= 0 && size_t(n.scopeSheet) < sheetNames.size())
                n.name = sheetNames[size_t(n.scopeSheet)] + "!" + n.name;
            else
                n.scopeSheet = -1;
            n.range = RangeOfFormula(n.formula, sheetNames);
        }
    }

    // A name's formula when it is one rectangle on one sheet of this
    // workbook; the sheet is matched letter case aside.
    static std::optional<Range> RangeOfFormula(std::string_view f, const std::vector<std::string>& sheets)
    {
        if (!f.empty() && f.front() == '=')
            f.remove_prefix(1);
        auto a = ParseAddress(f);
        if (!a || a->sheet.empty())
            return std::nullopt;
        for (size_t i = 0; i < sheets.size(); ++i)
            if (SameFolded(sheets[i], a->sheet))
                return Range{int(i), a->firstRow, a->firstCol, a->lastRow, a->lastCol};
        return std::nullopt;
    }

    // A kept cell that shows a shared string, filled in once the sheet is read.
    struct SharedRef {
        size_t index;
        int row, col;
    };

    // Number formats that show dates, by cell format; read once, as a stream.
    std::string FormatCode(int style) const override { return StyleFormatCode(style, xfFormatId_, customCodes_); }

    void LoadStyles()
    {
        if (stylesLoaded_)
            return;
        stylesLoaded_ = true;
        // More than any writer makes (Excel stops at 64,000 cell formats);
        // the rest of a bigger part is not kept.
        constexpr size_t kMaxFormats = 65536;
        const std::string name = stylesPart_.empty() ? "xl/styles.xml" : stylesPart_;
        auto member = zip_->Open(name);
        if (!member)
            return;
        XmlStream xs(std::move(member));
        std::unordered_map<int, bool> custom;  // numFmtId -> shows a date
        size_t numFmts = 0;
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
            if (e == XmlStream::End && xs.Depth() == 1 && xs.Name() == "cellXfs")
                break;  // nothing after it is needed
            if (e != XmlStream::Start || xs.Depth() == 1)
                continue;
            const int depth = xs.Depth();
            const std::string_view name = xs.Name();
            if (depth == 2 && (name == "numFmts" || name == "cellXfs"))
                continue;  // read their children
            if (depth == 3 && name == "numFmt" && xs.ParentName() == "numFmts") {
                if (++numFmts > kMaxFormats) {
                    xs.Skip();
                    xs.Skip();  // the rest of numFmts
                    continue;
                }
                const int id = int(ToLong(xs.AttrOr("numFmtId", "-1")));
                std::string code(xs.AttrOr("formatCode"));
                custom[id] = IsDateFormatCode(code);
                customCodes_[id] = std::move(code);
            } else if (depth == 3 && name == "xf" && xs.ParentName() == "cellXfs") {
                if (xfIsDate_.size() >= kMaxFormats)
                    break;
                const int id = int(ToLong(xs.AttrOr("numFmtId", "0")));
                auto c = custom.find(id);
                xfIsDate_.push_back(c != custom.end() ? c->second : IsBuiltinDateFormat(id));
                xfFormatId_.push_back(id);
            }
            xs.Skip();
        }
    }

    // A kept cell that still waits for the shared string of `r`: the number
    // of such a cell holds the string's index plus one until its text comes.
    // A cell written again is what it says last, so an earlier reference to
    // it waits no more.
    static CellValue* Waiting(SheetCells& out, const SharedRef& r)
    {
        CellValue* v = out.Find(r.row, r.col);
        return v && v->type == CellType::Text && v->number == double(r.index) + 1 ? v : nullptr;
    }

    // The shared strings that kept cells show, read in one pass over the
    // part up to the last one needed; the others are passed over.
    void ResolveShared(const std::string& sheet, std::vector<SharedRef>& refs, SheetCells& out) const
    {
        DropStale(refs, out);
        std::sort(refs.begin(), refs.end(), [](const SharedRef& a, const SharedRef& b) { return a.index < b.index; });
        size_t next = 0;
        size_t foundBytes = 0;
        const std::string name = sharedStringsPart_.empty() ? "xl/sharedStrings.xml" : sharedStringsPart_;
        if (auto member = !refs.empty() ? zip_->Open(name) : nullptr) {
            XmlStream xs(std::move(member));
            size_t index = 0;
            for (XmlStream::Event e; next < refs.size() && (e = xs.Next()) != XmlStream::Done;) {
                if (e != XmlStream::Start || xs.Depth() == 1)
                    continue;
                if (xs.Depth() != 2 || xs.Name() != "si") {
                    xs.Skip();
                    continue;
                }
                if (index == refs[next].index) {
                    const std::string text = StringItemText(xs);
                    foundBytes += text.size();
                    if (foundBytes > kMaxKeptTextBytes)
                        throw Error(zip_->Path() + ": sheet " + sheet + ": the cells read hold more than " +
                                    std::to_string(kMaxKeptTextBytes >> 20) + " MiB of text");
                    for (; next < refs.size() && refs[next].index == index; ++next)
                        if (CellValue* v = Waiting(out, refs[next])) {
                            v->number = 0;
                            out.AddText(*v, text);
                        }
                } else {
                    xs.Skip();
                }
                ++index;
            }
        }
        if (next < refs.size()) {
            const SharedRef& r = refs[next];
            throw Error(zip_->Path() + ": sheet " + sheet + ", cell " + ColumnName(r.col) + std::to_string(r.row + 1) +
                        ": shared string " + std::to_string(r.index) + " does not exist");
        }
    }

    void ReadCells(XmlStream& xs, const std::string& sheet, const SheetFilter& keep, SheetCells& out,
                   std::vector<SharedRef>& shared) const
    {
        const int depth = xs.Depth();
        int row = -1;
        for (;;) {
            XmlStream::Event e = xs.Next();
            if (e == XmlStream::End && xs.Depth() < depth)
                return;
            if (e == XmlStream::Done)
                xs.Fail("unexpected end of data");
            if (e != XmlStream::Start)
                continue;
            if (xs.Name() != "row") {
                xs.Skip();
                continue;
            }
            const std::string_view* ra = xs.Attr("r");
            if (ra) {
                const long long n = ToLong(*ra);
                if (n < 1 || n > kMaxRows)
                    throw Error(zip_->Path() + ": sheet " + sheet + ": row number " + std::string(*ra) +
                                " outside the sheet");
                row = int(n - 1);
            } else {
                ++row;
            }
            // Rows come in order: nothing kept stands after the filter's last row.
            if (row > keep.LastRow())
                return;
            if (!keep.WantsRow(row) && ra) {
                xs.Skip();
                continue;
            }
            int col = -1;
            const int rowDepth = xs.Depth();
            const int lastCol = keep.LastCol(row);
            for (;;) {
                e = xs.Next();
                if (e == XmlStream::End && xs.Depth() < rowDepth)
                    break;
                if (e == XmlStream::Done)
                    xs.Fail("unexpected end of data");
                if (e != XmlStream::Start)
                    continue;
                if (xs.Name() != "c") {
                    xs.Skip();
                    continue;
                }
                if (const std::string_view* ref = xs.Attr("r")) {
                    int cr, cc;
                    if (!ParseCellRef(*ref, cr, cc) || cr >= kMaxRows || cc >= kMaxCols)
                        throw Error(zip_->Path() + ": sheet " + sheet + ": bad cell reference \"" + std::string(*ref) +
                                    "\"");
                    row = cr;
                    col = cc;
                } else {
                    ++col;
                    if (row < 0)
                        row = 0;
                    if (col >= kMaxCols)
                        throw Error(zip_->Path() + ": sheet " + sheet + ": row " + std::to_string(row + 1) +
                                    " runs past the last column");
                }
                if (keep.Wants(row, col))
                    ReadCell(xs, sheet, row, col, out, shared);
                else
                    xs.Skip();
                // Cells come in column order: nothing kept follows in this row.
                if (col >= lastCol) {
                    xs.Skip();  // the rest of the row, its End included
                    break;
                }
            }
        }
    }

    // After the Start of <c> of a cell the filter wants; consumes its End.
    void ReadCell(XmlStream& xs, const std::string& sheet, int row, int col, SheetCells& out,
                  std::vector<SharedRef>& shared) const
    {
        // The type is read before the attributes go; any other reads as a number.
        enum Type { kNumber, kShared, kStr, kInline, kBool, kError, kDate };
        Type t = kNumber;
        if (const std::string_view* ta = xs.Attr("t")) {
            const std::string_view a = *ta;
            if (a == "s")
                t = kShared;
            else if (a == "str")
                t = kStr;
            else if (a == "inlineStr")
                t = kInline;
            else if (a == "b")
                t = kBool;
            else if (a == "e")
                t = kError;
            else if (a == "d")
                t = kDate;
        }
        const long long s = ToLong(xs.AttrOr("s", "0"));
        if (out.KeepsStyles())
            out.SetStyle(row, col, int(s));
        auto fail = [&](const std::string& why) {
            return Error(zip_->Path() + ": sheet " + sheet + ", cell " + ColumnName(col) + std::to_string(row + 1) +
                         ": " + why);
        };
        std::string_view v;
        std::string vStore, inlineText;
        // Nearly always a lone <v>, taken in one step from the stream's buffer.
        bool hasV = xs.TakeOnlyChildText("v", v, kMaxCellText), hasIs = false;
        const int depth = xs.Depth();
        for (bool more = !hasV; more;) {
            const XmlStream::Event e = xs.Next();
            if (e == XmlStream::End && xs.Depth() < depth)
                break;
            if (e == XmlStream::Done)
                xs.Fail("unexpected end of data");
            if (e != XmlStream::Start)
                continue;
            if (xs.Name() == "v" && !hasV) {
                hasV = true;
                vStore = xs.ReadText(kMaxCellText);
                v = vStore;
            } else if (xs.Name() == "is" && !hasIs) {
                hasIs = true;
                inlineText = StringItemText(xs);
            } else {
                xs.Skip();
            }
        }
        CellValue value;
        if (t == kInline) {
            if (!hasIs)
                return;
            value.type = CellType::Text;
            value.text = std::move(inlineText);
        } else if (!hasV || (v.empty() && t != kStr)) {
            return;  // no value stored (a formula never calculated, a formatted blank)
        } else if (t == kShared) {
            double index = -1;
            if (!ParseDouble(v, index) || index < 0 || index >= 4294967296.0)
                throw fail("shared string " + std::string(v) + " does not exist");
            value.type = CellType::Text;  // its text comes once the sheet is read
            value.number = double(size_t(index)) + 1;
            shared.push_back({size_t(index), row, col});
        } else if (t == kStr) {
            value.type = CellType::Text;
            value.text = DecodeEscapes(v);
        } else if (t == kBool) {
            double b = 0;
            if (!ParseDouble(v, b))
                throw fail("bad boolean \"" + std::string(v) + "\"");
            value.type = CellType::Boolean;
            value.number = b != 0;
        } else if (t == kError) {
            value.type = CellType::Error;
            value.text = v;
        } else if (t == kDate) {
            auto serial = IsoDateSerial(v, date1904);
            if (!serial)
                throw fail("bad date \"" + std::string(v) + "\"");
            value.type = CellType::Date;
            value.number = *serial;
            value.date1904 = date1904;
        } else {
            if (!ParseDouble(v, value.number))
                throw fail("bad number \"" + std::string(v) + "\"");
            const bool isDate = s >= 0 && size_t(s) < xfIsDate_.size() && xfIsDate_[size_t(s)];
            value.type = isDate ? CellType::Date : CellType::Number;
            value.date1904 = date1904;
        }
        out.SetWanted(row, col, std::move(value));
        // A cell written again leaves its earlier reference behind: the list
        // stays within the kept cells however often a sheet rewrites one.
        if (shared.size() > 2 * out.Size() + 64)
            DropStale(shared, out);
    }

    // The references no cell waits for any more, and all but one of a cell's.
    static void DropStale(std::vector<SharedRef>& refs, SheetCells& out)
    {
        refs.erase(std::remove_if(refs.begin(), refs.end(), [&](const SharedRef& r) { return !Waiting(out, r); }),
                   refs.end());
        auto cell = [](const SharedRef& r) { return std::make_pair(r.row, r.col); };
        std::sort(refs.begin(), refs.end(), [&](const SharedRef& a, const SharedRef& b) { return cell(a) < cell(b); });
        refs.erase(std::unique(refs.begin(), refs.end(),
                               [&](const SharedRef& a, const SharedRef& b) { return cell(a) == cell(b); }),
                   refs.end());
    }

    std::unique_ptr<ZipArchive> zip_;
    std::vector<std::string> sheetParts_;  // by sheet; empty for chart sheets
    std::string sharedStringsPart_, stylesPart_;
    bool stylesLoaded_ = false;
    std::vector<bool> xfIsDate_;
    std::vector<int> xfFormatId_;                       // by cell style
    std::unordered_map<int, std::string> customCodes_;  // numFmtId -> formatCode
};

}  // namespace

std::unique_ptr<Reader> OpenXlsxPackage(std::unique_ptr<ZipArchive> zip)
{
    return std::make_unique<XlsxReader>(std::move(zip));
}

std::unique_ptr<Reader> OpenXlsx(const std::string& path)
{
    return OpenXlsxPackage(std::make_unique<ZipArchive>(path));
}

std::string ResolvePartTarget(const std::string& folder, const std::string& target)
{
    return ResolveTarget(folder, target);
}

}  // namespace wb::detail
