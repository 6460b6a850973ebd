// The compound file reader against files built here byte by byte: both
// sector sizes, streams in regular sectors and in the mini stream, in a row
// and scattered, and every kind of damage a hostile file can carry.
#include "tests/workbook/Json.h"
#include "workbook/Compound.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

using namespace testjson;

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatSect = 0xFFFFFFFD;

void Put16(std::string& b, size_t at, uint16_t v)
{
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}
// A compound file as a writer lays it out: FAT sectors, the directory (one
// sector), the mini FAT (one sector), the mini stream, then the streams of
// 4096 bytes and more. `scatter` stores every chain backwards.
struct Built {
    std::string bytes;
    uint32_t size = 512;
    size_t dir = 0;  // file offset of the directory
    std::vector<uint32_t> fatSectors;
    std::vector<std::vector<uint32_t>> chains;  // of each stream: regular or mini sectors
    std::vector<uint32_t> miniStreamChain;
    size_t Sector(uint32_t n) const { return size_t(n + 1) * size; }
    size_t Fat(uint32_t n) const { return Sector(fatSectors[n / (size / 4)]) + 4 * (n % (size / 4)); }
    size_t MiniFat(uint32_t n) const { return Sector(miniFatSector) + 4 * n; }
    size_t Entry(int id) const { return dir + 128 * size_t(id); }
    uint32_t miniFatSector = 0;
};

Built Build(uint32_t shift, const std::vector<std::pair<std::string, std::string>>& streams, bool scatter = false)
{
    Built b;
    b.size = 1u << shift;
    const uint32_t S = b.size;
    auto sectorsFor = [&](size_t n, uint32_t unit) { return uint32_t((n + unit - 1) / unit); };
    // A chain of n sectors from `first` on, linked in `table`.
    auto link = [&](std::vector<uint32_t>& table, uint32_t first, uint32_t n) {
        std::vector<uint32_t> chain;
        for (uint32_t k = 0; k < n; ++k)
            chain.push_back(first + (scatter ? n - 1 - k : k));
        for (uint32_t k = 0; k < n; ++k)
            table[chain[k]] = k + 1 < n ? chain[k + 1] : kEnd;
        return chain;
    };
    std::string mini;
    std::vector<uint32_t> miniStart(streams.size(), kEnd);
    std::vector<uint32_t> miniFat;
    b.chains.resize(streams.size());
    for (size_t i = 0; i < streams.size(); ++i) {
        const std::string& data = streams[i].second;
        if (data.size() >= 4096 || data.empty())
            continue;
        const uint32_t n = sectorsFor(data.size(), 64), base = uint32_t(miniFat.size());
        miniFat.resize(base + n, kFree);
        const std::vector<uint32_t> chain = link(miniFat, base, n);
        mini.resize(size_t(base + n) * 64);
        for (uint32_t k = 0; k < n; ++k)
            mini.replace(size_t(chain[k]) * 64, std::min<size_t>(64, data.size() - k * 64), data.substr(k * 64, 64));
        miniStart[i] = chain[0];
        b.chains[i] = chain;
    }
    // Sectors: FAT, directory, mini FAT, mini stream, big streams.
    uint32_t total = 2 + 1 + sectorsFor(mini.size(), S);
    for (const auto& s : streams)
        if (s.second.size() >= 4096)
            total += sectorsFor(s.second.size(), S);
    uint32_t fatCount = 1;
    while (fatCount * (S / 4) < total + fatCount)
        ++fatCount;
    total += fatCount - 1;
    std::vector<uint32_t> fat(size_t(fatCount) * (S / 4), kFree);
    for (uint32_t k = 0; k < fatCount; ++k)
        b.fatSectors.push_back(k), fat[k] = kFatSect;
    const uint32_t dirSector = fatCount, miniFatSector = fatCount + 1;
    fat[dirSector] = kEnd;
    fat[miniFatSector] = kEnd;
    b.miniFatSector = miniFatSector;
    uint32_t next = fatCount + 2;
    auto place = [&](uint32_t n) {
        next += n;
        return link(fat, next - n, n);
    };
    b.miniStreamChain = place(sectorsFor(mini.size(), S));
    std::string& o = b.bytes.assign(size_t(total + 1) * S, '\0');
    for (size_t k = 0; k < b.miniStreamChain.size(); ++k)
        o.replace(b.Sector(b.miniStreamChain[k]), S,
                  mini.substr(k * S, S).append(S - mini.substr(k * S, S).size(), '\0'));
    std::vector<uint32_t> bigStart(streams.size(), kEnd);
    for (size_t i = 0; i < streams.size(); ++i) {
        const std::string& data = streams[i].second;
        if (data.size() < 4096)
            continue;
        const std::vector<uint32_t> chain = place(sectorsFor(data.size(), S));
        for (size_t k = 0; k < chain.size(); ++k) {
            std::string part = data.substr(k * S, S);
            o.replace(b.Sector(chain[k]), part.size(), part);
        }
        bigStart[i] = chain[0];
        b.chains[i] = chain;
    }
    // Header.
    const char sig[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    o.replace(0, 8, sig, 8);
    o.replace(0x18, 10, Le<2>(0x3E, shift == 12 ? 4 : 3, 0xFFFE, shift, 6));
    o.replace(0x2C, 32,
              Le<4>(fatCount, dirSector, 0, 4096, miniFat.empty() ? kEnd : miniFatSector, !miniFat.empty(), kEnd, 0));
    for (uint32_t k = 0; k < 109; ++k)
        Put32(o, 0x4C + 4 * k, k < fatCount ? k : kFree);
    for (size_t k = 0; k < fat.size(); ++k)
        Put32(o, b.Fat(uint32_t(k)), fat[k]);
    for (size_t k = 0; k < S / 4; ++k)
        Put32(o, b.Sector(miniFatSector) + 4 * k, k < miniFat.size() ? miniFat[k] : kFree);
    // Directory: the root, then the streams as a chain of right siblings.
    b.dir = b.Sector(dirSector);
    for (size_t e = 0; e < S / 128; ++e)
        o.replace(b.Entry(int(e)) + 0x44, 12, Le<4>(kFree, kFree, kFree));
    auto entry = [&](int id, const std::string& name, uint8_t type, uint32_t start, uint64_t size) {
        const size_t at = b.Entry(id);
        for (size_t i = 0; i < name.size(); ++i)
            Put16(o, at + 2 * i, uint8_t(name[i]));
        Put16(o, at + 0x40, uint16_t(2 * name.size() + 2));
        o[at + 0x42] = char(type);
        o.replace(at + 0x74, 8, Le<4>(start, size));
    };
    entry(0, "Root Entry", 5, mini.empty() ? kEnd : b.miniStreamChain[0], mini.size());
    if (!streams.empty())
        Put32(o, b.Entry(0) + 0x4C, 1);
    for (size_t i = 0; i < streams.size(); ++i) {
        const std::string& data = streams[i].second;
        entry(int(i + 1), streams[i].first, 2, data.size() >= 4096 ? bigStart[i] : miniStart[i], data.size());
        if (i + 1 < streams.size())
            Put32(o, b.Entry(int(i + 1)) + 0x48, uint32_t(i + 2));
    }
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
    struct Row {
        const char* what;
        uint32_t shift;
        size_t size;
        bool scatter;
    };
    const Row rows[] = {
        {"512-byte sectors, regular, in a row", 9, 10000, false},
        {"512-byte sectors, regular, scattered", 9, 10000, true},
        {"512-byte sectors, mini stream, in a row", 9, 3338, false},
        {"512-byte sectors, mini stream, scattered", 9, 3338, true},
        {"4096-byte sectors, regular, in a row", 12, 70000, false},
        {"4096-byte sectors, regular, scattered", 12, 70000, true},
        {"4096-byte sectors, mini stream", 12, 1000, false},
        {"4096-byte sectors, mini stream, scattered", 12, 1000, true},
        {"exactly the cutoff", 9, 4096, false},
        {"one byte under the cutoff", 9, 4095, true},
        {"many FAT sectors", 9, 200000, false},
    };
    const std::string path = TempPath(".xls");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string other = Pattern(700, 2), book = Pattern(row.size, 1);
        Built b = Build(row.shift, {{"CompObj", other}, {"Workbook", book}}, row.scatter);
        WriteFile(path, b.bytes);
        EXPECT_EQ(ReadStream(path, {"Book", "Workbook"}), book);
        EXPECT_EQ(ReadStream(path, {"compobj"}), other);
        EXPECT_EQ(wb::detail::CompoundStream(path, {"WORKBOOK"}).Name(), "Workbook");
    }
}

// A caller can ask which streams a file holds (an encrypted workbook holds
// "EncryptionInfo" and "EncryptedPackage" instead of "Workbook").
TEST(Compound, TellsWhichStreamsAreThere)
{
    const std::string path = TempPath(".xlsx");
    WriteFile(path, Build(9, {{"EncryptionInfo", Pattern(300, 1)}, {"EncryptedPackage", Pattern(9000, 2)}}).bytes);
    EXPECT_TRUE(wb::detail::CompoundHasStream(path, "EncryptionInfo"));
    EXPECT_TRUE(wb::detail::CompoundHasStream(path, "encryptedpackage"));
    EXPECT_FALSE(wb::detail::CompoundHasStream(path, "Workbook"));
    EXPECT_FALSE(wb::detail::CompoundHasStream(path, "Encryption"));
    try {
        wb::detail::CompoundStream s(path, {"Workbook", "Book"});
        ADD_FAILURE() << "opened";
    } catch (const wb::Error& e) {
        // A password-protected package, not a workbook without its stream.
        EXPECT_NE(std::string(e.what()).find("the workbook is encrypted"), std::string::npos) << e.what();
    }
}

TEST(Compound, DamagedFilesGiveClearErrors)
{
    using Damage = std::function<void(Built&)>;
    struct Row {
        const char* what;
        uint32_t shift;
        size_t size;
        Damage damage;
        const char* message;
    };
    const std::string big = Pattern(10000, 1), small = Pattern(1000, 1);
    const Row rows[] = {
        {"cycle in the FAT chain", 9, 10000,
         [](Built& b) { Put32(b.bytes, b.Fat(b.chains[0].back()), b.chains[0][0]); },
         "the Workbook stream chain loops"},
        {"cycle in the middle of the chain", 12, 70000,
         [](Built& b) { Put32(b.bytes, b.Fat(b.chains[0][5]), b.chains[0][2]); }, "the Workbook stream chain loops"},
        {"chain ends early", 9, 10000, [](Built& b) { Put32(b.bytes, b.Fat(b.chains[0][3]), kEnd); },
         "the Workbook stream chain ends early"},
        {"stream starts past the end", 9, 10000, [](Built& b) { Put32(b.bytes, b.Entry(1) + 0x74, 99999); },
         "names sector 99999 past the end of the file"},
        {"chain leads past the end", 9, 10000, [](Built& b) { Put32(b.bytes, b.Fat(b.chains[0][1]), 0xFFFFFFF0); },
         "past the end of the file"},
        {"stream larger than the file", 9, 10000, [](Built& b) { Put32(b.bytes, b.Entry(1) + 0x78, 0xFFFFFFF0); },
         "the Workbook stream is larger than the file"},
        {"4096-byte sectors, 64-bit size", 12, 70000, [](Built& b) { Put32(b.bytes, b.Entry(1) + 0x7C, 0x10); },
         "the Workbook stream is larger than the file"},
        {"truncated file", 9, 10000, [](Built& b) { b.bytes.resize(b.bytes.size() - 3000); },
         "past the end of the file"},
        {"truncated inside the last sector", 9, 10000, [](Built& b) { b.bytes.resize(b.bytes.size() - 300); },
         "the file ends inside the Workbook stream"},
        {"truncated to its header", 9, 10000, [](Built& b) { b.bytes.resize(512); }, "FAT sectors in a file of 0"},
        {"truncated inside its header", 9, 10000, [](Built& b) { b.bytes.resize(300); },
         "not a readable compound file (the file ends inside its header)"},
        {"unknown sector size", 9, 10000, [](Built& b) { Put16(b.bytes, 0x1E, 20); },
         "not a readable compound file (sector size 2^20 is not 512 or 4096)"},
        {"huge FAT count", 9, 10000, [](Built& b) { Put32(b.bytes, 0x2C, 0x7FFFFFFF); },
         "the header counts 2147483647 FAT sectors"},
        {"FAT sector past the end", 9, 10000, [](Built& b) { Put32(b.bytes, 0x4C, 5000); },
         "FAT sector 5000 lies past the end of the file"},
        {"DIFAT loop", 9, 200000,
         [](Built& b) {
             // 237 FAT sectors: 109 in the header, 127 in the first DIFAT
             // sector, whose link leads back to itself.
             Put32(b.bytes, 0x2C, 237);
             Put32(b.bytes, 0x44, b.chains[0][0]);
             Put32(b.bytes, 0x48, 5);
             Put32(b.bytes, b.Sector(b.chains[0][0]) + 508, b.chains[0][0]);
         },
         "the DIFAT chain loops"},
        {"DIFAT chain shorter than its count", 9, 200000, [](Built& b) { Put32(b.bytes, 0x2C, 112); },
         "the DIFAT chain ends before the FAT's sectors"},
        {"directory loop", 9, 10000, [](Built& b) { Put32(b.bytes, b.Entry(2) + 0x44, 1); },
         "the directory tree loops"},
        {"directory link past its entries", 9, 10000, [](Built& b) { Put32(b.bytes, b.Entry(2) + 0x48, 70000); },
         "points to entry 70000 of 4"},
        {"root entry missing", 9, 10000, [](Built& b) { b.bytes[b.Entry(0) + 0x42] = 1; },
         "the first directory entry is not the root storage"},
        {"directory chain loops", 9, 10000,
         [](Built& b) { Put32(b.bytes, b.Fat(uint32_t(b.dir / 512 - 1)), uint32_t(b.dir / 512 - 1)); },
         "the directory chain loops"},
        {"mini sector chain loops", 9, 1000,
         [](Built& b) { Put32(b.bytes, b.MiniFat(b.chains[0].back()), b.chains[0][0]); },
         "the Workbook stream's mini sector chain loops"},
        {"mini sector past the mini FAT", 9, 1000, [](Built& b) { Put32(b.bytes, b.Entry(1) + 0x74, 4000); },
         "past the mini FAT"},
        {"mini sector past the mini stream", 9, 1000, [](Built& b) { Put32(b.bytes, b.Entry(1) + 0x74, 100); },
         "the Workbook stream lies past the end of the mini stream"},
        {"mini stream chain loops", 9, 1000,
         [](Built& b) { Put32(b.bytes, b.Fat(b.miniStreamChain.back()), b.miniStreamChain[0]); },
         "the mini stream chain loops"},
        {"mini stream larger than the file", 9, 1000, [](Built& b) { Put32(b.bytes, b.Entry(0) + 0x78, 0xFFFFFF00); },
         "the mini stream is larger than the file"},
        {"4096-byte sectors, mini stream chain cut", 12, 1000,
         [](Built& b) { Put32(b.bytes, b.Entry(0) + 0x74, kEnd); }, "the mini stream chain ends early"},
        {"no such stream", 9, 10000, [](Built& b) { Put16(b.bytes, b.Entry(1), 'X'); },
         "holds no \"Workbook\" or \"Book\" stream"},
        {"a storage of that name", 9, 10000, [](Built& b) { b.bytes[b.Entry(1) + 0x42] = 1; }, "holds no \"Workbook\""},
    };
    const std::string path = TempPath(".xls");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // Workbook is entry 1 and chain 0, as the damage above expects.
        Built b = Build(row.shift, {{"Workbook", Pattern(row.size, 1)}, {"CompObj", Pattern(600, 3)}});
        row.damage(b);
        WriteFile(path, b.bytes);
        try {
            wb::detail::CompoundStream s(path, {"Workbook", "Book"});
            ADD_FAILURE() << "opened";
        } catch (const wb::Error& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.rfind(path + ": ", 0), 0u) << text;
            EXPECT_NE(text.find(row.message), std::string::npos) << text;
        }
    }
}
