// Record-level behaviour of the .xls reader on hand-built workbook streams:
// CONTINUE handling, code pages, and damage that must become a clear error.
#include "workbook/BiffText.h"
#include "workbook/Compound.h"
#include "workbook/Reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using wb::CellType;
using wb::detail::OpenXls;
using wb::detail::SheetCells;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, unsigned v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutF64(Bytes& b, double d)
{
    uint8_t raw[8];
    std::memcpy(raw, &d, 8);
    b.insert(b.end(), raw, raw + 8);
}
void PutText(Bytes& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }

// A workbook stream built record by record; BOUNDSHEET offsets are patched
// once the sheet's position is known.
class StreamBuilder {
public:
    explicit StreamBuilder(int biff = 8) : biff_(biff) {}

    StreamBuilder& Rec(uint16_t type, const Bytes& body)
    {
        Put16(s_, type);
        Put16(s_, unsigned(body.size()));
        s_.insert(s_.end(), body.begin(), body.end());
        return *this;
    }
    StreamBuilder& Bof(uint16_t dt)
    {
        Bytes b;
        Put16(b, biff_ == 8 ? 0x0600 : 0x0500);
        Put16(b, dt);
        b.resize(biff_ == 8 ? 16 : 8, 0);
        return Rec(0x0809, b);
    }
    StreamBuilder& Eof() { return Rec(0x000A, {}); }
    StreamBuilder& BoundSheet(const char* name)
    {
        Bytes b;
        patch_.push_back(s_.size() + 4);
        Put32(b, 0);
        b.push_back(0);  // visible
        b.push_back(0);  // worksheet
        b.push_back(uint8_t(std::strlen(name)));
        if (biff_ == 8) b.push_back(0);
        PutText(b, name);
        return Rec(0x0085, b);
    }
    // Marks where sheet `i` (in BOUNDSHEET order) starts: the next record.
    StreamBuilder& SheetStartsHere(size_t i, uint32_t shift = 0)
    {
        const uint32_t at = uint32_t(s_.size()) + shift;
        std::memcpy(&s_[patch_.at(i)], &at, 4);
        return *this;
    }
    const Bytes& Data() const { return s_; }

private:
    int biff_;
    Bytes s_;
    std::vector<size_t> patch_;
};

Bytes Cell(int row, int col, int xf = 15)
{
    Bytes b;
    Put16(b, row);
    Put16(b, col);
    Put16(b, xf);
    return b;
}

class TempFiles : public ::testing::Test {
protected:
    std::string Write(const Bytes& stream, const std::string& streamName = "Workbook")
    {
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("biff_test_" + std::to_string(getpid()) + "_" + std::to_string(files_.size()) + ".xls"))
                                     .string();
        wb::detail::WriteCompoundFile(path, streamName, stream.data(), stream.size());
        files_.push_back(path);
        return path;
    }
    void TearDown() override
    {
        for (const auto& f : files_) std::remove(f.c_str());
    }

private:
    std::vector<std::string> files_;
};

// A BIFF8 workbook of one sheet whose records exercise CONTINUE.
StreamBuilder Biff8Book(const std::function<void(StreamBuilder&)>& globals,
                        const std::function<void(StreamBuilder&)>& cells)
{
    StreamBuilder sb(8);
    sb.Bof(0x0005).Rec(0x0042, {0xB0, 0x04}).BoundSheet("One");
    globals(sb);
    sb.Eof().SheetStartsHere(0).Bof(0x0010);
    cells(sb);
    sb.Eof();
    return sb;
}

using SbFn = std::function<void(StreamBuilder&)>;
const SbFn kNothing = [](StreamBuilder&) {};

TEST_F(TempFiles, SharedStringSplitAcrossContinueChangesCharacterWidth)
{
    auto sb = Biff8Book(
        [](StreamBuilder& s) {
            // SST: "abc" + "Ωz" where the CONTINUE re-sends the flag byte
            // (now 16-bit), then a string that starts in the CONTINUE itself.
            Bytes sst;
            Put32(sst, 2);
            Put32(sst, 3);
            Put16(sst, 5);
            sst.push_back(0x00);
            PutText(sst, "abc");
            Bytes cont = {0x01, 0xA9, 0x03, 'z', 0x00};
            // A rich string whose runs straddle no boundary: "hi" + 1 run.
            Put16(cont, 2);
            cont.push_back(0x08);
            Put16(cont, 1);
            PutText(cont, "hi");
            Put32(cont, 0);
            // Phonetic data is skipped too.
            Put16(cont, 1);
            cont.push_back(0x04);
            Put32(cont, 3);
            PutText(cont, "kxyz");
            s.Rec(0x00FC, sst).Rec(0x003C, cont);
        },
        [](StreamBuilder& s) {
            for (int i = 0; i < 3; ++i) {
                Bytes b = Cell(i, 0);
                Put32(b, i);
                s.Rec(0x00FD, b);
            }
        });
    auto r = OpenXls(Write(sb.Data()));
    SheetCells cells;
    r->LoadSheet(0, cells);
    EXPECT_EQ(cells.Get(0, 0)->text, "abcΩz");
    EXPECT_EQ(cells.Get(1, 0)->text, "hi");
    EXPECT_EQ(cells.Get(2, 0)->text, "k");
}

TEST_F(TempFiles, FormulaStringResultContinuedAndMulRk)
{
    auto sb = Biff8Book(kNothing, [](StreamBuilder& s) {
        Bytes f = Cell(0, 0);
        f.insert(f.end(), {0x00, 0, 0, 0, 0, 0, 0xFF, 0xFF});  // text result follows
        Put16(f, 0);
        Put32(f, 0);
        Put16(f, 0);
        s.Rec(0x0006, f);
        s.Rec(0x04BC, {0, 0, 0, 0, 0, 0});  // a SHRFMLA between them is allowed
        Bytes str;
        Put16(str, 4);
        str.push_back(0x00);
        PutText(str, "ab");
        s.Rec(0x0207, str).Rec(0x003C, {0x01, 'c', 0, 'd', 0});
        // MULRK: 1 (integer), 1.5 (double high bits), 12.34 (integer / 100)
        Bytes m;
        Put16(m, 1);
        Put16(m, 2);
        Put16(m, 15);
        Put32(m, (1u << 2) | 2);
        Put16(m, 15);
        Put32(m, 0x3FF80000u);
        Put16(m, 15);
        Put32(m, (1234u << 2) | 3);
        Put16(m, 4);
        s.Rec(0x00BD, m);
        // RK of a negative integer
        Bytes rk = Cell(2, 0);
        Put32(rk, uint32_t(-7 * 4) | 2);
        s.Rec(0x027E, rk);
    });
    auto r = OpenXls(Write(sb.Data()));
    SheetCells cells;
    r->LoadSheet(0, cells);
    EXPECT_EQ(cells.Get(0, 0)->type, CellType::Text);
    EXPECT_EQ(cells.Get(0, 0)->text, "abcd");
    EXPECT_EQ(cells.Get(1, 2)->number, 1);
    EXPECT_EQ(cells.Get(1, 3)->number, 1.5);
    EXPECT_EQ(cells.Get(1, 4)->number, 12.34);
    EXPECT_EQ(cells.Get(2, 0)->number, -7);
}

TEST_F(TempFiles, Biff5TextInItsCodePage)
{
    struct Row {
        unsigned codePage;
        uint8_t byte;
        const char* utf8;
    };
    const Row rows[] = {
        {1252, 0x80, "€"}, {1252, 0xE9, "é"}, {1251, 0xC0, "А"}, {1250, 0x8A, "Š"},
        {10000, 0x8E, "é"}, {0x8000, 0xA5, "•"}, {1253, 0xD9, "Ω"}, {850, 0x82, "é"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codePage);
        StreamBuilder sb(5);
        sb.Bof(0x0005);
        Bytes cp;
        Put16(cp, row.codePage);
        sb.Rec(0x0042, cp).BoundSheet("S").Eof().SheetStartsHere(0).Bof(0x0010);
        Bytes label = Cell(0, 0);
        Put16(label, 3);
        label.push_back('<');
        label.push_back(row.byte);
        label.push_back('>');
        sb.Rec(0x0204, label).Eof();
        auto r = OpenXls(Write(sb.Data(), "Book"));
        SheetCells cells;
        r->LoadSheet(0, cells);
        ASSERT_NE(cells.Get(0, 0), nullptr);
        EXPECT_EQ(cells.Get(0, 0)->text, std::string("<") + row.utf8 + ">");
    }
}

TEST(BiffText, Utf16AndCodePages)
{
    std::string s;
    const uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE, 'a', 0, 0x00, 0xD8};  // U+1F600, 'a', lone surrogate
    wb::detail::AppendUtf16(s, pair, 4);
    EXPECT_EQ(s, "\xF0\x9F\x98\x80" "a\xEF\xBF\xBD");
    s.clear();
    wb::detail::CodePage cp(1252);
    const uint8_t undefined[] = {'x', 0x81, 'y'};
    cp.Append(s, undefined, 3);
    EXPECT_EQ(s, "x\xEF\xBF\xBDy");
    s.clear();
    wb::detail::CodePage sjis(932);
    const uint8_t kana[] = {0x82, 0xA0, 0x82};  // "あ" then half a character
    sjis.Append(s, kana, 3);
    EXPECT_EQ(s, "あ\xEF\xBF\xBD");
}

// Each case is a damaged stream and a part of the message it must give.
struct Damage {
    const char* what;
    std::function<Bytes()> make;
    const char* message;
};

Bytes GoodStream()
{
    return Biff8Book(kNothing, [](StreamBuilder& s) {
               Bytes n = Cell(0, 0);
               PutF64(n, 2.5);
               s.Rec(0x0203, n);
           })
        .Data();
}

TEST_F(TempFiles, DamageBecomesAnErrorNamingFileAndRecord)
{
    const std::vector<Damage> cases = {
        {"encrypted",
         [] {
             StreamBuilder sb(8);
             sb.Bof(0x0005).Rec(0x002F, {1, 0, 1, 0}).BoundSheet("S").Eof();
             return sb.Data();
         },
         "encrypted"},
        {"Excel 4 BOF in a compound file",
         [] {
             StreamBuilder sb(8);
             sb.Rec(0x0409, {0, 0, 0x10, 0, 0, 0});
             return sb.Data();
         },
         "Excel 2.x-4.x workbooks are not supported"},
        {"no BOF", [] { return Bytes{0x03, 0x02, 0x00, 0x00}; }, "does not start with a BOF record"},
        {"globals without EOF",
         [] {
             StreamBuilder sb(8);
             sb.Bof(0x0005).BoundSheet("S");
             return sb.Data();
         },
         "ends inside the workbook globals"},
        {"record longer than the stream",
         [] {
             Bytes b = GoodStream();
             b.resize(b.size() - 6);  // cuts the NUMBER record
             return b;
         },
         "NUMBER record at byte"},
        {"shared string index out of range",
         [] {
             return Biff8Book(kNothing, [](StreamBuilder& s) {
                        Bytes b = Cell(0, 0);
                        Put32(b, 0);
                        s.Rec(0x00FD, b);
                    })
                 .Data();
         },
         "LABELSST record at byte"},
        {"string count larger than the SST",
         [] {
             return Biff8Book(
                        [](StreamBuilder& s) {
                            Bytes sst;
                            Put32(sst, 1);
                            Put32(sst, 1);
                            Put16(sst, 50);
                            sst.push_back(0);
                            PutText(sst, "short");
                            s.Rec(0x00FC, sst);
                        },
                        kNothing)
                 .Data();
         },
         "SST record at byte"},
        {"MULRK whose columns do not match",
         [] {
             return Biff8Book(kNothing, [](StreamBuilder& s) {
                        Bytes m;
                        Put16(m, 0);
                        Put16(m, 0);
                        Put16(m, 15);
                        Put32(m, 2);
                        Put16(m, 5);
                        s.Rec(0x00BD, m);
                    })
                 .Data();
         },
         "MULRK record at byte"},
        {"unknown error code",
         [] {
             return Biff8Book(kNothing, [](StreamBuilder& s) {
                        Bytes b = Cell(0, 0);
                        b.push_back(0x55);
                        b.push_back(1);
                        s.Rec(0x0205, b);
                    })
                 .Data();
         },
         "BOOLERR record at byte"},
        {"sheet offset past the stream",
         [] {
             StreamBuilder sb(8);
             sb.Bof(0x0005).BoundSheet("S").Eof().SheetStartsHere(0, 1000);
             return sb.Data();
         },
         "starts past the end"},
        {"sheet offset not at a BOF",
         [] {
             StreamBuilder sb(8);
             sb.Bof(0x0005).BoundSheet("S").SheetStartsHere(0).Eof();
             return sb.Data();
         },
         "does not start with a BOF record"},
        {"sheet without EOF",
         [] {
             Bytes b = GoodStream();
             b.resize(b.size() - 4);
             return b;
         },
         "ends inside sheet \"One\""},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.what);
        const std::string path = Write(d.make());
        try {
            auto r = OpenXls(path);
            SheetCells cells;
            for (size_t i = 0; i < r->sheetNames.size(); ++i) r->LoadSheet(int(i), cells);
            ADD_FAILURE() << "no error";
        } catch (const wb::Error& e) {
            const std::string msg = e.what();
            EXPECT_NE(msg.find(path), std::string::npos) << msg;
            EXPECT_NE(msg.find(d.message), std::string::npos) << msg;
        }
    }
    // The undamaged base reads.
    auto r = OpenXls(Write(GoodStream()));
    SheetCells cells;
    r->LoadSheet(0, cells);
    EXPECT_EQ(cells.Get(0, 0)->number, 2.5);
}

std::string Fixture(const std::string& name)
{
    return std::string(TEST_DATA_DIR) + "/workbook/fixtures/xls/" + name;
}

Bytes WorkbookStream(const std::string& path)
{
    wb::detail::CompoundStream s(path, {"Workbook", "Book"});
    Bytes b(s.Size());
    EXPECT_TRUE(s.Read(0, b.size(), b.data()));
    return b;
}

// Reads everything; true when it worked, false on wb::Error.
bool ReadAll(const std::string& path)
{
    try {
        auto r = OpenXls(path);
        for (size_t i = 0; i < r->sheetNames.size(); ++i) {
            SheetCells cells;
            r->LoadSheet(int(i), cells);
        }
        return true;
    } catch (const wb::Error&) {
        return false;
    }
}

TEST_F(TempFiles, EveryCutOfARealStreamIsAnError)
{
    for (const char* name : {"form_lo8.xls", "form_gn5.xls"}) {
        SCOPED_TRACE(name);
        const Bytes full = WorkbookStream(Fixture(name));
        ASSERT_GT(full.size(), 100u);
        ASSERT_TRUE(ReadAll(Write(full, "Workbook")));
        // Cut inside every record: at its header and inside its body.
        for (size_t pos = 0; pos + 4 <= full.size();) {
            const size_t len = full[pos + 2] | (full[pos + 3] << 8);
            for (size_t cut : {pos + 2, pos + 4 + len / 2}) {
                if (cut >= full.size()) continue;
                Bytes part(full.begin(), full.begin() + long(cut));
                EXPECT_FALSE(ReadAll(Write(part))) << "cut at " << cut;
            }
            pos += 4 + len;
        }
    }
}

TEST_F(TempFiles, ScrambledStreamsNeverCrash)
{
    const Bytes full = WorkbookStream(Fixture("form_gn8.xls"));
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    int failures = 0;
    for (int round = 0; round < 150; ++round) {
        Bytes b = full;
        for (int k = 0; k < 4; ++k) b[(next() >> 8) % b.size()] = uint8_t(next() >> 16);
        failures += ReadAll(Write(b)) ? 0 : 1;
    }
    // Most flips land in cell data and read; some break structure.
    RecordProperty("failures", failures);
}

TEST(BiffFiles, DamagedAndUnsupportedFilesGiveClearErrors)
{
    struct Row {
        const char* file;
        const char* message;
    };
    const Row rows[] = {
        {"encrypted_lo8.xls", "encrypted"},
        {"excel4.xls", "Excel 2.x-4.x workbooks are not supported"},
        {"truncated_header.xls", "not a readable compound file"},
        {"truncated_half.xls", ""},
        {"loop_chain.xls", "the compound file is damaged"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string path = Fixture(row.file);
        testing::internal::CaptureStderr();
        bool threw = false;
        try {
            auto r = OpenXls(path);
            SheetCells cells;
            for (size_t i = 0; i < r->sheetNames.size(); ++i) r->LoadSheet(int(i), cells);
        } catch (const wb::Error& e) {
            threw = true;
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << e.what();
        }
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(threw);
        EXPECT_EQ(err, "") << "libgsf spoke on stderr";
    }
}

}  // namespace
