// 8-bit and double-byte code page text of .xls workbooks: the decoder over
// byte strings of every code page a CODEPAGE record can name, the choice of
// code page from CODEPAGE or the fonts, and the fixtures of real writers.
#include "tests/workbook/Json.h"
#include "workbook/BiffText.h"
#include "workbook/Reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <tuple>

namespace {

using wb::detail::CodePage;

// One decoder set to each code page in turn, as a workbook's records set it.
std::string Decode(int codePage, const std::string& bytes)
{
    static CodePage cp;
    cp.Set(codePage);
    std::string out;
    cp.Append(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return out;
}

using Row = std::tuple<int, std::string, std::string>;  // code page, bytes, their text

// One or two characters of each code page, as its published table has them;
// among them trail bytes that look like a backslash (932, 1361), a Hebrew
// letter that waits for a possible point (1255, 10005), a letter and a
// combining acute (1258) and a Thai tone mark without Apple's position tag.
const Row kDoubleByte[] = {{936, "\xC4\xE3\xBA\xC3", "你好"},
                           {949, "\xC7\xD1\xB1\xB9", "한국"},
                           {950, "\xA4\xA4\xA4\xE5", "中文"},
                           {932, "\x82\xA0\x83\x5C\\", "あソ\\"},
                           {1361, "\x88\x61\\", "가\\"}};
const Row kWindows[] = {{874, "\xA1", "ก"},           {1250, "\xA3\xB9", "Łą"}, {1251, "\xD1\xF7\xE5\xF2", "Счет"},
                        {1252, "\x80\xE9", "€é"},     {1253, "\xD9", "Ω"},      {1254, "\xF0", "ğ"},
                        {1255, "\xF9\xE0", "שא"},     {1256, "\xC7", "ا"},      {1257, "\xE0", "ą"},
                        {1258, "\xD0\x61\xEC", "Đá"}, {367, "A\xE9", "Aé"},     {1200, "\xE9", "é"},
                        {32769, "\x80", "€"}};
const Row kOem[] = {{437, "\x82\xB0", "é░"}, {720, "\xA0", "ب"},   {737, "\x80", "Α"}, {775, "\x80", "Ć"},
                    {850, "\x82\xD5", "éı"}, {852, "\xA5", "ą"},   {855, "\x80", "ђ"}, {857, "\x8D", "ı"},
                    {858, "\xD5", "€"},      {860, "\x84", "ã"},   {861, "\x8B", "Ð"}, {862, "\x80", "א"},
                    {863, "\x84", "Â"},      {864, "\x80%", "°٪"}, {865, "\x9B", "ø"}, {866, "\x80", "А"},
                    {869, "\xA4", "Α"}};
const Row kMacintosh[] = {
    {10001, "\x82\xA0", "あ"}, {10002, "\xA4\xA4", "中"},      {10003, "\xC7\xD1", "한"}, {10008, "\xC4\xE3", "你"},
    {10000, "\x8E\xA5", "é•"}, {32768, "\x8E\xA5", "é•"},      {10004, "\xC7", "ا"},      {10005, "\xE0\x81", "אײַ"},
    {10006, "\xB0\xE1", "Αα"}, {10007, "\x80\xDF", "Ая"},      {10010, "\xAE", "Ă"},      {10017, "\xA2", "Ґ"},
    {10021, "\xA1\x83", "ก่"},  {10029, "\xFC\xE6\x8D", "Łść"}, {10079, "\xA0", "Ý"},      {10081, "\xDA", "Ğ"},
    {10082, "\xA9", "Š"}};
// Code pages no CODEPAGE record names (or that we do not read): read as 1252.
const Row kUnknown[] = {{0, "\x80\xE9", "€é"},     {1, "\x80\xE9", "€é"},     {65001, "\x80\xE9", "€é"},
                        {12000, "\x80\xE9", "€é"}, {20127, "\x80\xE9", "€é"}, {99999, "\x80\xE9", "€é"}};

// A byte or sequence the code page leaves undefined is one U+FFFD, and the
// text goes on after it.
const Row kUndefined[] = {
    {1252, "x\x81y", "x\uFFFDy"},       {1253, "x\xAAy", "x\uFFFDy"},
    {1255, "\xE0\xDB\xE0", "א\uFFFDא"}, {1258, "a\x81", "a\uFFFD"},         // the held-back letter comes first
    {874, "\xA1\xDB\xA1", "ก\uFFFDก"},  {932, "\x82\xA0\x82", "あ\uFFFD"},  // cut after a lead byte
    {932, "\x81 a", "\uFFFD a"},                                            // a lead byte without its trail byte
    {932, "\xA0\x82\xA0", "\uFFFDあ"},  {949, "\xFF\xC7\xD1", "\uFFFD한"},
    {720, "x\x80y", "x\uFFFDy"},        {10005, "\xC2\xE0", "\uFFFDא"},  // Apple's private-use ligatures
    {10021, "\xA1\xFC", "ก\uFFFD"},
};

TEST(CodePageDecoder, EveryCodePageReadsItsOwnCharacters)
{
    using Table = std::span<const Row>;
    for (Table table :
         {Table(kDoubleByte), Table(kWindows), Table(kOem), Table(kMacintosh), Table(kUnknown), Table(kUndefined)})
        for (const auto& [codePage, bytes, utf8] : table) {
            SCOPED_TRACE(codePage);
            EXPECT_EQ(CodePage::Known(codePage), table.data() != kUnknown);
            EXPECT_EQ(Decode(codePage, bytes), utf8);
            EXPECT_EQ(Decode(codePage, "ab " + bytes + " cd"), "ab " + utf8 + " cd");
        }
}

TEST(CodePageOfCharset, FontCharacterSets)
{
    const std::pair<int, int> rows[] = {
        {0, 1252},   {77, 10000}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
        {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251},
        {222, 874},  {238, 1250}, {255, 850},  {1, 0},      {2, 0},      {100, 0},
    };
    for (const auto& [charset, codePage] : rows) {
        SCOPED_TRACE(charset);
        EXPECT_EQ(wb::detail::CodePageOfCharset(charset), codePage);
        EXPECT_TRUE(!codePage || CodePage::Known(codePage));
    }
}

// Gnumeric's BIFF5 files in the code page of their language, and files
// derived from them in Macintosh and OEM code pages or without CODEPAGE
// (tests/workbook/fixtures/gen_codepages.py).
TEST(CodePageFiles, EachReadsAsWritten)
{
    const QJsonObject expected =
        testjson::ParseJson(testjson::ReadFile(testjson::kFixtures / "codepages" / "texts.json")).toObject();
    ASSERT_GE(expected.size(), 14);
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const std::string file = it.key().toStdString();
        auto want = [&](const char* key) { return testjson::Str(it.value().toObject().value(QLatin1String(key))); };
        SCOPED_TRACE(file);
        auto r = wb::detail::OpenXls(testjson::Fixture("codepages/" + file));
        wb::detail::SheetCells cells;
        r->LoadSheet(0, wb::detail::SheetFilter::All(), cells);
        EXPECT_EQ(r->sheetNames, std::vector{want("sheet")});
        EXPECT_EQ(cells.Get(0, 0) ? cells.Get(0, 0)->text : "no A1", want("A1"));
        const auto names = testjson::Names(r->Names());
        EXPECT_EQ(std::ranges::count(names, want("name") + " -1 0!A1"), 1) << testing::PrintToString(names);
    }
}

}  // namespace

// BIFF8's compressed Unicode (one byte per character, U+0000 to U+00FF):
// runs of ASCII are taken eight bytes at a time, so a character above U+007F
// is put at every position around and across those eight.
TEST(CompressedUnicode, EveryByteAnywhereInARun)
{
    for (const unsigned char high : {0x80, 0xE9, 0xFF})
        for (size_t size = 1; size <= 19; ++size)
            for (size_t at = 0; at <= size; ++at) {  // at == size: none
                SCOPED_TRACE(std::to_string(high) + " at " + std::to_string(at) + " of " + std::to_string(size));
                std::string bytes, utf8;
                for (size_t i = 0; i < size; ++i) {
                    const char c = static_cast<char>(i == at ? high : 'a' + i);
                    bytes += c;
                    if (i == at)
                        utf8 += {static_cast<char>(0xC0 | high >> 6), static_cast<char>(0x80 | (high & 0x3F))};
                    else
                        utf8 += c;
                }
                std::string out = "x";
                wb::detail::AppendLatin1(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
                EXPECT_EQ(out, "x" + utf8);
            }
}
