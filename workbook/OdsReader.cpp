// OpenDocument spreadsheets (.ods): content.xml for the tables, the typed
// cell values and the named ranges; settings.xml for the active table. Both
// are read as streams: content.xml once at open for the tables and names,
// and once more for each sheet that is read, keeping only the wanted cells.
#include "workbook/Reader.h"
#include "workbook/Reference.h"
#include "workbook/XmlStream.h"
#include "workbook/ZipArchive.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace wb::detail {

namespace {

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
        CheckNotEncrypted();
        if (!zip_->Has("content.xml"))
            throw Error(zip_->Path() + ": the part content.xml is missing");
        ReadWorkbookParts();
        ReadActiveTable();
    }

    void LoadSheet(int index, const SheetFilter& keep, SheetCells& out) override
    {
        if (index < 0 || size_t(index) >= sheetNames.size())
            throw Error(zip_->Path() + ": no sheet number " + std::to_string(index + 1));
        XmlStream xs(*zip_, "content.xml");
        SheetLoad load{sheetNames[size_t(index)], keep, out};
        int table = -1;
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
            if (e != XmlStream::Start)
                continue;
            if (xs.Depth() < 4 && (xs.Depth() == 1 || xs.Name() == "body" || xs.Name() == "spreadsheet"))
                continue;
            if (xs.Depth() == 4 && xs.Name() == "table" && ++table == index) {
                ReadRows(xs, load, 0);
                return;
            }
            xs.Skip();
        }
    }

private:
    struct SheetLoad {
        const std::string& sheet;
        const SheetFilter& keep;
        SheetCells& out;
        long long row = 0;
        bool done = false;  // past the filter's last row
        // For a format lookup: the columns' default cell styles.
        struct ColumnStyle {
            long long first, last;
            std::string style;
        };
        std::vector<ColumnStyle> columnStyles{};
        long long column = 0;
    };

    // A name as found, resolved once every table is known.
    struct RawName {
        bool isRange;
        std::string name, formula;
        int scope;
    };

    Error Fail(const SheetLoad& l, long long row, long long col, const std::string& why) const
    {
        std::string where = zip_->Path() + ": sheet " + l.sheet;
        if (row < kMaxRows && col < kMaxCols)
            where += ", cell " + ColumnName(int(col)) + std::to_string(row + 1);
        return Error(where + ": " + why);
    }

    // A password-protected package keeps its parts encrypted; the manifest
    // says so for each.
    void CheckNotEncrypted()
    {
        auto member = zip_->Open("META-INF/manifest.xml", size_t(16) << 20);
        if (!member)
            return;
        XmlStream xs(std::move(member));
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;)
            if (e == XmlStream::Start && xs.Name() == "encryption-data")
                throw Error(zip_->Path() + ": the workbook is encrypted (protected by a password to open); "
                                           "save it without that password to read it");
    }

    // Tables, their visibility, the date system and the named ranges, from
    // one pass over content.xml that passes over the cells.
    void ReadWorkbookParts()
    {
        XmlStream xs(*zip_, "content.xml");
        std::unordered_set<std::string> hiddenStyles;
        std::vector<std::string> tableStyles;
        std::vector<RawName> tableNames, bookNames;
        size_t nameBytes = 0;
        bool spreadsheet = false;
        std::string style;  // the automatic style being read
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
            if (e != XmlStream::Start)
                continue;
            const int d = xs.Depth();
            const std::string_view name = xs.Name();
            if (d == 1 || (d == 2 && (name == "automatic-styles" || name == "body")) ||
                (d == 3 && name == "spreadsheet")) {
                spreadsheet = spreadsheet || name == "spreadsheet";
                continue;
            }
            if (d == 3 && name == "style" && xs.ParentName() == "automatic-styles") {
                style = xs.AttrOr("name");
                continue;
            }
            if (d == 4 && name == "table-properties" && xs.ParentName() == "style") {
                if (xs.AttrOr("display") == "false")
                    hiddenStyles.insert(style);
                xs.Skip();
                continue;
            }
            if (d == 4 && xs.ParentName() == "spreadsheet") {
                if (name == "calculation-settings")
                    continue;
                if (name == "table") {
                    sheetNames.emplace_back(xs.AttrOr("name"));
                    tableStyles.emplace_back(xs.AttrOr("style-name"));
                    nameBytes += sheetNames.back().size() + 64;
                    continue;  // its cells are passed over below
                }
                if (name == "named-expressions")
                    continue;
            }
            if (d == 5 && name == "null-date" && xs.ParentName() == "calculation-settings") {
                // "1904-01-01", or "1904-1-1" as Gnumeric writes it.
                int y = 0, m = 0, dd = 0;
                if (std::sscanf(std::string(xs.AttrOr("date-value")).c_str(), "%d-%d-%d", &y, &m, &dd) == 3)
                    date1904 = y == 1904 && m == 1 && dd == 1;
                xs.Skip();
                continue;
            }
            if (d == 5 && name == "named-expressions" && xs.ParentName() == "table")
                continue;
            if ((d == 5 || d == 6) && (name == "named-range" || name == "named-expression") &&
                xs.ParentName() == "named-expressions") {
                RawName n{
                    name == "named-range", std::string(xs.AttrOr("name")),
                    std::string(name == "named-range" ? xs.AttrOr("cell-range-address") : xs.AttrOr("expression")),
                    d == 6 ? int(sheetNames.size()) - 1 : -1};
                nameBytes += n.name.size() + n.formula.size() + 128;
                if (nameBytes > kMaxNameBytes)
                    throw Error(zip_->Path() + ": content.xml: the sheet and range names take more than " +
                                std::to_string(kMaxNameBytes >> 20) + " MiB");
                (d == 6 ? tableNames : bookNames).push_back(std::move(n));
                xs.Skip();
                continue;
            }
            xs.Skip();
        }
        if (!spreadsheet)
            throw Error(zip_->Path() + ": content.xml holds no spreadsheet");
        for (const std::string& st : tableStyles)
            sheetVisible.push_back(!hiddenStyles.count(st));
        // Names in document order: those of each table, then the workbook's.
        for (std::vector<RawName>* list : {&tableNames, &bookNames})
            for (RawName& raw : *list)
                AddName(raw);
    }

    // Sheet and range names kept in memory at most; far more than any form has.
    static constexpr size_t kMaxNameBytes = size_t(8) << 20;

    void AddName(RawName& raw)
    {
        DefinedName d;
        d.formula = std::move(raw.formula);
        if (raw.isRange) {
            d.range = RangeOfAddress(d.formula);
        } else {
            // "of:=[$Sheet1.$B$2:.$B$8]": a single reference is a range all the same.
            std::string_view e = d.formula;
            if (e.rfind("of:", 0) == 0)
                e.remove_prefix(3);
            if (e.size() > 3 && e[0] == '=' && e[1] == '[' && e.back() == ']' &&
                e.find('[', 2) == std::string_view::npos)
                d.range = RangeOfAddress(e.substr(2, e.size() - 3));
        }
        d.scopeSheet = raw.scope;
        d.name = raw.scope >= 0 ? sheetNames[size_t(raw.scope)] + "!" + raw.name : raw.name;
        names.push_back(std::move(d));
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

    // The first ActiveTable item, in the view settings, names the table.
    void ReadActiveTable()
    {
        auto member = zip_->Open("settings.xml");
        if (!member)
            return;
        XmlStream xs(std::move(member));
        for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
            if (e != XmlStream::Start || xs.Name() != "config-item" || xs.AttrOr("name") != "ActiveTable")
                continue;
            const std::string name = xs.ReadText(size_t(1) << 20);
            for (size_t i = 0; i < sheetNames.size(); ++i)
                if (sheetNames[i] == name) {
                    activeSheet = int(i);
                    return;
                }
            return;
        }
    }

    // Rows, also inside header-row, row and row-group containers; after the
    // Start of the table or container, whose End this consumes.
    void ReadRows(XmlStream& xs, SheetLoad& l, int depth)
    {
        if (depth > kMaxDepth)
            throw Fail(l, kMaxRows, 0, "row groups nested too deeply");
        const int level = xs.Depth();
        for (;;) {
            const XmlStream::Event e = xs.Next();
            if (e == XmlStream::End && xs.Depth() < level)
                return;
            if (e == XmlStream::Done)
                xs.Fail("unexpected end of data");
            if (e != XmlStream::Start)
                continue;
            const std::string_view name = xs.Name();
            if (name == "table-column" && l.out.KeepsStyles()) {
                const long long span = Count(xs, "number-columns-repeated");
                const std::string style(xs.AttrOr("default-cell-style-name"));
                if (!style.empty() && l.column + span <= kMaxCols)
                    l.columnStyles.push_back({l.column, l.column + span - 1, style});
                l.column += span;
                xs.Skip();
            } else if ((name == "table-columns" || name == "table-header-columns" || name == "table-column-group") &&
                       l.out.KeepsStyles()) {
                ReadRows(xs, l, depth + 1);
            } else if (name == "table-row") {
                ReadRow(xs, l);
            } else if (name == "table-rows" || name == "table-header-rows" || name == "table-row-group") {
                ReadRows(xs, l, depth + 1);
            } else {
                xs.Skip();
            }
            if (l.done)
                return;
        }
    }

    static long long Count(const XmlStream& xs, std::string_view attr)
    {
        const std::string_view* a = xs.Attr(attr);
        return a ? std::max(1LL, ToLong(*a)) : 1;
    }

    void ReadRow(XmlStream& xs, SheetLoad& l)
    {
        const long long repeat = Count(xs, "number-rows-repeated");
        const long long first = l.row;
        if (repeat > kMaxRows || first + repeat > kMaxRows)
            throw Fail(l, kMaxRows, 0, "rows repeated past row " + std::to_string(kMaxRows));
        // Rows come in order: nothing kept follows the filter's last row.
        if (first > l.keep.LastRow()) {
            l.done = true;
            return;
        }
        l.row = first + repeat;
        if (!l.keep.WantsRows(int(first), int(first + repeat - 1))) {
            xs.Skip();
            return;
        }
        long long col = 0;
        const int level = xs.Depth();
        const int lastCol = l.keep.LastCol(int(first), int(first + repeat - 1));
        for (;;) {
            if (col > lastCol) {
                xs.Skip();  // nothing kept in the rest of the row
                return;
            }
            const XmlStream::Event e = xs.Next();
            if (e == XmlStream::End && xs.Depth() < level)
                return;
            if (e == XmlStream::Done)
                xs.Fail("unexpected end of data");
            if (e != XmlStream::Start)
                continue;
            if (xs.Name() != "table-cell" && xs.Name() != "covered-table-cell") {
                xs.Skip();
                continue;
            }
            const long long span = Count(xs, "number-columns-repeated");
            if (span > kMaxCols || col + span > kMaxCols)
                throw Fail(l, first, kMaxCols,
                           "row " + std::to_string(first + 1) + ": columns repeated past column " +
                               std::to_string(kMaxCols));
            bool wanted = false;
            l.keep.ForEachKept(first, col, first + repeat - 1, col + span - 1,
                               [&](long long, long long, long long, long long) { wanted = true; });
            if (wanted && l.out.KeepsStyles())
                KeepStyle(xs, l, first, col, first + repeat - 1, col + span - 1);
            CellValue v;
            if (wanted && ReadValue(xs, l, first, col, v)) {
                l.keep.ForEachKept(first, col, first + repeat - 1, col + span - 1,
                                   [&](long long r1, long long c1, long long r2, long long c2) {
                                       for (long long r = r1; r <= r2; ++r)
                                           for (long long k = c1; k <= c2; ++k)
                                               l.out.Set(int(r), int(k), v);
                                   });
            } else if (!wanted) {
                xs.Skip();
            }
            col += span;
        }
    }

    // The cell's style, else its column's, for each kept cell of the block.
    void KeepStyle(const XmlStream& xs, SheetLoad& l, long long r1, long long c1, long long r2, long long c2) const
    {
        std::string style(xs.AttrOr("style-name"));
        for (const auto& cs : l.columnStyles)
            if (style.empty() && c1 >= cs.first && c1 <= cs.last)
                style = cs.style;
        if (style.empty())
            return;
        const int index = StyleIndex(style);
        l.keep.ForEachKept(r1, c1, r2, c2, [&](long long a, long long b, long long c, long long d) {
            for (long long r = a; r <= c; ++r)
                for (long long k = b; k <= d; ++k)
                    l.out.SetStyle(int(r), int(k), index);
        });
    }

    int StyleIndex(const std::string& name) const
    {
        for (size_t i = 0; i < styleNames_.size(); ++i)
            if (styleNames_[i] == name)
                return int(i);
        styleNames_.push_back(name);
        return int(styleNames_.size()) - 1;
    }

public:
    std::string FormatCode(int style) const override
    {
        if (style < 0 || size_t(style) >= styleNames_.size())
            return {};
        LoadDataStyles();
        std::string name = styleNames_[size_t(style)];
        for (int hops = 0; hops < 16; ++hops) {  // a style without a data style takes its parent's
            auto it = cellStyles_.find(name);
            if (it == cellStyles_.end())
                return {};
            if (!it->second.first.empty()) {
                auto d = dataStyles_.find(it->second.first);
                if (d == dataStyles_.end())
                    return {};
                // A style that maps positive values elsewhere is the negative
                // part; the positive one tells the format.
                auto pos = d->second.positive.empty() ? dataStyles_.end() : dataStyles_.find(d->second.positive);
                return pos != dataStyles_.end() ? pos->second.code : d->second.code;
            }
            name = it->second.second;
        }
        return {};
    }

private:
    struct DataStyle {
        std::string code;      // as a format code: "0.00", "dd/mm/yyyy", "0%", "@"
        std::string positive;  // the style that value()>=0 applies, if any
    };

    // Cell styles and the number, date, time, percentage, currency and text
    // styles they show values with, from content.xml and styles.xml.
    void LoadDataStyles() const
    {
        if (dataStylesLoaded_)
            return;
        dataStylesLoaded_ = true;
        for (const char* part : {"styles.xml", "content.xml"}) {
            auto member = zip_->Open(part);
            if (!member)
                continue;
            XmlStream xs(std::move(member));
            for (XmlStream::Event e; (e = xs.Next()) != XmlStream::Done;) {
                if (e != XmlStream::Start)
                    continue;
                const int d = xs.Depth();
                const std::string_view name = xs.Name();
                if (d == 1 || (d == 2 && (name == "styles" || name == "automatic-styles")))
                    continue;
                if (d == 3 && name == "style") {
                    cellStyles_[std::string(xs.AttrOr("name"))] = {std::string(xs.AttrOr("data-style-name")),
                                                                   std::string(xs.AttrOr("parent-style-name"))};
                } else if (d == 3 && (name == "number-style" || name == "percentage-style" ||
                                      name == "currency-style" || name == "date-style" || name == "time-style" ||
                                      name == "text-style" || name == "boolean-style")) {
                    const std::string styleName(xs.AttrOr("name"));
                    dataStyles_[styleName] = ReadDataStyle(xs, std::string(name));
                    continue;  // consumed
                }
                xs.Skip();
            }
        }
    }

    // After the Start of a data style; consumes its End.
    static DataStyle ReadDataStyle(XmlStream& xs, const std::string& kind)
    {
        DataStyle out;
        if (kind == "boolean-style") {
            xs.Skip();
            return out;
        }
        auto literal = [&](const std::string& t) {
            for (char c : t) {
                if (c == '%' && kind == "percentage-style")
                    out.code += '%';
                else if (c == ' ' || c == '/' || c == '-' || c == '.' || c == ':' || c == ',' || c == '(' || c == ')')
                    out.code += c;
                else if (c == '"')
                    out.code += "\\\"";
                else
                    out.code += std::string("\\") + c;
            }
        };
        const int level = xs.Depth();
        for (;;) {
            const XmlStream::Event e = xs.Next();
            if (e == XmlStream::End && xs.Depth() < level)
                return out;
            if (e == XmlStream::Done)
                xs.Fail("unexpected end of data");
            if (e != XmlStream::Start)
                continue;
            const std::string_view n = xs.Name();
            const bool isLong = xs.AttrOr("style") == "long";
            if (n == "number" || n == "scientific-number") {
                const int decimals = std::atoi(std::string(xs.AttrOr("decimal-places", "0")).c_str());
                out.code += xs.AttrOr("grouping") == "true" ? "#,##0" : "0";
                if (decimals > 0)
                    out.code += "." + std::string(size_t(std::min(decimals, 30)), '0');
                if (n == "scientific-number")
                    out.code +=
                        "E+" +
                        std::string(size_t(std::clamp(
                                        std::atoi(std::string(xs.AttrOr("min-exponent-digits", "2")).c_str()), 1, 5)),
                                    '0');
            } else if (n == "fraction") {
                out.code += "# ?/?";
            } else if (n == "day") {
                out.code += isLong ? "dd" : "d";
            } else if (n == "month") {
                out.code += xs.AttrOr("textual") == "true" ? (isLong ? "mmmm" : "mmm") : (isLong ? "mm" : "m");
            } else if (n == "year") {
                out.code += isLong ? "yyyy" : "yy";
            } else if (n == "day-of-week") {
                out.code += isLong ? "dddd" : "ddd";
            } else if (n == "hours") {
                out.code += isLong ? "hh" : "h";
            } else if (n == "minutes") {
                out.code += isLong ? "mm" : "m";
            } else if (n == "seconds") {
                out.code += isLong ? "ss" : "s";
            } else if (n == "am-pm") {
                out.code += "AM/PM";
            } else if (n == "text-content") {
                out.code += "@";
            } else if (n == "text" || n == "currency-symbol") {
                literal(xs.ReadText(size_t(1) << 16));
                continue;  // consumed
            } else if (n == "map" && xs.AttrOr("condition") == "value()>=0") {
                out.positive = xs.AttrOr("apply-style-name");
            }
            xs.Skip();
        }
    }

    // After the Start of a cell: its value, false when it is empty. Consumes
    // the cell's End.
    bool ReadValue(XmlStream& xs, SheetLoad& l, long long row, long long col, CellValue& v) const
    {
        // office:value-type; LibreOffice's calcext:value-type has the same local name.
        std::string type;
        bool isError = false;  // LibreOffice marks error results apart from their stored type
        xs.ForEachAttr([&](std::string_view q, std::string_view local, std::string_view value) {
            if (local == "value-type" && q.rfind("calcext:", 0) != 0 && type.empty())
                type = value;
            if (q == "calcext:value-type" && value == "error")
                isError = true;
        });
        if (isError) {
            v.type = CellType::Error;
            v.text = ParagraphText(xs, l, row, col);
            return true;
        }
        auto attr = [&](std::string_view name) { return std::string(xs.AttrOr(name)); };
        if (type.empty()) {
            // No type: text only, if any.
            bool any = false;
            v.text = ParagraphText(xs, l, row, col, &any);
            if (!any)
                return false;
            v.type = CellType::Text;
            return true;
        }
        if (type == "float" || type == "percentage" || type == "currency") {
            const std::string a = attr("value");
            if (!ParseNumber(a.c_str(), v.number))
                throw Fail(l, row, col, "bad number \"" + a + "\"");
            v.type = CellType::Number;
        } else if (type == "date") {
            const std::string a = attr("date-value");
            auto serial = IsoDateSerial(a, date1904);
            if (!serial)
                throw Fail(l, row, col, "bad date \"" + a + "\"");
            v.type = CellType::Date;
            v.number = *serial;
            v.date1904 = date1904;
        } else if (type == "time") {
            const std::string a = attr("time-value");
            auto days = DurationDays(a);
            if (!days)
                throw Fail(l, row, col, "bad time \"" + a + "\"");
            v.type = CellType::Date;
            v.number = *days;
            v.date1904 = date1904;
        } else if (type == "boolean") {
            const std::string b = attr("boolean-value");
            v.type = CellType::Boolean;
            v.number = (b == "true" || b == "1") ? 1 : 0;
        } else {  // "string" and anything unknown: the text as shown
            v.type = CellType::Text;
            const bool formula = xs.Attr("formula") != nullptr;
            if (const std::string_view* sv = xs.Attr("string-value")) {
                v.text = *sv;
            } else {
                v.text = ParagraphText(xs, l, row, col);
                // Gnumeric stores an error result as the error's text.
                if (formula && IsErrorLiteral(v.text))
                    v.type = CellType::Error;
                return true;
            }
            if (formula && IsErrorLiteral(v.text))
                v.type = CellType::Error;
        }
        xs.Skip();
        return true;
    }

    // Paragraphs of a cell joined by line feeds, with spaces, tabs and line
    // breaks spelled out; notes and annotations left out. After the cell's
    // Start; consumes its End. `any`: whether there was a paragraph.
    std::string ParagraphText(XmlStream& xs, SheetLoad& l, long long row, long long col, bool* any = nullptr) const
    {
        std::string s;
        bool first = true;
        const int level = xs.Depth();
        for (;;) {
            const XmlStream::Event e = xs.Next();
            if (e == XmlStream::End && xs.Depth() < level)
                break;
            if (e == XmlStream::Done)
                xs.Fail("unexpected end of data");
            if (e != XmlStream::Start)
                continue;
            if (xs.Depth() != level + 1 || (xs.Name() != "p" && xs.Name() != "h")) {
                xs.Skip();
                continue;
            }
            if (!first)
                s += '\n';
            first = false;
            AppendText(xs, s, l, row, col, 0);
        }
        if (any)
            *any = !first;
        return s;
    }

    // After the Start of a paragraph or span; consumes its End.
    void AppendText(XmlStream& xs, std::string& s, SheetLoad& l, long long row, long long col, int depth) const
    {
        if (depth > kMaxDepth)
            throw Fail(l, row, col, "text spans nested too deeply");
        constexpr size_t kMaxCellText = 1 << 20;
        const int level = xs.Depth();
        for (;;) {
            const XmlStream::Event e = xs.Next();
            if (e == XmlStream::End && xs.Depth() < level)
                return;
            if (e == XmlStream::Done)
                xs.Fail("unexpected end of data");
            if (e == XmlStream::Text) {
                s += xs.Piece();
            } else if (e == XmlStream::Start) {
                const std::string_view name = xs.Name();
                if (name == "s") {
                    const std::string_view* c = xs.Attr("c");
                    const long long count = c ? ToLong(*c) : 1;
                    if (count < 0 || count > (long long)kMaxCellText)
                        throw Fail(l, row, col, "bad space count");
                    s.append(size_t(std::max(1LL, count)), ' ');
                    xs.Skip();
                } else if (name == "tab") {
                    s += '\t';
                    xs.Skip();
                } else if (name == "line-break") {
                    s += '\n';
                    xs.Skip();
                } else if (name == "note" || name == "annotation" || name == "ruby-text") {
                    xs.Skip();
                } else {
                    AppendText(xs, s, l, row, col, depth + 1);
                }
            }
            if (s.size() > kMaxCellText)
                throw Fail(l, row, col, "cell text too long");
        }
    }

    std::unique_ptr<ZipArchive> zip_;
    // Format lookups: cell style names by index, and what they show.
    mutable std::vector<std::string> styleNames_;
    mutable bool dataStylesLoaded_ = false;
    mutable std::unordered_map<std::string, std::pair<std::string, std::string>> cellStyles_;  // data style, parent
    mutable std::unordered_map<std::string, DataStyle> dataStyles_;
};

}  // namespace

std::unique_ptr<Reader> OpenOdsPackage(std::unique_ptr<ZipArchive> zip)
{
    return std::make_unique<OdsReader>(std::move(zip));
}

std::unique_ptr<Reader> OpenOds(const std::string& path)
{
    return OpenOdsPackage(std::make_unique<ZipArchive>(path));
}

}  // namespace wb::detail
