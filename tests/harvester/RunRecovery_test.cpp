// What a run leaves when it is killed or its data file fails, and what the
// next run makes of it: exactly once where that can be proved, and otherwise
// a configuration error that changes nothing.
#include "tests/harvester/BatchRunFixture.h"

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>

using namespace harvest_test;

namespace {

class Recovery : public BatchRun {
public:
    // The journal with one "key=value" line replaced (or removed when value
    // is null), its length line kept right.
    void EditJournal(const std::string& key, const char* value)
    {
        std::string text = ReadFile(JournalFile());
        std::string body = text.substr(text.find('\n') + 1);
        size_t at = body.find("\n" + key + "=");
        ASSERT_NE(at, std::string::npos) << key;
        size_t end = body.find('\n', at + 1);
        body.replace(at, end - at, value ? "\n" + key + "=" + value : "");
        WriteFile(JournalFile(), "glean journal 2 " + std::to_string(body.size()) + "\n" + body);
    }
    std::string JournalValue(const std::string& key)
    {
        std::string text = ReadFile(JournalFile());
        size_t at = text.find("\n" + key + "=") + key.size() + 2;
        return text.substr(at, text.find('\n', at) - at);
    }
};

TEST_F(Recovery, CrashBetweenAppendAndMoveIsUndoneByTheNextRun)
{
    AddBooks(3);
    CrashAfterAppend(1);
    EXPECT_EQ(ReadFile(data), Lines(2));  // the second workbook's lines are in, it was never moved
    EXPECT_EQ(CountFiles(in), 2);
    BatchResult r = Run(in, out);
    EXPECT_EQ(r.done, 2);
    EXPECT_TRUE(Contains(r.settled, in + "/b001.xlsx")) << r.settled;
    EXPECT_EQ(ReadFile(data), Lines(3));  // as one uninterrupted run
    EXPECT_EQ(CountFiles(in), 0);
    EXPECT_EQ(CountFiles(out), 3);
    EXPECT_FALSE(fs::exists(JournalFile()));
}

TEST_F(Recovery, CrashAfterTheFirstAppendOfANewDataFileRemovesIt)
{
    AddBooks(1);
    CrashAfterAppend(0);
    // An empty file left behind would make the next run drop the header line.
    EXPECT_EQ(Run(dir.Mkdir("empty"), out).listed, 0);
    EXPECT_FALSE(fs::exists(data));
    Run(in, out);
    EXPECT_EQ(ReadFile(data), Lines(1));
}

TEST_F(Recovery, LinesOfAMovedWorkbookStandWhateverWasEditedSince)
{
    AddBooks(3);
    CrashAfterAppend(1);
    fs::rename(in + "/b001.xlsx", out + "/b001.xlsx");  // killed just after the move
    WriteFile(data, ReadFile(data) + "\"Zed\",01/01/2009,1.0\r\n");
    const std::string before = ReadFile(data);
    EXPECT_EQ(Run(in, out).done, 1);
    EXPECT_EQ(ReadFile(data), before + kTimesheetLines);
    EXPECT_FALSE(fs::exists(JournalFile()));
}

TEST_F(Recovery, CopyOfAMovedWorkbookPutBackIsANewWorkbook)
{
    AddBooks(3);
    CrashAfterAppend(1);
    fs::rename(in + "/b001.xlsx", out + "/b001.xlsx");     // killed just after the move
    fs::copy_file(out + "/b001.xlsx", in + "/b001.xlsx");  // and a copy put back before the next run
    EXPECT_EQ(Run(in, out).done, 2);
    EXPECT_EQ(ReadFile(data), Lines(4));  // the moved one's lines stand; the copy is harvested too
    EXPECT_FALSE(fs::exists(JournalFile()));
}

TEST(RecoveryRows, NothingIsCutThatCannotBeProvedToBeTheAppend)
{
    struct Row {
        const char* what;
        std::function<void(Recovery&)> change;
        const char* differs;  // part of the message
    } rows[] = {
        {"a line added by hand",
         [](Recovery& t) { WriteFile(t.data, ReadFile(t.data) + "\"Zed\",01/01/2009,1.0\r\n"); }, "bytes long"},
        {"the first record deleted by hand",
         [](Recovery& t) {
             std::string s = ReadFile(t.data);
             size_t first = s.find('\n') + 1;
             WriteFile(t.data, s.substr(0, first) + s.substr(s.find('\n', first) + 1));
         },
         "bytes long"},
        {"a record changed by hand, same length",
         [](Recovery& t) {
             std::string s = ReadFile(t.data);
             s[s.size() - 5] = '9';
             WriteFile(t.data, s);
         },
         "are not the lines that were appended"},
        {"the append cut short", [](Recovery& t) { fs::resize_file(t.data, fs::file_size(t.data) - 10); },
         "bytes long"},
        {"the file saved over by another program",
         [](Recovery& t) {
             WriteFile(t.data + ".new", ReadFile(t.data));
             fs::rename(t.data + ".new", t.data);
         },
         "replaced"},
        {"journal start moved back",
         [](Recovery& t) { t.EditJournal("before", std::to_string(std::stoll(t.JournalValue("before")) - 5).c_str()); },
         "are not the lines that were appended"},
        {"journal start past the end",
         [](Recovery& t) {
             t.EditJournal("before", "100000000");
             t.EditJournal("after", "100000200");
         },
         "bytes long"},
        {"journal says the run created the file",
         [](Recovery& t) {
             t.EditJournal("before", "0");
             t.EditJournal("created", "1");
         },
         "are not the lines that were appended"},
        {"journal checksum wrong", [](Recovery& t) { t.EditJournal("checksum", "0123456789abcdef"); },
         "are not the lines that were appended"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh<Recovery> t;  // fresh folders for each row
        t.AddBooks(3);
        t.CrashAfterAppend(1);
        row.change(t);
        const std::string data = ReadFile(t.data), journal = ReadFile(t.JournalFile());
        BatchResult r = t.Run(t.in, t.out);
        EXPECT_TRUE(
            Contains(r.configError, "The data file " + t.data + " does not match the journal " + t.JournalFile()))
            << r.configError;
        EXPECT_TRUE(Contains(r.configError, row.differs)) << r.configError;
        EXPECT_EQ(ReadFile(t.data), data);
        EXPECT_EQ(ReadFile(t.JournalFile()), journal);
        EXPECT_EQ(CountFiles(t.in), 2);
    }
}

TEST(RecoveryRows, DamagedJournalIsAConfigurationErrorThatNamesIt)
{
    struct Row {
        const char* what;
        std::function<void(Recovery&)> damage;
        const char* says;
    } rows[] = {
        {"not a journal", [](Recovery& t) { WriteFile(t.JournalFile(), "garbage\n"); }, "does not begin with"},
        {"an older format",
         [](Recovery& t) { WriteFile(t.JournalFile(), "glean journal 1 30\nexisted=1\nstart=0\nend=9\n"); },
         "another version"},
        {"cut short",
         [](Recovery& t) {
             std::string s = ReadFile(t.JournalFile());
             WriteFile(t.JournalFile(), s.substr(0, s.size() / 2));
         },
         "cut short"},
        {"a number that is not one", [](Recovery& t) { t.EditJournal("after", "12x"); }, "\"after\" is not valid"},
        {"a line missing", [](Recovery& t) { t.EditJournal("checksum", nullptr); }, "\"checksum=\" is missing"},
        {"a folder",
         [](Recovery& t) {
             fs::remove(t.JournalFile());
             fs::create_directory(t.JournalFile());
         },
         "is damaged: it is not a regular file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh<Recovery> t;
        t.AddBooks(2);
        t.CrashAfterAppend(1);
        row.damage(t);
        const std::string data = ReadFile(t.data);
        BatchResult r = t.Run(t.in, t.out);
        EXPECT_TRUE(Contains(r.configError, t.JournalFile())) << r.configError;
        EXPECT_TRUE(Contains(r.configError, row.says)) << r.configError;
        EXPECT_EQ(ReadFile(t.data), data);
        EXPECT_TRUE(fs::exists(t.JournalFile()));
        EXPECT_EQ(CountFiles(t.in), 1);
    }
    // A cleared or empty journal is nothing to settle.
    for (const char* journal : {"-lean journal 2 10\n", ""}) {
        Fresh<Recovery> t;
        t.AddBooks(1);
        WriteFile(t.JournalFile(), journal);
        EXPECT_EQ(t.Run(t.in, t.out).done, 1);
        EXPECT_FALSE(fs::exists(t.JournalFile()));
    }
}

TEST_F(Recovery, SecondHarvesterIsToldTheDataFileIsInUse)
{
    AddBooks(1);
    int fd = ::open(DataFileLock::PathFor(data).c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    // flock locks belong to the open file, so a second open in this process conflicts.
    BatchResult r = Run(in, out);
    EXPECT_TRUE(Contains(r.configError, "in use")) << r.configError;
    EXPECT_EQ(CountFiles(in), 1);
    ::close(fd);
    EXPECT_EQ(Run(in, out).done, 1);
    EXPECT_FALSE(fs::exists(DataFileLock::PathFor(data)));
}

TEST_F(Recovery, AppendOnlyDataFileWithBlockedMoveIsSettledOnceTheMoveWorks)
{
    AddBooks(3);
    WriteFile(data, "");
    FileAttribute appendOnly(data, "+a");
    if (!appendOnly.Ok())
        GTEST_SKIP() << "chattr +a is not permitted here";
    fs::create_directory(out + "/b001.xlsx");  // the move of b001 fails

    // The lines of b001 cannot be taken out again: the run stops and the journal stays.
    BatchResult r = Run(in, out);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(Column(1)[0], "Done");
    EXPECT_TRUE(Contains(Column(1)[1], "Cannot move the workbook")) << Column(1)[1];
    EXPECT_EQ(Column(1)[2], "Pending");
    EXPECT_EQ(r.notTried, Strings{in + "/b002.xlsx"});
    // The window's closing message says why once and what was left.
    EXPECT_EQ(r.message, "The run stopped at " + in + "/b001.xlsx:\n" + r.stopReason +
                             "\n1 form was not tried; it stays in the input folder.");
    EXPECT_TRUE(fs::exists(JournalFile()));
    EXPECT_EQ(ReadFile(data), Lines(2));

    // Still blocked: nothing changes, the journal is named.
    r = Run(in, out);
    EXPECT_TRUE(Contains(r.configError, JournalFile())) << r.configError;
    EXPECT_EQ(ReadFile(data), Lines(2));

    fs::remove(out + "/b001.xlsx");
    r = Run(in, out);
    EXPECT_EQ(r.configError, "");
    EXPECT_TRUE(Contains(r.settled, "moved")) << r.settled;
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(ReadFile(data), Lines(3));  // each workbook's lines once
    EXPECT_EQ(CountFiles(out), 3);
    EXPECT_FALSE(fs::exists(JournalFile()));
}

TEST_F(Recovery, DataFileFailureStopsTheRunAtTheFirst)
{
    AddBooks(5);
    Run(in + "/b000.xlsx", out);
    const std::string one = ReadFile(data);
    // A file size limit gives EFBIG on the append of the third workbook, as a full disk gives ENOSPC.
    const std::string report = dir / "report.txt";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{static_cast<rlim_t>(one.size() + 2 * (one.size() - std::string(kTimesheetHeader).size()) + 50),
                   RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &lim);
        MemoryStatusList childList;
        clsBatchRun run(childList);
        run.setPaths({form, in, out, data});
        BatchResult r = run.RunBatch();
        std::string text = std::to_string(r.done) + "|" + std::to_string(r.failures.size()) + "|" +
                           std::to_string(r.notTried.size()) + "|" + std::to_string(r.stopped) + "|" + r.stopReason +
                           "|" + childList.Data(2, 1) + "|" + childList.Data(3, 1);
        WriteFile(report, text);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const std::string reason = "Cannot write the data file " + data + ": File too large";
    EXPECT_EQ(ReadFile(report), "2|1|1|1|" + reason + "|Failed: " + reason + "|Pending");
    EXPECT_EQ(ReadFile(data), Lines(3));  // nothing of the failed append stays
    EXPECT_EQ(CountFiles(in), 2);
    EXPECT_FALSE(fs::exists(JournalFile()));
}

TEST(RecoveryRows, DataFileReplacedOrDeletedDuringTheRunStopsIt)
{
    struct Row {
        const char* what;
        bool afterAppend;  // else between two workbooks
        bool replace;      // else delete
    } rows[] = {
        {"deleted after an append", true, false},
        {"replaced after an append", true, true},
        {"deleted between workbooks", false, false},
        {"replaced between workbooks", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh<Recovery> t;
        t.AddBooks(3);
        auto change = [&] {
            if (row.replace) {
                WriteFile(t.data + ".tmp", "Name,Start,Hours\r\n");  // another program's save
                fs::rename(t.data + ".tmp", t.data);
            } else {
                fs::remove(t.data);
            }
        };
        clsBatchRun run(t.list);
        run.setPaths({t.form, t.in, t.out, t.data});
        if (row.afterAppend)
            run.afterAppend = [&](int r) {
                if (r == 1)
                    change();
            };
        else
            run.onFinished = [&](int r, const std::string&, const WorkbookOutcome&) {
                if (r == 0)
                    change();
            };
        BatchResult r = run.RunBatch();
        EXPECT_TRUE(r.stopped);
        EXPECT_TRUE(Contains(r.stopReason, row.replace ? "was replaced" : "was deleted")) << r.stopReason;
        EXPECT_EQ(r.done, 1);
        EXPECT_TRUE(fs::exists(t.in + "/b001.xlsx"));  // its lines were lost: it stays
        EXPECT_EQ(r.notTried, Strings{t.in + "/b002.xlsx"});
        EXPECT_FALSE(fs::exists(t.JournalFile()));
        // The next run harvests the rest into the file now there.
        EXPECT_EQ(t.Run(t.in, t.out).done, 2);
        EXPECT_EQ(ReadFile(t.data), Lines(2));
    }
}

}  // namespace
