#include "common/DatRow.h"

namespace {

void AppendCell(std::string& out, std::string_view value)
{
    std::size_t n = value.size();
    do {
        char b = static_cast<char>(n & 0x7F);
        n >>= 7;
        if (n)
            b = static_cast<char>(b | 0x80);
        out += b;
    } while (n);
    out.append(value);
}

}  // namespace

DatRow::DatRow(const std::vector<std::string>& words, std::size_t first)
{
    std::size_t size = 0;
    for (std::size_t i = first; i < words.size(); ++i)
        size += words[i].size() + 1;
    packed_.reserve(size);
    for (std::size_t i = first; i < words.size(); ++i)
        AppendCell(packed_, words[i]);
}

std::string_view DatRow::Next(std::size_t& pos) const
{
    if (pos >= packed_.size())
        return {};
    std::size_t n = 0;
    for (int shift = 0; pos < packed_.size(); shift += 7) {
        const auto b = static_cast<unsigned char>(packed_[pos++]);
        n |= static_cast<std::size_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    const std::string_view cell = std::string_view(packed_).substr(pos, n);
    pos += n;
    return cell;
}

std::string_view DatRow::Cell(int c) const
{
    std::size_t pos = 0;
    for (int i = 0; i < c && pos < packed_.size(); ++i)
        Next(pos);
    return Next(pos);
}

void DatRow::setCell(int c, std::string_view value)
{
    if (c < 0)
        return;
    std::size_t pos = 0;
    int i = 0;
    for (; i < c && pos < packed_.size(); ++i)
        Next(pos);
    for (; i < c; ++i) {
        packed_ += '\0';  // an empty cell
        pos = packed_.size();
    }
    std::string rest;
    if (pos < packed_.size()) {
        std::size_t after = pos;
        Next(after);
        rest = packed_.substr(after);
    }
    packed_.resize(pos);
    AppendCell(packed_, value);
    packed_ += rest;
}
