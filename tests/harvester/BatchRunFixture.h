#pragma once
// A batch run over real folders (JobFolders), its status list, and a run
// killed at an exact point in a child process.
#include "common/DataFileLock.h"
#include "harvester/GleanCommand.h"
#include "harvester/Journal.h"
#include "harvester/clsBatchRun.h"
#include "tests/harvester/HarvestTestUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace harvest_test {

// Public, so that table rows can each run on fresh folders of their own.
class BatchRun : public ::testing::Test, public JobFolders {
public:
    // A run of `paths` after `set` has set it up.
    BatchResult RunWith(const BatchPaths& paths, const std::function<void(clsBatchRun&)>& set = {})
    {
        clsBatchRun run(list);
        run.setPaths(paths);
        if (set)
            set(run);
        return run.RunBatch();
    }
    BatchResult RunWith(const std::function<void(clsBatchRun&)>& set) { return RunWith({form, in, out, data}, set); }
    BatchResult Run(const std::string& inText, const std::string& outText, int limit = clsBatchRun::kDefaultLimit,
                    int jobs = 1)
    {
        return RunWith({form, inText, outText, data}, [&](clsBatchRun& run) {
            run.setLimit(limit);
            run.setJobs(jobs);
        });
    }

    // f in a child process, which may die without any clean-up; what f returns.
    std::string InChild(const std::function<std::string()>& f)
    {
        const std::string report = dir / "child.txt";
        fs::remove(report);
        const pid_t pid = fork();
        if (pid == 0) {
            WriteFile(report, f());
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        return ReadFile(report);
    }

    // A run killed (no clean-up at all) right after the append of `row`,
    // moving workbooks to `out` or, when not `moving`, leaving them (their
    // lines go in 64 at a time, however slowly they are read).
    void CrashAfterAppend(int row, bool moving = true)
    {
        InChild([&] {
            RunWith({form, in, moving ? out : "", data}, [row](clsBatchRun& run) {
                run.setGroupTime(std::chrono::hours(1));
                run.afterAppend = [row](int r) {
                    if (r == row)
                        _exit(0);
                };
            });
            _exit(1);
            return std::string();
        });
    }

    // glean with `args`, which must be understood: its report in err, a dry
    // run's lines or /define's table in printed.
    int Glean(const std::string& args)
    {
        GleanOptions o = ParseGleanOptions(args);
        EXPECT_EQ(o.usageError, "") << args;
        err.str("");
        printed.str("");
        return o.defineGiven ? RunDefine(o, printed, err) : RunGlean(o, err, false, &printed);
    }
    std::ostringstream err, printed;

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
