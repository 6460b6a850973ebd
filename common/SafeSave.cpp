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

}  // namespace

// Writes next to the target and renames over it, so that readers and a crash
// see either the old file or the new one, never a part.
void WriteAtomically(const std::string& name, std::string_view data)
{
    fs::path target = name;
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        auto real = fs::canonical(target, ec);
        if (!ec)
            target = real;
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");

    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        std::string hidden = ".";
        hidden += target.filename().string();
        for (const auto& part : {std::to_string(::getpid()), std::to_string(counter++), std::to_string(random() % 100000)})
            (hidden += '.') += part;
        hidden += ".tmp";
        tmp = (dir / hidden).string();
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100))
            throw WriteError(errno, name);
    }

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw WriteError(err, name);
    };

    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);  // keep the file's permissions

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

