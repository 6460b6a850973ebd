#include "common/DataFileLock.h"

#include "common/modUtil.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(const char* what, const std::string& path, int err)
{
    return std::string(what) + " " + path + ": " + std::strerror(err);
}

// True when path still names the file open on fd.
bool SameFile(int fd, const std::string& path)
{
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

}  // namespace

DataFileLock::Outcome DataFileLock::Take(const std::string& dataFile, bool wait, std::string* error,
                                         const std::function<void()>& onWaiting)
{
    Release();
    const std::string path = PathFor(dataFile);
    bool told = false;
    for (;;) {
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (!fd) {
            if (error)
                *error = Reason("Cannot create the lock file", path, errno);
            return Outcome::Failed;
        }
        int rc = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
        if (rc != 0 && errno == EWOULDBLOCK) {
            if (!wait)
                return Outcome::Busy;
            if (!told && onWaiting)
                onWaiting();
            told = true;
            while ((rc = ::flock(fd.Get(), LOCK_EX)) != 0 && errno == EINTR) {
            }
        }
        if (rc != 0) {
            if (error)
                *error = Reason("Cannot lock", path, errno);
            return Outcome::Failed;
        }
        if (SameFile(fd.Get(), path)) {
            fd_ = std::move(fd);
            path_ = path;
            return Outcome::Taken;
        }
        // The holder removed it while we waited: lock the new one.
    }
}

DataFileLock::Outcome DataFileLock::Probe(const std::string& dataFile, bool wait, std::string* error,
                                          const std::function<void()>& onWaiting)
{
    const std::string path = PathFor(dataFile);
    auto failed = [&](const char* what) {
        if (error)
            *error = Reason(what, path, errno);
        return Outcome::Failed;
    };
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno != ENOENT)
            return failed("Cannot create the lock file");
        // Take would create it in the data file's folder.
        if (::access(FolderOf(path).c_str(), W_OK | X_OK) != 0)
            return failed("Cannot create the lock file");
        return Outcome::Taken;
    }
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return failed("Cannot create the lock file");
    // A shared lock, let go at once: another reader never has to wait for it.
    if (::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return failed("Cannot lock");
        if (!wait)
            return Outcome::Busy;
        if (onWaiting)
            onWaiting();
        int rc;
        while ((rc = ::flock(fd.Get(), LOCK_SH)) != 0 && errno == EINTR) {
        }
        if (rc != 0)
            return failed("Cannot lock");
    }
    return Outcome::Taken;
}

void DataFileLock::Release()
{
    if (!fd_)
        return;
    ::unlink(path_.c_str());  // while still held, so nobody else holds this file
    fd_.Reset();
    path_.clear();
}
