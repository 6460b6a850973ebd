// The reserved references <file> and <modified>: where each line came from.
// The modification time is set on a copy of a fixture and read back in a
// time zone that the test sets itself (POSIX rules, no zone database).
#include "common/RtError.h"
#include "harvester/modExtractWorkbookData.h"
#include "tests/harvester/HarvestTestUtil.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>

using namespace harvest_test;
using Strings = std::vector<std::string>;

namespace {

// TZ set for the object's life, then as it was.
struct ZoneGuard {
    explicit ZoneGuard(const char* tz) { ::setenv("TZ", tz, 1), ::tzset(); }
    ~ZoneGuard() { old ? ::setenv("TZ", old->c_str(), 1) : ::unsetenv("TZ"), ::tzset(); }
    const std::optional<std::string> old =
        std::getenv("TZ") ? std::optional(std::string(std::getenv("TZ"))) : std::nullopt;
};

time_t Utc(const char* when)
{
    std::tm tm{};
    ::strptime(when, "%Y-%m-%d %H:%M:%S", &tm);
    return ::timegm(&tm);
}

void SetModified(const std::string& path, time_t t, long nsec = 0)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {t, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::string One(const std::string& book, const std::string& ref, const std::string& fmt)
{
    return ExtractLines(book, FormDefinition{{{"F", ref, fmt}}});
}

TEST(ReservedReference, FileGivesTheFileNameWithoutFolder)
{
    ScratchDir dir;
    const std::tuple<const char*, const char*, const char*, const char*, const char*> rows[] = {
        {"names.xlsx", "march.xlsx", "<file>", "text", "\"march.xlsx\"\r\n"},
        {"names.xls", "march.xls", "<FILE>", "text", "\"march.xls\"\r\n"},  // any letter case
        {"names.ods", "march.ods", "<File>", "", "march.ods\r\n"},
        // a comma or a quote in the name cannot shift the columns
        {"names.xlsx", "Ann, March.xlsx", "<file>", "", "\"Ann, March.xlsx\"\r\n"},
        {"names.xlsx", "say \"hi\".xlsx", "<file>", "text", "\"say \"\"hi\"\".xlsx\"\r\n"},
        {"names.xlsx", "plain.xlsx", "<file>", "@\" (form)\"", "plain.xlsx (form)\r\n"},
    };
    for (const auto& [fixture, name, ref, fmt, line] : rows) {
        SCOPED_TRACE(name);
        const std::string sub = dir.Mkdir("in");
        CopyFixture(fixture, sub + "/" + name);
        EXPECT_EQ(One(sub + "/" + name, ref, fmt), line);
        fs::remove_all(sub);
    }
}

TEST(ReservedReference, ModifiedIsTheLocalFileTimeUnderDateWordsAndPatterns)
{
    ScratchDir dir;
    const std::string book = dir / "form.xlsx";
    CopyFixture("origin.xlsx", book);
    const char* cet = "CET-1CEST,M3.5.0,M10.5.0/3";
    // The zone, the time, format words and patterns, the line they give.
    const std::tuple<const char*, time_t, Strings, const char*> rows[] = {
        // Summer time in a zone one hour east of UTC: 12:05:09 UTC is 14:05:09 there.
        {cet,
         Utc("2026-07-15 12:05:09"),
         {"dmy", "MDY", "ymd", "yyyy-mm-dd hh:mm", "hh:mm:ss"},
         "15/07/2026,07/15/2026,20260715,2026-07-15 14:05,14:05:09"},
        {cet, Utc("2026-07-15 12:05:09"), {"", "text"}, "2026-07-15 14:05:09,\"2026-07-15 14:05:09\""},
        // The same zone in winter: one hour.
        {cet, Utc("2026-01-15 12:05:09"), {"yyyy-mm-dd hh:mm"}, "2026-01-15 13:05"},
        // Half an hour off and past midnight there: the local day, not UTC's.
        {"IST-5:30", Utc("2026-02-28 20:00:00"), {"dmy", "dd mmm yyyy hh:mm"}, "01/03/2026,01 Mar 2026 01:30"},
        // West of UTC: still the day before.
        {"EST5", Utc("2026-03-01 03:59:59"), {"yyyy-mm-dd hh:mm:ss"}, "2026-02-28 22:59:59"},
        {"UTC0", Utc("2026-12-31 23:59:59"), {"yyyy-mm-dd hh:mm:ss"}, "2026-12-31 23:59:59"},
    };
    for (const auto& [tz, utc, formats, line] : rows) {
        SCOPED_TRACE(std::string(tz) + " / " + line);
        ZoneGuard zone(tz);
        SetModified(book, utc, 999999999);  // the fraction of a second is dropped, not rounded up
        FormDefinition form;
        for (const auto& f : formats)
            form.fields.push_back({"F", "<modified>", f});
        EXPECT_EQ(ExtractLines(book, form), std::string(line) + "\r\n");
    }
}

TEST(ReservedReference, RepeatsOnEveryLineBesideLongerRuns)
{
    ScratchDir dir;
    const std::string book = dir / "week 12.xlsx";
    CopyFixture("origin.xlsx", book);
    ZoneGuard zone("UTC0");
    SetModified(book, Utc("2026-03-02 08:30:00"));
    // Like a one-cell field: the same value on each line; "+" counts the items.
    WriteForm(dir / "f.dat", {{"N", "B5:B7", "0"},
                              {"File", "<file>", "text"},
                              {"Saved", "<Modified>", "+dmy"},
                              {"At", "<modified>", "hh:mm"}});
    ExtractWorkbookData(book, dir / "f.dat", dir / "out.csv");
    EXPECT_EQ(ReadFile(dir / "out.csv"), "N,File,Saved,At\r\n"
                                         "10,\"week 12.xlsx\",02/03/2026,08:30\r\n"
                                         "20,\"week 12.xlsx\",03/03/2026,08:30\r\n"
                                         "30,\"week 12.xlsx\",04/03/2026,08:30\r\n");
    auto wb = wb::Workbook::Open(book);
    EXPECT_EQ(RangeLength(*wb, "<file>"), 1);
    EXPECT_EQ(CellValue(*wb, "<file>", 2), "week 12.xlsx");
    EXPECT_EQ(CellValue(*wb, "<modified>", 2), "2026-03-02 08:30:00");
}

TEST(ReservedReference, NamesSpelledLikeThemStillResolve)
{
    // The workbook defines names "file" and "modified": without the angle
    // brackets a reference is still a name.
    auto book = wb::Workbook::Open(Fixture("origin.xlsx"));
    const std::tuple<const char*, const char*> rows[] = {
        {"file", "\"named file\"\r\n"},
        {"FILE", "\"named file\"\r\n"},
        {"Modified", "\"named modified\"\r\n"},
        {"<file>", "\"origin.xlsx\"\r\n"},
    };
    for (const auto& [ref, line] : rows) {
        SCOPED_TRACE(ref);
        EXPECT_EQ(ExtractLines(*book, FormDefinition{{{"F", ref, "text"}}}), line);
    }
}

TEST(ReservedReference, UnknownOnesAreErrorsNamingThemAndWriteNothing)
{
    ScratchDir dir;
    const std::tuple<const char*, const char*> rows[] = {
        {"<foo>", "<foo> is not a reserved reference"},
        {"<filename>", "<filename> is not a reserved reference"},
        {"< file>", "< file> is not a reserved reference"},
        {"<>", "<> is not a reserved reference"},
        {"<fi\nle>", "<fi\\nle> is not a reserved reference"},  // kept on one line
        {"<file", "<file is neither a defined name nor a cell address"},
    };
    for (const auto& [ref, mustMention] : rows) {
        SCOPED_TRACE(ref);
        WriteForm(dir / "f.dat", {{"Name", "B2", "text"}, {"Bad", ref, "text"}});
        const Thrown t = ThrownBy([&] { ExtractWorkbookData(Fixture("origin.xlsx"), dir / "f.dat", dir / "out.csv"); });
        EXPECT_TRUE(Contains(t.what, mustMention)) << t.what;
        EXPECT_FALSE(Contains(t.what, "\n")) << t.what;
        EXPECT_FALSE(fs::exists(dir / "out.csv"));
    }
}

}  // namespace
