#include "harvester/DataFileAppender.h"

#include "common/modUtil.h"
#include "harvester/RunErrors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Both parts with one write where the system takes them whole; 0 or the errno.
int WriteBoth(int fd, const std::string& a, const std::string& b)
{
    if (a.empty())
        return WriteAll(fd, b);
    iovec v[2] = {{const_cast<char*>(a.data()), a.size()}, {const_cast<char*>(b.data()), b.size()}};
    ssize_t put;
    do
        put = ::writev(fd, v, 2);
    while (put < 0 && errno == EINTR);
    if (put < 0)
        return errno;
    const size_t done = static_cast<size_t>(put);
    if (done < a.size())
        return WriteAll(fd, a.substr(done) + b);
    return WriteAll(fd, std::string_view(b).substr(done - a.size()));
}

std::string Reason(const std::string& what, const std::string& path, int err)
{
    return what + " " + path + ": " + std::strerror(err);
}

}  // namespace

DataFileAppender::~DataFileAppender()
{
    Close();
}

void DataFileAppender::Lock(bool wait, const std::function<void()>& onWaiting)
{
    std::string error;
    switch (lock_.Take(path_, wait, &error, onWaiting)) {
    case DataFileLock::Outcome::Taken:
        return;
    case DataFileLock::Outcome::Busy:
        throw ConfigError("The data file is in use by another program: " + path_);
    case DataFileLock::Outcome::Failed:
        throw ConfigError(error);
    }
}

// The file just opened (or not) becomes the run's: its identity, size and ending.
void DataFileAppender::Adopt()
{
    if (!fd_)
        throw ConfigError(Reason("Cannot write the data file", path_, errno));
    auto id = IdentityOf(fd_.Get());
    if (!id)
        throw ConfigError(Reason("Cannot read the data file", path_, errno));
    id_ = *id;
    size_ = id_.size;
    ReadEnding();
}

void DataFileAppender::Open()
{
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw ConfigError(S_ISDIR(st.st_mode) ? "The data file is a folder: " + path_
                                              : "The data file is not a regular file: " + path_);
    // O_EXCL first, so that the run knows whether it made the file.
    fd_.Reset(::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    created_ = static_cast<bool>(fd_);
    if (!fd_ && errno == EEXIST) {
        fd_.Reset(::open(path_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
        if (!fd_ && errno == EACCES)  // writable but not readable: no line-end check
            fd_.Reset(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    }
    Adopt();
}

void DataFileAppender::CheckLock(bool wait, const std::function<void()>& onWaiting)
{
    std::string error;
    switch (DataFileLock::Probe(path_, wait, &error, onWaiting)) {
    case DataFileLock::Outcome::Taken:
        break;
    case DataFileLock::Outcome::Busy:
        throw ConfigError("The data file is in use by another program: " + path_);
    case DataFileLock::Outcome::Failed:
        throw ConfigError(error);
    }
}

void DataFileAppender::CheckOpen()
{
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        // Open would create it: its folder must take a new file.
        if (::access(FolderOf(path_).c_str(), W_OK | X_OK) != 0)
            throw ConfigError(Reason("Cannot write the data file", path_, errno));
        size_ = 0;
        endsWithLineEnd_ = true;
        return;
    }
    if (!S_ISREG(st.st_mode))
        throw ConfigError(S_ISDIR(st.st_mode) ? "The data file is a folder: " + path_
                                              : "The data file is not a regular file: " + path_);
    // Opened for writing as Open does, without O_CREAT or O_TRUNC: nothing changes.
    fd_.Reset(::open(path_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
    if (!fd_ && errno == EACCES)
        fd_.Reset(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    Adopt();
}

void DataFileAppender::Pretend(const JournalRecord& record)
{
    size_ = record.after;
    endsWithLineEnd_ = true;
}

void DataFileAppender::ReadEnding()
{
    char last = '\n';
    if (size_ > 0 && ::pread(fd_.Get(), &last, 1, size_ - 1) != 1)
        last = '\n';
    endsWithLineEnd_ = last == '\n' || last == '\r';
}

void DataFileAppender::Prepare(const std::string& header, const std::string& lines, JournalRecord& r)
{
    lead_.clear();
    // A last line without its end (edited by hand) must not be glued to ours.
    if (!endsWithLineEnd_)
        lead_ = "\r\n";
    if (IsNew())
        lead_ += header;
    r.data = id_;
    r.before = size_;
    r.after = size_ + static_cast<long long>(lead_.size() + lines.size());
    // A lead is rare: a new file, or a last line without its end.
    r.checksum = lead_.empty() ? Checksum(lines) : Checksum(lead_ + lines);
    r.created = created_ && size_ == 0;
}

void DataFileAppender::Append(const std::string& lines, const JournalRecord& record)
{
    if (const int err = WriteBoth(fd_.Get(), lead_, lines)) {
        const std::string what = Reason("Cannot write the data file", path_, err);
        if (::ftruncate(fd_.Get(), record.before) != 0)
            throw DataFileError(what + "; the part written cannot be taken out: " + std::strerror(errno), true);
        throw DataFileError(what);
    }
    size_ = record.after;
    endsWithLineEnd_ = true;
}

void DataFileAppender::Undo(const JournalRecord& record)
{
    if (::ftruncate(fd_.Get(), record.before) != 0)
        throw DataFileError(Reason("Cannot take the lines out of the data file", path_, errno), true);
    size_ = record.before;
    ReadEnding();
}

std::string DataFileAppender::Changed() const
{
    // One look by path: when it names the open file, its size is the open file's.
    auto named = IdentityOf(path_);
    if (!named)
        return "The data file " + path_ + " was deleted during the run.";
    if (!named->SameFile(id_))
        return "The data file " + path_ + " was replaced by another file during the run.";
    if (named->size != size_)
        return "The data file " + path_ + " was changed by another program during the run (" +
               std::to_string(named->size) + " bytes instead of " + std::to_string(size_) + ").";
    return {};
}

bool DataFileAppender::Gone() const
{
    auto named = IdentityOf(path_);
    return !named || !named->SameFile(id_);
}

void DataFileAppender::Close()
{
    if (fd_ && created_ && size_ == 0 && !Gone())
        ::unlink(path_.c_str());
    fd_.Reset();
    lock_.Release();
}
