#pragma once
// The workbooks that arrive in an input folder, each handed out once it has
// stopped changing for the settle time, so that a workbook still being copied
// is never read half-written:
//   - every change event (inotify) for a workbook restarts its timer;
//   - when the time is up, its size, modification time and inode must still
//     be those seen at the last event, else the timer starts again;
//   - a workbook that failed is handed out again only once it has changed
//     (a different size, modification time or inode);
//   - when the kernel's event queue overflowed, the folder is listed again.
// The folder is watched from Start on, so nothing arrives unseen between the
// first listing and the first wait.
#include "common/UniqueHandle.h"
#include "harvester/Journal.h"
#include "harvester/WorkbookList.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

class FolderWatch {
public:
    using Clock = std::chrono::steady_clock;

    // skip: absolute paths that are never workbooks (the run's own files).
    FolderWatch(WorkbookSource source, std::vector<std::string> skip, std::chrono::milliseconds settle);

    // Throws ConfigError naming the folder when it cannot be watched.
    void Start();

    // The workbooks in the folder now: those not changed within the settle
    // time are returned (full paths, in name order); the others wait.
    std::vector<std::string> Scan();

    // Blocks until workbooks have settled and returns them (full paths, in
    // name order); returns nothing when wakeFd becomes readable, a signal
    // interrupts the wait or the folder is gone.
    std::vector<std::string> Wait(int wakeFd);

    // A workbook handed out failed: ignored until it changes.
    void Failed(const std::string& path);

    // How many workbooks wait for their settle time to pass.
    size_t Waiting() const { return waiting_.size(); }

    // The folder was removed or moved away: nothing more can arrive.
    bool Gone() const { return gone_; }
    const std::string& Folder() const { return source_.folder; }

private:
    struct Pending {
        FileIdentity id;
        Clock::time_point since;
    };

    std::string PathOf(const std::string& name) const;
    bool Skipped(const std::string& name) const;
    void Changed(const std::string& name, Clock::time_point now);
    void Rescan(Clock::time_point now);
    void ReadEvents(Clock::time_point now);
    std::vector<std::string> Due(Clock::time_point now);
    int Timeout(Clock::time_point now) const;  // ms for poll; -1: nothing waits

    WorkbookSource source_;
    std::vector<std::string> skip_;
    std::chrono::milliseconds settle_;
    UniqueFd inotify_;
    bool gone_ = false;
    std::map<std::string, Pending> waiting_;      // by name
    std::map<std::string, FileIdentity> handed_;  // handed out by the last Scan or Wait
    std::map<std::string, FileIdentity> failed_;  // as they were when they failed
};
