#pragma once
// One writer at a time for a data file: the harvester holds this lock while
// it appends, the editor while it saves. It is an flock on "<data file>.lock";
// the holder removes that file when it lets go, so no lock file stays behind.
//
// Removing a lock file that others may be waiting on is safe because Take
// checks, once it holds the flock, that the path still names the file it
// locked; a waiter that locked a removed file simply tries again.
#include "common/UniqueHandle.h"

#include <functional>
#include <string>

class DataFileLock {
public:
    enum class Outcome { Taken, Busy, Failed };

    DataFileLock() = default;
    ~DataFileLock() { Release(); }
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    static std::string PathFor(const std::string& dataFile) { return dataFile + ".lock"; }

    // Busy: another program holds it and wait is false. With wait true,
    // onWaiting (if any) is called once before blocking. Failed: the lock file
    // cannot be created or locked; error then holds "Cannot ... <path>: <reason>".
    Outcome Take(const std::string& dataFile, bool wait, std::string* error = nullptr,
                 const std::function<void()>& onWaiting = {});
    // What Take would meet, without creating, keeping or removing a lock file:
    // Taken when it would get the lock, Busy when another program holds it
    // (with wait: onWaiting, then it returns Taken once the holder lets go),
    // Failed with Take's error when the lock file could not be made or locked.
    static Outcome Probe(const std::string& dataFile, bool wait, std::string* error = nullptr,
                         const std::function<void()>& onWaiting = {});
    // Removes the lock file and lets go; nothing when not held.
    void Release();
    bool Held() const { return static_cast<bool>(fd_); }
    const std::string& Path() const { return path_; }

private:
    UniqueFd fd_;
    std::string path_;
};
