#include "common/RtError.h"
#include "common/SafeSave.h"
#include "common/clsDatFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;
using Table = std::vector<std::vector<std::string>>;
using It = std::istreambuf_iterator<char>;

namespace {

// A table of that file and format, loaded when asked.
clsDatFile Named(const std::string& path, int fmt, bool load = false)
{
    clsDatFile f;
    f.setFileName(path);
    f.setFmt(static_cast<int16_t>(fmt));
    if (load)
        f.Load();
    return f;
}

Table Cells(const clsDatFile& f)
{
    Table t(static_cast<std::size_t>(f.Rows()));
    for (int r = 0; r < f.Rows(); ++r)
        for (int c = 0; c < f.Cols(); ++c)
            t[static_cast<std::size_t>(r)].push_back(f.Data(r, c));
    return t;
}

// What f throws: "" for nothing, the classic number of an RtError (and its
// text when asked), the text of misuse.
std::string Fault(const std::function<void()>& f, bool withText = false)
{
    try {
        f();
    } catch (const rt::RtError& e) {
        return std::to_string(e.Number()) + (withText ? std::string(" ") + e.what() : "");
    } catch (const rt::FatalError& e) {
        return e.what();
    }
    return "";
}

clsDatFile Build(const std::string& path, int fmt, const Table& t)
{
    clsDatFile f = Named(path, fmt);
    f.setTable({t.begin(), t.end()}, static_cast<int>(t[0].size()));
    std::vector<std::string> headers;
    for (std::size_t c = 0; c < t[0].size(); ++c)
        headers.push_back("H" + std::to_string(c + 1));
    f.setHeaders(headers);
    return f;
}

// Runs f in a child process, as an ordinary user when asked (root writes
// anywhere), and returns its verdict; 3: could not drop root.
int InChild(bool asNobody, const std::function<int()>& f)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0) ? 3 : f());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DatFile : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(dir_); }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Read(const std::string& p) { return {It(std::ifstream(p, std::ios::binary).rdbuf()), {}}; }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    // The table that these bytes load into.
    clsDatFile Loaded(const std::string& text, int fmt) const { return Named(Write("in", text), fmt, true); }
    long Entries() const { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); }
    fs::path dir_ = fs::temp_directory_path() / ("datfile-" + std::to_string(::getpid()));
};

}  // namespace

TEST_F(DatFile, SavedTablesReadBackInEveryFormat)
{
    const std::vector<std::string> tricky = {
        "plain", "a \"quoted\" word",        "comma, inside", "line\nfeed", "", "12.50",
        "\"",    "caf\xc3\xa9 \xe2\x82\xac", "tab\tend",      "'\"\"'"};
    for (int fmt = 0; fmt < 3; ++fmt) {
        // Outer spaces are lost; a CR inside a field breaks its line and ends the table.
        Build(Path("t"), fmt, {{"  padded  ", "x"}, {"a\rb", "y"}, {"c", "z"}}).Save();
        const clsDatFile f = Named(Path("t"), fmt, true);
        EXPECT_EQ((std::tuple{f.Data(0, 0), f.Data(1, 1), f.Rows()}), (std::tuple{"padded", "", fmt == 0 ? 3 : 1}))
            << fmt;
        for (int cols : {1, 2, 10, 80}) {
            Table t(5);
            for (int r = 0; r < 5; ++r)
                for (int c = 0; c < cols; ++c)
                    t[std::size_t(r)].push_back(tricky[std::size_t(r * 7 + c) % tricky.size()]);
            Build(Path("rt"), fmt, t).Save();
            EXPECT_EQ(Cells(Named(Path("rt"), fmt, true)), t) << cols << " columns, format " << fmt;
        }
    }
}

TEST_F(DatFile, DatCountLineAndShortOrMalformedLinesThatEndTheRowsButKeepTheCount)
{
    for (const std::string bad : {"\"only one\"", "\"a\",\"b\",\"c\"", "\"open,\"b\"", "\"x\"y,\"z\"", ""})
        EXPECT_EQ(Cells(Loaded("4,2\r\n\"a\",\"b\"\r\n" + bad + "\r\n\"c\",\"d\"\r\n\"e\",\"f\"\r\n", 0)),
                  (Table{{"a", "b"}, {"", ""}, {"", ""}, {"", ""}}))
            << bad;
    clsDatFile f = Named(Write("d.dat", "3,1\r\n\"a\"\r\n\"b\"\r\n"), 0);
    EXPECT_EQ(Fault([&] { f.Load(); }), "62");  // fewer lines than counted: what was read stays
    EXPECT_EQ(Cells(f), (Table{{"a"}, {"b"}, {""}}));
    EXPECT_EQ(Fault([&] { Loaded("", 0); }), "62");
    // A count far above the lines present costs little.
    const clsDatFile big = Loaded("32767,80\r\n\"a\"\r\n", 0);
    EXPECT_EQ(big.Data(32766, 79), "");
    // line, then the fault, rows and columns
    const std::pair<std::string, std::tuple<std::string, int, int>> cases[] = {
        {"2,1", {"", 2, 1}},     {" 2 , 1 ", {"", 2, 1}},       {"+2,1", {"", 2, 1}},
        {"0,0", {"", 0, 0}},     {"abc,1", {"13", 0, 0}},       {"2", {"13", 0, 0}},
        {"", {"13", 0, 0}},      {"2,", {"13", 0, 0}},          {"1.5,1", {"13", 0, 0}},
        {"2,1,7", {"13", 0, 0}}, {"\"2\",\"1\"", {"13", 0, 0}}, {"32768,1", {"6", 0, 0}},
        {"-1,1", {"9", 0, 0}},   {"2,-3", {"9", 0, 0}},         {"2,99999999999999999999", {"6", 0, 0}},
    };
    for (const auto& [line, expected] : cases) {
        clsDatFile f = Named(Write("c.dat", line + "\r\n\"a\"\r\n\"b\"\r\n"), 0);
        EXPECT_EQ((std::tuple<std::string, int, int>{Fault([&] { f.Load(); }), f.Rows(), f.Cols()}), expected) << line;
    }
}

TEST_F(DatFile, CsvTableEndsBeforeTheFirstLineOfAnotherWidthAndItsFaults)
{
    const std::string body = "1,2,3\r\n4,5,6\r\n7,8\r\n9,10,11\r\n";
    EXPECT_EQ(Cells(Loaded(body, 1)), (Table{{"1", "2", "3"}, {"4", "5", "6"}}));
    for (const std::string bad : {"7,8", "\"open,8,9", "\"x\"y,8,9", "7,8,9,10", ""})
        EXPECT_EQ(Cells(Loaded("1,2,3\n" + bad + "\n4,5,6\n", 1)), (Table{{"1", "2", "3"}})) << bad;
    // Format 2 skips the first line whatever it holds.
    for (const std::string header : {"\"H1\",\"H2\",\"H3\"", "one", "\"broken", ""})
        EXPECT_EQ(Loaded(header + "\r\n" + body, 2).Rows(), 2) << header;
    // An empty line is a row only in one-column csv.
    EXPECT_EQ(Cells(Loaded("a\r\n\r\nb\r\n", 1)), (Table{{"a"}, {""}, {"b"}}));
    EXPECT_EQ(Cells(Loaded("a,b\r\n\r\nc,d\r\n", 1)), (Table{{"a", "b"}}));
    EXPECT_EQ(Fault([&] { Loaded("", 1); }), "62");
    EXPECT_EQ(Fault([&] { Loaded("\"H1\"\r\n", 2); }), "62");
    // An empty table saved as csv writes no row and cannot be loaded again.
    Named(Path("z.csv"), 1).Save();
    EXPECT_EQ(Read(Path("z.csv")), "");
    // A first line without words is misuse, not a crash.
    EXPECT_EQ(Fault([&] { Loaded("\"open\r\na,b\r\n", 1); }), "clsDatFile.Cols out of bounds (0)");
    EXPECT_EQ(Fault([&] { Loaded(std::string(80, ',') + "\r\n", 1); }), "9");  // 81 columns
}

TEST_F(DatFile, LfOnlyFilesEndLinesAtLfOutsideQuotes)
{
    const std::string rows = "\"a\",\"two\nlines\"\n\"c\",\"d\"\n";
    const Table t = {{"a", "two\nlines"}, {"c", "d"}};
    EXPECT_EQ(Cells(Loaded("2,2\n" + rows, 0)), t);
    EXPECT_EQ(Cells(Loaded(rows, 1)), t);
    EXPECT_EQ(Cells(Loaded("x,y\n" + rows, 2)), t);
    EXPECT_EQ(Cells(Loaded("a\"b,c\nd,e", 1)), (Table{{"a\"b", "c"}, {"d", "e"}}));
    // A file with CRs keeps the classic rule: LF inside a line separates words.
    EXPECT_EQ(Cells(Loaded("a\nb\r\nc\nd\r\n", 1)), (Table{{"a", "b"}, {"c", "d"}}));
    // An unclosed quote ends at its own line, not at the end of the file.
    EXPECT_EQ(Cells(Loaded("3,1\n\"first\"\n\"unclosed\n\"third\"\n", 0)), (Table{{"first"}, {""}, {""}}));
    EXPECT_EQ(Cells(Loaded("a\nb\n\"unclosed\nc", 1)), (Table{{"a"}, {"b"}}));
}

// Where a table ends before its file does, the rows left out are counted, so
// that nobody saves the short table over the file unawares.
TEST_F(DatFile, PartialReadsSayWhereAndHowManyRowsWereLeft)
{
    const std::tuple<int, std::string, std::tuple<int, int, int>> cases[] = {
        // format, text, then rows read, stopped at, not read
        {0, "2,1\r\n\"a\"\r\n\"b\"\r\n", {2, 0, 0}},
        {0, "4,2\r\n\"r0\",\"s0\"\r\n\"short\"\r\n\"r2\",\"s2\"\r\n\"r3\",\"s3\"\r\n", {1, 3, 3}},
        {0, "1,1\r\n\"a\"\r\n\"b\"\r\n\r\n\"c\"\r\n\r\n", {1, 3, 3}},  // more lines than counted
        {0, "1,1\r\n\"a\"\r\n\r\n \r\n", {1, 0, 0}},                   // blank lines at the end lose nothing
        {0, "3,2\r\n\"a\",\"b\"\r\n\r\n", {1, 0, 0}},
        {1, "1,2,3\r\n4,5,6\r\n7,8\r\n9,10,11\r\n\r\n", {2, 3, 2}},
        {1, "1,2,3\n4,5,6\n", {2, 0, 0}},
        {1, "a\r\n\r\nb\r\n\r\n\r\n", {3, 0, 0}},  // one column: an inner empty line is a row, the last ones are not
        {2, "\"h1\",\"h2\"\r\n1,2\r\n3\r\n4,5\r\n", {1, 3, 2}},
        {2, "\"h1\",\"h2\"\r1,2\r3,4\r", {2, 0, 0}},
    };
    for (const auto& [fmt, text, counts] : cases) {
        const clsDatFile f = Loaded(text, fmt);
        EXPECT_EQ((std::tuple{f.RowsRead(), f.StoppedAtLine(), f.RowsNotRead()}), counts) << text;
    }
}

TEST_F(DatFile, TooManyRowsSaysTheLimit)
{
    std::string many;
    for (int i = 0; i < 32767; ++i)
        many += "r\r\n";
    EXPECT_EQ(Loaded(many, 1).Rows(), 32767);  // the limit itself
    for (const auto& [fmt, text] : {std::pair{0, std::string("32768,1\r\n\"a\"\r\n")}, {1, many + "r\r\n"}})
        EXPECT_EQ(Fault([&] { Loaded(text, fmt); }, true), "6 A data file holds at most 32,767 rows: " + Path("in"))
            << fmt;
}

// The bytes of the file come back as they were: the encoding is only noted,
// and a byte order mark is never part of the first cell.
TEST_F(DatFile, EncodingAndByteOrderMarkAreNotedAndKept)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::tuple<int, std::string, std::string, TextEncoding, bool> cases[] = {
        // format, text, cell, encoding, mark
        {0, "1,1\r\n\"plain\"\r\n", "plain", TextEncoding::Utf8, false},
        {0, "1,1\r\n\"M\xc3\xbcller\"\r\n", "M\xc3\xbcller", TextEncoding::Utf8, false},
        {0, bom + "1,1\r\n\"M\xc3\xbcller\"\r\n", "M\xc3\xbcller", TextEncoding::Utf8, true},
        {0, "1,1\r\n\"M\xfcller\"\r\n", "M\xfcller", TextEncoding::Windows1252, false},
        {0, bom + "1,1\r\n\"M\xfcller \x80\"\r\n", "M\xfcller \x80", TextEncoding::Windows1252, true},
        {1, bom + "\"x\",\"y\"\r\n", "x", TextEncoding::Utf8, true},
        {2, bom + "\"H\"\r\n\"v\"\r\n", "v", TextEncoding::Utf8, true},
    };
    for (const auto& [fmt, text, first, encoding, mark] : cases) {
        clsDatFile f = Loaded(text, fmt);
        f.setFileName(Path("out.dat"));
        f.setHeaders({"H"});
        f.Save();
        EXPECT_EQ((std::tuple{f.Data(0, 0), f.Encoding(), f.ByteOrderMark(), Read(Path("out.dat"))}),
                  (std::tuple{first, encoding, mark, text}));
    }
}

TEST_F(DatFile, CountsCellsAndMovesOutsideTheTable)
{
    clsDatFile f;
    EXPECT_EQ(Fault([&] { f.setRows(0); }), "clsDatFile.Rows out of bounds (0)");
    EXPECT_EQ(Fault([&] { f.setCols(-5); }), "clsDatFile.Cols out of bounds (-5)");
    EXPECT_EQ(Fault([&] { f.setRows(32768); }), "6");
    f.setRows(3);
    f.setCols(2);
    EXPECT_EQ(Fault([&] { (void)f.Data(0, 0); }), "9");  // no storage before Clear
    EXPECT_EQ(Fault([&] { f.setData(0, 0, "x"); }), "9");
    f.Clear();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c)
            f.setData(r, c, std::to_string(r) + std::to_string(c));
    for (auto [r, c] : {std::pair{3, 0}, {0, -1}, {-1, 0}, {0, 2}, {32767, 32767}, {-32768, 1}})
        EXPECT_EQ((f.setData(r, c, "changed"), f.Data(r, c)), "") << r << "," << c;
    EXPECT_EQ(Cells(f), (Table{{"00", "01"}, {"10", "11"}, {"20", "21"}}));
    EXPECT_EQ((std::pair{f.Col(1), f.Col(2)}), (std::pair{Table::value_type{"01", "11", "21"}, Table::value_type(3)}));
    // Counts grown after the storage was made: an error, never a read past it.
    f.setRows(5);
    EXPECT_EQ(Fault([&] { (void)f.Data(4, 0); }), "9");
    // A row moves up only from 1..Rows()-1.
    for (auto [row, after] : {std::pair{0, "ABC"}, {-1, "ABC"}, {3, "ABC"}, {1, "BAC"}, {2, "ACB"}}) {
        clsDatFile m = Build(Path("m"), 0, {{"A"}, {"B"}, {"C"}});
        m.MoveRowUp(row);
        EXPECT_EQ(m.Col(0), (std::vector<std::string>{{after[0]}, {after[1]}, {after[2]}})) << row;
    }
}

TEST_F(DatFile, FileTypeExistsAndLoadAndSaveFaults)
{
    EXPECT_EQ((std::tuple{Named("", 2).FileType(), Named("", 3).FileType()}), (std::tuple{"csv", "dat"}));
    for (const std::string& name : {std::string(), Path("missing.dat"), dir_.string(), Write(".hidden.dat", "x")})
        EXPECT_FALSE(Named(name, 0).Exists()) << name;
    EXPECT_TRUE(Named(Write("seen.dat", "x"), 0).Exists());
    EXPECT_EQ(Fault([] { Named("", 0, true); }), "clsDatFile.Load: Filename not set");
    EXPECT_EQ(Fault([&] { Named(Path("missing.dat"), 0, true); }), "53");
    EXPECT_EQ(Fault([&] { Named(Path("missing.dat"), 7, true); }), "");  // unknown format: nothing happens
    // Saving without a name or in an unknown format writes nothing.
    EXPECT_EQ(Fault([&] { Build("", 0, {{"a"}}).Save(), Build(Path("u.dat"), 5, {{"a"}}).Save(); }), "");
    // A save needs a header per column.
    const std::string old = Write("h.csv", "old");
    clsDatFile f = Build(old, 2, {{"a", "b"}});
    f.setHeaders({"only one"});
    EXPECT_EQ((std::tuple{Fault([&] { f.Save(); }), Read(old)}), (std::tuple{"9", "old"}));
    f.setHeaders({"one", "two", "three"});
    f.Save();
    // No temporary file (nor u.dat) beside .hidden.dat, seen.dat and h.csv.
    EXPECT_EQ((std::tuple{Read(old), Entries()}), (std::tuple{"\"one\",\"two\"\r\n\"a\",\"b\"\r\n", 3}));
}

// A save replaces the text, never the file's identity: who owns it, who may
// read it, the link that names it; a save that fails leaves the old file whole.
TEST_F(DatFile, SaveKeepsTheFilesIdentityAndAFailedOneTheOldFile)
{
    const std::string path = Write("keep.dat", "1,1\r\n\"old\"\r\n");
    const std::string mine = Write("mine.dat", "old text that is longer than the new one");
    const std::string refused = "70 " + std::string(kReadOnlyReason) + ": " + path;
    // A read-only file is refused, even for root.
    ::chmod(path.c_str(), 0444);
    EXPECT_EQ(Fault([&] { Build(path, 0, {{"new"}}).Save(); }, true), refused);
    ::chmod(path.c_str(), 0644);
    // A folder the user may not write holds no temporary file: a file of another user
    // there is refused, the user's own writable file is written in place and stays the same file.
    ASSERT_EQ(::chown(mine.c_str(), 65534, 65534), 0);
    ::chmod(mine.c_str(), 0640);
    struct stat before = {}, after = {};
    ::stat(mine.c_str(), &before);
    ::chmod(dir_.c_str(), 0555);
    const int readOnly = InChild(true, [&] {
        return (Fault([&] { Build(path, 0, {{"new"}}).Save(); }, true) == refused ? 0 : 1) +
               (Fault([&] { Build(mine, 0, {{"new"}}).Save(); }).empty() ? 0 : 2);
    });
    EXPECT_EQ(readOnly, 0) << "1: saved or wrong error, 2: own file refused";
    ::chmod(dir_.c_str(), 0755);
    ::stat(mine.c_str(), &after);
    EXPECT_EQ((std::tuple{Read(mine), after.st_ino}), (std::tuple{"1,1\r\n\"new\"\r\n", before.st_ino}));
    // A file size limit makes the write itself fail half way, even for root.
    EXPECT_EQ(0, InChild(false, [&] {
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{64, 64};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  return int(Fault([&] { Build(path, 0, {{std::string(1000, 'n')}}).Save(); }, true).find(path) ==
                             std::string::npos);
              }));
    EXPECT_EQ((std::tuple{Read(path), Entries()}), (std::tuple{"1,1\r\n\"old\"\r\n", 2}));  // no temporary file left
    // Saved by root: owner, group and permissions of the other user's file stay; a symbolic link stays a link
    // and the file it names gets the text; both names of a hard-linked file see it.
    const std::string real = Write("real.dat", "old"), first = Write("1.dat", "old");
    fs::create_symlink("real.dat", Path("link.dat"));
    fs::create_hard_link(first, Path("2.dat"));
    for (const std::string& name : {mine, Path("link.dat"), first})
        Build(name, 0, {{"newer"}}).Save();
    ASSERT_EQ(::stat(mine.c_str(), &after), 0);
    EXPECT_EQ((std::tuple{after.st_uid, after.st_gid, after.st_mode & 07777, fs::is_symlink(Path("link.dat"))}),
              (std::tuple{65534u, 65534u, 0640u, true}));
    const std::string saved = "1,1\r\n\"newer\"\r\n";
    EXPECT_EQ((std::tuple{Read(mine), Read(real), Read(Path("2.dat"))}), (std::tuple{saved, saved, saved}));
}

// Rows keep their cells packed; every edit must leave the other cells whole.
TEST(DatRowTest, CellsSurviveEdits)
{
    const std::string longCell(300, 'x');  // its length takes two bytes
    using Cells = std::vector<std::string>;
    const std::tuple<Cells, int, std::string, Cells> cases[] = {
        // cells, cell set, its value, cells now and one past the last
        {{"a", "b", "c"}, 1, "longer", {"a", "longer", "c", ""}},
        {{"a", "bbbb", "c"}, 1, "", {"a", "", "c", ""}},
        {{"a"}, 3, "d", {"a", "", "", "d", ""}},
        {{}, 0, "x", {"x", ""}},
        {{"a", longCell, "c"}, 2, longCell, {"a", longCell, longCell, ""}},
        {{"a", "b"}, 0, longCell, {longCell, "b", ""}},
    };
    for (const auto& [start, cell, value, now] : cases) {
        DatRow row(start);
        row.setCell(cell, value);
        // By number and walking, one past the last cell too.
        for (std::size_t i = 0, pos = 0; i < now.size(); ++i)
            EXPECT_EQ((std::tuple{row.Cell(int(i)), row.Next(pos)}), (std::tuple{now[i], now[i]})) << cell << " " << i;
    }
}

// A value quoted after what the line already holds, its quotes doubled.
TEST(AppendQuotedTest, QuotesAfterTheLineSoFar)
{
    const std::string longValue(40, 'y');  // past the string's own room
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // line so far, value, line after
        {"", "", "\"\""},
        {"1,", "abc", "1,\"abc\""},
        {"x", "say \"hi\"", "x\"say \"\"hi\"\"\""},
        {"", "\"", "\"\"\"\""},
        {"a,b,", longValue, "a,b,\"" + longValue + "\""},
        {"", "\"\"" + longValue, "\"\"\"\"\"" + longValue + "\""},
    };
    for (const auto& [line, value, after] : cases) {
        std::string out = line;
        AppendQuoted(out, value);
        EXPECT_EQ(out, after) << value;
    }
    // A cell past the end of a short row is a view of nothing.
    std::string out = "a,";
    AppendQuoted(out, std::string_view());
    EXPECT_EQ(out, "a,\"\"");
}

// A row with fewer cells than the table's columns is saved with empty ones.
TEST_F(DatFile, ShortRowsSaveEmptyCells)
{
    clsDatFile f = Named(Path("short.csv"), 1);
    f.setRows(1);
    f.setCols(3);
    f.Clear();
    f.setData(0, 0, "a");
    f.Save();
    EXPECT_EQ(Read(Path("short.csv")), "\"a\",\"\",\"\"\r\n");
}
