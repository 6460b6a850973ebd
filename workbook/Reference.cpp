// A1 addresses: parsing and column letters.
#include "workbook/Reference.h"

#include "workbook/Reader.h"

#include <charconv>
#include <utility>

namespace wb::detail {

namespace {

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One cell such as B4 or $C$10. Advances `pos`; false when there is none.
bool ParseCell(std::string_view s, size_t& pos, int& row, int& col)
{
    size_t i = pos;
    if (i < s.size() && s[i] == '$')
        ++i;
    long c = 0;
    size_t letters = 0;
    while (i < s.size() && IsLetter(s[i])) {
        c = c * 26 + ((s[i] | 0x20) - 'a' + 1);
        if (++letters > 3)
            return false;
        ++i;
    }
    if (letters == 0)
        return false;
    if (i < s.size() && s[i] == '$')
        ++i;
    long r = 0;
    size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        r = r * 10 + (s[i] - '0');
        if (++digits > 7)
            return false;
        ++i;
    }
    if (digits == 0 || r < 1 || r > kMaxRows || c > kMaxCols)
        return false;
    row = int(r - 1);
    col = int(c - 1);
    pos = i;
    return true;
}

// One end of a whole-row ("$3") or whole-column ("$A") reference. Advances
// `pos`; false when there is none.
bool ParseLine(std::string_view s, size_t& pos, bool rows, int& index)
{
    size_t i = pos;
    if (i < s.size() && s[i] == '$')
        ++i;
    long n = 0;
    size_t len = 0;
    while (i < s.size() && (rows ? IsDigit(s[i]) : IsLetter(s[i]))) {
        n = rows ? n * 10 + (s[i] - '0') : n * 26 + ((s[i] | 0x20) - 'a' + 1);
        if (++len > (rows ? 7u : 3u))
            return false;
        ++i;
    }
    if (len == 0 || n < 1 || n > (rows ? kMaxRows : kMaxCols))
        return false;
    index = int(n - 1);
    pos = i;
    return true;
}

// "3:3", "$2:$4", "A:A", "$A:$C": the rows or columns across the whole sheet.
bool ParseWholeLines(std::string_view s, size_t pos, Address& a)
{
    for (const bool rows : {true, false}) {
        size_t i = pos;
        int first, last;
        if (!ParseLine(s, i, rows, first) || i >= s.size() || s[i] != ':')
            continue;
        ++i;
        if (!ParseLine(s, i, rows, last) || i != s.size())
            continue;
        if (first > last)
            std::swap(first, last);
        a.firstRow = rows ? first : 0;
        a.lastRow = rows ? last : kMaxRows - 1;
        a.firstCol = rows ? 0 : first;
        a.lastCol = rows ? kMaxCols - 1 : last;
        return true;
    }
    return false;
}

}  // namespace

std::optional<Address> ParseAddress(std::string_view text)
{
    Address a;
    size_t pos = 0;
    const size_t bang = text.rfind('!');
    if (bang != std::string_view::npos) {
        std::string_view sheet = text.substr(0, bang);
        if (sheet.empty())
            return std::nullopt;
        if (sheet.front() == '\'') {
            // 'It''s' -> It's
            if (sheet.size() < 3 || sheet.back() != '\'')
                return std::nullopt;
            for (size_t i = 1; i + 1 < sheet.size(); ++i) {
                if (sheet[i] == '\'') {
                    if (i + 2 >= sheet.size() || sheet[i + 1] != '\'')
                        return std::nullopt;
                    ++i;
                }
                a.sheet += sheet[i];
            }
        } else {
            for (char c : sheet)
                if (c == '\'' || c == ' ' || c == '!')
                    return std::nullopt;
            a.sheet = std::string(sheet);
        }
        pos = bang + 1;
    }
    int r1, c1;
    if (!ParseCell(text, pos, r1, c1)) {
        if (ParseWholeLines(text, pos, a))
            return a;
        return std::nullopt;
    }
    int r2 = r1, c2 = c1;
    if (pos < text.size()) {
        if (text[pos] != ':')
            return std::nullopt;
        ++pos;
        if (!ParseCell(text, pos, r2, c2) || pos != text.size())
            return std::nullopt;
    }
    a.firstRow = std::min(r1, r2);
    a.lastRow = std::max(r1, r2);
    a.firstCol = std::min(c1, c2);
    a.lastCol = std::max(c1, c2);
    return a;
}

namespace {

// Column letters of `col` (from 0) into `out`; returns how many (1 to 3
// within the sheet limits, at most 7 for any int).
size_t PutColumn(char* out, int col)
{
    char rev[8];
    size_t n = 0;
    for (long c = long(col) + 1; c > 0; c = (c - 1) / 26)
        rev[n++] = char('A' + (c - 1) % 26);
    for (size_t i = 0; i < n; ++i)
        out[i] = rev[n - 1 - i];
    return n;
}

}  // namespace

std::string ColumnName(int col)
{
    char buf[8];
    return std::string(buf, PutColumn(buf, col));
}

}  // namespace wb::detail
