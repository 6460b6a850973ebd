#include "harvester/GleanWatch.h"

#include "common/UniqueHandle.h"
#include "common/modUtil.h"
#include "harvester/FolderWatch.h"
#include "harvester/RunErrors.h"
#include "harvester/WorkbookList.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <ostream>
#include <set>
#include <unistd.h>

namespace {

std::atomic<int> gStopSignal{0};
std::atomic<int> gWakeFd{-1};

extern "C" void OnStopSignal(int sig)
{
    // Only a flag and a byte into the pipe that wakes the wait.
    const int saved = errno;
    gStopSignal = sig;
    const int fd = gWakeFd;
    if (fd >= 0) {
        const char c = 0;
        [[maybe_unused]] ssize_t n = ::write(fd, &c, 1);
    }
    errno = saved;
}

// SIGINT and SIGTERM handled for its lifetime.
class StopSignals {
public:
    StopSignals()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            read_.Reset(fds[0]);
            write_.Reset(fds[1]);
        }
        gStopSignal = 0;
        gWakeFd = write_.Get();
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, &oldInt_);
        ::sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~StopSignals()
    {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        gWakeFd = -1;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int WakeFd() const { return read_.Get(); }
    int Signal() const { return gStopSignal; }

private:
    UniqueFd read_, write_;
    struct sigaction oldInt_ {
    }, oldTerm_{};
};

void Add(BatchResult& all, const BatchResult& r)
{
    all.listed += r.listed;
    all.done += r.done;
    all.failures.insert(all.failures.end(), r.failures.begin(), r.failures.end());
}

}  // namespace

BatchResult WatchInputFolder(clsBatchRun& run, std::chrono::milliseconds settle, std::ostream& err)
{
    BatchResult all;
    const BatchPaths paths = run.Paths();
    WorkbookSource source;
    try {
        source = ReadWorkbookSource(paths.inDir);
    } catch (const ConfigError& e) {
        all.configError = e.what();
        return all;
    }
    FolderWatch watch(source, clsBatchRun::OwnFiles(paths.dataFile), settle);
    StopSignals signals;
    try {
        watch.Start();
    } catch (const ConfigError& e) {
        all.configError = e.what();
        return all;
    }

    std::set<std::string> batch;  // names of the workbooks this run may take
    const auto onFinished = run.onFinished;
    run.onFinished = [&](int row, const std::string& path, const WorkbookOutcome& o) {
        if (onFinished)
            onFinished(row, path, o);
        if (o.IsFailed())
            watch.Failed(path);
        if (signals.Signal())
            run.RequestStop();
    };
    run.onlyIf = [&](const std::string& path) { return batch.count(NameOf(path)) > 0; };
    struct Restore {
        clsBatchRun& run;
        std::function<void(int, const std::string&, const WorkbookOutcome&)> onFinished;
        ~Restore()
        {
            run.onFinished = onFinished;
            run.onlyIf = nullptr;
        }
    } restore{run, onFinished};

    std::vector<std::string> ready = watch.Scan();
    const bool nothingThere = ready.empty() && watch.Waiting() == 0;
    for (bool first = true;; first = false) {
        batch.clear();
        for (const std::string& path : ready)
            batch.insert(NameOf(path));
        // The first run also checks the job and settles what an earlier one left.
        if (first || !batch.empty()) {
            BatchResult r = run.RunBatch();
            if (!r.configError.empty()) {
                if (first)
                    return r;
                all.stopped = true;
                all.stopReason = r.configError;
                break;
            }
            Add(all, r);
            if (r.stopped) {
                all.notTried = r.notTried;
                if (!r.stoppedAt.empty() || !signals.Signal()) {  // not for the signal: the data file failed
                    all.stopped = true;
                    all.stopReason = r.stopReason;
                    all.stoppedAt = r.stoppedAt;
                }
                break;
            }
        }
        if (first) {
            if (nothingThere)
                err << clsBatchRun::kNothingToDo << "\n";
            err << "glean: watching " << watch.Folder() << " for workbooks (Ctrl+C or SIGTERM ends)\n";
        }
        if (signals.Signal())
            break;
        try {
            ready = watch.Wait(signals.WakeFd());
        } catch (const ConfigError& e) {
            all.stopped = true;
            all.stopReason = e.what();
            break;
        }
        if (signals.Signal())
            break;
        if (watch.Gone()) {
            all.stopped = true;
            all.stopReason = "the input folder " + watch.Folder() + " was removed or moved.";
            break;
        }
    }
    if (const int sig = signals.Signal())
        err << "glean: stopped by " << (sig == SIGINT ? "SIGINT" : "SIGTERM") << "\n";
    return all;
}
