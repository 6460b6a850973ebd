// Damaged and foreign files: every one must give a wb::Error that names the
// file, never a crash, a hang or another exception. Runs under the sanitizers
// with ./test, so a read past a buffer fails here too.
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(TEST_DATA_DIR) / "workbook" / "fixtures";

// One source per reader and writer family.
const char* const kSources[] = {
    "form/libreoffice.xls", "form/gnumeric-biff5.xls", "form/xlsxwriter.xlsx",
    "form/libreoffice.xlsx", "form/libreoffice.ods", "form/gnumeric.ods",
};

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path TempPath(const std::string& name)
{
    fs::path dir = fs::path(testing::TempDir()) / ("wbdamage-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

void WriteFile(const fs::path& p, const std::string& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

enum class Outcome { Read, Refused };

// Opens the file and reads what a harvest would: every name, a block of
// every sheet. Any failure must be a wb::Error naming the file.
Outcome Exercise(const fs::path& path)
{
    try {
        auto book = wb::Workbook::Open(path.string());
        for (const wb::DefinedName& n : book->Names()) {
            try {
                wb::Range r = book->Resolve(n.name);
                for (int row = r.firstRow; row <= r.lastRow && row < r.firstRow + 50; ++row)
                    for (int col = r.firstCol; col <= r.lastCol && col < r.firstCol + 20; ++col)
                        (void)book->Cell(r.sheet, row, col).Text();
            } catch (const wb::Error& e) {
                if (std::string(e.what()).find(path.string()) == std::string::npos &&
                    std::string(e.what()).find(n.name) == std::string::npos)
                    ADD_FAILURE() << path << ": name " << n.name << ": " << e.what();
            }
        }
        for (size_t s = 0; s < book->SheetNames().size(); ++s)
            for (int row = 0; row < 30; ++row)
                for (int col = 0; col < 8; ++col) (void)book->Cell(int(s), row, col).Text();
        return Outcome::Read;
    } catch (const wb::Error& e) {
        EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos)
            << "the message should name the file: " << e.what();
        return Outcome::Refused;
    } catch (const std::exception& e) {
        ADD_FAILURE() << path << ": not a wb::Error: " << e.what();
        return Outcome::Refused;
    }
}

class Damage : public testing::TestWithParam<const char*> {};

TEST_P(Damage, TruncatedCopiesAreRefusedOrRead)
{
    std::string bytes = ReadFile(kFixtures / GetParam());
    ASSERT_GT(bytes.size(), 1000u);
    fs::path copy = TempPath("truncated" + fs::path(GetParam()).extension().string());
    size_t step = std::max<size_t>(1, bytes.size() / 60);
    int refused = 0;
    for (size_t len = 0; len < bytes.size(); len += step) {
        WriteFile(copy, bytes.substr(0, len));
        SCOPED_TRACE("first " + std::to_string(len) + " bytes of " + GetParam());
        refused += Exercise(copy) == Outcome::Refused;
    }
    // The container's directory sits at the end of a zip and is spread over a
    // compound file: most truncated copies cannot be read.
    EXPECT_GT(refused, 30);
    WriteFile(copy, bytes);
    EXPECT_EQ(Exercise(copy), Outcome::Read);
}

TEST_P(Damage, BitFlippedCopiesAreRefusedOrRead)
{
    std::string bytes = ReadFile(kFixtures / GetParam());
    fs::path copy = TempPath("flipped" + fs::path(GetParam()).extension().string());
    std::mt19937 random(12345);  // fixed: a failure must be repeatable
    for (int round = 0; round < 120; ++round) {
        std::string damaged = bytes;
        int flips = 1 + round % 8;
        for (int i = 0; i < flips; ++i) {
            size_t at = random() % damaged.size();
            damaged[at] = char(damaged[at] ^ (1u << (random() % 8)));
        }
        WriteFile(copy, damaged);
        SCOPED_TRACE("round " + std::to_string(round) + " of " + GetParam());
        Exercise(copy);
    }
}

TEST_P(Damage, OverwrittenRunsAreRefusedOrRead)
{
    // Lengths and counts set to extremes: runs of 0xFF and 0x00.
    std::string bytes = ReadFile(kFixtures / GetParam());
    fs::path copy = TempPath("overwritten" + fs::path(GetParam()).extension().string());
    std::mt19937 random(777);
    for (int round = 0; round < 60; ++round) {
        std::string damaged = bytes;
        size_t at = random() % damaged.size();
        size_t len = std::min<size_t>(1 + random() % 4, damaged.size() - at);
        for (size_t i = 0; i < len; ++i) damaged[at + i] = round % 2 ? '\xff' : '\0';
        WriteFile(copy, damaged);
        SCOPED_TRACE("round " + std::to_string(round) + " of " + GetParam());
        Exercise(copy);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Damage, testing::ValuesIn(kSources),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

void ExpectRefused(const fs::path& path)
{
    SCOPED_TRACE(path.string());
    EXPECT_EQ(Exercise(path), Outcome::Refused);
}

TEST(Foreign, EmptyFile)
{
    fs::path p = TempPath("empty.xls");
    WriteFile(p, "");
    ExpectRefused(p);
}

TEST(Foreign, HtmlNamedXls)
{
    fs::path p = TempPath("report.xls");
    WriteFile(p, "<html><head><meta charset=\"utf-8\"></head><body><table>"
                 "<tr><td>Name</td><td>1</td></tr></table></body></html>\n");
    ExpectRefused(p);
}

TEST(Foreign, TextAndShortFiles)
{
    const std::string contents[] = {
        "a,b,c\n1,2,3\n", "PK", "PK\x03\x04", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1",
        std::string(512, '\0'), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(600, '\xff'),
    };
    int i = 0;
    for (const auto& c : contents) {
        fs::path p = TempPath("short" + std::to_string(i++) + ".xlsx");
        WriteFile(p, c);
        ExpectRefused(p);
    }
}

TEST(Foreign, Directory)
{
    fs::path p = TempPath("folder.xls");
    fs::create_directories(p);
    ExpectRefused(p);
}

TEST(Foreign, MissingFile)
{
    ExpectRefused(TempPath("no such workbook.xlsx"));
}

// Zips made by hand, so a bomb needs neither a gigabyte in memory nor the
// time to compress one: its member is a raw deflate stream of fixed-Huffman
// "repeat the last byte 258 times" codes.
class BitWriter {
public:
    void Put(uint32_t bits, int count)  // LSB first, as deflate packs
    {
        for (int i = 0; i < count; ++i) {
            cur_ |= ((bits >> i) & 1u) << used_;
            if (++used_ == 8) Flush();
        }
    }
    void PutCode(uint32_t code, int count)  // Huffman codes go MSB first
    {
        for (int i = count - 1; i >= 0; --i) Put((code >> i) & 1u, 1);
    }
    void Literal(unsigned char c)
    {
        if (c < 144) PutCode(0x30 + c, 8);
        else PutCode(0x190 + (c - 144), 9);
    }
    std::string Finish()
    {
        if (used_) Flush();
        return std::move(out_);
    }

private:
    void Flush()
    {
        out_ += char(cur_);
        cur_ = 0;
        used_ = 0;
    }
    std::string out_;
    uint32_t cur_ = 0;
    int used_ = 0;
};

// Deflate data for head + `fill` spaces + tail.
std::string DeflateRun(const std::string& head, size_t fill, const std::string& tail)
{
    BitWriter w;
    w.Put(1, 1);  // last block
    w.Put(1, 2);  // fixed Huffman codes
    for (unsigned char c : head) w.Literal(c);
    if (fill) {
        w.Literal(' ');
        size_t left = fill - 1;
        for (; left >= 258; left -= 258) {
            w.PutCode(0xC5, 8);  // length 258 (code 285)
            w.PutCode(0, 5);     // distance 1
        }
        for (; left; --left) w.Literal(' ');
    }
    for (unsigned char c : tail) w.Literal(c);
    w.PutCode(0, 7);  // end of block
    return w.Finish();
}

uint32_t Crc32(const std::string& s)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : s) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

struct Member {
    std::string name;
    std::string data;        // as stored in the zip
    uint16_t method = 0;     // 0 stored, 8 deflated
    uint32_t crc = 0;
    uint32_t size = 0;       // uncompressed size as declared
};

Member Stored(const std::string& name, const std::string& text)
{
    return {name, text, 0, Crc32(text), uint32_t(text.size())};
}

void WriteZip(const fs::path& path, const std::vector<Member>& members)
{
    auto u16 = [](std::string& s, uint16_t v) { s += char(v & 0xFF); s += char(v >> 8); };
    auto u32 = [&](std::string& s, uint32_t v) { u16(s, uint16_t(v)); u16(s, uint16_t(v >> 16)); };
    std::string out, central;
    for (const Member& m : members) {
        uint32_t offset = uint32_t(out.size());
        u32(out, 0x04034b50);
        u16(out, 20), u16(out, 0), u16(out, m.method), u16(out, 0), u16(out, 0x21);
        u32(out, m.crc), u32(out, uint32_t(m.data.size())), u32(out, m.size);
        u16(out, uint16_t(m.name.size())), u16(out, 0);
        out += m.name;
        out += m.data;
        u32(central, 0x02014b50);
        u16(central, 20), u16(central, 20), u16(central, 0), u16(central, m.method);
        u16(central, 0), u16(central, 0x21);
        u32(central, m.crc), u32(central, uint32_t(m.data.size())), u32(central, m.size);
        u16(central, uint16_t(m.name.size())), u16(central, 0), u16(central, 0);
        u16(central, 0), u16(central, 0), u32(central, 0), u32(central, offset);
        central += m.name;
    }
    uint32_t centralAt = uint32_t(out.size());
    out += central;
    u32(out, 0x06054b50);
    u16(out, 0), u16(out, 0), u16(out, uint16_t(members.size())), u16(out, uint16_t(members.size()));
    u32(out, uint32_t(central.size())), u32(out, centralAt), u16(out, 0);
    WriteFile(path, out);
}

const char kContentTypes[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/></Types>)";
const char kRootRels[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";
const char kWorkbook[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets><definedNames><definedName name="Big">Sheet1!$A$1:$A$3</definedName></definedNames></workbook>)";
const char kWorkbookRels[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/></Relationships>)";

const char kSheetHead[] =
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)";
const char kSheetTail[] = "</sheetData></worksheet>";

// The sheet is deflated; `declared` is the size its headers claim (0: the true size).
std::vector<Member> XlsxMembers(const std::string& sheetHead, size_t fill,
                                const std::string& sheetTail, uint32_t declared = 0)
{
    Member sheet{"xl/worksheets/sheet1.xml", DeflateRun(sheetHead, fill, sheetTail), 8, 0, 0};
    size_t size = sheetHead.size() + fill + sheetTail.size();
    if (size < 100000) sheet.crc = Crc32(sheetHead + std::string(fill, ' ') + sheetTail);
    sheet.size = declared ? declared : uint32_t(size);
    return {Stored("[Content_Types].xml", kContentTypes), Stored("_rels/.rels", kRootRels),
            Stored("xl/workbook.xml", kWorkbook),
            Stored("xl/_rels/workbook.xml.rels", kWorkbookRels), std::move(sheet)};
}

TEST(Foreign, HandMadeXlsxIsRead)
{
    // The bomb below differs from this only in its sheet, so a refusal there
    // is about the size and not about the package.
    fs::path p = TempPath("small.xlsx");
    WriteZip(p, XlsxMembers(std::string(kSheetHead) + R"(<row r="1"><c r="A1"><v>7</v></c></row>)",
                            1000, kSheetTail));
    ASSERT_EQ(Exercise(p), Outcome::Read);
    auto book = wb::Workbook::Open(p.string());
    EXPECT_EQ(book->Cell(0, 0, 0).Text(), "7");
    EXPECT_EQ(book->Resolve("Big").Rows(), 3);
}

// More than any form's sheet holds, and past the readers' bound on a part.
constexpr size_t kBombSize = size_t(300) << 20;

TEST(Foreign, ZipBombMemberIsRefused)
{
    // A worksheet that inflates from about 2 MB to 300 MiB of blanks inside the
    // sheet data, its size declared truly.
    fs::path p = TempPath("bomb.xlsx");
    WriteZip(p, XlsxMembers(kSheetHead, kBombSize, kSheetTail));
    EXPECT_LT(fs::file_size(p), 8u << 20);
    ExpectRefused(p);
}

TEST(Foreign, ZipBombWithLyingSizeIsRefused)
{
    // The same bomb whose headers claim 5000 bytes: inflating must still stop.
    fs::path p = TempPath("liar.xlsx");
    WriteZip(p, XlsxMembers(kSheetHead, kBombSize / 2, kSheetTail, 5000));
    ExpectRefused(p);
}

}  // namespace

namespace {

// Inputs the fuzzers once crashed on (tests/fuzz/regressions/): each must now
// be refused or read.
TEST(FuzzRegressions, EveryReproducerIsRefusedOrRead)
{
    fs::path dir = fs::path(SOURCE_DIR) / "tests" / "fuzz" / "regressions";
    if (!fs::exists(dir)) GTEST_SKIP() << "no reproducers";
    for (const auto& f : fs::directory_iterator(dir)) {
        if (f.path().extension() == ".md") continue;
        fs::path copy = TempPath("reproducer" + f.path().extension().string());
        fs::copy_file(f.path(), copy, fs::copy_options::overwrite_existing);
        SCOPED_TRACE(f.path().filename().string());
        Exercise(copy);
    }
}

}  // namespace
