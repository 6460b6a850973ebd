// Opening files that are no workbook or are damaged: always a wb::Error that
// names the file, never a crash.
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace {

std::string Fixture(const std::string& name) { return std::string(TEST_DATA_DIR) + "/workbook/fixtures/" + name; }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class TempFile {
public:
    explicit TempFile(const std::string& bytes, const char* ext = ".xlsx")
    {
        path_ = ::testing::TempDir() + "wbcore_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++) + ext;
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::string path_;
};

// Opens and reads every cell that the sheets hold near the top; true when
// that worked, false on a wb::Error (any other exception fails the test).
bool ReadAll(const std::string& path, std::string* message = nullptr)
{
    try {
        auto book = wb::Workbook::Open(path);
        for (const auto& n : book->Names())
            try {
                book->Resolve(n.name);
            } catch (const wb::Error&) {
            }
        for (size_t s = 0; s < book->SheetNames().size(); ++s)
            for (int r = 0; r < 40; ++r)
                for (int c = 0; c < 8; ++c)
                    book->Cell(int(s), r, c).Text();
        return true;
    } catch (const wb::Error& e) {
        if (message)
            *message = e.what();
        return false;
    }
}

TEST(OpenNonWorkbooks, ClearErrorNamingTheFile)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "not a workbook (empty file)"},
        {"<!DOCTYPE html><html><body>form</body></html>", "not a workbook (HTML)"},
        {"\xEF\xBB\xBF  <html>", "not a workbook (HTML)"},
        {"<?xml version=\"1.0\"?><Workbook/>", "not a workbook (XML)"},
        {"Name,Hours\nAnn,8\n", "not a workbook (text)"},
        {"%PDF-1.4 ...", "not a workbook (PDF)"},
        {std::string("\x09\x08\x10\x00\x00\x06\x05\x00", 8), "not supported"},
        {std::string("\x7f\x45\x4c\x46\x02\x01\x01\x00", 8), "not a workbook (unknown binary format)"},
        {"PK\x03\x04 truncated", "damaged zip package"},
    };
    for (const auto& [bytes, expected] : cases) {
        TempFile f(bytes, ".xls");
        std::string message;
        EXPECT_FALSE(ReadAll(f.Path(), &message)) << expected;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
        EXPECT_NE(message.find(f.Path()), std::string::npos) << message;
    }
}

TEST(OpenNonWorkbooks, HtmlNamedXls)
{
    std::string message;
    EXPECT_FALSE(ReadAll(Fixture("html_renamed.xls"), &message));
    EXPECT_NE(message.find("html_renamed.xls: not a workbook (HTML)"), std::string::npos) << message;
}

TEST(OpenNonWorkbooks, MissingFile)
{
    try {
        wb::Workbook::Open("/nonexistent/form.xlsx");
        FAIL();
    } catch (const wb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/form.xlsx"), std::string::npos) << e.what();
    }
}

// A zip package written with libzip from named members.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& members)
{
    TempFile f("", ".zip");
    std::remove(f.Path().c_str());
    int err = 0;
    zip_t* z = zip_open(f.Path().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    EXPECT_NE(z, nullptr);
    for (const auto& [name, data] : members) {
        zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
        EXPECT_GE(zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE), 0);
    }
    EXPECT_EQ(zip_close(z), 0);
    return ReadFile(f.Path());
}

TEST(OpenNonWorkbooks, ZipWithoutWorkbookParts)
{
    const std::pair<std::vector<std::pair<std::string, std::string>>, const char*> cases[] = {
        {{{"readme.txt", "hello"}}, "not a workbook (zip archive without workbook parts)"},
        {{{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", "<a/>"}},
         "not a workbook (OpenDocument application/vnd.oasis.opendocument.text)"},
        {{{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", "<a><b></a>"}},
         "content.xml is damaged"},
        {{{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", "<a/>"}},
         "content.xml holds no spreadsheet"},
        {{{"xl/workbook.xml", "<workbook><sheets/></workbook>"}}, "the workbook has no sheets"},
        {{{"_rels/.rels", "<Relationships/>"}}, "the part xl/workbook.xml is missing"},
        {{{"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Target=\"xl/workbook.bin\" "
                          "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                          "officeDocument\"/></Relationships>"},
          {"xl/workbook.bin", "binary"}},
         "Excel binary workbook (.xlsb), not supported"},
    };
    for (const auto& [members, expected] : cases) {
        TempFile f(MakeZip(members), ".xlsx");
        std::string message;
        EXPECT_FALSE(ReadAll(f.Path(), &message)) << expected;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
        EXPECT_NE(message.find(f.Path()), std::string::npos) << message;
    }
}

TEST(OpenNonWorkbooks, SheetPartMissingOrDamaged)
{
    const std::string workbook =
        "<workbook xmlns:r=\"r\"><sheets><sheet name=\"A\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const std::string rels =
        "<Relationships><Relationship Id=\"rId1\" Type=\"http://x/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
        "</Relationships>";
    const std::pair<std::string, const char*> cases[] = {
        {"", "the part xl/worksheets/sheet1.xml of sheet A is missing"},
        {"<worksheet><sheetData><row r=\"0\"/></sheetData></worksheet>", "row number 0 outside the sheet"},
        {"<worksheet><sheetData><row><c r=\"XFE1\"><v>1</v></c></row></sheetData></worksheet>",
         "bad cell reference \"XFE1\""},
        {"<worksheet><sheetData><row><c r=\"B2\" t=\"s\"><v>7</v></c></row></sheetData></worksheet>",
         "cell B2: shared string 7 does not exist"},
        {"<worksheet><sheetData><row><c r=\"C3\"><v>12abc</v></c></row></sheetData></worksheet>",
         "cell C3: bad number \"12abc\""},
        {"<worksheet><sheetData><row><c r=\"C3\" t=\"d\"><v>soon</v></c></row></sheetData></worksheet>",
         "cell C3: bad date \"soon\""},
        {"<worksheet><sheetData><row><c r=\"C3\"", "sheet1.xml is damaged"},
    };
    for (const auto& [sheet, expected] : cases) {
        std::vector<std::pair<std::string, std::string>> members = {{"xl/workbook.xml", workbook},
                                                                     {"xl/_rels/workbook.xml.rels", rels}};
        if (!sheet.empty())
            members.push_back({"xl/worksheets/sheet1.xml", sheet});
        TempFile f(MakeZip(members), ".xlsx");
        std::string message;
        EXPECT_FALSE(ReadAll(f.Path(), &message)) << expected;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
}

TEST(OpenNonWorkbooks, OdsRepeatsPastTheSheetLimits)
{
    const std::string head =
        "<office:document-content xmlns:office=\"o\" xmlns:table=\"t\" xmlns:text=\"x\"><office:body>"
        "<office:spreadsheet><table:table table:name=\"S\">";
    const std::string tail = "</table:table></office:spreadsheet></office:body></office:document-content>";
    const std::pair<std::string, const char*> cases[] = {
        {"<table:table-row table:number-rows-repeated=\"1048577\"><table:table-cell/></table:table-row>",
         "rows repeated past row 1048576"},
        {"<table:table-row table:number-rows-repeated=\"1048576\"/><table:table-row/>",
         "rows repeated past row 1048576"},
        {"<table:table-row><table:table-cell table:number-columns-repeated=\"16385\"/></table:table-row>",
         "columns repeated past column 16384"},
        {"<table:table-row table:number-rows-repeated=\"1000000\"><table:table-cell "
         "table:number-columns-repeated=\"16000\" office:value-type=\"float\" office:value=\"1\"/>"
         "</table:table-row>",
         "too many cells"},
        {"<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"x\"/></table:table-row>",
         "sheet S, cell A1: bad number \"x\""},
        {"<table:table-row><table:table-cell office:value-type=\"date\" office:date-value=\"2009-13-01\"/>"
         "</table:table-row>",
         "bad date"},
        {"<table:table-row><table:table-cell office:value-type=\"time\" office:time-value=\"PT1Y\"/>"
         "</table:table-row>",
         "bad time"},
        {"<table:table-row><table:table-cell office:value-type=\"string\"><text:p><text:s text:c=\"99999999\"/>"
         "</text:p></table:table-cell></table:table-row>",
         "bad space count"},
    };
    for (const auto& [rows, expected] : cases) {
        TempFile f(MakeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                            {"content.xml", head + rows + tail}}),
                   ".ods");
        std::string message;
        EXPECT_FALSE(ReadAll(f.Path(), &message)) << expected;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
}

TEST(ZipArchive, MemberInflatingBeyondTheBound)
{
    TempFile f(MakeZip({{"big.xml", std::string(1 << 20, 'a')}}), ".zip");
    wb::detail::ZipArchive zip(f.Path());
    EXPECT_EQ(zip.Read("big.xml")->size(), size_t(1) << 20);
    try {
        zip.Read("big.xml", 65536);
        FAIL();
    } catch (const wb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("big.xml: part too large"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(zip.Read("absent.xml"));
    EXPECT_THROW(zip.ReadRequired("absent.xml"), wb::Error);
}

class Damaged : public ::testing::TestWithParam<const char*> {};

TEST_P(Damaged, TruncatedAnywhere)
{
    const std::string bytes = ReadFile(Fixture(GetParam()));
    ASSERT_GT(bytes.size(), 1000u);
    for (size_t len = 0; len < bytes.size(); len += bytes.size() / 97 + 1) {
        TempFile f(bytes.substr(0, len));
        std::string message;
        if (!ReadAll(f.Path(), &message)) {
            EXPECT_NE(message.find(f.Path()), std::string::npos) << message;
        }
    }
}

TEST_P(Damaged, FlippedBytes)
{
    const std::string bytes = ReadFile(Fixture(GetParam()));
    std::mt19937 rng(12345);
    for (int round = 0; round < 150; ++round) {
        std::string copy = bytes;
        const int flips = 1 + int(rng() % 8);
        for (int k = 0; k < flips; ++k)
            copy[rng() % copy.size()] ^= char(1 + rng() % 255);
        TempFile f(copy);
        ReadAll(f.Path());  // either outcome; no crash, no other exception
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Damaged,
                         ::testing::Values("xlsx_shared.xlsx", "xlsx_inline.xlsx", "ods_values.ods", "ods_active.ods"));

}  // namespace
