// .xlsx/.xlsm: the package relationships, workbook.xml, sharedStrings.xml,
// styles.xml and, on demand, one worksheet part.
#include "workbook/NumberFormat.h"
#include "workbook/Reader.h"
#include "workbook/Reference.h"
#include "workbook/XmlPart.h"
#include "workbook/ZipArchive.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace wb::detail {

namespace {

constexpr long long kMaxTextBytesPerSheet = 256LL << 20;

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

// A relationship target as a package part name: relative to the source's
// folder, or absolute from the package root; ".." and "%20" resolved.
std::string ResolveTarget(const std::string& folder, const std::string& target)
{
    std::string raw = !target.empty() && target[0] == '/' ? target.substr(1) : folder + target;
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

bool EndsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

bool IsTrue(const char* v) { return std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0; }

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

// Text of a shared or inline string: the plain <t> and the <t> of each rich
// text run, joined; phonetic runs (<rPh>) and their properties left out.
std::string StringItemText(pugi::xml_node si)
{
    std::string s;
    for (pugi::xml_node c = si.first_child(); c; c = c.next_sibling()) {
        if (Is(c, "t")) {
            s += c.text().get();
        } else if (Is(c, "r")) {
            for (pugi::xml_node t = c.first_child(); t; t = t.next_sibling())
                if (Is(t, "t"))
                    s += t.text().get();
        }
    }
    return DecodeEscapes(s);
}

// "A1" -> row 0, col 0 without sheet or dollar signs; false when malformed.
bool ParseCellRef(const char* s, int& row, int& col)
{
    long c = 0, r = 0;
    int i = 0;
    for (; (s[i] >= 'A' && s[i] <= 'Z') || (s[i] >= 'a' && s[i] <= 'z'); ++i) {
        if (i >= 3)
            return false;
        c = c * 26 + ((s[i] | 0x20) - 'a' + 1);
    }
    if (i == 0)
        return false;
    const int digitsStart = i;
    for (; s[i] >= '0' && s[i] <= '9'; ++i) {
        if (i - digitsStart >= 7)
            return false;
        r = r * 10 + (s[i] - '0');
    }
    if (i == digitsStart || s[i] != 0 || r < 1)
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
        } else if (auto rels = zip_->Read("_rels/.rels")) {
            XmlPart part(*zip_, "_rels/.rels", std::move(*rels));
            for (pugi::xml_node r = part.Root().first_child(); r; r = r.next_sibling())
                if (Is(r, "Relationship") && EndsWith(Attr(r, "Type").value(), "/officeDocument")) {
                    workbookPart = ResolveTarget("", Attr(r, "Target").value());
                    break;
                }
        }
        if (EndsWith(workbookPart, ".bin"))
            throw Error(zip_->Path() + ": Excel binary workbook (.xlsb) whose workbook part is " + workbookPart +
                        " rather than xl/workbook.bin, not supported");
        ReadWorkbook(workbookPart);
    }

    void LoadSheet(int index, SheetCells& out) override
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
        XmlPart part(*zip_, partName, std::move(*data));
        textBytes_ = 0;
        ReadCells(part.Root(), sheetNames[size_t(index)], out);
    }

private:
    void ReadWorkbook(const std::string& workbookPart)
    {
        std::unordered_map<std::string, std::string> targets;  // relationship id -> part
        const std::string folder = FolderOf(workbookPart);
        if (auto rels = zip_->Read(RelsOf(workbookPart))) {
            XmlPart part(*zip_, RelsOf(workbookPart), std::move(*rels));
            for (pugi::xml_node r = part.Root().first_child(); r; r = r.next_sibling()) {
                if (!Is(r, "Relationship") || std::strcmp(Attr(r, "TargetMode").value(), "External") == 0)
                    continue;
                const std::string type = Attr(r, "Type").value();
                const std::string target = ResolveTarget(folder, Attr(r, "Target").value());
                if (EndsWith(type, "/sharedStrings"))
                    sharedStringsPart_ = target;
                else if (EndsWith(type, "/styles"))
                    stylesPart_ = target;
                else if (EndsWith(type, "/worksheet"))
                    targets[Attr(r, "Id").value()] = target;
            }
        }
        XmlPart part(*zip_, workbookPart, zip_->ReadRequired(workbookPart));
        const pugi::xml_node root = part.Root();
        if (pugi::xml_node pr = Child(root, "workbookPr"))
            date1904 = IsTrue(Attr(pr, "date1904").value());
        if (pugi::xml_node views = Child(root, "bookViews"))
            if (pugi::xml_node view = Child(views, "workbookView"))
                activeSheet = Attr(view, "activeTab").as_int(0);
        for (pugi::xml_node s = Child(Child(root, "sheets"), "sheet"); s; s = s.next_sibling()) {
            if (!Is(s, "sheet"))
                continue;
            sheetNames.push_back(Attr(s, "name").value());
            const std::string state = Attr(s, "state").value();
            sheetVisible.push_back(state != "hidden" && state != "veryHidden");
            auto t = targets.find(Attr(s, "id").value());
            sheetParts_.push_back(t == targets.end() ? std::string() : t->second);
        }
        for (pugi::xml_node d = Child(Child(root, "definedNames"), "definedName"); d; d = d.next_sibling()) {
            if (!Is(d, "definedName"))
                continue;
            DefinedName n;
            std::string name = Attr(d, "name").value();
            if (name.rfind("_xlnm.", 0) == 0)
                name.erase(0, 6);  // built-in names (Print_Area) as the spreadsheet lists them
            n.formula = d.text().get();
            if (pugi::xml_attribute local = Attr(d, "localSheetId")) {
                const int scope = local.as_int(-1);
                if (scope >= 0 && size_t(scope) < sheetNames.size()) {
                    n.scopeSheet = scope;
                    name = sheetNames[size_t(scope)] + "!" + name;
                }
            }
            n.name = name;
            n.range = RangeOfFormula(n.formula);
            names.push_back(std::move(n));
        }
    }

    // A name's formula when it is one rectangle on one sheet of this workbook.
    std::optional<Range> RangeOfFormula(std::string_view f) const
    {
        if (!f.empty() && f.front() == '=')
            f.remove_prefix(1);
        auto a = ParseAddress(f);
        if (!a || a->sheet.empty())
            return std::nullopt;
        const std::string folded = FoldCase(a->sheet);
        for (size_t i = 0; i < sheetNames.size(); ++i)
            if (FoldCase(sheetNames[i]) == folded)
                return Range{int(i), a->firstRow, a->firstCol, a->lastRow, a->lastCol};
        return std::nullopt;
    }

    // Shared strings and styles serve every sheet; read once, on the first sheet.
    void LoadSharedParts()
    {
        if (sharedLoaded_)
            return;
        sharedLoaded_ = true;
        if (!sharedStringsPart_.empty() || zip_->Has("xl/sharedStrings.xml")) {
            const std::string name = sharedStringsPart_.empty() ? "xl/sharedStrings.xml" : sharedStringsPart_;
            if (auto data = zip_->Read(name)) {
                XmlPart part(*zip_, name, std::move(*data));
                for (pugi::xml_node si = part.Root().first_child(); si; si = si.next_sibling())
                    if (Is(si, "si"))
                        strings_.push_back(StringItemText(si));
            }
        }
        const std::string stylesName = stylesPart_.empty() ? "xl/styles.xml" : stylesPart_;
        if (auto data = zip_->Read(stylesName)) {
            XmlPart part(*zip_, stylesName, std::move(*data));
            std::unordered_map<int, bool> custom;  // numFmtId -> shows a date
            for (pugi::xml_node f = Child(Child(part.Root(), "numFmts"), "numFmt"); f; f = f.next_sibling())
                if (Is(f, "numFmt"))
                    custom[Attr(f, "numFmtId").as_int(-1)] = IsDateFormatCode(Attr(f, "formatCode").value());
            for (pugi::xml_node xf = Child(Child(part.Root(), "cellXfs"), "xf"); xf; xf = xf.next_sibling()) {
                if (!Is(xf, "xf"))
                    continue;
                const int id = Attr(xf, "numFmtId").as_int(0);
                auto c = custom.find(id);
                xfIsDate_.push_back(c != custom.end() ? c->second : IsBuiltinDateFormat(id));
            }
        }
    }

    void ReadCells(pugi::xml_node root, const std::string& sheet, SheetCells& out) const
    {
        const pugi::xml_node data = Child(root, "sheetData");
        int row = -1;
        for (pugi::xml_node r = data.first_child(); r; r = r.next_sibling()) {
            if (!Is(r, "row"))
                continue;
            if (pugi::xml_attribute ra = Attr(r, "r")) {
                const long long n = ra.as_llong(0);
                if (n < 1 || n > kMaxRows)
                    throw Error(zip_->Path() + ": sheet " + sheet + ": row number " + ra.value() +
                                " outside the sheet");
                row = int(n - 1);
            } else {
                ++row;
            }
            int col = -1;
            for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
                if (!Is(c, "c"))
                    continue;
                if (pugi::xml_attribute ref = Attr(c, "r")) {
                    int cr, cc;
                    if (!ParseCellRef(ref.value(), cr, cc) || cr >= kMaxRows || cc >= kMaxCols)
                        throw Error(zip_->Path() + ": sheet " + sheet + ": bad cell reference \"" +
                                    ref.value() + "\"");
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
                ReadCell(c, sheet, row, col, out);
            }
        }
    }

    void ReadCell(pugi::xml_node c, const std::string& sheet, int row, int col, SheetCells& out) const
    {
        const char* t = Attr(c, "t").value();
        const pugi::xml_node v = Child(c, "v");
        auto fail = [&](const std::string& why) {
            return Error(zip_->Path() + ": sheet " + sheet + ", cell " + ColumnName(col) + std::to_string(row + 1) +
                         ": " + why);
        };
        CellValue value;
        if (std::strcmp(t, "inlineStr") == 0) {
            const pugi::xml_node is = Child(c, "is");
            if (!is)
                return;
            value.type = CellType::Text;
            value.text = StringItemText(is);
        } else if (!v || (!*v.text().get() && std::strcmp(t, "str") != 0)) {
            return;  // no value stored (a formula never calculated, a formatted blank)
        } else if (std::strcmp(t, "s") == 0) {
            double index = -1;
            if (!ParseDouble(v.text().get(), index) || index < 0 || index >= double(strings_.size()))
                throw fail(std::string("shared string ") + v.text().get() + " does not exist");
            value.type = CellType::Text;
            value.text = strings_[size_t(index)];
        } else if (std::strcmp(t, "str") == 0) {
            value.type = CellType::Text;
            value.text = DecodeEscapes(v.text().get());
        } else if (std::strcmp(t, "b") == 0) {
            double b = 0;
            if (!ParseDouble(v.text().get(), b))
                throw fail(std::string("bad boolean \"") + v.text().get() + "\"");
            value.type = CellType::Boolean;
            value.number = b != 0;
        } else if (std::strcmp(t, "e") == 0) {
            value.type = CellType::Error;
            value.text = v.text().get();
        } else if (std::strcmp(t, "d") == 0) {
            auto serial = IsoDateSerial(v.text().get(), date1904);
            if (!serial)
                throw fail(std::string("bad date \"") + v.text().get() + "\"");
            value.type = CellType::Date;
            value.number = *serial;
            value.date1904 = date1904;
        } else {
            if (!ParseDouble(v.text().get(), value.number))
                throw fail(std::string("bad number \"") + v.text().get() + "\"");
            const int s = Attr(c, "s").as_int(0);
            const bool isDate = s >= 0 && size_t(s) < xfIsDate_.size() && xfIsDate_[size_t(s)];
            value.type = isDate ? CellType::Date : CellType::Number;
            value.date1904 = date1904;
        }
        // A long shared string used by many cells is copied into each.
        textBytes_ += value.text.size();
        if (textBytes_ > kMaxTextBytesPerSheet)
            throw fail("the sheet's text grows beyond " + std::to_string(kMaxTextBytesPerSheet >> 20) + " MiB");
        out.Set(row, col, std::move(value));
    }

    std::unique_ptr<ZipArchive> zip_;
    std::vector<std::string> sheetParts_;  // by sheet; empty for chart sheets
    std::string sharedStringsPart_, stylesPart_;
    bool sharedLoaded_ = false;
    std::vector<std::string> strings_;
    std::vector<bool> xfIsDate_;
    mutable long long textBytes_ = 0;
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
