#pragma once
// Files built byte by byte, for the workbook tests and the fuzz targets (no
// test framework here): little-endian fields, deflate runs and zip packages.
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testjson {

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Little-endian fields of `Width` bytes each, as binary formats store them.
template <int Width, class... T>
std::string Le(T... values)
{
    std::string s;
    for (uint64_t v : {uint64_t(values)...})
        for (int i = 0; i < Width; ++i)
            s += char(v >> (8 * i));
    return s;
}

inline std::string F64(double v)
{
    return Le<8>(std::bit_cast<uint64_t>(v));
}

// Deflate data for head + `fill` spaces + tail: fixed-Huffman literals and
// "repeat the last byte 258 times" codes, so a bomb needs neither a gigabyte
// in memory nor the time to compress one.
inline std::string DeflateRun(const std::string& head, size_t fill, const std::string& tail)
{
    std::string out;
    uint32_t cur = 0;
    int used = 0;
    auto bit = [&](uint32_t b) {  // deflate packs bits LSB first
        cur |= b << used;
        if (++used == 8)
            out += char(cur), cur = 0, used = 0;
    };
    auto code = [&](uint32_t c, int n) {  // Huffman codes go MSB first
        for (int i = n - 1; i >= 0; --i)
            bit((c >> i) & 1u);
    };
    auto literal = [&](unsigned char c) { c < 144 ? code(0x30 + c, 8) : code(0x190 + (c - 144), 9); };
    bit(1), bit(1), bit(0);  // last block, fixed Huffman codes
    for (unsigned char c : head)
        literal(c);
    if (fill) {
        literal(' ');
        size_t left = fill - 1;
        for (; left >= 258; left -= 258)
            code(0xC5, 8), code(0, 5);  // length 258 (code 285), distance 1
        for (; left; --left)
            literal(' ');
    }
    for (unsigned char c : tail)
        literal(c);
    code(0, 7);  // end of block
    if (used)
        out += char(cur);
    return out;
}

inline uint32_t Crc32(const std::string& s)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : s) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

struct Member {
    std::string name;
    std::string data;     // as stored in the zip
    uint16_t method = 0;  // 0 stored, 8 deflated
    uint32_t crc = 0;
    uint32_t size = 0;   // uncompressed size as declared
    uint16_t flags = 0;  // general purpose bits (1: encrypted)
};

inline Member Stored(const std::string& name, const std::string& text)
{
    return {name, text, 0, Crc32(text), uint32_t(text.size())};
}

// With `zip64`, sizes and offsets stand in zip64 fields, as writers that
// stream their output put them.
inline void WriteZip(const std::string& path, const std::vector<Member>& members, bool zip64 = false)
{
    std::string out, central;
    const uint32_t full = 0xFFFFFFFF;
    for (const Member& m : members) {
        const uint32_t offset = uint32_t(out.size()), stored = uint32_t(m.data.size());
        auto common = [&](uint32_t csize, uint32_t size, uint16_t extra) {  // method to extra length
            return Le<2>(m.method, 0, 0x21) + Le<4>(m.crc, csize, size) + Le<2>(m.name.size(), extra);
        };
        out += Le<4>(0x04034b50) + Le<2>(20, m.flags) + common(stored, m.size, 0) + m.name + m.data;
        central += Le<4>(0x02014b50) + Le<2>(45, 45, m.flags) +
                   (zip64 ? common(full, full, 28) : common(stored, m.size, 0)) + Le<2>(0, 0, 0) +
                   Le<4>(0, zip64 ? full : offset) + m.name;
        if (zip64)
            central += Le<2>(1, 24) + Le<8>(m.size, stored, offset);
    }
    const size_t n = members.size(), at = out.size();
    out += central;
    if (zip64) {
        const size_t end64 = out.size();
        out += Le<4>(0x06064b50) + Le<8>(44) + Le<2>(45, 45) + Le<4>(0, 0) + Le<8>(n, n, central.size(), at);
        out += Le<4>(0x07064b50, 0) + Le<8>(end64) + Le<4>(1);
        out += Le<4>(0x06054b50, 0) + Le<2>(0xFFFF, 0xFFFF) + Le<4>(full, full) + Le<2>(0);
    } else {
        out += Le<4>(0x06054b50, 0) + Le<2>(n, n) + Le<4>(central.size(), at) + Le<2>(0);
    }
    WriteFile(path, out);
}

}  // namespace testjson
