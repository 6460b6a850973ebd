// What a run leaves when it is killed or its data file fails, and what the
// next run makes of it: exactly once where that can be proved, and otherwise
// a configuration error that changes nothing.
#include "tests/harvester/BatchRunFixture.h"

#include <csignal>
#include <sys/resource.h>
#include <tuple>

using namespace harvest_test;

namespace {

class Recovery : public BatchRun {
public:
    // The journal with the "key=value" lines of `edits` in place of its own
    // (a key alone removes its line), its length line kept right, under `magic`.
    void EditJournal(const std::string& edits, const std::string& magic = "glean journal 4 ")
    {
        std::string text = ReadFile(JournalFile());
        std::string body = text.substr(text.find('\n') + 1);
        std::istringstream lines(edits);
        for (std::string edit; std::getline(lines, edit);) {
            size_t at = body.find("\n" + edit.substr(0, edit.find('=')) + "=");
            ASSERT_NE(at, std::string::npos) << edit;
            body.replace(at, body.find('\n', at + 1) - at, Contains(edit, "=") ? "\n" + edit : "");
        }
        WriteFile(JournalFile(), magic + std::to_string(body.size()) + "\n" + body);
    }
    // The record as the version before the last wrote it: one workbook, summed with FNV-1a.
    void AsFnv1aJournal()
    {
        const std::string text = ReadFile(JournalFile());
        auto value = [&](const std::string& key) {
            const size_t at = text.find("\n" + key + "=") + key.size() + 2;
            return std::stoll(text.substr(at, text.find('\n', at) - at));
        };
        const long long before = value("before"), after = value("after");
        char sum[17];
        std::snprintf(sum, sizeof sum, "%016llx",
                      static_cast<unsigned long long>(ChecksumFnv1a(ReadFile(data).substr(before, after - before))));
        EditJournal(std::string("checksum=") + sum + "\nbooks", "glean journal 2 ");
    }
};

const std::string kZed = "\"Zed\",01/01/2009,1.0\r\n";

// Killed between the append of b001 and its move: a dry run names the
// journal and changes nothing; the next run takes its lines out again, or
// lets them stand where it was moved; each workbook once.
TEST(RecoveryRows, CrashBetweenAppendAndMoveIsSettledByTheNextRun)
{
    // What happened after the crash (moved: killed just after the move), the workbooks done, the data file.
    const std::tuple<const char*, bool, std::function<void(Recovery&)>, int, std::string> rows[] = {
        {"not moved", false, {}, 2, Lines(3)},
        {"not moved, journal of the version before", false, [](auto& t) { t.EditJournal("books", "glean journal 3 "); },
         2, Lines(3)},
        {"not moved, journal of the version before that", false, [](auto& t) { t.AsFnv1aJournal(); }, 2, Lines(3)},
        {"moved, a line added since", true, [](auto& t) { WriteFile(t.data, ReadFile(t.data) + kZed); }, 1,
         Lines(2) + kZed + kTimesheetLines},
        {"moved, a copy put back: a new workbook", true,
         [](auto& t) { fs::copy_file(t.out + "/b001.xlsx", t.in + "/b001.xlsx"); }, 2, Lines(4)},
    };
    for (const auto& [what, moved, change, done, lines] : rows) {
        SCOPED_TRACE(what);
        Fresh<Recovery> t;
        t.AddBooks(3);
        t.CrashAfterAppend(1);
        EXPECT_EQ(t.State(), "data 2, in 2, out 1, journal, lock");  // b001's lines are in, it was never moved
        if (moved)
            fs::rename(t.in + "/b001.xlsx", t.out + "/b001.xlsx");
        if (change)
            change(t);
        const auto before = Snapshot(t.dir / "");
        std::string said;
        BatchResult r = t.RunWith([&](clsBatchRun& run) {
            run.setDryRun(true);
            run.onSettled = [&](const std::string& s) { said = s; };
        });
        EXPECT_EQ(r.configError, "");
        EXPECT_TRUE(Contains(said, t.JournalFile())) << said;
        EXPECT_EQ(Snapshot(t.dir / ""), before);
        r = t.Run(t.in, t.out);
        EXPECT_EQ(r.done, done);
        EXPECT_TRUE(moved || Contains(r.settled, t.in + "/b001.xlsx")) << r.settled;
        EXPECT_EQ(ReadFile(t.data), lines);
        EXPECT_EQ(t.State().substr(t.State().find(", in")), ", in 0, out 3");
    }
}

// Without an output folder nothing is moved, so one record and one write
// take the lines of up to 64 workbooks: a journal left names them all, and a
// failed write takes all of them back.
TEST_F(Recovery, UnmovedWorkbooksAreCommittedTogether)
{
    AddBooks(70);
    CrashAfterAppend(65, false);
    EXPECT_EQ(State(), "data 70, in 70, out 0, journal, lock");
    const std::string group = "the 6 workbooks from " + in + "/b064.xlsx on";
    fs::resize_file(data, fs::file_size(data) - 10);  // as if killed within the write
    BatchResult r = RunWith({form, in, "", data}, [](clsBatchRun& run) { run.setDryRun(true); });
    EXPECT_TRUE(Contains(r.settled, "settles its append of " + group + " recorded in")) << r.settled;
    r = RunWith({form, in, "", data});
    EXPECT_TRUE(Contains(r.configError, "appended the lines of " + group + ", which are still in the input folder"))
        << r.configError;

    fs::remove(data), fs::remove(JournalFile());
    const std::string said = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim{static_cast<rlim_t>(Lines(2).size()), RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &lim);
        r = RunWith({form, in, "", data}, [](clsBatchRun& run) { run.setGroupTime(std::chrono::hours(1)); });
        return std::to_string(r.done) + "|" + std::to_string(r.notTried.size()) + "|" + r.stoppedAt + "|" +
               list.Data(0, 1) + "|" + list.Data(1, 1);
    });
    const std::string reason = "Cannot write the data file " + data + ": File too large";
    EXPECT_EQ(said, "0|69|" + in + "/b000.xlsx|Failed: " + reason + "|Pending");
    EXPECT_EQ(State(), "no data, in 70, out 0");
}

TEST_F(Recovery, CrashAfterTheFirstAppendOfANewDataFileRemovesIt)
{
    AddBooks(1);
    CrashAfterAppend(0);
    // An empty file left behind would make the next run drop the header line.
    EXPECT_EQ(Run(dir.Mkdir("empty"), out).listed, 0);
    EXPECT_EQ(State(), "no data, in 1, out 0");
    Run(in, out);
    EXPECT_EQ(State(), "data 1, in 0, out 1");
}

// A journal that does not match the data file, or is damaged: the run
// refuses, naming both, and changes nothing.
TEST(RecoveryRows, NothingIsCutThatCannotBeProvedToBeTheAppend)
{
    const size_t head = Lines(0).size(), record = Lines(1).find('\n', head) + 1 - head;
    const char *longer = "bytes long", *other = "are not the lines that were appended";
    const std::string back = "before=" + std::to_string(Lines(1).size() - 5);
    // What was changed, whether that damaged the journal (else the data file differs), what the message says.
    const std::tuple<const char*, bool, std::function<void(Recovery&)>, const char*> rows[] = {
        {"a line added by hand", false, [](auto& t) { WriteFile(t.data, ReadFile(t.data) + kZed); }, longer},
        {"first record deleted", false, [&](auto& t) { WriteFile(t.data, ReadFile(t.data).erase(head, record)); },
         longer},
        {"a record changed, same length", false, [](auto& t) { std::fstream(t.data).seekp(-5, std::ios::end) << '9'; },
         other},
        {"the append cut short", false, [](auto& t) { fs::resize_file(t.data, fs::file_size(t.data) - 10); }, longer},
        {"saved over by another program", false, [](auto& t) { SaveOver(t.data, ReadFile(t.data)); }, "replaced"},
        {"start moved back", false, [&](auto& t) { t.EditJournal(back); }, other},
        {"start past the end", false, [](auto& t) { t.EditJournal("before=100000000\nafter=100000200"); }, longer},
        {"says the run created the file", false, [](auto& t) { t.EditJournal("before=0\ncreated=1"); }, other},
        {"checksum wrong", false, [](auto& t) { t.EditJournal("checksum=0123456789abcdef"); }, other},
        {"this version's checksum in an older journal", false,
         [](auto& t) { t.EditJournal("created=0\nbooks", "glean journal 2 "); }, other},
        {"not a journal", true, [](auto& t) { WriteFile(t.JournalFile(), "garbage\n"); }, "does not begin with"},
        {"an older format", true,
         [](auto& t) { WriteFile(t.JournalFile(), "glean journal 1 30\nexisted=1\nstart=0\nend=9\n"); },
         "another version"},
        {"journal cut short", true,
         [](auto& t) { fs::resize_file(t.JournalFile(), fs::file_size(t.JournalFile()) / 2); }, "cut short"},
        {"a number that is not one", true, [](auto& t) { t.EditJournal("after=12x"); }, "\"after\" is not valid"},
        {"a line missing", true, [](auto& t) { t.EditJournal("checksum"); }, "\"checksum=\" is missing"},
        {"several workbooks, one to be moved", true, [](auto& t) { t.EditJournal("books=2"); },
         "\"books\" is not valid"},
        {"a folder", true, [](auto& t) { fs::remove(t.JournalFile()), fs::create_directory(t.JournalFile()); },
         "is damaged: it is not a regular file"},
    };
    for (const auto& [what, damaged, change, says] : rows) {
        SCOPED_TRACE(what);
        Fresh<Recovery> t;  // fresh folders for each row
        t.AddBooks(3);
        t.CrashAfterAppend(1);
        change(t);
        // The data file, the journal and the folders (the lock file of the killed run may go).
        auto files = [&] {
            return ReadFile(t.data) + ReadFile(t.JournalFile()) + t.State().substr(0, t.State().find(", lock"));
        };
        const std::string before = files(), error = t.Run(t.in, t.out).configError, J = t.JournalFile();
        EXPECT_TRUE(Contains(error, damaged ? "The journal " + J + " is damaged"
                                            : "The data file " + t.data + " does not match the journal " + J))
            << error;
        EXPECT_TRUE(Contains(error, says)) << error;
        EXPECT_EQ(files(), before);
    }
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
    EXPECT_EQ(State(), "data 3, in 2, out 3");  // nothing of the failed append stays
}

TEST(RecoveryRows, DataFileReplacedOrDeletedDuringTheRunStopsIt)
{
    for (int i = 0; i < 4; ++i) {
        const bool afterAppend = i < 2, replace = i % 2;  // else between two workbooks; else deleted
        SCOPED_TRACE(std::string(replace ? "replaced" : "deleted") + (afterAppend ? " after an append" : " between"));
        Fresh<Recovery> t;
        t.AddBooks(3);
        // Another program's save, or a deletion, after the append of b001 or once b000 is done.
        auto change = [&, at = afterAppend ? 1 : 0](int row) {
            if (row == at)
                replace ? SaveOver(t.data, kTimesheetHeader) : void(fs::remove(t.data));
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
        EXPECT_EQ(r.notTried, Strings{t.in + "/b002.xlsx"});
        // The window's closing message says why once and what was left.
        EXPECT_EQ(r.message, "The run stopped at " + t.in + "/b001.xlsx:\n" + r.stopReason +
                                 "\n1 form was not tried; it stays in the input folder.");
        EXPECT_EQ(Files(t.in), "b001.xlsx b002.xlsx");  // b001's lines were lost: it stays
        EXPECT_FALSE(fs::exists(t.JournalFile()));
        // The next run harvests the rest into the file now there.
        EXPECT_EQ(t.Run(t.in, t.out).done, 2);
        EXPECT_EQ(t.State(), "data 2, in 0, out 3");
    }
}

// Journals that runs left must still settle: the sums they hold stay what
// they were, and any change to one byte of the lines changes them.
TEST(JournalChecksum, StaysWhatJournalsHold)
{
    const std::tuple<std::string, uint64_t, uint64_t> rows[] = {
        {"", 0xcbf29ce484222325ULL, 0xa01fcacd27facec4ULL},
        {"a", 0xaf63dc4c8601ec8cULL, 0x8d1cb575dfd48223ULL},
        {"foobar", 0x85944171f73967e8ULL, 0xb8df483f0bf5a772ULL},
        {"\"Employee 1\",487,\"Department\"\r\n", 0x25a9caccd59df902ULL, 0x8f1504250812cc9fULL},
    };
    for (const auto& [bytes, fnv1a, sum] : rows) {
        EXPECT_EQ(ChecksumFnv1a(bytes), fnv1a) << bytes;
        EXPECT_EQ(Checksum(bytes), sum) << bytes;
    }
    std::string text;  // bytes past 127 too: each is taken unsigned
    for (int i = 0; i < 300; ++i)
        text += char(i * 7 + 1);
    const uint64_t whole = Checksum(text);
    for (size_t at = 0; at < text.size(); ++at)
        for (const int flip : {0x01, 0x80, 0x5A}) {
            std::string changed = text;
            changed[at] = char(changed[at] ^ flip);
            ASSERT_NE(Checksum(changed), whole) << at << " " << flip;
        }
    std::string swapped = text;  // words in another order, as when lines change places
    std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 8);
    EXPECT_NE(Checksum(swapped), whole);
    for (size_t cut = 0; cut < 40; ++cut)  // zeros at the end count
        EXPECT_NE(Checksum(text.substr(0, cut) + '\0'), Checksum(text.substr(0, cut))) << cut;
}

}  // namespace
