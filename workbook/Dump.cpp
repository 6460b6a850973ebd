#include "workbook/Dump.h"

#include <cstdint>
#include <cstdio>

namespace wb {
namespace {

// Length of the valid UTF-8 sequence starting at s[i], 0 when invalid.
size_t Utf8Length(std::string_view s, size_t i)
{
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t n;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else
        return 0;
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

void AppendCell(std::string& out, const CellValue& v)
{
    out += "{\"type\": ";
    out += JsonString(CellTypeName(v.type));
    out += ", \"text\": ";
    out += JsonString(v.Text());
    out += "}";
}

void AppendReference(std::string& out, const Workbook& book, const std::string& ref)
{
    out += "    {\"reference\": " + JsonString(ref) + ", ";
    std::string cells;
    Range r;
    try {
        r = book.Resolve(ref);
        long long count = static_cast<long long>(r.Rows()) * r.Cols();
        if (count > kMaxDumpCells)
            throw Error(ref + " has " + std::to_string(count) + " cells, more than " + std::to_string(kMaxDumpCells) +
                        " are not listed");
        for (int row = r.firstRow; row <= r.lastRow; ++row)
            for (int col = r.firstCol; col <= r.lastCol; ++col) {
                cells += cells.empty() ? "\n      " : ",\n      ";
                AppendCell(cells, book.Cell(r.sheet, row, col));
            }
    } catch (const std::exception& e) {
        out += "\"error\": " + JsonString(e.what()) + "}";
        return;
    }
    const auto& sheets = book.SheetNames();
    std::string sheet = r.sheet >= 0 && size_t(r.sheet) < sheets.size() ? sheets[r.sheet] : "";
    out += "\"sheet\": " + JsonString(sheet) + ", \"range\": " + JsonString(RangeAddress(r)) +
           ", \"rows\": " + std::to_string(r.Rows()) + ", \"cols\": " + std::to_string(r.Cols()) + ", \"cells\": [" +
           cells + (cells.empty() ? "]}" : "\n    ]}");
}

}  // namespace

std::string JsonString(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = Utf8Length(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(s, i, n);
            i += n;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string DumpJson(const Workbook& book, const std::vector<std::string>& references)
{
    // The sheets are read once, keeping the listed cells only.
    std::vector<Range> wanted;
    for (const std::string& ref : references) {
        try {
            const Range r = book.Resolve(ref);
            if (static_cast<long long>(r.Rows()) * r.Cols() <= kMaxDumpCells)
                wanted.push_back(r);
        } catch (const std::exception&) {
        }
    }
    book.WillRead(wanted);
    const auto& sheets = book.SheetNames();
    std::string out = "{\n";
    out += "  \"format\": " + JsonString(FormatName(book.FileFormat())) + ",\n";
    out += "  \"sheets\": [";
    for (size_t i = 0; i < sheets.size(); ++i)
        out += (i ? ", " : "") + JsonString(sheets[i]);
    out += "],\n";
    int active = book.ActiveSheet();
    out += "  \"active_sheet\": ";
    out += active >= 0 && size_t(active) < sheets.size() ? JsonString(sheets[active]) : "null";
    out += ",\n";
    out += std::string("  \"date1904\": ") + (book.Date1904() ? "true" : "false") + ",\n";
    out += "  \"names\": [";
    const auto& names = book.Names();
    for (size_t i = 0; i < names.size(); ++i) {
        const DefinedName& n = names[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"name\": " + JsonString(n.name) + ", ";
        if (n.range && n.range->sheet >= 0 && size_t(n.range->sheet) < sheets.size())
            out += "\"sheet\": " + JsonString(sheets[n.range->sheet]) +
                   ", \"range\": " + JsonString(RangeAddress(*n.range)) + "}";
        else
            out += "\"range\": null}";
    }
    out += names.empty() ? "],\n" : "\n  ],\n";
    out += "  \"references\": [";
    for (size_t i = 0; i < references.size(); ++i) {
        out += i ? ",\n" : "\n";
        AppendReference(out, book, references[i]);
    }
    out += references.empty() ? "]\n" : "\n  ]\n";
    out += "}\n";
    return out;
}

std::string ErrorJson(const std::string& message)
{
    return "{\"error\": " + JsonString(message) + "}\n";
}

}  // namespace wb
