#pragma once
// A batch run over real folders (JobFolders), its status list, and a run
// killed at an exact point in a child process.
#include "common/DataFileLock.h"
#include "harvester/Journal.h"
#include "harvester/clsBatchRun.h"
#include "tests/harvester/HarvestTestUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace harvest_test {

using Strings = std::vector<std::string>;

// The data file after `workbooks` timesheets.
inline std::string Lines(int workbooks)
{
    std::string s = kTimesheetHeader;
    for (int i = 0; i < workbooks; ++i)
        s += kTimesheetLines;
    return s;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Public, so that table rows can each run on fresh folders of their own.
class BatchRun : public ::testing::Test, public JobFolders {
public:
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

    std::string JournalFile() const { return Journal::PathFor(data); }

    Strings Column(int col) const
    {
        Strings v;
        for (int r = 0; r < list.Rows(); ++r)
            v.push_back(list.Data(r, col));
        return v;
    }

    MemoryStatusList list;
};

// A fixture of its own for one row of a table.
template <class F>
struct Fresh : F {
    void TestBody() override {}
};

}  // namespace harvest_test
