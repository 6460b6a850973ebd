#include "common/SafeSave.h"

#include "common/RtError.h"
#include "common/modUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace {

// Saving always gives the system's own reason: the user has to act on it.
rt::RtError WriteError(int err, const std::string& file)
{
    const int number = (err == EACCES || err == EPERM || err == EROFS) ? rt::PermissionDenied : rt::PathFileAccessError;
    return rt::RtError(number, std::strerror(err), file);
}

bool IsPermissionError(int err)
{
    return err == EACCES || err == EPERM || err == EROFS;
}

// No write bit at all counts as read-only even for root, who may write anyway.
bool IsReadOnly(const std::string& path, const struct stat& st)
{
    return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// The fallback: the file itself is rewritten, so it stays the same file.
void WriteInPlace(const std::string& target, std::string_view data, const std::string& name)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        throw WriteError(errno, name);
    int err = WriteAll(fd, data);
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err)
        throw WriteError(err, name);
}

// Creates a hidden temporary file in dir; -1 with errno set when it cannot.
int CreateTemporary(const fs::path& dir, const fs::path& target, std::string& tmp)
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0;; ++attempt) {
        std::string hidden = ".";
        hidden += target.filename().string();
        for (const auto& part :
             {std::to_string(::getpid()), std::to_string(counter++), std::to_string(random() % 100000)})
            (hidden += '.') += part;
        hidden += ".tmp";
        tmp = (dir / hidden).string();
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt > 100)
            return fd;
    }
}

}  // namespace

void WriteAtomically(const std::string& name, std::string_view data)
{
    fs::path target = name;
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        // Through every link to the file itself; a dangling link gets its file made.
        auto real = fs::weakly_canonical(target, ec);
        if (!ec)
            target = real;
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    if (exists && IsReadOnly(target.string(), old))
        throw rt::RtError(rt::PermissionDenied, kReadOnlyReason, name);
    if (exists && old.st_nlink > 1) {
        WriteInPlace(target.string(), data, name);  // a rename would split the hard links
        return;
    }

    std::string tmp;
    int fd = CreateTemporary(dir, target, tmp);
    if (fd < 0) {
        const int err = errno;
        if (exists && IsPermissionError(err)) {
            WriteInPlace(target.string(), data, name);
            return;
        }
        throw WriteError(err, name);
    }

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw WriteError(err, name);
    };

    if (exists) {
        struct stat made {};
        ::fstat(fd, &made);
        if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner's own programs may give the file away: keep it by
            // writing into it.
            ::close(fd);
            ::unlink(tmp.c_str());
            WriteInPlace(target.string(), data, name);
            return;
        }
        ::fchmod(fd, old.st_mode & 07777);  // after fchown, which may clear set-id bits
    }

    if (const int err = WriteAll(fd, data))
        fail(err);
    if (::fsync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        throw WriteError(err, name);
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        throw WriteError(err, name);
    }
}
