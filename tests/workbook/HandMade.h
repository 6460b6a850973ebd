#pragma once
// Files built byte by byte, for the workbook tests and the fuzz targets (no
// test framework here): little-endian fields, deflate runs, zip packages and
// the parts every .xlsx and .xlsb package holds.
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

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

// Raw deflate data (as a zip stores it) of head + `fill` blanks + tail, made a
// megabyte at a time so that a bomb never sits whole in memory.
inline std::string DeflateRun(const std::string& head, size_t fill, const std::string& tail)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_RLE);
    std::string out;
    auto feed = [&](const std::string& data, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = uInt(data.size());
        do {
            char buf[65536];
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, flush);
            out.append(buf, sizeof buf - z.avail_out);
        } while (z.avail_out == 0);
    };
    feed(head, Z_NO_FLUSH);
    const std::string blanks(1 << 20, ' ');
    for (; fill > blanks.size(); fill -= blanks.size())
        feed(blanks, Z_NO_FLUSH);
    feed(blanks.substr(0, fill) + tail, Z_FINISH);
    deflateEnd(&z);
    return out;
}

inline uint32_t Crc32(const std::string& s)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(s.data()), uInt(s.size())));
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

// The bytes of a zip of `members`. With `zip64`, sizes and offsets stand in
// zip64 fields, as writers that stream their output put them.
inline std::string Zip(const std::vector<Member>& members, bool zip64 = false)
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
    const size_t n = members.size(), at = out.size(), end64 = at + central.size();
    out += central;
    if (zip64)  // the zip64 end record and its locator; the classic end record then says "see there"
        out += Le<4>(0x06064b50) + Le<8>(44) + Le<2>(45, 45) + Le<4>(0, 0) + Le<8>(n, n, central.size(), at) +
               Le<4>(0x07064b50, 0) + Le<8>(end64) + Le<4>(1);
    return out + Le<4>(0x06054b50, 0) + Le<2>(zip64 ? 0xFFFF : n, zip64 ? 0xFFFF : n) +
           Le<4>(zip64 ? full : central.size(), zip64 ? full : at) + Le<2>(0);
}

inline const char kContentTypes[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/></Types>)";

// A relationships part: rId1, rId2, ... of each link's type (the last word of
// its URI) and target.
inline std::string Rels(const std::vector<std::pair<std::string, std::string>>& links)
{
    std::string s =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    for (size_t i = 0; i < links.size(); ++i)
        s += "<Relationship Id=\"rId" + std::to_string(i + 1) +
             "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + links[i].first +
             "\" Target=\"" + links[i].second + "\"/>";
    return s + "</Relationships>";
}

// An .xlsb package of the given parts, empty ones left out: the sheets are
// rId1, rId2, ..., the first linked relative to xl/, the others absolute.
inline std::string XlsbPackage(const std::string& workbook, const std::vector<std::string>& sheets,
                               const std::string& sst = "", const std::string& styles = "")
{
    std::vector<std::pair<std::string, std::string>> links, parts = {{"xl/workbook.bin", workbook}};
    for (size_t i = 0; i < sheets.size(); ++i) {
        const std::string name = "worksheets/sheet" + std::to_string(i + 1) + ".bin";
        links.push_back({"worksheet", i ? "/xl/" + name : name});
        parts.push_back({"xl/" + name, sheets[i]});
    }
    links.insert(links.end(), {{"sharedStrings", "sharedStrings.bin"}, {"styles", "styles.bin"}});
    parts.insert(parts.end(), {{"xl/sharedStrings.bin", sst}, {"xl/styles.bin", styles}});
    std::vector<Member> members = {Stored("[Content_Types].xml", kContentTypes),
                                   Stored("xl/_rels/workbook.bin.rels", Rels(links))};
    for (const auto& [name, data] : parts)
        if (!data.empty())
            members.push_back(Stored(name, data));
    return Zip(members);
}

}  // namespace testjson
