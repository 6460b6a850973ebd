#include "common/RtError.h"
#include "common/clsDatFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class DatFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "datfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static clsDatFile Loaded(const std::string& path, int fmt)
    {
        clsDatFile f;
        f.setFileName(path);
        f.setFmt(static_cast<int16_t>(fmt));
        f.Load();
        return f;
    }

    static std::vector<std::vector<std::string>> Cells(const clsDatFile& f)
    {
        std::vector<std::vector<std::string>> t(static_cast<std::size_t>(f.Rows()));
        for (int r = 0; r < f.Rows(); ++r)
            for (int c = 0; c < f.Cols(); ++c)
                t[static_cast<std::size_t>(r)].push_back(f.Data(r, c));
        return t;
    }

    template <typename F>
    static int ErrorNumber(F f)
    {
        try {
            f();
        } catch (const rt::RtError& e) {
            return e.Number();
        }
        return 0;
    }

    fs::path dir_;
};

using Table = std::vector<std::vector<std::string>>;

clsDatFile Build(const std::string& path, int fmt, const Table& t)
{
    clsDatFile f;
    f.setFileName(path);
    f.setFmt(static_cast<int16_t>(fmt));
    f.setRows(static_cast<int>(t.size()));
    f.setCols(static_cast<int>(t[0].size()));
    f.Clear();
    std::vector<std::string> headers;
    for (std::size_t c = 0; c < t[0].size(); ++c)
        headers.push_back("H" + std::to_string(c + 1));
    f.setHeaders(headers);
    for (std::size_t r = 0; r < t.size(); ++r)
        for (std::size_t c = 0; c < t[r].size(); ++c)
            f.setData(static_cast<int>(r), static_cast<int>(c), t[r][c]);
    return f;
}

}  // namespace

TEST_F(DatFile, WritesEveryFieldQuotedWithCrLfInEachFormat)
{
    const Table t = {{"a", "b"}, {"c\"d", ""}};
    const std::string rows = "\"a\",\"b\"\r\n\"c\"\"d\",\"\"\r\n";
    const std::string expected[] = {"2,2\r\n" + rows, rows, "\"H1\",\"H2\"\r\n" + rows};
    for (int fmt = 0; fmt < 3; ++fmt) {
        Build(Path("t.txt"), fmt, t).Save();
        EXPECT_EQ(Read(Path("t.txt")), expected[fmt]) << fmt;
    }
    EXPECT_EQ(clsDatFile::QuoteField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(clsDatFile::QuoteField(""), "\"\"");
}

TEST_F(DatFile, RoundTripsInEveryFormat)
{
    const std::vector<std::string> tricky = {"plain", "a \"quoted\" word", "comma, inside", "line\nfeed",
                                             "", "12.50", "\"", "caf\xc3\xa9 \xe2\x82\xac", "tab\tend", "'\"\"'"};
    for (int cols : {1, 2, 10, 80}) {
        Table t;
        for (int r = 0; r < 5; ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < cols; ++c)
                row.push_back(tricky[static_cast<std::size_t>(r * 7 + c) % tricky.size()]);
            t.push_back(row);
        }
        for (int fmt = 0; fmt < 3; ++fmt) {
            const std::string path = Path("rt" + std::to_string(fmt));
            Build(path, fmt, t).Save();
            const clsDatFile f = Loaded(path, fmt);
            EXPECT_EQ(f.Rows(), 5) << cols << " columns, format " << fmt;
            EXPECT_EQ(f.Cols(), cols);
            EXPECT_EQ(Cells(f), t) << cols << " columns, format " << fmt;
        }
    }
}

TEST_F(DatFile, RoundTripLosesOuterSpacesAndStopsAtCarriageReturn)
{
    const Table t = {{"  padded  ", "x"}, {"a\rb", "y"}, {"c", "z"}};
    for (int fmt = 0; fmt < 3; ++fmt) {
        Build(Path("t"), fmt, t).Save();
        const clsDatFile f = Loaded(Path("t"), fmt);
        EXPECT_EQ(f.Data(0, 0), "padded");
        EXPECT_EQ(f.Data(1, 1), "") << fmt;  // the broken line ends the table
        EXPECT_EQ(f.Rows(), fmt == 0 ? 3 : 1) << fmt;
    }
}

TEST_F(DatFile, DatShortOrMalformedLineEndsTheRowsButKeepsTheCount)
{
    const std::string lines[] = {"\"only one\"", "\"a\",\"b\",\"c\"", "\"open,\"b\"", "\"x\"y,\"z\"", ""};
    for (const auto& bad : lines) {
        const std::string path = Write("d.dat", "4,2\r\n\"r0\",\"s0\"\r\n" + bad + "\r\n\"r2\",\"s2\"\r\n\"r3\",\"s3\"\r\n");
        const clsDatFile f = Loaded(path, 0);
        EXPECT_EQ(f.Rows(), 4) << bad;
        EXPECT_EQ(f.Data(0, 1), "s0");
        EXPECT_EQ(f.Data(1, 0), "") << bad;
        EXPECT_EQ(f.Data(2, 0), "") << bad;
        EXPECT_EQ(f.Data(3, 1), "") << bad;
    }
}

TEST_F(DatFile, DatWithFewerLinesThanCountedFailsWith62AndKeepsWhatWasRead)
{
    clsDatFile f;
    f.setFileName(Write("d.dat", "3,1\r\n\"a\"\r\n\"b\"\r\n"));
    EXPECT_EQ(ErrorNumber([&] { f.Load(); }), 62);
    EXPECT_EQ(f.Rows(), 3);
    EXPECT_EQ(f.Data(1, 0), "b");
    EXPECT_EQ(ErrorNumber([&] { Loaded(Write("e.dat", ""), 0); }), 62);
}

TEST_F(DatFile, CountLine)
{
    struct Case { std::string line; int error; int rows; int cols; };
    const Case cases[] = {
        {"2,1", 0, 2, 1},
        {" 2 , 1 ", 0, 2, 1},
        {"+2,1", 0, 2, 1},
        {"0,0", 0, 0, 0},
        {"abc,1", 13, 0, 0},
        {"2", 13, 0, 0},
        {"", 13, 0, 0},
        {"2,", 13, 0, 0},
        {"1.5,1", 13, 0, 0},
        {"2,1,7", 13, 0, 0},
        {"\"2\",\"1\"", 13, 0, 0},
        {"32768,1", 6, 0, 0},
        {"2,99999999999999999999", 6, 0, 0},
        {"-1,1", 9, 0, 0},
        {"2,-3", 9, 0, 0},
    };
    for (const auto& c : cases) {
        clsDatFile f;
        f.setFileName(Write("c.dat", c.line + "\r\n\"a\"\r\n\"b\"\r\n"));
        EXPECT_EQ(ErrorNumber([&] { f.Load(); }), c.error) << c.line;
        EXPECT_EQ(f.Rows(), c.rows) << c.line;
        EXPECT_EQ(f.Cols(), c.cols) << c.line;
    }
    EXPECT_EQ(Loaded(Write("c.dat", "2,1\r\n\"a\"\r\n\"b\"\r\n"), 0).Data(1, 0), "b");
}

TEST_F(DatFile, CsvTableEndsBeforeTheFirstLineOfAnotherWidth)
{
    const std::string body = "1,2,3\r\n4,5,6\r\n7,8\r\n9,10,11\r\n";
    const clsDatFile f = Loaded(Write("a.csv", body), 1);
    EXPECT_EQ(f.Cols(), 3);
    EXPECT_EQ(f.Rows(), 2);
    EXPECT_EQ(Cells(f), (Table{{"1", "2", "3"}, {"4", "5", "6"}}));

    for (const std::string bad : {"7,8", "\"open,8,9", "\"x\"y,8,9", "7,8,9,10", ""}) {
        const clsDatFile g = Loaded(Write("b.csv", "1,2,3\n" + bad + "\n4,5,6\n"), 1);
        EXPECT_EQ(g.Rows(), 1) << bad;
        EXPECT_EQ(g.Data(0, 2), "3") << bad;
    }

    // Format 2 skips the first line whatever it holds.
    for (const std::string header : {"\"H1\",\"H2\",\"H3\"", "one", "\"broken", ""}) {
        const clsDatFile g = Loaded(Write("h.csv", header + "\r\n" + body), 2);
        EXPECT_EQ(g.Rows(), 2) << header;
        EXPECT_EQ(g.Data(0, 0), "1") << header;
    }
}

TEST_F(DatFile, EmptyLineIsARowOnlyInOneColumnCsv)
{
    const clsDatFile one = Loaded(Write("1.csv", "a\r\n\r\nb\r\n"), 1);
    EXPECT_EQ(Cells(one), (Table{{"a"}, {""}, {"b"}}));
    const clsDatFile two = Loaded(Write("2.csv", "a,b\r\n\r\nc,d\r\n"), 1);
    EXPECT_EQ(Cells(two), (Table{{"a", "b"}}));
}

TEST_F(DatFile, CsvWithoutDataLineFailsWith62)
{
    EXPECT_EQ(ErrorNumber([&] { Loaded(Write("e.csv", ""), 1); }), 62);
    EXPECT_EQ(ErrorNumber([&] { Loaded(Write("h.csv", "\"H1\"\r\n"), 2); }), 62);
    // An empty table saved as csv writes no row and cannot be loaded again.
    clsDatFile f;
    f.setFileName(Path("z.csv"));
    f.setFmt(1);
    f.Save();
    EXPECT_EQ(Read(Path("z.csv")), "");
    EXPECT_EQ(ErrorNumber([&] { Loaded(Path("z.csv"), 1); }), 62);
}

TEST_F(DatFile, CsvFirstLineWithoutWordsIsMisuseNotACrash)
{
    clsDatFile f;
    f.setFileName(Write("bad.csv", "\"open\r\na,b\r\n"));
    f.setFmt(1);
    try {
        f.Load();
        FAIL() << "no error";
    } catch (const rt::FatalError& e) {
        EXPECT_STREQ(e.what(), "clsDatFile.Cols out of bounds (0)");
    }
}

TEST_F(DatFile, LfOnlyFilesEndLinesAtLfOutsideQuotes)
{
    const std::string rows = "\"a\",\"two\nlines\"\n\"c\",\"d\"\n";
    const Table t = {{"a", "two\nlines"}, {"c", "d"}};
    EXPECT_EQ(Cells(Loaded(Write("lf.dat", "2,2\n" + rows), 0)), t);
    EXPECT_EQ(Cells(Loaded(Write("lf.csv", rows), 1)), t);
    EXPECT_EQ(Cells(Loaded(Write("lfh.csv", "x,y\n" + rows), 2)), t);
    // No final line end, plain words, a quote inside a plain word.
    EXPECT_EQ(Cells(Loaded(Write("p.csv", "a\"b,c\nd,e"), 1)), (Table{{"a\"b", "c"}, {"d", "e"}}));
    // A file with CRs keeps the classic rule: LF inside a line separates words.
    const clsDatFile cr = Loaded(Write("cr.csv", "a\nb\r\nc\nd\r\n"), 1);
    EXPECT_EQ(Cells(cr), (Table{{"a", "b"}, {"c", "d"}}));
}

TEST_F(DatFile, LfOnlyUnclosedQuoteEndsAtItsOwnLine)
{
    std::string rest;
    for (int i = 0; i < 3000; ++i)
        rest += "\"row " + std::to_string(i) + " of the file\"\n";
    const clsDatFile dat = Loaded(Write("u.dat", "3000,1\n\"first\"\n\"unclosed\n" + rest), 0);
    EXPECT_EQ(dat.Rows(), 3000);
    EXPECT_EQ(dat.Data(0, 0), "first");
    EXPECT_EQ(dat.Data(2, 0), "");
    const clsDatFile csv = Loaded(Write("u.csv", "a\nb\n\"unclosed\nc"), 1);
    EXPECT_EQ(Cells(csv), (Table{{"a"}, {"b"}}));
}

TEST_F(DatFile, ByteOrderMarkIsSkipped)
{
    const std::string bom = "\xEF\xBB\xBF";
    EXPECT_EQ(Loaded(Write("b.dat", bom + "1,1\r\n\"x\"\r\n"), 0).Data(0, 0), "x");
    EXPECT_EQ(Loaded(Write("b.csv", bom + "x,y\r\n"), 1).Data(0, 0), "x");
    EXPECT_EQ(Loaded(Write("h.csv", bom + "\"H\"\n\"v\"\n"), 2).Data(0, 0), "v");
}

TEST_F(DatFile, TooManyFieldsOrRowsAreErrors)
{
    std::string wide;
    for (int i = 0; i < 81; ++i)
        wide += "x,";
    wide.pop_back();
    EXPECT_EQ(ErrorNumber([&] { Loaded(Write("w.csv", wide + "\r\n"), 1); }), 9);

    std::string many;
    for (int i = 0; i < 32768; ++i)
        many += "r\n";
    EXPECT_EQ(ErrorNumber([&] { Loaded(Write("m.csv", many), 1); }), 6);
    many.resize(many.size() - 2);
    EXPECT_EQ(Loaded(Write("m.csv", many), 1).Rows(), 32767);
}

TEST_F(DatFile, HugeCountLineWithFewLinesCostsLittle)
{
    clsDatFile f;
    f.setFileName(Write("big.dat", "32767,80\r\n\"a\"\r\n"));
    f.Load();
    EXPECT_EQ(f.Rows(), 32767);
    EXPECT_EQ(f.Cols(), 80);
    EXPECT_EQ(f.Data(32766, 79), "");
}

TEST_F(DatFile, CountSettersRejectMisuse)
{
    clsDatFile f;
    for (int n : {0, -5}) {
        try {
            f.setRows(n);
            ADD_FAILURE();
        } catch (const rt::FatalError& e) {
            EXPECT_EQ(std::string(e.what()), "clsDatFile.Rows out of bounds (" + std::to_string(n) + ")");
        }
        try {
            f.setCols(n);
            ADD_FAILURE();
        } catch (const rt::FatalError& e) {
            EXPECT_EQ(std::string(e.what()), "clsDatFile.Cols out of bounds (" + std::to_string(n) + ")");
        }
    }
    EXPECT_EQ(ErrorNumber([&] { f.setRows(32768); }), 6);
    EXPECT_EQ(f.Rows(), 0);
}

TEST_F(DatFile, CellsOutsideTheTable)
{
    clsDatFile f;
    f.setRows(3);
    f.setCols(2);
    EXPECT_EQ(ErrorNumber([&] { (void)f.Data(0, 0); }), 9);  // no storage before Clear
    EXPECT_EQ(ErrorNumber([&] { f.setData(0, 0, "x"); }), 9);
    EXPECT_EQ(f.Data(3, 0), "");
    f.Clear();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c)
            f.setData(r, c, std::to_string(r) + std::to_string(c));
    const std::pair<int, int> outside[] = {{3, 0}, {0, -1}, {-1, 0}, {0, 2}, {32767, 32767}, {-32768, 1}};
    for (auto [r, c] : outside) {
        f.setData(r, c, "changed");
        EXPECT_EQ(f.Data(r, c), "") << r << "," << c;
    }
    EXPECT_EQ(Cells(f), (Table{{"00", "01"}, {"10", "11"}, {"20", "21"}}));

    EXPECT_EQ(f.Col(1), (std::vector<std::string>{"01", "11", "21"}));
    EXPECT_EQ(f.Col(2), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(f.Col(-1), (std::vector<std::string>{"", "", ""}));

    // Counts grown after the storage was made: an error, never a read past it.
    f.setRows(5);
    EXPECT_EQ(ErrorNumber([&] { (void)f.Data(4, 0); }), 9);
    f.Clear();
    EXPECT_EQ(f.Data(0, 0), "");  // Clear drops the cells
}

TEST_F(DatFile, MoveRowUp)
{
    const Table t = {{"A"}, {"B"}, {"C"}};
    struct Case { int row; std::vector<std::string> after; };
    const Case cases[] = {
        {0, {"A", "B", "C"}}, {-1, {"A", "B", "C"}}, {3, {"A", "B", "C"}},
        {1, {"B", "A", "C"}}, {2, {"A", "C", "B"}},
    };
    for (const auto& c : cases) {
        clsDatFile f = Build(Path("m"), 0, t);
        f.MoveRowUp(c.row);
        EXPECT_EQ(f.Col(0), c.after) << c.row;
    }
}

TEST_F(DatFile, FileTypeAndExists)
{
    clsDatFile f;
    const std::pair<int, const char*> types[] = {{0, "dat"}, {1, "csv"}, {2, "csv"}, {3, "dat"}, {-1, "dat"}};
    for (auto [fmt, type] : types) {
        f.setFmt(static_cast<int16_t>(fmt));
        EXPECT_EQ(f.FileType(), type);
    }

    fs::create_directory(Path("folder"));
    const std::pair<std::string, bool> names[] = {
        {"", false}, {Path("missing.dat"), false}, {Path("folder"), false},
        {Write(".hidden.dat", "x"), false}, {Write("seen.dat", "x"), true},
    };
    for (const auto& [name, exists] : names) {
        f.setFileName(name);
        EXPECT_EQ(f.Exists(), exists) << name;
    }
}

TEST_F(DatFile, LoadFaults)
{
    clsDatFile f;
    try {
        f.Load();
        FAIL();
    } catch (const rt::FatalError& e) {
        EXPECT_STREQ(e.what(), "clsDatFile.Load: Filename not set");
    }
    f.setFileName(Path("missing.dat"));
    try {
        f.Load();
        FAIL();
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.Number(), 53);
        EXPECT_EQ(e.Subject(), Path("missing.dat"));
    }
    f.setFmt(7);
    EXPECT_NO_THROW(f.Load());  // unknown format: nothing happens
    f.setFileName("");
    EXPECT_NO_THROW(f.Load());
}

TEST_F(DatFile, SaveWithoutNameOrWithUnknownFormatWritesNothing)
{
    clsDatFile f = Build("", 0, {{"a"}});
    EXPECT_NO_THROW(f.Save());
    f.setFileName(Path("u.dat"));
    f.setFmt(5);
    f.Save();
    EXPECT_FALSE(fs::exists(Path("u.dat")));
}

TEST_F(DatFile, HeaderLineNeedsAHeaderPerColumn)
{
    const std::string old = Write("h.csv", "old");
    clsDatFile f = Build(old, 2, {{"a", "b"}});
    f.setHeaders({"only one"});
    EXPECT_EQ(ErrorNumber([&] { f.Save(); }), 9);
    EXPECT_EQ(Read(old), "old");
    f.setHeaders({"one", "two", "three"});
    f.Save();
    EXPECT_EQ(Read(old), "\"one\",\"two\"\r\n\"a\",\"b\"\r\n");
}

TEST_F(DatFile, SaveKeepsPermissionsAndLeavesNoTemporaryFile)
{
    const std::string path = Write("p.dat", "old");
    ::chmod(path.c_str(), 0640);
    Build(path, 0, {{"a"}}).Save();
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(DatFile, SaveIntoReadOnlyFolderLeavesTheOldFileWhole)
{
    const std::string path = Write("keep.dat", "1,1\r\n\"old\"\r\n");
    ::chmod(dir_.c_str(), 0555);
    // Root writes anywhere: try it as an ordinary user in a child.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(3);
        try {
            Build(path, 0, {{"new"}}).Save();
        } catch (const rt::RtError& e) {
            const std::string what = e.what();
            const bool ok = e.Number() == 70 && what.find(path) != std::string::npos &&
                            what.find("Permission denied") != std::string::npos;
            ::_exit(ok ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved, 2: wrong error, 3: could not drop root";
    EXPECT_EQ(Read(path), "1,1\r\n\"old\"\r\n");
}

TEST_F(DatFile, FailedWriteLeavesTheOldFileWhole)
{
    const std::string path = Write("keep.dat", "1,1\r\n\"old\"\r\n");
    // A file size limit makes the write itself fail, half way, even for root.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            Build(path, 0, {{std::string(1000, 'n')}}).Save();
        } catch (const rt::RtError& e) {
            ::_exit(std::string(e.what()).find(path) != std::string::npos ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Read(path), "1,1\r\n\"old\"\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "temporary file left";
}
