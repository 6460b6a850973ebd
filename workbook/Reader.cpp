// What the format readers share: the sheet filter, letter-case folding and
// the names of the last workbook.
#include "workbook/Reader.h"

namespace wb::detail {

namespace {

struct Kept {
    std::string key;
    std::shared_ptr<const std::vector<DefinedName>> names;
};

Kept& KeptHere()
{
    thread_local Kept kept;
    return kept;
}

}  // namespace

std::shared_ptr<const std::vector<DefinedName>> LastNames::Find(std::string_view key)
{
    const Kept& k = KeptHere();
    return k.names && k.key == key ? k.names : nullptr;
}

std::shared_ptr<const std::vector<DefinedName>> LastNames::Keep(std::string&& key, std::vector<DefinedName>&& names)
{
    Kept& k = KeptHere();
    k.key = std::move(key);
    k.names = std::make_shared<const std::vector<DefinedName>>(std::move(names));
    return k.names;
}

SheetFilter SheetFilter::All(long long maxCells)
{
    SheetFilter f;
    f.all_ = true;
    f.maxCells_ = maxCells;
    f.lastRow_ = kMaxRows - 1;
    return f;
}

const SheetFilter& SheetCells::KeepAll()
{
    static const SheetFilter all = SheetFilter::All();
    return all;
}

void SheetCells::SetStyle(int row, int col, int style)
{
    if (keepStyles_ && filter_->Wants(row, col))
        styles_[Key(row, col)] = style;
}

SheetFilter SheetFilter::Only(std::vector<Range> rects)
{
    SheetFilter f;
    f.rects_ = std::move(rects);
    for (const Range& r : f.rects_)
        f.lastRow_ = std::max(f.lastRow_, r.lastRow);
    if (f.rects_.empty())
        return f;
    int r1 = kMaxRows, c1 = kMaxCols, r2 = -1, c2 = -1;
    for (const Range& r : f.rects_) {
        r1 = std::min(r1, r.firstRow), c1 = std::min(c1, r.firstCol);
        r2 = std::max(r2, r.lastRow), c2 = std::max(c2, r.lastCol);
    }
    if (r1 < 0 || c1 < 0 || r2 < r1 || c2 < c1)
        return f;  // odd rectangles: asked one by one
    f.boxRow_ = r1, f.boxCol_ = c1;
    f.boxRows_ = r2 - r1 + 1, f.boxCols_ = c2 - c1 + 1;
    constexpr long long kMaxBits = 1 << 16;
    if ((long long)f.boxRows_ * f.boxCols_ <= kMaxBits) {
        f.bits_.assign(size_t((long long)f.boxRows_ * f.boxCols_ + 63) / 64, 0);
        f.rowLastCol_.assign(size_t(f.boxRows_), -1);
        for (const Range& r : f.rects_)
            for (int row = std::max(r.firstRow, 0); row <= r.lastRow; ++row) {
                int& last = f.rowLastCol_[size_t(row - r1)];
                last = std::max(last, r.lastCol);
                for (int col = std::max(r.firstCol, 0); col <= r.lastCol; ++col) {
                    const size_t bit = size_t(row - r1) * size_t(f.boxCols_) + size_t(col - c1);
                    f.bits_[bit / 64] |= uint64_t(1) << (bit % 64);
                }
            }
    }
    return f;
}

bool SheetFilter::WantsInRects(int row, int col) const
{
    for (const Range& r : rects_)
        if (row >= r.firstRow && row <= r.lastRow && col >= r.firstCol && col <= r.lastCol)
            return true;
    return false;
}

bool SheetFilter::WantsRows(int first, int last) const
{
    if (all_)
        return true;
    for (const Range& r : rects_)
        if (first <= r.lastRow && last >= r.firstRow)
            return true;
    return false;
}

int SheetFilter::LastCol(int first, int last) const
{
    if (all_)
        return kMaxCols - 1;
    int col = -1;
    for (const Range& r : rects_)
        if (first <= r.lastRow && last >= r.firstRow)
            col = std::max(col, r.lastCol);
    return col;
}

// Lower case for comparisons without regard to letter case: ASCII plus the
// two-byte UTF-8 letters of Latin-1, Latin Extended-A, Greek and Cyrillic.
std::string FoldCase(std::string_view s)
{
    // Plain ASCII, the usual case, is lowered in place in one copy.
    size_t ascii = 0;
    while (ascii < s.size() && static_cast<unsigned char>(s[ascii]) < 0x80)
        ++ascii;
    std::string out(s.substr(0, ascii));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    if (ascii == s.size())
        return out;
    out.reserve(s.size());
    for (size_t i = ascii; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF && i + 1 < s.size()) {
            unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) ||
                (cp >= 0x410 && cp <= 0x42F))
                cp += 0x20;
            else if (cp >= 0x400 && cp <= 0x40F)
                cp += 0x50;
            else if (cp >= 0x100 && cp <= 0x17F && cp != 0x130 && cp != 0x131 && cp != 0x138 && cp != 0x149 &&
                     cp != 0x178 && cp != 0x17F) {
                // Latin Extended-A pairs: upper case on one parity, depending on the block.
                const bool oddUpper = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
                if ((cp % 2 == 1) == oddUpper)
                    cp += 1;
            }
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
            ++i;
            continue;
        }
        out += char(c);
    }
    return out;
}

bool SameFoldedSameSize(std::string_view a, std::string_view b)
{
    if (a == b)  // mostly written alike
        return true;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x | y) >= 0x80)  // the rest from here, where both start a character
            return FoldCase(a.substr(i)) == FoldCase(b.substr(i));
        if (x != y && (x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y))
            return false;
    }
    return true;
}

}  // namespace wb::detail
