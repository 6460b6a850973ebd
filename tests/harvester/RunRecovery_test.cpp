// What a run leaves when it is killed or its data file fails, and what the
// next run makes of it: exactly once where that can be proved, and otherwise
// a configuration error that changes nothing.
#include "tests/harvester/BatchRunFixture.h"

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <tuple>

using namespace harvest_test;

namespace {

class Recovery : public BatchRun {
public:
    // The journal with the "key=value" lines of `edits` in place of its own
    // (a key alone removes its line), its length line kept right.
    void EditJournal(const std::string& edits)
    {
        std::string text = ReadFile(JournalFile());
        std::string body = text.substr(text.find('\n') + 1);
        std::istringstream lines(edits);
        for (std::string edit; std::getline(lines, edit);) {
            size_t at = body.find("\n" + edit.substr(0, edit.find('=')) + "=");
            ASSERT_NE(at, std::string::npos) << edit;
            body.replace(at, body.find('\n', at + 1) - at, Contains(edit, "=") ? "\n" + edit : "");
        }
        WriteFile(JournalFile(), "glean journal 2 " + std::to_string(body.size()) + "\n" + body);
    }
    std::string JournalValue(const std::string& key)
    {
        std::string text = ReadFile(JournalFile());
        size_t at = text.find("\n" + key + "=") + key.size() + 2;
        return text.substr(at, text.find('\n', at) - at);
    }
    // The data file with n bytes at `at` replaced by `by`, in place.
    void EditData(size_t at, size_t n, const std::string& by)
    {
        std::string text = ReadFile(data);
        WriteFile(data, text.replace(at, n, by));
    }
};

const std::string kZed = "\"Zed\",01/01/2009,1.0\r\n";

// Killed between the append of b001 and its move: the next run takes its
// lines out again, or lets them stand where it was moved; each workbook once.
TEST(RecoveryRows, CrashBetweenAppendAndMoveIsSettledByTheNextRun)
{
    // What happened after the crash (moved: killed just after the move), the workbooks done, the data file.
    const std::tuple<const char*, bool, std::function<void(Recovery&)>, int, std::string> rows[] = {
        {"not moved", false, {}, 2, Lines(3)},
        {"moved, a line added since", true, [](Recovery& t) { WriteFile(t.data, ReadFile(t.data) + kZed); }, 1,
         Lines(2) + kZed + kTimesheetLines},
        {"moved, a copy put back: a new workbook", true,
         [](Recovery& t) { fs::copy_file(t.out + "/b001.xlsx", t.in + "/b001.xlsx"); }, 2, Lines(4)},
    };
    for (const auto& [what, moved, change, done, lines] : rows) {
        SCOPED_TRACE(what);
        Fresh<Recovery> t;
        t.AddBooks(3);
        t.CrashAfterAppend(1);
        EXPECT_EQ(ReadFile(t.data), Lines(2));  // the second workbook's lines are in, it was never moved
        EXPECT_EQ(CountFiles(t.in), 2);
        if (moved)
            fs::rename(t.in + "/b001.xlsx", t.out + "/b001.xlsx");
        if (change)
            change(t);
        BatchResult r = t.Run(t.in, t.out);
        EXPECT_EQ(r.done, done);
        if (!moved) {
            EXPECT_TRUE(Contains(r.settled, t.in + "/b001.xlsx")) << r.settled;
        }
        EXPECT_EQ(ReadFile(t.data), lines);
        EXPECT_EQ(CountFiles(t.in), 0);
        EXPECT_EQ(CountFiles(t.out), 3);
        EXPECT_FALSE(fs::exists(t.JournalFile()));
    }
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

TEST(RecoveryRows, NothingIsCutThatCannotBeProvedToBeTheAppend)
{
    const size_t head = Lines(0).size(), record = Lines(1).find('\n', head) + 1 - head;
    const char *longer = "bytes long", *other = "are not the lines that were appended";
    // What was changed, how the message says the data file differs.
    const std::tuple<const char*, std::function<void(Recovery&)>, const char*> rows[] = {
        {"a line added by hand", [](Recovery& t) { WriteFile(t.data, ReadFile(t.data) + kZed); }, longer},
        {"the first record deleted by hand", [&](Recovery& t) { t.EditData(head, record, ""); }, longer},
        {"a record changed by hand, same length", [](Recovery& t) { t.EditData(fs::file_size(t.data) - 5, 1, "9"); },
         other},
        {"the append cut short", [](Recovery& t) { fs::resize_file(t.data, fs::file_size(t.data) - 10); }, longer},
        {"the file saved over by another program", [](Recovery& t) { SaveOver(t.data, ReadFile(t.data)); }, "replaced"},
        {"journal start moved back",
         [](Recovery& t) { t.EditJournal("before=" + std::to_string(std::stoll(t.JournalValue("before")) - 5)); },
         other},
        {"journal start past the end", [](Recovery& t) { t.EditJournal("before=100000000\nafter=100000200"); }, longer},
        {"journal says the run created the file", [](Recovery& t) { t.EditJournal("before=0\ncreated=1"); }, other},
        {"journal checksum wrong", [](Recovery& t) { t.EditJournal("checksum=0123456789abcdef"); }, other},
    };
    for (const auto& [what, change, differs] : rows) {
        SCOPED_TRACE(what);
        Fresh<Recovery> t;  // fresh folders for each row
        t.AddBooks(3);
        t.CrashAfterAppend(1);
        change(t);
        const std::string data = ReadFile(t.data), journal = ReadFile(t.JournalFile());
        BatchResult r = t.Run(t.in, t.out);
        EXPECT_TRUE(
            Contains(r.configError, "The data file " + t.data + " does not match the journal " + t.JournalFile()))
            << r.configError;
        EXPECT_TRUE(Contains(r.configError, differs)) << r.configError;
        EXPECT_EQ(ReadFile(t.data), data);
        EXPECT_EQ(ReadFile(t.JournalFile()), journal);
        EXPECT_EQ(CountFiles(t.in), 2);
    }
}

TEST(RecoveryRows, DamagedJournalIsAConfigurationErrorThatNamesIt)
{
    const std::tuple<const char*, std::function<void(Recovery&)>, const char*> rows[] = {
        {"not a journal", [](Recovery& t) { WriteFile(t.JournalFile(), "garbage\n"); }, "does not begin with"},
        {"an older format",
         [](Recovery& t) { WriteFile(t.JournalFile(), "glean journal 1 30\nexisted=1\nstart=0\nend=9\n"); },
         "another version"},
        {"cut short", [](Recovery& t) { fs::resize_file(t.JournalFile(), fs::file_size(t.JournalFile()) / 2); },
         "cut short"},
        {"a number that is not one", [](Recovery& t) { t.EditJournal("after=12x"); }, "\"after\" is not valid"},
        {"a line missing", [](Recovery& t) { t.EditJournal("checksum"); }, "\"checksum=\" is missing"},
        {"a folder",
         [](Recovery& t) {
             fs::remove(t.JournalFile());
             fs::create_directory(t.JournalFile());
         },
         "is damaged: it is not a regular file"},
    };
    for (const auto& [what, damage, says] : rows) {
        SCOPED_TRACE(what);
        Fresh<Recovery> t;
        t.AddBooks(2);
        t.CrashAfterAppend(1);
        damage(t);
        const std::string data = ReadFile(t.data);
        BatchResult r = t.Run(t.in, t.out);
        EXPECT_TRUE(Contains(r.configError, t.JournalFile())) << r.configError;
        EXPECT_TRUE(Contains(r.configError, says)) << r.configError;
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

TEST_F(Recovery, AppendOnlyDataFileWithBlockedMoveStopsTheRunKeepingTheJournal)
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
    // The next runs, still blocked and then not: GleanRun.StoppedRunSaysWhyAndWhatWasNotTriedThenSettles.
}

TEST_F(Recovery, DataFileFailureStopsTheRunAtTheFirst)
{
    AddBooks(5);
    Run(in + "/b000.xlsx", out);
    // A file size limit gives EFBIG on the append of the third workbook, as a full disk gives ENOSPC.
    const std::string said = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim{static_cast<rlim_t>(Lines(3).size() + 50), RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &lim);
        BatchResult r = Run(in, out);
        return std::to_string(r.done) + "|" + std::to_string(r.failures.size()) + "|" +
               std::to_string(r.notTried.size()) + "|" + std::to_string(r.stopped) + "|" + r.stopReason + "|" +
               list.Data(2, 1) + "|" + list.Data(3, 1);
    });
    const std::string reason = "Cannot write the data file " + data + ": File too large";
    EXPECT_EQ(said, "2|1|1|1|" + reason + "|Failed: " + reason + "|Pending");
    EXPECT_EQ(ReadFile(data), Lines(3));  // nothing of the failed append stays
    EXPECT_EQ(CountFiles(in), 2);
    EXPECT_FALSE(fs::exists(JournalFile()));
}

TEST(RecoveryRows, DataFileReplacedOrDeletedDuringTheRunStopsIt)
{
    for (bool afterAppend : {true, false}) {  // else between two workbooks
        for (bool replace : {true, false}) {  // else deleted
            SCOPED_TRACE(std::string(replace ? "replaced" : "deleted") +
                         (afterAppend ? " after an append" : " between"));
            Fresh<Recovery> t;
            t.AddBooks(3);
            // Another program's save, or a deletion, after the append of b001 or once b000 is done.
            auto change = [&, at = afterAppend ? 1 : 0](int row) {
                if (row == at && replace)
                    SaveOver(t.data, kTimesheetHeader);
                else if (row == at)
                    fs::remove(t.data);
            };
            BatchResult r = t.RunWith([&](clsBatchRun& run) {
                if (afterAppend)
                    run.afterAppend = change;
                else
                    run.onFinished = [&](int row, const std::string&, const WorkbookOutcome&) { change(row); };
            });
            EXPECT_TRUE(r.stopped);
            EXPECT_TRUE(Contains(r.stopReason, replace ? "was replaced" : "was deleted")) << r.stopReason;
            EXPECT_EQ(r.done, 1);
            EXPECT_TRUE(fs::exists(t.in + "/b001.xlsx"));  // its lines were lost: it stays
            EXPECT_EQ(r.notTried, Strings{t.in + "/b002.xlsx"});
            EXPECT_FALSE(fs::exists(t.JournalFile()));
            // The next run harvests the rest into the file now there.
            EXPECT_EQ(t.Run(t.in, t.out).done, 2);
            EXPECT_EQ(ReadFile(t.data), Lines(2));
        }
    }
}

// Journals left by earlier versions must still settle: the checksum stays
// 64-bit FNV-1a, over any split of the bytes.
TEST(JournalChecksum, StaysFnv1a64)
{
    const std::pair<std::string, uint64_t> rows[] = {
        {"", 0xcbf29ce484222325ULL},
        {"a", 0xaf63dc4c8601ec8cULL},
        {"foobar", 0x85944171f73967e8ULL},
    };
    for (const auto& [bytes, sum] : rows) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(Checksum(bytes), sum);
    }
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += char(i * 7 + 1);
    uint64_t byByte = kChecksumStart;
    for (unsigned char c : text)
        byByte = (byByte ^ c) * 1099511628211ULL;
    for (size_t split = 0; split < 20; ++split) {
        SCOPED_TRACE(split);
        EXPECT_EQ(Checksum(std::string_view(text).substr(split), Checksum(text.substr(0, split))), byByte);
    }
}

}  // namespace
