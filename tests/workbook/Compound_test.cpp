// The compound file reader against files built here byte by byte: both
// sector sizes, streams in regular sectors and in the mini stream, in a row
// and scattered, and every kind of damage a hostile file can carry.
#include "tests/workbook/Json.h"
#include "workbook/Compound.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testjson;

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatSect = 0xFFFFFFFD;

// A compound file as a writer lays it out: FAT sectors, the directory (one
// sector), the mini FAT (one sector), the mini stream, then the streams of
// 4096 bytes and more. `scatter` stores every chain backwards.
struct Built {
    std::string bytes;
    uint32_t size = 512, dir = 0;               // sector size; the directory's sector, the mini FAT's after it
    std::vector<std::vector<uint32_t>> chains;  // of each stream: regular or mini sectors
    std::vector<uint32_t> miniStreamChain;
    size_t Sector(uint32_t n) const { return size_t(n + 1) * size; }
    size_t Fat(uint32_t n) const { return size + 4 * size_t(n); }  // the FAT's sectors come first
    size_t MiniFat(uint32_t n) const { return Sector(dir + 1) + 4 * n; }
    size_t Entry(int id) const { return Sector(dir) + 128 * size_t(id); }
    void Put(size_t at, uint32_t v) { bytes.replace(at, 4, Le<4>(v)); }
};

Built Build(uint32_t shift, const std::vector<std::pair<std::string, std::string>>& streams, bool scatter = false)
{
    Built b;
    const uint32_t S = b.size = 1u << shift;
    auto count = [](size_t n, uint32_t unit) { return uint32_t((n + unit - 1) / unit); };
    // Appends `data` to `area` in sectors of `unit` bytes chained in `table`; the chain's start.
    auto store = [&](std::string& area, std::vector<uint32_t>& table, const std::string& data, uint32_t unit,
                     std::vector<uint32_t>& chain) {
        const uint32_t n = count(data.size(), unit), first = uint32_t(table.size());
        table.resize(first + n);
        area.resize(size_t(first + n) * unit, '\0');
        for (uint32_t k = 0; k < n; ++k)
            chain.push_back(first + (scatter ? n - 1 - k : k));
        for (uint32_t k = 0; k < n; ++k) {
            table[chain[k]] = k + 1 < n ? chain[k + 1] : kEnd;
            const std::string part = data.substr(size_t(k) * unit, unit);
            area.replace(size_t(chain[k]) * unit, part.size(), part);
        }
        return n ? chain[0] : kEnd;
    };
    std::string mini;
    std::vector<uint32_t> miniFat, fat, start(streams.size(), kEnd);
    b.chains.resize(streams.size());
    uint32_t others = 2;  // sectors besides the FAT's: the directory, the mini FAT, the streams
    for (size_t i = 0; i < streams.size(); ++i)
        if (streams[i].second.size() < 4096)
            start[i] = store(mini, miniFat, streams[i].second, 64, b.chains[i]);
        else
            others += count(streams[i].second.size(), S);
    // Each FAT sector chains S / 4 sectors, itself included.
    const uint32_t fatCount = count(others + count(mini.size(), S), S / 4 - 1);
    fat.assign(fatCount, kFatSect);
    fat.push_back(kEnd), fat.push_back(kEnd);  // the directory, the mini FAT
    std::string body(fat.size() * S, '\0');
    const uint32_t rootStart = store(body, fat, mini, S, b.miniStreamChain);
    for (size_t i = 0; i < streams.size(); ++i)
        if (streams[i].second.size() >= 4096)
            start[i] = store(body, fat, streams[i].second, S, b.chains[i]);
    fat.resize(size_t(fatCount) * (S / 4), kFree);
    const bool hasMini = !miniFat.empty();
    miniFat.resize(S / 4, kFree);
    // Header: signature, versions, sector sizes, counts and the first 109 FAT sectors.
    std::string& o = b.bytes.assign("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1").append(0x10, '\0');
    o += Le<2>(0x3E, shift == 12 ? 4 : 3, 0xFFFE, shift, 6) + std::string(10, '\0');
    o += Le<4>(fatCount, fatCount, 0, 4096, hasMini ? fatCount + 1 : kEnd, hasMini, kEnd, 0);
    for (uint32_t k = 0; k < 109; ++k)
        o += Le<4>(k < fatCount ? k : kFree);
    o.resize(S, '\0');
    o += body;
    b.dir = fatCount;
    for (uint32_t k = 0; k < fat.size(); ++k)
        b.Put(b.Fat(k), fat[k]);
    for (uint32_t k = 0; k < miniFat.size(); ++k)
        b.Put(b.MiniFat(k), miniFat[k]);
    // Directory: the root, then the streams as a chain of right siblings.
    for (size_t e = 0; e < S / 128; ++e)
        o.replace(b.Entry(int(e)) + 0x44, 12, Le<4>(kFree, kFree, kFree));
    auto entry = [&](int id, const std::string& name, uint8_t type, uint32_t first, uint64_t size, uint32_t next) {
        const size_t at = b.Entry(id);
        for (size_t i = 0; i < name.size(); ++i)
            o[at + 2 * i] = name[i];  // UTF-16, the high bytes left 0
        o[at + 0x40] = char(2 * name.size() + 2);
        o[at + 0x42] = char(type);
        b.Put(at + (type == 5 ? 0x4C : 0x48), next);  // the root's child, a stream's right sibling
        o.replace(at + 0x74, 8, Le<4>(first, size));
    };
    entry(0, "Root Entry", 5, rootStart, mini.size(), streams.empty() ? kFree : 1);
    for (size_t i = 0; i < streams.size(); ++i)
        entry(int(i + 1), streams[i].first, 2, start[i], streams[i].second.size(),
              i + 1 < streams.size() ? uint32_t(i + 2) : kFree);
    return b;
}

std::string Pattern(size_t n, int salt)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char((i * 7 + size_t(salt) * 13 + i / 251) & 0xFF);
    return s;
}

std::string ReadStream(const std::string& path, std::initializer_list<std::string_view> names)
{
    wb::detail::CompoundStream s(path, names);
    std::string out(s.Size(), '\0');
    EXPECT_TRUE(s.Read(0, out.size(), reinterpret_cast<uint8_t*>(out.data())));
    EXPECT_FALSE(s.Read(1, out.size(), reinterpret_cast<uint8_t*>(out.data())));
    return out;
}

}  // namespace

TEST(Compound, StreamsOfEveryLayoutReadBack)
{
    // Sector size 2^shift and the stream's size: under 4096 bytes it lies in
    // the mini stream. Each in a row and scattered; the last needs many FAT sectors.
    const std::pair<uint32_t, size_t> rows[] = {{9, 10000}, {9, 3338}, {12, 70000}, {12, 1000},
                                                {9, 4096},  {9, 4095}, {9, 200000}};
    const std::string path = TempPath(".xls");
    for (const auto& [shift, size] : rows)
        for (const bool scatter : {false, true}) {
            SCOPED_TRACE(std::to_string(1 << shift) + "-byte sectors, " + std::to_string(size) + " bytes" +
                         (scatter ? ", scattered" : ""));
            const std::string other = Pattern(700, 2), book = Pattern(size, 1);
            Built b = Build(shift, {{"CompObj", other}, {"Workbook", book}}, scatter);
            WriteFile(path, b.bytes);
            EXPECT_EQ(ReadStream(path, {"Book", "Workbook"}), book);
            EXPECT_EQ(ReadStream(path, {"compobj"}), other);
            EXPECT_EQ(wb::detail::CompoundStream(path, {"WORKBOOK"}).Name(), "Workbook");
            for (const auto& [name, there] : {std::pair{"Workbook", true}, {"compobj", true}, {"Work", false}})
                EXPECT_EQ(wb::detail::CompoundHasStream(path, name), there) << name;
        }
}

TEST(Compound, DamagedFilesGiveClearErrors)
{
    // The Workbook stream is entry 1 and chain 0, of 10000 bytes in 512-byte
    // sectors unless the row says otherwise.
    struct Row {
        std::function<void(Built&)> damage;
        const char* message;
        size_t size = 10000;
        uint32_t shift = 9;
    };
    const Row rows[] = {
        {[](auto& b) { b.Put(b.Fat(b.chains[0].back()), b.chains[0][0]); }, "the Workbook stream chain loops"},
        {[](auto& b) { b.Put(b.Fat(b.chains[0][5]), b.chains[0][2]); }, "the Workbook stream chain loops", 70000, 12},
        {[](auto& b) { b.Put(b.Fat(b.chains[0][3]), kEnd); }, "the Workbook stream chain ends early"},
        {[](auto& b) { b.Put(b.Entry(1) + 0x74, 99999); }, "names sector 99999 past the end of the file"},
        {[](auto& b) { b.Put(b.Fat(b.chains[0][1]), 0xFFFFFFF0); }, "past the end of the file"},
        {[](auto& b) { b.Put(b.Entry(1) + 0x78, 0xFFFFFFF0); }, "the Workbook stream is larger than the file"},
        // The high half of the stream's size, which only 4096-byte sectors may use.
        {[](auto& b) { b.Put(b.Entry(1) + 0x7C, 0x10); }, "the Workbook stream is larger than the file", 70000, 12},
        {[](auto& b) { b.bytes.resize(b.bytes.size() - 3000); }, "past the end of the file"},
        {[](auto& b) { b.bytes.resize(b.bytes.size() - 300); }, "the file ends inside the Workbook stream"},
        {[](auto& b) { b.bytes.resize(512); }, "FAT sectors in a file of 0"},
        {[](auto& b) { b.bytes.resize(300); }, "not a readable compound file (the file ends inside its header)"},
        {[](auto& b) { b.bytes[0x1E] = 20; }, "not a readable compound file (sector size 2^20 is not 512 or 4096)"},
        {[](auto& b) { b.Put(0x2C, 0x7FFFFFFF); }, "the header counts 2147483647 FAT sectors"},
        {[](auto& b) { b.Put(0x4C, 5000); }, "FAT sector 5000 lies past the end of the file"},
        // 237 FAT sectors: 109 in the header, 127 in the first DIFAT sector,
        // whose link leads back to itself.
        {[](auto& b) {
             b.Put(0x2C, 237), b.Put(0x44, b.chains[0][0]), b.Put(0x48, 5);
             b.Put(b.Sector(b.chains[0][0]) + 508, b.chains[0][0]);
         },
         "the DIFAT chain loops", 200000},
        {[](auto& b) { b.Put(0x2C, 112); }, "the DIFAT chain ends before the FAT's sectors", 200000},
        {[](auto& b) { b.Put(b.Entry(2) + 0x44, 1); }, "the directory tree loops"},
        {[](auto& b) { b.Put(b.Entry(2) + 0x48, 70000); }, "points to entry 70000 of 4"},
        {[](auto& b) { b.bytes[b.Entry(0) + 0x42] = 1; }, "the first directory entry is not the root storage"},
        {[](auto& b) { b.Put(b.Fat(b.dir), b.dir); }, "the directory chain loops"},
        {[](auto& b) { b.Put(b.MiniFat(b.chains[0].back()), b.chains[0][0]); },
         "the Workbook stream's mini sector chain loops", 1000},
        {[](auto& b) { b.Put(b.Entry(1) + 0x74, 4000); }, "past the mini FAT", 1000},
        {[](auto& b) { b.Put(b.Entry(1) + 0x74, 100); }, "the Workbook stream lies past the end of the mini stream",
         1000},
        {[](auto& b) { b.Put(b.Fat(b.miniStreamChain.back()), b.miniStreamChain[0]); }, "the mini stream chain loops",
         1000},
        {[](auto& b) { b.Put(b.Entry(0) + 0x78, 0xFFFFFF00); }, "the mini stream is larger than the file", 1000},
        {[](auto& b) { b.Put(b.Entry(0) + 0x74, kEnd); }, "the mini stream chain ends early", 1000, 12},
        // A stream of another name, a storage of that name.
        {[](auto& b) { b.bytes[b.Entry(1)] = 'X'; }, "holds no \"Workbook\" or \"Book\" stream"},
        {[](auto& b) { b.bytes[b.Entry(1) + 0x42] = 1; }, "holds no \"Workbook\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        Built b = Build(row.shift, {{"Workbook", Pattern(row.size, 1)}, {"CompObj", Pattern(600, 3)}});
        row.damage(b);
        const std::string path = TempPath(".xls");
        WriteFile(path, b.bytes);
        ExpectError(path, row.message, [&] { wb::detail::CompoundStream s(path, {"Workbook", "Book"}); });
    }
}
