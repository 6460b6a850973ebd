// glean /watch, driven as a user runs it: the program in a child process,
// workbooks copied, written slowly and moved into its input folder, stopped
// by a signal. Every wait is for an outcome, with a generous time limit.
#include "tests/harvester/BatchRunFixture.h"

#include <chrono>
#include <csignal>
#include <thread>

using namespace harvest_test;

namespace {

using namespace std::chrono_literals;

// True once `done` holds; false after a minute.
bool Eventually(const std::function<bool()>& done)
{
    for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;) {
        if (done())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

// `what` is in `text` exactly once.
bool Once(const std::string& text, const std::string& what)
{
    return Contains(text, what) && text.find(what) == text.rfind(what);
}

// glean /watch in a child process, its standard error in a file.
class GleanWatch : public BatchRun {
protected:
    void SetUp() override
    {
        if (!fs::exists(kGlean))
            GTEST_SKIP() << "glean not built";
    }
    void TearDown() override
    {
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0)
            ::waitpid(pid_, nullptr, 0);
    }
    // glean watching `inText` with `more` options, once it has said so.
    void Start(const std::string& inText, const std::string& more)
    {
        const std::string command = "exec " + kGlean + " " + Args() + " /in '" + inText + "' /watch " + more + " 2>'" +
                                    dir / "stderr.txt" + "' >/dev/null";
        if ((pid_ = ::fork()) == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            ::_exit(127);
        }
        // The whole line: stderr may be read between two of its writes.
        EXPECT_TRUE(Eventually([&] {
            const std::string err = Err();
            const size_t at = err.find("glean: watching ");
            return at != std::string::npos && err.find('\n', at) != std::string::npos;
        })) << Err();
    }
    std::string Err() const { return ReadFile(dir / "stderr.txt"); }
    bool Says(const std::string& what) const
    {
        return Eventually([&] { return Contains(Err(), what); });
    }
    // The exit status after `sig` (0: none sent); -1 when it did not exit by itself within a minute.
    int Exit(int sig = 0)
    {
        int status = 0;
        if (sig)
            ::kill(pid_, sig);
        if (!Eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }))
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid_ = -1;
};

TEST_F(GleanWatch, WhatIsThereFirstThenASlowCopyOnceAfterItsLastChunk)
{
    CopyFixture("timesheet.xlsx", in + "/old.xlsx");
    fs::last_write_time(in + "/old.xlsx", fs::file_time_type::clock::now() - 1h);
    Start(in, "/settle 0.6 /jobs 1");
    EXPECT_EQ(Err().rfind("Done " + in + "/old.xlsx\nglean: watching " + in + " ", 0), 0u) << Err();

    // Ten chunks, each well within the settle time after the one before,
    // together taking longer than it.
    const std::string book = ReadFile(Fixture("timesheet.xlsx"));
    const size_t chunk = book.size() / 10 + 1;
    std::ofstream f(in + "/slow.xlsx", std::ios::binary);
    for (size_t at = 0; at < book.size(); at += chunk) {
        f.write(book.data() + at, static_cast<std::streamsize>(std::min(chunk, book.size() - at))).flush();
        if (at + chunk < book.size()) {
            std::this_thread::sleep_for(100ms);
            EXPECT_FALSE(Contains(Err(), "slow.xlsx")) << "read before its last chunk: " << Err();
        }
    }
    f.close();
    EXPECT_TRUE(Says("Done " + in + "/slow.xlsx\n")) << Err();
    EXPECT_EQ(ReadFile(out + "/slow.xlsx"), book);
    EXPECT_EQ(Exit(SIGTERM), 0);
    const std::string said = Err();
    EXPECT_TRUE(Once(said, "slow.xlsx")) << said;
    EXPECT_EQ(said.substr(said.size() - 48), "glean: stopped by SIGTERM\n2 harvested, 0 failed\n");
    EXPECT_EQ(State(), "data 2, in 0, out 2");  // no lock, no journal
}

// The data file inside the input folder and a pattern that matches it: the
// run's own files (data file, lock, journal) are never taken for workbooks.
TEST_F(GleanWatch, AFailedWorkbookWaitsUntilItChangesAndTheRunsOwnFilesAreNeverWorkbooks)
{
    data = in + "/data.csv";
    Start(in + "/*", "/settle 0.3");
    CopyFixture("notabook.xlsx", in + "/bad.xlsx");
    EXPECT_TRUE(Says("Failed " + in + "/bad.xlsx: ")) << Err();
    // A change of its mode alone is no change of the workbook; the good one
    // arrives after it (moved in whole), so a retry would be said before it is done.
    fs::permissions(in + "/bad.xlsx", fs::perms::others_read, fs::perm_options::remove);
    CopyFixture("timesheet.ods", dir / "good.ods");
    fs::rename(dir / "good.ods", in + "/good.ods");
    EXPECT_TRUE(Says("Done " + in + "/good.ods\n")) << Err();
    EXPECT_TRUE(Once(Err(), "bad.xlsx")) << Err();
    EXPECT_TRUE(fs::exists(in + "/bad.xlsx"));

    // Mended: tried again and harvested.
    CopyFixture("timesheet.xlsx", in + "/bad.xlsx");
    EXPECT_TRUE(Says("Done " + in + "/bad.xlsx\n")) << Err();
    EXPECT_EQ(ReadFile(data), Lines(2));
    EXPECT_EQ(Exit(SIGINT), 1);  // one failure in the session
    EXPECT_TRUE(Contains(Err(), "glean: stopped by SIGINT\n2 harvested, 1 failed\n")) << Err();
    EXPECT_FALSE(Contains(Err(), "data.csv")) << Err();
}

// Between arrivals anyone may take the data file's lock (the editor does, to
// save); an arrival then waits for it. Events lost meanwhile (the kernel's
// queue overflowed) are found by listing the folder again. The input folder
// moved away ends the watch.
TEST_F(GleanWatch, TheDataFileIsFreeBetweenArrivalsLostEventsAreFoundAndMovingTheFolderEndsIt)
{
    Start(in, "/settle 0.3");
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    EXPECT_TRUE(Says("Done " + in + "/a.xlsx\n")) << Err();
    {
        // Free once the run of a.xlsx has ended (it says Done just before).
        DataFileLock lock;
        ASSERT_TRUE(Eventually([&] { return lock.Take(data, false) == DataFileLock::Outcome::Taken; }));
        CopyFixture("timesheet.xlsx", in + "/b.xlsx");
        EXPECT_TRUE(Says("glean: waiting for another harvester")) << Err();
        EXPECT_EQ(ReadFile(data), Lines(1));

        // More events than the queue holds while glean waits, then c arrives unseen.
        int queued = 16384;
        std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
        std::ofstream n1(in + "/noise1.txt"), n2(in + "/noise2.txt");
        for (int i = 0; i <= queued / 2 + 10; ++i) {
            n1 << 'x' << std::flush;
            n2 << 'x' << std::flush;
        }
        CopyFixture("timesheet.xlsx", in + "/c.xlsx");
    }
    EXPECT_TRUE(Says("Done " + in + "/c.xlsx\n")) << Err();
    fs::rename(in, dir / "elsewhere");
    EXPECT_EQ(Exit(), 1);
    EXPECT_TRUE(Contains(Err(), "glean: the run stopped: the input folder " + in +
                                    " was removed or moved.\n3 harvested, 0 failed\n"))
        << Err();
    in = dir / "elsewhere";
    EXPECT_EQ(State(), "data 3, in 2, out 3");  // the two noise files stay; no lock, no journal
}

using GleanWatchOptions = BatchRun;

TEST_F(GleanWatchOptions, WatchNeedsAnOutputFolderAndSettleAWatch)
{
    // The options, then the settle time they give in ms or the start of the usage error.
    const std::pair<const char*, std::string> rows[] = {
        {"/watch", "2000"},
        {"/watch /settle 0.3", "300"},
        {"--watch --settle=.25", "250"},
        {"/watch /settle 3600", "3600000"},
        {"/watch /settle 0.05", "/settle needs a number of seconds from 0.1 to 3600, not \"0.05\""},
        {"/watch /settle 1.2345", "/settle needs"},
        {"/watch /settle 2s", "/settle needs"},
        {"/watch /settle", "/settle needs"},
        {"/settle 1", "/settle is only used with /watch"},
        {"/watch /dry-run /out o", "/dry-run and /watch cannot be used together"},
        {"--watch=yes", "unknown word"},
    };
    for (const auto& [args, said] : rows) {
        GleanOptions o = ParseGleanOptions(args);
        const std::string got = o.usageError.empty() ? std::to_string(o.watch * o.settleMs) : o.usageError;
        EXPECT_EQ(o.usageError.empty() ? got : got.substr(0, said.size()), said) << args << ": " << got;
    }

    // A real run: glean refuses before anything is touched.
    CopyFixture("timesheet.xlsx", in + "/a.xlsx");
    const std::string said =
        "glean: /watch needs an output folder (/out): without one every workbook would be harvested";
    for (const char* outText : {"", "   "}) {
        EXPECT_EQ(Glean(Args() + " /out \"" + outText + "\" /watch"), kUsageOrConfig) << "<" << outText << ">";
        EXPECT_EQ(err.str().rfind(said, 0), 0u) << err.str();
    }
    EXPECT_EQ(State(), "no data, in 1, out 0");
}

}  // namespace
