#include "common/DataFileLock.h"

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
    struct stat open {}, named {};
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

void DataFileLock::Release()
{
    if (!fd_)
        return;
    ::unlink(path_.c_str());  // while still held, so nobody else holds this file
    fd_.Reset();
    path_.clear();
}
