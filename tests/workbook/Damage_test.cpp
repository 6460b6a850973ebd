// Damaged and foreign files: every one must give a wb::Error that names the
// file, never a crash, a hang or another exception. Runs under the sanitizers
// with ./test, so a read past a buffer fails here too.
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <zip.h>

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

// A zip member's bytes: given text, or a head, `fill` spaces and a tail made
// as libzip asks for them (a bomb never sits whole in memory).
struct Member {
    std::string name;
    std::string head;
    size_t fill = 0;
    std::string tail;
};

struct MemberState {
    const Member* m;
    size_t pos;
};

zip_int64_t MemberSource(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    auto* st = static_cast<MemberState*>(userdata);
    const Member& m = *st->m;
    size_t total = m.head.size() + m.fill + m.tail.size();
    switch (cmd) {
    case ZIP_SOURCE_OPEN: st->pos = 0; return 0;
    case ZIP_SOURCE_READ: {
        auto* out = static_cast<char*>(data);
        size_t n = 0;
        while (n < len && st->pos < total) {
            size_t p = st->pos;
            if (p < m.head.size()) {
                size_t k = std::min<size_t>(len - n, m.head.size() - p);
                std::memcpy(out + n, m.head.data() + p, k);
                n += k;
                st->pos += k;
            } else if (p < m.head.size() + m.fill) {
                size_t k = std::min<size_t>(len - n, m.head.size() + m.fill - p);
                std::memset(out + n, ' ', k);
                n += k;
                st->pos += k;
            } else {
                size_t q = p - m.head.size() - m.fill;
                size_t k = std::min<size_t>(len - n, m.tail.size() - q);
                std::memcpy(out + n, m.tail.data() + q, k);
                n += k;
                st->pos += k;
            }
        }
        return zip_int64_t(n);
    }
    case ZIP_SOURCE_CLOSE: return 0;
    case ZIP_SOURCE_STAT: {
        auto* sb = static_cast<zip_stat_t*>(data);
        zip_stat_init(sb);
        sb->size = total;
        sb->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR: return 0;
    case ZIP_SOURCE_FREE: delete st; return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default: return -1;
    }
}

void WriteZip(const fs::path& path, const std::vector<Member>& members)
{
    fs::remove(path);
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_TRUE(z);
    for (const Member& m : members) {
        zip_source_t* src = zip_source_function(z, MemberSource, new MemberState{&m, 0});
        ASSERT_TRUE(src);
        zip_int64_t idx = zip_file_add(z, m.name.c_str(), src, ZIP_FL_OVERWRITE);
        ASSERT_GE(idx, 0);
        zip_set_file_compression(z, zip_uint64_t(idx), ZIP_CM_DEFLATE, 1);
    }
    ASSERT_EQ(zip_close(z), 0) << zip_strerror(z);
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

std::vector<Member> XlsxMembers(std::string sheetHead, size_t fill, std::string sheetTail)
{
    return {{"[Content_Types].xml", kContentTypes, 0, ""},
            {"_rels/.rels", kRootRels, 0, ""},
            {"xl/workbook.xml", kWorkbook, 0, ""},
            {"xl/_rels/workbook.xml.rels", kWorkbookRels, 0, ""},
            {"xl/worksheets/sheet1.xml", std::move(sheetHead), fill, std::move(sheetTail)}};
}

TEST(Foreign, HandMadeXlsxIsRead)
{
    // The bomb below differs from this only in its sheet, so a refusal there
    // is about the size and not about the package.
    fs::path p = TempPath("small.xlsx");
    WriteZip(p, XlsxMembers(std::string(kSheetHead) + R"(<row r="1"><c r="A1"><v>7</v></c></row>)",
                            1000, kSheetTail));
    auto book = wb::Workbook::Open(p.string());
    EXPECT_EQ(book->Cell(0, 0, 0).Text(), "7");
    EXPECT_EQ(book->Resolve("Big").Rows(), 3);
}

constexpr size_t kBombSize = size_t(1) << 30;

TEST(Foreign, ZipBombMemberIsRefused)
{
    // A worksheet that inflates from about 1 MB to 1 GiB of blanks inside the
    // sheet data: more than any form holds.
    fs::path p = TempPath("bomb.xlsx");
    WriteZip(p, XlsxMembers(kSheetHead, kBombSize, kSheetTail));
    EXPECT_LT(fs::file_size(p), 4u << 20);
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
