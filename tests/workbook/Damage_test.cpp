// Damaged and foreign files: every one must give a wb::Error that names the
// file, never a crash, a hang or another exception. Runs under the sanitizers
// with ./test, so a read past a buffer fails here too.
#include "harvester/modExtractWorkbookData.h"
#include "tests/fuzz/FuzzWorkbook.h"
#include "tests/workbook/Json.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <sstream>

using namespace testjson;

// libgsf 1.14.50 leaks a directory entry when it rejects a damaged compound
// file (tests/fuzz/regressions/libgsf-dirent-leak.xls); the entry never
// reaches our code. Its stack ends in GLib, which has no frame pointers.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\n";
}

namespace {

// Reads the file as a harvest would (FuzzWorkbook.h). Any failure must be a
// wb::Error naming the file (or the name it was reading); the message of a
// refusal comes back in `message`. True when it was read.
bool Exercise(const std::string& path, std::string* message = nullptr)
{
    bool read = true;
    const auto refused = [&](const std::string& what, const wb::Error& e) {
        const std::string text = e.what();
        if (text.find(path) == std::string::npos && (what.empty() || text.find(what) == std::string::npos))
            ADD_FAILURE() << "the message should name the file: " << text;
        if (what.empty() && read && message)
            *message = text;
        read = read && !what.empty();
    };
    EXPECT_NO_THROW(fuzzwb::Exercise(path, refused)) << path << ": not a wb::Error";
    return read;
}

// One source per reader and writer family.
class Damage : public testing::TestWithParam<const char*> {};

TEST_P(Damage, TruncatedFlippedAndOverwrittenCopiesAreRefusedOrRead)
{
    const std::string bytes = ReadFile(kFixtures / GetParam());
    ASSERT_GT(bytes.size(), 1000u);
    const std::string copy = TempPath(fs::path(GetParam()).extension().string());
    int refused = 0;
    for (size_t len = 0; len < bytes.size(); len += bytes.size() / 60 + 1) {
        WriteFile(copy, bytes.substr(0, len));
        SCOPED_TRACE("first " + std::to_string(len) + " bytes");
        refused += !Exercise(copy);
    }
    // The container's directory sits at the end of a zip and is spread over a
    // compound file: most truncated copies cannot be read.
    EXPECT_GT(refused, 30);
    WriteFile(copy, bytes);
    EXPECT_TRUE(Exercise(copy));

    std::mt19937 random(12345);  // fixed: a failure must be repeatable
    for (int round = 0; round < 150; ++round) {
        std::string damaged = bytes;
        if (round % 3 == 2) {  // lengths and counts set to extremes: runs of 0xFF or 0x00
            size_t at = random() % damaged.size();
            for (size_t i = 0, len = 1 + random() % 4; i < len && at + i < damaged.size(); ++i)
                damaged[at + i] = round % 2 ? '\xff' : '\0';
        } else {
            for (int i = 0, flips = 1 + round % 8; i < flips; ++i)
                damaged[random() % damaged.size()] ^= char(1u << (random() % 8));
        }
        WriteFile(copy, damaged);
        SCOPED_TRACE("round " + std::to_string(round));
        Exercise(copy);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Damage,
                         testing::Values("form/libreoffice.xls", "form/gnumeric-biff5.xls", "form/xlsxwriter.xlsx",
                                         "form/libreoffice.xlsx", "form/libreoffice.ods", "form/gnumeric.ods",
                                         "xlsx_inline.xlsx", "codepages/932_gn5.xls", "form/sheetjs.xlsb",
                                         "dates1904/sheetjs.xlsb"),
                         ParamName<testing::TestParamInfo<const char*>>);

const char kWorkbook[] =
    R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets><definedNames><definedName name="Big">Sheet1!$A$1:$A$3</definedName></definedNames></workbook>)";
const std::string kWorkbookRels = Rels({{"worksheet", "worksheets/sheet1.xml"}});

const char kSheetHead[] = R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)";
const std::string kSheetTail = "</sheetData></worksheet>";

// A file of these bytes.
std::string Raw(const std::string& bytes, const char* ext = ".xls")
{
    const std::string path = TempPath(ext);
    WriteFile(path, bytes);
    return path;
}

// A zip of stored members, empty ones left out, as a file with extension `ext`.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& members, const char* ext = ".xlsx")
{
    std::vector<Member> stored;
    for (const auto& [name, data] : members)
        if (!data.empty())
            stored.push_back(Stored(name, data));
    return Raw(Zip(stored), ext);
}

// The parts of an .xlsx of one sheet holding `sheetData`: stored, or followed
// by `fill` blanks and deflated (a bomb's checksum left 0).
std::vector<Member> XlsxMembers(const std::string& sheetData, size_t fill = 0)
{
    const std::string head = kSheetHead + sheetData;
    Member sheet = Stored("xl/worksheets/sheet1.xml", head + kSheetTail);
    if (fill)
        sheet = {sheet.name, DeflateRun(head, fill, kSheetTail), 8,
                 fill < 100000 ? Crc32(head + std::string(fill, ' ') + kSheetTail) : 0,
                 uint32_t(head.size() + fill + kSheetTail.size())};
    return {Stored("[Content_Types].xml", kContentTypes),
            Stored("_rels/.rels", Rels({{"officeDocument", "xl/workbook.xml"}})), Stored("xl/workbook.xml", kWorkbook),
            Stored("xl/_rels/workbook.xml.rels", kWorkbookRels), sheet};
}

// An .xlsx of one sheet holding `sheetData`, and the shared strings given.
std::string XlsxWith(const std::string& sheetData, const std::string& sharedStrings = "")
{
    std::vector<Member> members = XlsxMembers(sheetData);
    if (!sharedStrings.empty())
        members.push_back(Stored("xl/sharedStrings.xml", sharedStrings));
    return Raw(Zip(members), ".xlsx");
}

// A minimal .ods from its tables and settings.xml (none when empty).
std::string MakeOds(const std::string& tables, const std::string& settings = "")
{
    return MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                    {"content.xml", R"(<office:document-content xmlns:office="o" xmlns:table="t" xmlns:text="x" )"
                                    R"(xmlns:calcext="c"><office:body><office:spreadsheet>)" +
                                        tables + "</office:spreadsheet></office:body></office:document-content>"},
                    {"settings.xml", settings}},
                   ".ods");
}

// An .ods of one table "S" holding `rows`; a row of the given cells; a row of
// one cell with the given attributes.
const auto OdsSheet = [](const std::string& rows) {
    return MakeOds("<table:table table:name=\"S\">" + rows + "</table:table>");
};
const auto OdsRow = [](const std::string& cells, const std::string& attributes = "") {
    return "<table:table-row" + attributes + ">" + cells + "</table:table-row>";
};
const auto OdsCell = [](const std::string& attributes, const std::string& rowAttributes = "") {
    return OdsRow("<table:table-cell " + attributes + "/>", rowAttributes);
};

// Every cell of a sheet, through repeats: 2.
const std::string kOdsWholeSheet =
    OdsCell(R"(table:number-columns-repeated="16384" office:value-type="float" office:value="2")",
            R"( table:number-rows-repeated="1048576")");

std::string Repeat(const std::string& unit, size_t n)
{
    std::string s;
    while (n--)
        s += unit;
    return s;
}

// Refused, with the message naming the file and saying `expected`.
void ExpectRefused(const std::string& path, const std::string& expected)
{
    SCOPED_TRACE(path);
    std::string message;
    EXPECT_FALSE(Exercise(path, &message)) << expected;
    EXPECT_NE(message.find(expected), std::string::npos) << message;
}

TEST(NonWorkbooks, ClearErrorNamingTheFile)
{
    const std::string ods = "application/vnd.oasis.opendocument.spreadsheet", repeated = " table:number-rows-repeated=";
    const std::string folder = TempPath(".xls"),
                      encrypted = "the workbook is encrypted (protected by a password to open)";
    fs::create_directories(folder);
    const std::pair<std::string, std::string> cases[] = {
        {Raw(""), "not a workbook (empty file)"},
        {Raw("<!DOCTYPE html><html><body>form</body></html>"), "not a workbook (HTML)"},
        {Raw("\xEF\xBB\xBF  <html>"), "not a workbook (HTML)"},
        {Raw("<?xml version=\"1.0\"?><Workbook/>"), "not a workbook (XML)"},
        {Raw("Name,Hours\nAnn,8\n"), "not a workbook (text)"},
        {Raw("%PDF-1.4 ..."), "not a workbook (PDF)"},
        {Raw(std::string("\x09\x08\x10\x00\x00\x06\x05\x00", 8)), "not supported"},
        {Raw(std::string("\x7f\x45\x4c\x46\x02\x01\x01\x00", 8)), "not a workbook (unknown binary format)"},
        {Raw("PK\x03\x04 truncated"), "damaged zip package"},
        {Raw("PK"), ""},
        {Raw("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(600, '\xff')), ""},
        {Raw(std::string(512, '\0')), ""},
        {Fixture("html_renamed.xls"), "html_renamed.xls: not a workbook (HTML)"},
        // Saved by LibreOffice with a password to open (fixtures/gen_encrypted.py,
        // fixtures/gen_xls.py): each format says so, not that it is damaged.
        {Fixture("encrypted/password.xlsx"), encrypted},
        {Fixture("encrypted/password.ods"), encrypted},
        {Fixture("xls/encrypted_lo8.xls"), encrypted},
        {Fixture("xls/excel4.xls"), "Excel 2.x-4.x workbooks are not supported"},
        {Fixture("xls/truncated_half.xls"), ""},
        {Fixture("xls/loop_chain.xls"), "the compound file is damaged"},
        {"/nonexistent/form.xlsx", ""},
        {folder, ""},
        // Zip packages without their workbook parts.
        {MakeZip({{"readme.txt", "hello"}}), "not a workbook (zip archive without workbook parts)"},
        {MakeZip({{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", "<a/>"}}),
         "not a workbook (OpenDocument application/vnd.oasis.opendocument.text)"},
        {MakeZip({{"mimetype", ods}, {"content.xml", "<a><b></a>"}}), "content.xml is damaged"},
        {MakeZip({{"mimetype", ods}, {"content.xml", "<a/>"}}), "content.xml holds no spreadsheet"},
        {MakeZip({{"xl/workbook.xml", "<workbook><sheets/></workbook>"}}), "the workbook has no sheets"},
        {MakeZip({{"_rels/.rels", "<Relationships/>"}}), "the part xl/workbook.xml is missing"},
        {MakeZip({{"_rels/.rels", Rels({{"officeDocument", "xl/workbook.bin"}})}, {"xl/workbook.bin", "binary"}}),
         "xl/workbook.bin: the record runs past the end of the part (105 bytes stated) (record 0x0062 at byte 0)"},
        {MakeZip({{"_rels/.rels", Rels({{"officeDocument", "/bin/book.bin"}})}, {"bin/book.bin", "binary"}}),
         "Excel binary workbook (.xlsb) whose workbook part is bin/book.bin rather than xl/workbook.bin"},
        {MakeZip({{"xl/workbook.xml", kWorkbook}, {"xl/_rels/workbook.xml.rels", kWorkbookRels}}),
         "the part xl/worksheets/sheet1.xml of sheet Sheet1 is missing"},
        // Sheet parts in error.
        {XlsxWith("<row r=\"0\"/>"), "row number 0 outside the sheet"},
        {XlsxWith("<row><c r=\"XFE1\"><v>1</v></c></row>"), "bad cell reference \"XFE1\""},
        {XlsxWith("<row><c r=\"B2\" t=\"s\"><v>7</v></c></row>"), "cell B2: shared string 7 does not exist"},
        {XlsxWith("<row><c r=\"C3\"><v>12abc</v></c></row>"), "cell C3: bad number \"12abc\""},
        {XlsxWith("<row><c r=\"C3\" t=\"d\"><v>soon</v></c></row>"), "cell C3: bad date \"soon\""},
        {XlsxWith("<row><c r=\"C3\""), "sheet1.xml is damaged"},
        {OdsSheet(OdsCell("", repeated + "\"1048577\"")), "rows repeated past row 1048576"},
        {OdsSheet(OdsRow("", repeated + "\"1048576\"") + OdsRow("")), "rows repeated past row 1048576"},
        {OdsSheet(OdsCell(R"(table:number-columns-repeated="16385")")), "columns repeated past column 16384"},
        {OdsSheet(OdsCell(R"(table:number-columns-repeated="16000" office:value-type="float" office:value="1")",
                          repeated + "\"1000000\"")),
         "too many cells"},
        {OdsSheet(OdsCell(R"(office:value-type="float" office:value="x")")), "sheet S, cell A1: bad number \"x\""},
        {OdsSheet(OdsCell(R"(office:value-type="date" office:date-value="2009-13-01")")), "bad date"},
        {OdsSheet(OdsCell(R"(office:value-type="time" office:time-value="PT1Y")")), "bad time"},
        {OdsSheet(OdsRow(R"(<table:table-cell><text:p><text:s text:c="99999999"/></text:p></table:table-cell>)")),
         "bad space count"},
    };
    testing::internal::CaptureStderr();  // a refusal is the message, nothing on stderr
    for (const auto& [path, expected] : cases)
        ExpectRefused(path, expected);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Cell numbers in .xlsx read as from_chars reads their text, the short
// plain decimals (read without it) included.
TEST(Xlsx, NumbersReadAsFromCharsReadsThem)
{
    std::vector<std::string> texts;
    std::istringstream words("0.1 7.25 5. .5 00012 123456789012345 0.3 45292.75 1e3 -4.5 1234567890123456 "
                             "99999999999999.99 2.675 0.000000000000001");
    std::string row = R"(<row r="1">)";
    for (std::string w; words >> w; texts.push_back(w))
        row += std::string(R"(<c r=")") + char('A' + texts.size()) + R"(1"><v>)" + w + "</v></c>";
    auto book = wb::Workbook::Open(XlsxWith(row + "</row>"));
    for (size_t i = 0; i < texts.size(); ++i) {
        double expected = 0;
        std::from_chars(texts[i].data(), texts[i].data() + texts[i].size(), expected);
        const wb::CellValue v = book->Cell(0, 0, int(i));
        EXPECT_EQ(std::pair(v.type, v.number), std::pair(wb::CellType::Number, expected)) << texts[i];
    }
}

// A package of one sheet whose A1 holds 7, stored or deflated, what a package
// may hold besides, and bombs.
TEST(Zip, PackageLayoutsMemberKindsAndBombs)
{
    using Change = std::function<void(std::vector<Member>&)>;
    const Change same = [](auto&) {};
    const Change badCrc = [](auto& m) { m.back().crc ^= 1; };
    // what, blanks after the row (0: the sheet is stored, else deflated), zip64, change, refusal (nullptr: A1 reads 7)
    std::vector<std::tuple<std::string, size_t, bool, Change, const char*>> cases = {
        {"plain", 0, false, same, nullptr},
        {"zip64 directory and sizes", 0, true, same, nullptr},
        {"part names in another letter case", 0, false,
         [](auto& ms) {
             std::ranges::for_each(ms, [](Member& m) { std::ranges::transform(m.name, m.name.begin(), ::toupper); });
         },
         nullptr},
        {"encrypted sheet", 0, false, [](auto& m) { m.back().flags = 1; }, "encrypted"},
        {"bzip2 sheet", 0, false, [](auto& m) { m.back().method = 12; }, "compression method 12 not supported"},
        {"stored sheet with a wrong checksum", 0, false, badCrc, "CRC error"},
        {"deflated sheet cut short", 0, false,
         [](auto& m) { m.back().method = 8, m.back().data = DeflateRun(std::string(kSheetHead, 40), 0, ""); },
         "shorter than its stored size"},
        // From about 2 MB to 300 MiB of blanks inside the sheet data, more than
        // any form's sheet holds and past the readers' bound on a part; the
        // same bomb whose headers claim 5000 bytes must stop inflating too.
        {"bomb", size_t(300) << 20, false, same, ""},
        {"bomb claiming 5000 bytes", size_t(150) << 20, false, [](auto& m) { m.back().size = 5000; }, ""},
    };
    // A small deflated part fits the reader's buffer at once, a bigger one
    // is inflated piece by piece: each check must hold both ways. The bombs
    // differ from these only in their size, so their refusal is about the size
    // and not about the package.
    for (const size_t fill : {size_t(1000), size_t(90000)}) {
        const std::string blanks = ", " + std::to_string(fill) + " bytes of blanks";
        cases.push_back({"deflated" + blanks, fill, false, same, nullptr});
        cases.push_back({"wrong checksum" + blanks, fill, false, badCrc, "CRC error"});
        cases.push_back(
            {"reserved block type" + blanks, fill, false, [](auto& m) { m.back().data[0] |= 0x06; }, "damaged part"});
        cases.push_back({"stated size too small" + blanks, fill, false, [](auto& m) { --m.back().size; },
                         "larger than its stored size"});
        cases.push_back({"stated size too large" + blanks, fill, false, [](auto& m) { ++m.back().size; },
                         "shorter than its stored size"});
    }
    for (const auto& [what, fill, zip64, change, refused] : cases) {
        SCOPED_TRACE(what);
        std::vector<Member> members = XlsxMembers(R"(<row r="1"><c r="A1"><v>7</v></c></row>)", fill);
        change(members);
        const std::string p = Raw(Zip(members, zip64), ".xlsx");
        EXPECT_LT(fs::file_size(p), 8u << 20);
        if (refused) {
            ExpectRefused(p, refused);
        } else {  // A1, the name's rows, the first sheet active (no view recorded)
            EXPECT_TRUE(Exercise(p));
            auto book = wb::Workbook::Open(p);
            EXPECT_EQ(std::tuple(book->Cell(0, 0, 0).Text(), book->Resolve("Big").Rows(), book->ActiveSheet()),
                      std::tuple("7", 3, 0));
        }
    }
}

// Inputs the fuzzers once crashed on (tests/fuzz/regressions/): each must now
// be refused or read.
TEST(FuzzRegressions, EveryReproducerIsRefusedOrRead)
{
    for (const auto& f : fs::directory_iterator(fs::path(SOURCE_DIR) / "tests" / "fuzz" / "regressions"))
        if (f.path().extension() != ".md") {
            SCOPED_TRACE(f.path().filename().string());
            Exercise(f.path().string());
        }
}

TEST(OdsParts, ActiveTableWithEscapedName)
{
    const std::string tables = "<table:table table:name=\"A\"/><table:table table:name=\"R&amp;D &lt;1&gt;\"/>";
    auto item = [](const std::string& name, const std::string& value) {  // an empty one written as one tag
        return "<config:config-item config:name=\"" + name + "\" config:type=\"string\"" +
               (value.empty() ? "/>" : ">" + value + "</config:config-item>");
    };
    auto active = [&](const std::string& items) {  // the active sheet with these settings
        return wb::Workbook::Open(MakeOds(tables, "<office:document-settings xmlns:office=\"o\" xmlns:config=\"c\">"
                                                  "<office:settings>" +
                                                      items + "</office:settings></office:document-settings>"))
            ->ActiveSheet();
    };
    EXPECT_EQ(active("<config:config-item-set config:name=\"ooo:view-settings\"><config:config-item-map-indexed "
                     "config:name=\"Views\"><config:config-item-map-entry>" +
                     item("ViewId", "view1") + item("ActiveTable", "R&amp;D &lt;1&gt;") +
                     "</config:config-item-map-entry></config:config-item-map-indexed></config:config-item-set>"),
              1);
    EXPECT_EQ(active(item("ActiveTable", "") + item("Zoom", "100")), 0);
    auto noSettings = wb::Workbook::Open(MakeOds(tables, ""));
    EXPECT_EQ(std::pair(noSettings->SheetNames()[1], noSettings->ActiveSheet()), std::pair(std::string("R&D <1>"), 0));
    EXPECT_THROW(wb::Workbook::Open(
                     MakeOds(tables, "<office:document-settings><config:config-item config:name=\"ActiveTable\">")),
                 wb::Error);
}

TEST(OdsParts, TypedValuesWhateverTheAttributeOrder)
{
    const std::string cells =
        R"(<table:table-cell calcext:value-type="float" office:value-type="float" office:value="3"/>)"
        R"(<table:table-cell office:value-type="percentage" office:value="0.25"/>)"
        R"(<table:table-cell office:value-type="time" office:time-value="PT36H30M"/>)"
        R"(<table:table-cell office:value-type="time" office:time-value="PT07H15M30.4S"/>)"
        R"(<table:table-cell office:value-type="boolean" office:boolean-value="false"/>)"
        R"(<table:table-cell office:value-type="string"><text:p>a<text:s text:c="3"/>b<text:tab/>)"
        "<text:span>c<text:line-break/>d</text:span><text:note><text:note-body><text:p>note</text:p>"
        "</text:note-body></text:note></text:p><text:p>e</text:p></table:table-cell>"
        R"(<table:covered-table-cell table:number-columns-repeated="2"/>)"
        "<table:table-cell><text:p>untyped</text:p></table:table-cell>";
    auto book = wb::Workbook::Open(OdsSheet(OdsRow(cells)));
    // 36:30 is 1.52 days, as the 1900 system counts them.
    const std::vector<std::string> want = {"A1 number:3", "B1 number:0.25",   "C1 date:1900-01-01 12:30:00",
                                           "G1 empty:",   "E1 boolean:FALSE", "D1 date:1899-12-30 07:15:30",
                                           "H1 empty:",   "I1 text:untyped",  "F1 text:a   b\tc\nd\ne"};
    EXPECT_EQ(ReadCells(*book, want), want);
}

// ---------------------------------------------------------------- .xlsb made by hand
// Records as .xlsb parts lay them out: type in 1-2 bytes and size in
// 1-4 bytes, 7 bits a byte, the top bit saying another byte follows.

std::string Varint(uint32_t v, int most)
{
    std::string s;
    do {
        s += char((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
    } while ((v >>= 7) && int(s.size()) < most);
    return s;
}

const auto Rec = [](uint32_t type, const std::string& body = "") {
    return Varint(type, 2) + Varint(uint32_t(body.size()), 4) + body;
};

// XLWideString of ASCII text.
std::string Wide(const std::string& text)
{
    std::string s = Le<4>(text.size());
    for (char c : text)
        s += std::string{c, '\0'};
    return s;
}

// A cell: column, format (24 bits) and a flag byte; a row header.
const auto Cell = [](uint32_t col, uint32_t style = 0) { return Le<4>(col, style); };
const auto RowHdr = [](uint32_t row) { return Rec(0x00, Le<4>(row, 0) + Le<2>(300, 0) + Le<4>(0)); };
// Formula tokens: a cell or an area through a sheet reference entry.
const auto Ref3d = [](uint32_t ixti, uint32_t row, uint32_t col, uint8_t ptg = 0x3A) {
    return Le<1>(ptg) + Le<2>(ixti) + Le<4>(row) + Le<2>(col);
};
const auto Area3d = [](uint32_t ixti, uint32_t r1, uint32_t r2, uint32_t c1, uint32_t c2) {
    return Le<1>(0x3B) + Le<2>(ixti) + Le<4>(r1, r2) + Le<2>(c1, c2);
};

// xl/workbook.bin with two sheets (rId1, rId2), the BrtWbProp flags, the
// active tab and `more` records before the end.
std::string XlsbWorkbook(uint32_t wbFlags, uint32_t activeTab, const std::string& more)
{
    return Rec(0x83) + Rec(0x99, Le<4>(wbFlags, 0) + Wide("ThisWorkbook")) + Rec(0x87) +
           Rec(0x9E, Le<4>(0, 0, 0, 0, 600, 0, activeTab) + Le<1>(0x78)) + Rec(0x88) + Rec(0x8F) +
           Rec(0x9C, Le<4>(0, 1) + Wide("rId1") + Wide("First")) +
           Rec(0x9C, Le<4>(0, 2) + Wide("rId2") + Wide("Second")) + Rec(0x90) + more + Rec(0x84);
}

// BrtName: flags, chKey, itab, name, formula (cce, rgce, cb), no comment.
const auto NameRec = [](const std::string& name, uint32_t itab, const std::string& rgce) {
    return Rec(0x27, Le<4>(0) + Le<1>(0) + Le<4>(itab) + Wide(name) + Le<4>(rgce.size()) + rgce + Le<4>(0, -1));
};
// A sheet part of these cells, with a dimension record if given.
const auto XlsbSheet = [](const std::string& cells, const std::string& dim = "") {
    return Rec(0x81) + dim + Rec(0x91) + cells + Rec(0x92) + Rec(0x82);
};

// A package of the given parts (empty ones left out) and a second sheet whose A1 holds 7.
std::string MakeXlsb(const std::string& workbook, const std::string& sheet1, const std::string& sst = "",
                     const std::string& styles = "")
{
    const std::string sheet2 = XlsbSheet(RowHdr(0) + Rec(0x02, Cell(0) + Le<4>((7u << 2) | 2)));
    return Raw(XlsbPackage(workbook, {sheet1, sheet2}, sst, styles), ".xlsb");
}

// Shared strings: BrtBeginSst with counts that claim far more than there are.
const std::string kSst = Rec(0x9F, Le<4>(-1, -1)) + Rec(0x13, Le<1>(0) + Wide("shared zero")) +
                         Rec(0x13, Le<1>(1) + Wide("rich one") + Le<4>(1, 0)) + Rec(0xA0);
// Styles: a custom date format 164 and a percentage 165; cell formats 0
// General, 1 a built-in date (14), 2 the custom date, 3 the percentage. The
// cell style format in between must not count.
const auto Xf = [](uint32_t fmt) { return Rec(0x2F, Le<2>(0xFFFF, fmt) + std::string(12, '\0')); };
const std::string kStyles = Rec(0x116) + Rec(0x267) + Rec(0x2C, Le<2>(164) + Wide("dd/mm/yyyy\\ hh:mm")) +
                            Rec(0x2C, Le<2>(165) + Wide("0.0%")) + Rec(0x268) + Rec(0x272) + Xf(14) + Rec(0x273) +
                            Rec(0x269) + Xf(0) + Xf(14) + Xf(164) + Xf(165) + Rec(0x26A) + Rec(0x117);

TEST(Xlsb, HandMadeWorkbookIsRead)
{
    // Sheet reference entries (book, first, last sheet): First, Second, an
    // external workbook's, both sheets.
    const std::string externals = Rec(0x161) + Rec(0x165) + Rec(0x163, Wide("other.xlsb") + Le<4>(0)) +
                                  Rec(0x16A, Le<4>(4, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 1)) + Rec(0x162);
    const uint32_t global = 0xFFFFFFFF;
    const std::string names =
        NameRec("Whole", global, Area3d(0, 0, 8, 0, 5)) +
        NameRec("One", global, Ref3d(1, 1048575, 0xC000 | 16383, 0x5A)) +  // relative flags set, value class
        NameRec("Local", 1, Ref3d(1, 0, 0)) + NameRec("_xlnm.Print_Area", 0, Area3d(0, 0, 1, 0, 1)) +
        NameRec("Elsewhere", global, Ref3d(2, 0, 0)) + NameRec("Across", global, Ref3d(3, 0, 0)) +
        NameRec("Missing", global, Ref3d(9, 0, 0)) + NameRec("Rate", global, Le<1>(0x1F) + F64(0.2)) +
        NameRec("Sum", global, Ref3d(0, 0, 0) + Ref3d(0, 1, 0) + Le<1>(0x03)) +
        NameRec("Gone", global, Ref3d(0, 0, 0, 0x3C)) + NameRec("NoSheet", 7, Ref3d(0, 0, 0));
    const std::string longText(200, 'x');  // a record size of two bytes
    const std::string cells =
        RowHdr(0) + Rec(0x02, Cell(0) + Le<4>((42u << 2) | 2)) +      // A1 RK integer
        Rec(0x02, Cell(1) + Le<4>((12345u << 2) | 3)) +               // B1 RK integer / 100
        Rec(0x02, Cell(2) + Le<4>(0x3FF40000u)) +                     // C1 RK double 1.25
        Rec(0x0D, Le<4>(0, 0xFFFFFFF4u | 2)) +                        // D1 short RK -3
        Rec(0x10, Le<4>(3) + F64(0.125)) +                            // E1 short real, percent format
        Rec(0x0C, Le<4>(0)) + Rec(0x11, Le<4>(0) + Wide("short")) +   // F1 short blank, G1 short text
        RowHdr(1) + Rec(0x05, Cell(0, 1) + F64(45351)) +              // A2 date, built-in format
        Rec(0x05, Cell(1, 2) + F64(45351.34375)) +                    // B2 date, custom format
        Rec(0x07, Cell(2) + Le<4>(1)) + Rec(0x12, Le<4>(0, 0)) +      // C2, D2 shared strings
        Rec(0x3E, Cell(4) + Le<1>(1) + Wide("rich") + Le<4>(1, 0)) +  // E2 rich text
        Rec(0x06, Cell(5) + Wide(longText)) +                         // F2 long text
        RowHdr(9) + Rec(0x08, Cell(0) + Wide("DONE") + Le<2>(0) + Le<4>(1) + Le<1>(0x2A) + Le<4>(0)) +  // formulas
        Rec(0x09, Cell(1, 1) + F64(45366) + Le<2>(0) + Le<4>(0, 0)) +
        Rec(0x0A, Cell(2) + Le<1>(1) + Le<2>(0) + Le<4>(0, 0)) +
        Rec(0x0B, Cell(3) + Le<1>(7) + Le<2>(0) + Le<4>(0, 0)) + Rec(0x04, Cell(4) + Le<1>(0)) +
        Rec(0x03, Cell(5) + Le<1>(0x2A)) + Rec(0x0E, Le<4>(0) + Le<1>(0x17)) + Rec(0x0F, Le<4>(0) + Le<1>(1)) +
        RowHdr(1048575) + Rec(0x05, Cell(16383) + F64(-1));
    // A dimension record claiming the whole sheet reserves nothing.
    const std::string dim = Rec(0x94, Le<4>(0, 1048575, 0, 16383));
    const std::string path = MakeXlsb(XlsbWorkbook(0, 1, externals + names), XlsbSheet(cells, dim), kSst, kStyles);
    auto book = wb::Workbook::Open(path);  // an exception fails the test with its message
    EXPECT_EQ(std::tuple(book->FileFormat(), book->SheetNames(), book->ActiveSheet(), book->Date1904()),
              std::tuple(wb::Format::Xlsb, std::vector<std::string>{"First", "Second"}, 1, false));
    std::vector<std::string> got;
    for (const wb::DefinedName& n : book->Names())
        got.push_back(n.name + " " +
                      (n.range ? std::to_string(n.range->sheet) + "!" + wb::RangeAddress(*n.range) : n.formula));
    EXPECT_EQ(got, (std::vector<std::string>{"Whole 0!A1:F9", "One 1!XFD1048576", "Second!Local 1!A1",
                                             "First!Print_Area 0!A1:B2", "Elsewhere (an external reference)",
                                             "Across (a reference across several sheets)",
                                             "Missing (a reference to a missing sheet reference entry)",
                                             "Rate (a constant)", "Sum (a formula)", "Gone (a deleted reference)"}));
    EXPECT_EQ(book->Resolve("local"), (wb::Range{1, 0, 0, 0, 0}));  // the active sheet's own name
    EXPECT_EQ(book->Cell(1, 0, 0).Text(), "7");
    const std::vector<std::string> want = {"A1 number:42",      "B1 number:123.45",    "C1 number:1.25",
                                           "D1 number:-3",      "E1 number:0.125",     "F1 empty:",
                                           "G1 text:short",     "A2 date:2024-02-29",  "B2 date:2024-02-29 08:15:00",
                                           "C2 text:rich one",  "D2 text:shared zero", "E2 text:rich",
                                           "A10 text:DONE",     "B10 date:2024-03-15", "C10 boolean:TRUE",
                                           "D10 error:#DIV/0!", "E10 boolean:FALSE",   "F10 error:#N/A",
                                           "G10 error:#REF!",   "H10 boolean:TRUE",    "XFD1048576 number:-1",
                                           "A3 empty:",         "F2 text:" + longText};
    EXPECT_EQ(ReadCells(*book, want, "First!"), want);
}

TEST(Xlsb, DamageIsAnErrorNamingThePartAndRecord)
{
    const std::string wb = XlsbWorkbook(0, 0, ""), row = RowHdr(0), head = Rec(0x81) + Rec(0x91);
    const std::pair<std::string, std::string> sheets[] = {
        {XlsbSheet(Rec(0x05, Cell(0) + F64(1))), "a cell before the first row header (record 0x0005 at byte 6)"},
        {XlsbSheet(row + Rec(0x02, Cell(16384) + Le<4>(2))), "a cell outside the sheet's 16384 columns"},
        {XlsbSheet(RowHdr(1048576)), "row number 1048577 outside the sheet"},
        {XlsbSheet(row + Rec(0x07, Cell(0) + Le<4>(2))),
         "a cell refers to shared string 2, which does not exist (record 0x0007 at byte 24)"},
        {XlsbSheet(row + Rec(0x03, Cell(0) + Le<1>(0x99))), "a cell holds an unknown error code"},
        {XlsbSheet(row + Rec(0x05, Cell(0) + F64(std::nan("")))), "a number cell holds no finite number"},
        {XlsbSheet(row + Rec(0x05, Cell(0))), "the record ends inside a field (record 0x0005"},
        {XlsbSheet(row + Rec(0x06, Cell(0) + Le<4>(0x7FFFFFFF))), "a text runs past the end of the record"},
        {head + row, "the part ends inside the sheet's cells"},
        {head + row + "\x05\x90", "the part ends inside a record header"},
        {head + row + "\x05\xFF\xFF\xFF\x7F", "the record runs past the end of the part (268435455 bytes stated)"},
        {head + "\x85\x85\x01", "a record type longer than two bytes"},
        {head + "\x05\x80\x80\x80\x80\x01", "a record size longer than four bytes"},
    };
    for (const auto& [sheet, expected] : sheets)
        ExpectRefused(MakeXlsb(wb, sheet, kSst), "xl/worksheets/sheet1.bin: " + expected);
    std::string manyNames;  // 14,000 names of 500 characters
    for (int i = 0; i < 14000; ++i)
        manyNames += NameRec("N" + std::string(500, 'x'), 0xFFFFFFFF, Ref3d(0, 0, 0));
    const std::pair<std::string, std::string> books[] = {
        {Rec(0x83) + Rec(0x84), "xl/workbook.bin lists no sheets"},
        {XlsbWorkbook(0, 0, Rec(0x16A, Le<4>(-1, 0, 0, 0))),
         "xl/workbook.bin: more sheet references than the record holds"},
        {XlsbWorkbook(0, 0, Rec(0x27, Le<4>(0) + Le<1>(0) + Le<4>(-1) + Wide("N") + Le<4>(0xFFFFFFF0))),
         "xl/workbook.bin: a name's formula runs past the end of the record"},
        {Rec(0x9C, Le<4>(0, 1, -1, 0x40000000)), "xl/workbook.bin: a text runs past"},
        {XlsbWorkbook(0, 0, manyNames), "xl/workbook.bin: the sheet and defined names take more than 8 MiB"},
    };
    for (const auto& [book, expected] : books)
        ExpectRefused(MakeXlsb(book, XlsbSheet(row)), expected);
    ExpectRefused(MakeXlsb(wb, XlsbSheet(row), Rec(0x13, Le<1>(0) + Le<4>(0x7FFFFFFF))),
                  "xl/sharedStrings.bin: a shared string runs past the end of its record");
    ExpectRefused(MakeXlsb(wb, ""), "the part xl/worksheets/sheet1.bin of sheet First is missing");
}

}  // namespace

// Announced ranges bound what a sheet load keeps: a bomb that cannot be read
// whole reads fine for the cells a form names, and a cell outside what was
// announced reads the sheet again, whole.
TEST(Bounded, AnnouncedRangesAreReadWhateverTheSheetHolds)
{
    const std::string abc = "<sst><si><t>a</t></si><si><t>b</t></si><si><t>c</t></si></sst>";
    // what, the file, each announced reference with the text of its first and
    // last cell ("B2=1;C3=x"; "error:" and what its refusal says), and the
    // error when read without announcing ("" when it reads).
    const std::tuple<const char*, std::string, std::string, const char*> cases[] = {
        {"xlsx: 300,000 numbers", XlsxWith(Repeat("<row>" + Repeat("<c><v>1</v></c>", 1000) + "</row>", 300)),
         "B2=1;C295:C300=1", ""},
        {"ods: a whole sheet through repeats", OdsSheet(kOdsWholeSheet), "XFD1048576=2;A1:A32767=2", "too many cells"},
        {"xlsx: shared strings read for the kept cells only",
         XlsxWith(R"(<row r="1"><c r="A1" t="s"><v>2</v></c><c r="B1" t="s"><v>0</v></c></row>)",
                  "<sst><si><t>a</t></si><si><r><t>b</t></r></si><si><t>c</t><rPh><t>x</t></rPh></si></sst>"),
         "A1=c;B1=a", ""},
        {"xlsx: a cell written again is what it says last, its earlier shared string never looked up",
         XlsxWith(R"(<row r="1"><c r="A1" t="s"><v>9</v></c><c r="A1"><v>3</v></c><c r="B1" t="s"><v>0</v></c>)"
                  R"(<c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c><c r="C1" t="inlineStr"><is><t/></is>)"
                  R"(</c><c r="D1" t="s"><v>9</v></c><c r="D1" t="s"><v>2</v></c><c r="E1"><v>5</v></c></row>)",
                  abc),
         "A1=3;B1=b;C1=;D1=c;E1=5", ""},
        {"xlsx: cells written again hundreds of times keep their last value",
         XlsxWith(R"(<row r="1">)" + Repeat(R"(<c r="A1" t="s"><v>0</v></c><c r="A1" t="s"><v>1</v></c>)", 150) +
                      R"(<c r="A1" t="s"><v>2</v></c>)" + Repeat(R"(<c r="B1" t="s"><v>1</v></c>)", 300) +
                      Repeat(R"(<c r="C1" t="s"><v>0</v></c>)", 200) +
                      R"(<c r="C1"><v>7</v></c><c r="D1"><v>8</v></c></row>)",
                  abc),
         "A1=c;B1=b;C1=7;D1=8", ""},
        {"xlsb: shared strings read for the kept cells only, a cell written again is what it says last",
         MakeXlsb(XlsbWorkbook(0, 0, ""),
                  XlsbSheet(RowHdr(0) + Rec(0x07, Cell(0) + Le<4>(2)) + Rec(0x07, Cell(1) + Le<4>(0)) +
                            Rec(0x07, Cell(2) + Le<4>(1)) + Rec(0x05, Cell(2) + F64(5)) + Rec(0x05, Cell(3) + F64(6)) +
                            Rec(0x07, Cell(3) + Le<4>(1)) + RowHdr(1) + Rec(0x07, Cell(0) + Le<4>(1)) +
                            Rec(0x07, Cell(0) + Le<4>(0))),
                  Rec(0x9F, Le<4>(3, 3)) + Rec(0x13, Le<1>(0) + Wide("a")) +
                      Rec(0x13, Le<1>(1) + Wide("b") + Le<4>(1, 0)) + Rec(0x13, Le<1>(0) + Wide("c")) + Rec(0xA0)),
         "A1=c;B1=a;C1=5;D1=b;A2=a", ""},
        {"xlsb: a record past the record size limit",
         MakeXlsb(XlsbWorkbook(0, 0, ""),
                  XlsbSheet(RowHdr(0) + Rec(0x06, Cell(0) + Wide(std::string((size_t(8) << 20) + 1, 'x'))))),
         "A1=error:sheet1.bin: a record of 16777230 bytes, more than the limit of 16 MiB (record 0x0006 at byte",
         "a record of 16777230 bytes, more than the limit of 16 MiB"},
        {"xlsx: elements nested past the bound in a kept cell",
         XlsxWith("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is>" + Repeat("<r>", 300) + Repeat("</r>", 300) +
                  "</is></c></row>"),
         "A1=error:elements nested deeper than 256", "elements nested deeper than 256"},
    };
    for (const auto& [what, path, cells, whole] : cases) {
        SCOPED_TRACE(what);
        auto book = wb::Workbook::Open(path);
        std::vector<wb::Range> ranges;
        std::vector<std::string> texts;
        std::istringstream in(cells);
        for (std::string ref, text; std::getline(in, ref, '=') && std::getline(in, text, ';');)
            ranges.push_back(book->Resolve(ref)), texts.push_back(text);
        book->WillRead(ranges);
        for (size_t i = 0; i < ranges.size(); ++i) {
            const wb::Range& r = ranges[i];
            const auto corners = [&] {
                const std::string first = book->Cell(r.sheet, r.firstRow, r.firstCol).Text();
                return first + "|" + book->Cell(r.sheet, r.lastRow, r.lastCol).Text();
            };
            if (texts[i].starts_with("error:"))
                ExpectError(path, texts[i].substr(6), corners);
            else
                EXPECT_EQ(corners(), texts[i] + "|" + texts[i]);
        }
        // Without announcing: the whole sheet, within the limit.
        auto unbounded = wb::Workbook::Open(path);
        const auto read = [&] { (void)unbounded->Cell(0, 0, 0); };
        *whole ? ExpectError(path, whole, read) : read();
    }
}

TEST(Bounded, CellOutsideTheAnnouncedRangesIsStillRead)
{
    for (const std::string& path :
         {XlsxWith(R"(<row r="1"><c r="A1"><v>1</v></c></row><row r="3"><c r="C3"><v>3</v></c></row>)"),
          OdsSheet(OdsCell(R"(office:value-type="float" office:value="1")") + OdsRow("") +
                   OdsRow(R"(<table:table-cell table:number-columns-repeated="2"/>)"
                          R"(<table:table-cell office:value-type="float" office:value="3"/>)"))}) {
        SCOPED_TRACE(path);
        auto book = wb::Workbook::Open(path);
        book->WillRead({book->Resolve("A1")});
        EXPECT_EQ(book->Cell(0, 0, 0).Text(), "1");
        EXPECT_EQ(book->Cell(0, 2, 2).Text(), "3");  // not announced: read again
        EXPECT_EQ(book->Cell(0, 0, 0).Text(), "1");
        book->WillRead({book->Resolve("B2")});
        EXPECT_EQ(book->Cell(0, 2, 2).Text(), "3");
    }
}

// The harvest announces the ranges of its form: a sheet that cannot be kept
// whole is harvested all the same.
TEST(Bounded, HarvestReadsOnlyItsFormsRanges)
{
    const FormDefinition form{{{"Corner", "XFD1048576", "0"}, {"Run", "A1:A32767", "0"}, {"Block", "B1:D9", "0"}}};
    auto book = wb::Workbook::Open(OdsSheet(kOdsWholeSheet));
    const std::string lines = ExtractLines(*book, form);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 32767);
    EXPECT_EQ(lines.substr(0, 8), "2,2,0\r\n2");
}
