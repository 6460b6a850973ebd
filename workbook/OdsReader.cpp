// OpenDocument spreadsheets (.ods): content.xml for the tables, the typed
// cell values and the named ranges; settings.xml for the active table.
#include "workbook/Reader.h"
#include "workbook/Reference.h"
#include "workbook/XmlPart.h"
#include "workbook/ZipArchive.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace wb::detail {

namespace {

// What one sheet may hold once repeated rows and columns are spelled out;
// beyond it a small file would fill the memory.
constexpr long long kMaxCellsPerSheet = 10'000'000;
constexpr long long kMaxTextBytesPerSheet = 256LL << 20;
constexpr int kMaxDepth = 64;  // nesting of row groups and text spans

bool ParseNumber(const char* text, double& out)
{
    std::string_view s(text);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// "PT12H30M05.5S", "P1DT2H", "-PT1H" -> days.
std::optional<double> DurationDays(std::string_view s)
{
    bool neg = false;
    if (!s.empty() && s.front() == '-') {
        neg = true;
        s.remove_prefix(1);
    }
    if (s.empty() || s.front() != 'P')
        return std::nullopt;
    s.remove_prefix(1);
    double secs = 0;
    bool inTime = false, any = false;
    while (!s.empty()) {
        if (s.front() == 'T') {
            inTime = true;
            s.remove_prefix(1);
            continue;
        }
        double v = 0;
        auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
        if (r.ec != std::errc() || r.ptr == s.data() + s.size() || v < 0)
            return std::nullopt;
        const char unit = *r.ptr;
        s.remove_prefix(size_t(r.ptr - s.data()) + 1);
        if (!inTime && unit == 'D')
            secs += v * 86400;
        else if (inTime && unit == 'H')
            secs += v * 3600;
        else if (inTime && unit == 'M')
            secs += v * 60;
        else if (inTime && unit == 'S')
            secs += v;
        else
            return std::nullopt;  // years and months have no fixed length
        any = true;
    }
    if (!any)
        return std::nullopt;
    return (neg ? -secs : secs) / 86400.0;
}

// The null date of the 1904 system, written "1904-01-01" by LibreOffice and
// "1904-1-1" by Gnumeric.
bool IsNullDate1904(const char* text)
{
    int y = 0, m = 0, d = 0;
    return std::sscanf(text, "%d-%d-%d", &y, &m, &d) == 3 && y == 1904 && m == 1 && d == 1;
}

bool IsErrorLiteral(const std::string& s)
{
    static const char* const kErrors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};
    for (const char* e : kErrors)
        if (s == e)
            return true;
    return false;
}

// One cell of an OpenDocument address: "$'My Sheet'.$B$2", ".B2", "Sheet1.B2".
bool ParseOdsCell(std::string_view s, std::string& sheet, bool& hasSheet, int& row, int& col)
{
    if (!s.empty() && s.front() == '$')
        s.remove_prefix(1);
    hasSheet = false;
    if (!s.empty() && s.front() == '\'') {
        sheet.clear();
        size_t i = 1;
        for (;; ++i) {
            if (i >= s.size())
                return false;
            if (s[i] == '\'') {
                if (i + 1 < s.size() && s[i + 1] == '\'') {
                    sheet += '\'';
                    ++i;
                    continue;
                }
                break;
            }
            sheet += s[i];
        }
        s.remove_prefix(i + 1);
        if (s.empty() || s.front() != '.')
            return false;
        s.remove_prefix(1);
        hasSheet = true;
    } else {
        const size_t dot = s.rfind('.');
        if (dot != std::string_view::npos) {
            sheet = std::string(s.substr(0, dot));
            hasSheet = !sheet.empty();
            s.remove_prefix(dot + 1);
        }
    }
    auto a = ParseAddress(s);
    if (!a || !a->sheet.empty() || a->firstRow != a->lastRow || a->firstCol != a->lastCol)
        return false;
    row = a->firstRow;
    col = a->firstCol;
    return true;
}

class OdsReader : public Reader {
public:
    explicit OdsReader(std::unique_ptr<ZipArchive> zip) : zip_(std::move(zip))
    {
        format = Format::Ods;
        content_ = std::make_unique<XmlPart>(*zip_, "content.xml", zip_->ReadRequired("content.xml"));
        const pugi::xml_node root = content_->Root();
        std::unordered_set<std::string> hiddenStyles;
        for (pugi::xml_node st = Child(Child(root, "automatic-styles"), "style"); st; st = st.next_sibling())
            if (Is(st, "style") && std::strcmp(Attr(Child(st, "table-properties"), "display").value(), "false") == 0)
                hiddenStyles.insert(Attr(st, "name").value());
        const pugi::xml_node spreadsheet = Child(Child(root, "body"), "spreadsheet");
        if (!spreadsheet)
            throw Error(zip_->Path() + ": content.xml holds no spreadsheet");
        if (pugi::xml_node nd = Child(Child(spreadsheet, "calculation-settings"), "null-date"))
            date1904 = IsNullDate1904(Attr(nd, "date-value").value());
        for (pugi::xml_node t = spreadsheet.first_child(); t; t = t.next_sibling()) {
            if (!Is(t, "table"))
                continue;
            tables_.push_back(t);
            sheetNames.push_back(Attr(t, "name").value());
            sheetVisible.push_back(!hiddenStyles.count(Attr(t, "style-name").value()));
        }
        // Names in document order: those of each table, then the workbook's.
        for (size_t i = 0; i < tables_.size(); ++i)
            ReadNames(Child(tables_[i], "named-expressions"), int(i));
        ReadNames(Child(spreadsheet, "named-expressions"), -1);
        ReadActiveTable();
    }

    void LoadSheet(int index, SheetCells& out) override
    {
        if (index < 0 || size_t(index) >= tables_.size())
            throw Error(zip_->Path() + ": no sheet number " + std::to_string(index + 1));
        SheetLoad load{sheetNames[size_t(index)], out};
        ReadRows(tables_[size_t(index)], load, 0);
    }

private:
    struct SheetLoad {
        const std::string& sheet;
        SheetCells& out;
        long long row = 0;
        long long cells = 0;
        long long textBytes = 0;
    };

    Error Fail(const SheetLoad& l, long long row, long long col, const std::string& why) const
    {
        std::string where = zip_->Path() + ": sheet " + l.sheet;
        if (row < kMaxRows && col < kMaxCols)
            where += ", cell " + ColumnName(int(col)) + std::to_string(row + 1);
        return Error(where + ": " + why);
    }

    void ReadNames(pugi::xml_node list, int scope)
    {
        for (pugi::xml_node n = list.first_child(); n; n = n.next_sibling()) {
            DefinedName d;
            if (Is(n, "named-range")) {
                d.formula = Attr(n, "cell-range-address").value();
                d.range = RangeOfAddress(d.formula);
            } else if (Is(n, "named-expression")) {
                d.formula = Attr(n, "expression").value();
                // "of:=[$Sheet1.$B$2:.$B$8]": a single reference is a range all the same.
                std::string_view e = d.formula;
                if (e.rfind("of:", 0) == 0)
                    e.remove_prefix(3);
                if (e.size() > 3 && e[0] == '=' && e[1] == '[' && e.back() == ']' &&
                    e.find('[', 2) == std::string_view::npos)
                    d.range = RangeOfAddress(e.substr(2, e.size() - 3));
            } else {
                continue;
            }
            d.scopeSheet = scope;
            d.name = Attr(n, "name").value();
            if (scope >= 0)
                d.name = sheetNames[size_t(scope)] + "!" + d.name;
            names.push_back(std::move(d));
        }
    }

    // "$Sheet1.$B$2:.$B$8" -> one rectangle; lists, whole columns and other
    // workbooks are not one.
    std::optional<Range> RangeOfAddress(std::string_view s) const
    {
        size_t colon = std::string_view::npos;
        bool quoted = false;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\'')
                quoted = !quoted;
            else if (!quoted && s[i] == ' ')
                return std::nullopt;  // a list of ranges
            else if (!quoted && s[i] == ':' && colon == std::string_view::npos)
                colon = i;
        }
        std::string sheet1, sheet2;
        bool has1 = false, has2 = false;
        int r1, c1, r2, c2;
        if (!ParseOdsCell(s.substr(0, colon), sheet1, has1, r1, c1) || !has1)
            return std::nullopt;
        if (colon == std::string_view::npos) {
            r2 = r1;
            c2 = c1;
        } else {
            if (!ParseOdsCell(s.substr(colon + 1), sheet2, has2, r2, c2))
                return std::nullopt;
            if (has2 && FoldCase(sheet2) != FoldCase(sheet1))
                return std::nullopt;  // a three-dimensional range
        }
        const std::string folded = FoldCase(sheet1);
        for (size_t i = 0; i < sheetNames.size(); ++i)
            if (FoldCase(sheetNames[i]) == folded)
                return Range{int(i), std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
        return std::nullopt;
    }

    void ReadActiveTable()
    {
        auto data = zip_->Read("settings.xml");
        if (!data)
            return;
        XmlPart settings(*zip_, "settings.xml", std::move(*data));
        // The first ActiveTable item, in the view settings, names the table.
        pugi::xml_node item = settings.Root().find_node([](pugi::xml_node n) {
            return Is(n, "config-item") && std::strcmp(Attr(n, "name").value(), "ActiveTable") == 0;
        });
        if (!item)
            return;
        const std::string name = item.text().get();
        for (size_t i = 0; i < sheetNames.size(); ++i)
            if (sheetNames[i] == name) {
                activeSheet = int(i);
                return;
            }
    }

    // Rows, also inside header-row, row and row-group containers.
    void ReadRows(pugi::xml_node parent, SheetLoad& l, int depth)
    {
        if (depth > kMaxDepth)
            throw Fail(l, kMaxRows, 0, "row groups nested too deeply");
        for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) {
            if (n.type() != pugi::node_element)
                continue;
            const std::string_view name = LocalName(n.name());
            if (name == "table-row") {
                ReadRow(n, l);
            } else if (name == "table-rows" || name == "table-header-rows" || name == "table-row-group") {
                ReadRows(n, l, depth + 1);
            }
        }
    }

    void ReadRow(pugi::xml_node rowNode, SheetLoad& l)
    {
        const long long repeat = std::max(1LL, Attr(rowNode, "number-rows-repeated").as_llong(1));
        const long long first = l.row;
        if (repeat > kMaxRows || first + repeat > kMaxRows)
            throw Fail(l, kMaxRows, 0, "rows repeated past row " + std::to_string(kMaxRows));
        long long col = 0;
        for (pugi::xml_node c = rowNode.first_child(); c; c = c.next_sibling()) {
            if (!Is(c, "table-cell") && !Is(c, "covered-table-cell"))
                continue;
            const long long span = std::max(1LL, Attr(c, "number-columns-repeated").as_llong(1));
            if (span > kMaxCols || col + span > kMaxCols)
                throw Fail(l, first, kMaxCols, "row " + std::to_string(first + 1) + ": columns repeated past column " +
                                                   std::to_string(kMaxCols));
            if (c.first_child() || c.first_attribute()) {
                CellValue v;
                if (ReadValue(c, l, first, col, v)) {
                    const long long copies = span * repeat;
                    l.cells += copies;
                    l.textBytes += copies * (long long)v.text.size();
                    if (l.cells > kMaxCellsPerSheet || l.textBytes > kMaxTextBytesPerSheet)
                        throw Fail(l, first, col, "too many cells once repeated rows and columns are spelled out");
                    for (long long r = first; r < first + repeat; ++r)
                        for (long long k = col; k < col + span; ++k)
                            l.out.Set(int(r), int(k), v);
                }
            }
            col += span;
        }
        l.row = first + repeat;
    }

    // The cell's value; false when it is empty.
    bool ReadValue(pugi::xml_node c, SheetLoad& l, long long row, long long col, CellValue& v) const
    {
        const char* type = Attr(c, "value-type").value();
        // LibreOffice marks error results apart from their stored type.
        bool isError = false;
        for (pugi::xml_attribute a = c.first_attribute(); a; a = a.next_attribute())
            if (std::strcmp(a.name(), "calcext:value-type") == 0 && std::strcmp(a.value(), "error") == 0)
                isError = true;
        if (isError) {
            v.type = CellType::Error;
            v.text = ParagraphText(c, l, row, col);
            return true;
        }
        auto number = [&](const char* attr) {
            pugi::xml_attribute a = Attr(c, attr);
            if (!ParseNumber(a.value(), v.number))
                throw Fail(l, row, col, std::string("bad number \"") + a.value() + "\"");
        };
        if (!*type) {
            // No type: text only, if any.
            if (!Child(c, "p") && !Child(c, "h"))
                return false;
            v.type = CellType::Text;
            v.text = ParagraphText(c, l, row, col);
            return true;
        }
        if (!std::strcmp(type, "float") || !std::strcmp(type, "percentage") || !std::strcmp(type, "currency")) {
            number("value");
            v.type = CellType::Number;
        } else if (!std::strcmp(type, "date")) {
            pugi::xml_attribute a = Attr(c, "date-value");
            auto serial = IsoDateSerial(a.value(), date1904);
            if (!serial)
                throw Fail(l, row, col, std::string("bad date \"") + a.value() + "\"");
            v.type = CellType::Date;
            v.number = *serial;
            v.date1904 = date1904;
        } else if (!std::strcmp(type, "time")) {
            pugi::xml_attribute a = Attr(c, "time-value");
            auto days = DurationDays(a.value());
            if (!days)
                throw Fail(l, row, col, std::string("bad time \"") + a.value() + "\"");
            v.type = CellType::Date;
            v.number = *days;
            v.date1904 = date1904;
        } else if (!std::strcmp(type, "boolean")) {
            const std::string b = Attr(c, "boolean-value").value();
            v.type = CellType::Boolean;
            v.number = (b == "true" || b == "1") ? 1 : 0;
        } else {  // "string" and anything unknown: the text as shown
            v.type = CellType::Text;
            pugi::xml_attribute sv = Attr(c, "string-value");
            v.text = sv ? std::string(sv.value()) : ParagraphText(c, l, row, col);
            // Gnumeric stores an error result as the error's text.
            if (Attr(c, "formula") && IsErrorLiteral(v.text))
                v.type = CellType::Error;
        }
        return true;
    }

    // Paragraphs of a cell joined by line feeds, with spaces, tabs and line
    // breaks spelled out; notes and annotations left out.
    std::string ParagraphText(pugi::xml_node c, SheetLoad& l, long long row, long long col) const
    {
        std::string s;
        bool first = true;
        for (pugi::xml_node p = c.first_child(); p; p = p.next_sibling()) {
            if (!Is(p, "p") && !Is(p, "h"))
                continue;
            if (!first)
                s += '\n';
            first = false;
            AppendText(p, s, l, row, col, 0);
        }
        return s;
    }

    void AppendText(pugi::xml_node n, std::string& s, SheetLoad& l, long long row, long long col, int depth) const
    {
        if (depth > kMaxDepth)
            throw Fail(l, row, col, "text spans nested too deeply");
        constexpr size_t kMaxCellText = 1 << 20;
        for (pugi::xml_node k = n.first_child(); k; k = k.next_sibling()) {
            if (k.type() == pugi::node_pcdata || k.type() == pugi::node_cdata) {
                s += k.value();
            } else if (k.type() == pugi::node_element) {
                const std::string_view name = LocalName(k.name());
                if (name == "s") {
                    const long long count = Attr(k, "c").as_llong(1);
                    if (count < 0 || count > (long long)kMaxCellText)
                        throw Fail(l, row, col, "bad space count");
                    s.append(size_t(std::max(1LL, count)), ' ');
                } else if (name == "tab") {
                    s += '\t';
                } else if (name == "line-break") {
                    s += '\n';
                } else if (name != "note" && name != "annotation" && name != "ruby-text") {
                    AppendText(k, s, l, row, col, depth + 1);
                }
            }
            if (s.size() > kMaxCellText)
                throw Fail(l, row, col, "cell text too long");
        }
    }

    std::unique_ptr<ZipArchive> zip_;
    std::unique_ptr<XmlPart> content_;
    std::vector<pugi::xml_node> tables_;
};

}  // namespace

std::unique_ptr<Reader> OpenOdsPackage(std::unique_ptr<ZipArchive> zip)
{
    return std::make_unique<OdsReader>(std::move(zip));
}

std::unique_ptr<Reader> OpenOds(const std::string& path) { return OpenOdsPackage(std::make_unique<ZipArchive>(path)); }

}  // namespace wb::detail
