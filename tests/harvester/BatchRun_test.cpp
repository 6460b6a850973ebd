// The batch run over real folders: listing rules, moving, the per-run limit,
// failures that leave no lines, configuration errors, the journal after a
// crash, the lock, and the same data file for any number of reading threads.
#include "harvester/clsBatchRun.h"
#include "tests/harvester/HarvestTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace harvest_test;
using Strings = std::vector<std::string>;

namespace {

class BatchRun : public ::testing::Test, protected JobFolders {
protected:

    BatchResult Run(const std::string& inText, const std::string& outText, int limit = clsBatchRun::kDefaultLimit,
                    int jobs = 1)
    {
        clsBatchRun run(list);
        run.setPaths({form, inText, outText, data});
        run.setLimit(limit);
        run.setJobs(jobs);
        return run.RunBatch();
    }

    void AddBooks(int n, const std::string& ext = "xlsx", const std::string& prefix = "b")
    {
        for (int i = 0; i < n; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "%s%03d.%s", prefix.c_str(), i, ext.c_str());
            CopyFixture("timesheet." + ext, in + "/" + name);
        }
    }

    // A run in a child process killed (no clean-up at all) right after the append of `row`.
    void CrashAfterAppend(int row)
    {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            MemoryStatusList childList;
            clsBatchRun run(childList);
            run.setPaths({form, in, out, data});
            run.afterAppend = [row](int r) {
                if (r == row)
                    _exit(0);
            };
            run.RunBatch();
            _exit(1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    void WriteJournal(const std::string& body)
    {
        WriteFile(clsBatchRun::JournalPath(data), "glean journal 1 " + std::to_string(body.size()) + "\n" + body);
    }

    Strings Column(int col) const
    {
        Strings v;
        for (int r = 0; r < list.Rows(); ++r)
            v.push_back(list.Data(r, col));
        return v;
    }

    std::string Lines(int workbooks) const
    {
        std::string s = kTimesheetHeader;
        for (int i = 0; i < workbooks; ++i)
            s += kTimesheetLines;
        return s;
    }

    MemoryStatusList list;
};

TEST_F(BatchRun, EveryWorkbookTypeInNameOrderIsHarvestedAndMoved)
{
    CopyFixture("timesheet.xlsx", in + "/c.xlsx");
    CopyFixture("timesheet.xls", in + "/a.XLS");
    CopyFixture("timesheet.ods", in + "/b.ods");
    CopyFixture("timesheet.xlsb", in + "/d.xlsb");
    WriteFile(in + "/notes.txt", "not a workbook type");
    CopyFixture("timesheet.xlsx", in + "/~$c.xlsx");  // an office lock file
    CopyFixture("timesheet.xlsx", in + "/.hidden.xlsx");

    BatchResult r = Run("  " + in + "/  ", out);  // trailing separator and spaces change nothing
    EXPECT_EQ(r.configError, "");
    EXPECT_EQ(Column(0), (Strings{in + "/a.XLS", in + "/b.ods", in + "/c.xlsx", in + "/d.xlsb"}));
    EXPECT_EQ(Column(1), (Strings{"Done", "Done", "Done", "Done"}));
    EXPECT_EQ(r.done, 4);
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(ReadFile(data), Lines(4));
    EXPECT_TRUE(fs::exists(out + "/a.XLS") && fs::exists(out + "/b.ods") && fs::exists(out + "/c.xlsx") &&
                fs::exists(out + "/d.xlsb"));
    EXPECT_EQ(CountFiles(in), 3);  // the text file, the lock file and the hidden file stay
    EXPECT_FALSE(fs::exists(clsBatchRun::JournalPath(data)));
}

TEST_F(BatchRun, WildcardPatternsMatchInAnyCase)
{
    AddBooks(2, "xlsx", "Week");
    AddBooks(1, "xls", "week");
    AddBooks(1, "xlsx", "month");
    const std::pair<std::string, size_t> rows[] = {
        {in + "/week*", 3}, {in + "/WEEK*.XLSX", 2}, {in + "/?onth000.xlsx", 1}, {dir / "missing/*.xls", 0},
    };
    for (const auto& [pattern, matches] : rows)
        EXPECT_EQ(clsBatchRun::ListWorkbooks(pattern).size(), matches) << pattern;
    // Without a separator the pattern searches the current folder.
    auto old = fs::current_path();
    fs::current_path(in);
    auto found = clsBatchRun::ListWorkbooks("*.xls");
    fs::current_path(old);
    EXPECT_EQ(found, Strings{fs::canonical(in).string() + "/week000.xls"});
}

TEST_F(BatchRun, HundredPerRunUntilNothingIsLeft)
{
    AddBooks(250);
    EXPECT_EQ(Run(in, out).listed, 100);
    EXPECT_EQ(CountFiles(in), 150);
    EXPECT_EQ(Run(in, out, 0).listed, 150);  // 0: no limit
    EXPECT_EQ(list.Rows(), 150);             // the first run's rows are gone
    BatchResult r = Run(in, out);
    EXPECT_EQ(r.listed, 0);
    EXPECT_EQ(list.Rows(), 0);
    EXPECT_EQ(r.message, clsBatchRun::kNothingToDo);
    EXPECT_EQ(CountFiles(out), 250);
    EXPECT_EQ(ReadFile(data), Lines(250));
}

TEST_F(BatchRun, WithoutOutputFolderWorkbooksStayAndComeAgain)
{
    AddBooks(2);
    Run(in, "");
    Run(in, "   ");  // spaces only: no move either
    EXPECT_EQ(CountFiles(in), 2);
    EXPECT_EQ(CountFiles(out), 0);
    EXPECT_EQ(ReadFile(data), Lines(4));
}

TEST_F(BatchRun, SameNamedWorkbookInOutputFolderIsReplaced)
{
    AddBooks(1);
    WriteFile(out + "/b000.xlsx", "older file");
    Run(in, " " + out + "/ ");  // blanks around the output folder are not part of it
    EXPECT_EQ(ReadFile(out + "/b000.xlsx"), ReadFile(Fixture("timesheet.xlsx")));
    EXPECT_EQ(CountFiles(in), 0);
}

TEST_F(BatchRun, FailingWorkbooksLeaveNoLinesAndStay)
{
    CopyFixture("notabook.xlsx", in + "/a.xlsx");
    Run(in, out);
    EXPECT_FALSE(fs::exists(data));  // the first workbook failing leaves no data file

    AddBooks(1, "xlsx", "0");
    AddBooks(1, "xls", "c");
    fs::create_directory(out + "/d.xlsx");  // the move of d fails: a folder has its name
    CopyFixture("timesheet.xlsx", in + "/d.xlsx");
    BatchResult r = Run(in, out);
    const Strings status = Column(1);
    ASSERT_EQ(status.size(), 4u);
    EXPECT_EQ(status[0], "Done");
    EXPECT_EQ(status[1].rfind("Failed: ", 0), 0u) << status[1];
    EXPECT_EQ(status[2], "Done");
    EXPECT_EQ(status[3].rfind("Failed: ", 0), 0u) << status[3];
    ASSERT_EQ(r.failures.size(), 2u);
    EXPECT_EQ(r.failures[0].path, in + "/a.xlsx");
    EXPECT_EQ(ReadFile(data), Lines(2));
    EXPECT_TRUE(fs::exists(in + "/a.xlsx") && fs::exists(in + "/d.xlsx"));
    EXPECT_NE(r.message.find("2 of the 4 forms could not be harvested"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(in + "/a.xlsx"), std::string::npos);
}

TEST_F(BatchRun, ConfigurationErrorsComeBeforeAnythingIsTouched)
{
    AddBooks(1);
    WriteFile(dir / "empty.dat", "0,0\r\n");
    WriteFile(dir / "blank.dat", "");
    const Strings rows[] = {
        {dir / "missing.dat", out, data, "form definition does not exist"},
        {dir / "empty.dat", out, data, "form definition is empty"},
        {dir / "blank.dat", out, data, "form definition is empty"}, {"", out, data, "No form definition"},
        {form, dir / "nowhere", data, "output folder does not exist"},
        {form, out, dir / "nofolder/data.csv", "folder of the data file does not exist"},
        {form, out, "", "No data file"},
    };
    for (const Strings& r : rows) {
        list.Clear();
        list.AddRow();
        list.setData(0, 0, "earlier run");
        clsBatchRun run(list);
        run.setPaths({r[0], in, r[1], r[2]});
        BatchResult res = run.RunBatch();
        EXPECT_NE(res.configError.find(r[3]), std::string::npos) << res.configError;
        EXPECT_EQ(list.Data(0, 0), "earlier run");
        EXPECT_EQ(CountFiles(in), 1);
        EXPECT_FALSE(fs::exists(data));
    }
}

TEST_F(BatchRun, CrashBetweenAppendAndMoveIsUndoneByTheNextRun)
{
    AddBooks(3);
    CrashAfterAppend(1);
    EXPECT_EQ(ReadFile(data), Lines(2));  // the second workbook's lines are in, it was never moved
    EXPECT_EQ(CountFiles(in), 2);
    EXPECT_EQ(Run(in, out).done, 2);
    EXPECT_EQ(ReadFile(data), Lines(3));  // as one uninterrupted run
    EXPECT_EQ(CountFiles(in), 0);
    EXPECT_EQ(CountFiles(out), 3);
}

TEST_F(BatchRun, CrashAfterTheFirstAppendOfANewDataFileRemovesIt)
{
    AddBooks(1);
    CrashAfterAppend(0);
    // An empty file left behind would make the next run drop the header line.
    EXPECT_EQ(Run(dir / "nothing-here", out).listed, 0);
    EXPECT_FALSE(fs::exists(data));
    Run(in, out);
    EXPECT_EQ(ReadFile(data), Lines(1));
}

TEST_F(BatchRun, JournalRecovery)
{
    AddBooks(2);
    // Killed just after its move: the lines stay.
    Run(in + "/b000.*", out);
    const std::string one = ReadFile(data);
    WriteJournal("existed=1\nstart=0\nend=" + std::to_string(one.size()) + "\nsource=" + in +
                 "/b000.xlsx\ndest=" + out + "/b000.xlsx\ncomplete\n");
    Run(in + "/b000.*", out);
    EXPECT_EQ(ReadFile(data), one);
    // Killed in the middle of an append: the half line is taken out.
    WriteFile(data, one + "\"Ann\",02/0");
    WriteJournal("existed=1\nstart=" + std::to_string(one.size()) + "\nend=" + std::to_string(one.size() + 200) +
                 "\nsource=" + in + "/b001.xlsx\ndest=\ncomplete\n");
    EXPECT_EQ(Run(in, out).done, 1);
    EXPECT_EQ(ReadFile(data), Lines(2));
    // A cleared or torn journal changes nothing.
    for (std::string journal : {"-lean journal 1 10\n", "glean journal 1 500\nexisted=1\nstart=0\n", ""}) {
        WriteFile(clsBatchRun::JournalPath(data), journal);
        EXPECT_EQ(Run(in, out).listed, 0);
        EXPECT_EQ(ReadFile(data), Lines(2)) << journal;
    }
}

TEST_F(BatchRun, SecondHarvesterIsToldTheDataFileIsInUse)
{
    AddBooks(1);
    int fd = ::open(clsBatchRun::LockPath(data).c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    // flock locks belong to the open file, so a second open in this process conflicts.
    BatchResult r = Run(in, out);
    EXPECT_NE(r.configError.find("in use"), std::string::npos) << r.configError;
    EXPECT_EQ(CountFiles(in), 1);
    ::close(fd);
    EXPECT_EQ(Run(in, out).done, 1);
}

TEST_F(BatchRun, SameDataFileAndStatusesForAnyNumberOfJobs)
{
    AddBooks(4, "xls", "a"), AddBooks(4, "xlsx", "b"), AddBooks(4, "ods", "c");
    CopyFixture("notabook.xlsx", in + "/b.xlsx");
    EXPECT_EQ(Run(in, "", 0, 1).failures.size(), 1u);
    const std::string one = ReadFile(data);
    const Strings statusOne = Column(1);
    fs::remove(data);
    EXPECT_EQ(Run(in, "", 0, 4).failures.size(), 1u);
    EXPECT_EQ(ReadFile(data), one);
    EXPECT_EQ(Column(1), statusOne);
    EXPECT_EQ(one, Lines(12));
}

TEST_F(BatchRun, StatusesChangeInListOrderAndStopLeavesTheRestPending)
{
    AddBooks(5);
    clsBatchRun run(list);
    run.setPaths({form, in, out, data});
    run.setJobs(3);
    std::vector<int> finished;
    run.onFinished = [&](int row, const std::string&, const std::string&) {
        finished.push_back(row);
        for (int r = row + 1; r < list.Rows(); ++r)  // later rows have not started
            EXPECT_EQ(list.Data(r, 1), "Pending");
        if (row == 1)
            run.RequestStop();
    };
    EXPECT_TRUE(run.RunBatch().stopped);
    EXPECT_EQ(finished, (std::vector<int>{0, 1}));
    EXPECT_EQ(Column(1), (Strings{"Done", "Done", "Pending", "Pending", "Pending"}));
    EXPECT_EQ(ReadFile(data), Lines(2));
    EXPECT_EQ(CountFiles(in), 3);
}

}  // namespace
