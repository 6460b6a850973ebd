#include "harvester/FolderWatch.h"

#include "common/modUtil.h"
#include "harvester/RunErrors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace {

// What can make a file in the folder a workbook that waits, or end one's wait.
constexpr uint32_t kFileEvents =
    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
constexpr uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

std::optional<FileIdentity> RegularFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return IdentityOf(path);
}

}  // namespace

FolderWatch::FolderWatch(WorkbookSource source, std::vector<std::string> skip, std::chrono::milliseconds settle)
    : source_(std::move(source)), skip_(std::move(skip)), settle_(settle)
{}

void FolderWatch::Start()
{
    inotify_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (inotify_ && ::inotify_add_watch(inotify_.Get(), source_.folder.c_str(),
                                        kFileEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR) >= 0)
        return;
    const int err = errno;
    inotify_.Reset();
    // ENOSPC here is the per-user limit of watches, not a full disk.
    throw ConfigError(
        "Cannot watch the input folder " + source_.folder + ": " +
        (err == ENOSPC ? "too many folders are watched (fs.inotify.max_user_watches)" : std::strerror(err)));
}

std::string FolderWatch::PathOf(const std::string& name) const
{
    return (source_.folder == "/" ? "/" : source_.folder + "/") + name;
}

bool FolderWatch::Skipped(const std::string& name) const
{
    return std::find(skip_.begin(), skip_.end(), AbsolutePath(PathOf(name))) != skip_.end();
}

std::vector<std::string> FolderWatch::Scan()
{
    handed_.clear();
    const auto now = Clock::now();
    const auto wallNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const long long settleNs = std::chrono::duration_cast<std::chrono::nanoseconds>(settle_).count();
    std::vector<std::string> ready;
    for (const std::string& path : ListWorkbooks(source_, skip_)) {
        const std::string name = NameOf(path);
        auto id = RegularFile(path);
        if (!id)
            continue;
        // One written to within the settle time may still be being copied.
        if (wallNs - id->mtimeNs >= settleNs) {
            handed_[name] = *id;
            ready.push_back(path);
        } else {
            waiting_[name] = {*id, now};
        }
    }
    return ready;
}

void FolderWatch::Changed(const std::string& name, Clock::time_point now)
{
    if (!Selects(source_, name) || Skipped(name))
        return;
    auto id = RegularFile(PathOf(name));
    if (!id) {
        waiting_.erase(name);
        failed_.erase(name);
        return;
    }
    waiting_[name] = {*id, now};
}

void FolderWatch::Rescan(Clock::time_point now)
{
    std::vector<std::string> names;
    for (const std::string& path : ListWorkbooks(source_, skip_))
        names.push_back(NameOf(path));
    auto absent = [&](const auto& entry) { return !std::binary_search(names.begin(), names.end(), entry.first); };
    std::erase_if(waiting_, absent);
    std::erase_if(failed_, absent);
    // Changes may have been lost: every workbook waits again.
    for (const std::string& name : names)
        Changed(name, now);
}

void FolderWatch::ReadEvents(Clock::time_point now)
{
    alignas(inotify_event) char buf[16384];
    bool overflow = false;
    for (;;) {
        const ssize_t n = ::read(inotify_.Get(), buf, sizeof buf);
        if (n <= 0)
            break;  // EAGAIN: all read
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW)
                overflow = true;
            else if (e->mask & kFolderGone)
                gone_ = true;
            else if (e->len > 0)
                Changed(e->name, now);
        }
    }
    if (overflow && !gone_)
        Rescan(now);
}

std::vector<std::string> FolderWatch::Due(Clock::time_point now)
{
    std::vector<std::string> ready;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const std::string& name = it->first;
        if (now - it->second.since < settle_) {
            ++it;
            continue;
        }
        auto id = RegularFile(PathOf(name));
        if (!id) {
            failed_.erase(name);
            it = waiting_.erase(it);
            continue;
        }
        if (!id->Unchanged(it->second.id)) {  // changed without an event we saw
            it->second = {*id, now};
            ++it;
            continue;
        }
        auto failed = failed_.find(name);
        if (failed == failed_.end() || !failed->second.Unchanged(*id)) {
            handed_[name] = *id;
            ready.push_back(PathOf(name));
        }
        it = waiting_.erase(it);
    }
    return ready;
}

int FolderWatch::Timeout(Clock::time_point now) const
{
    if (waiting_.empty())
        return -1;
    auto first = waiting_.begin()->second.since;
    for (const auto& [name, w] : waiting_)
        first = std::min(first, w.since);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(first + settle_ - now).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

std::vector<std::string> FolderWatch::Wait(int wakeFd)
{
    handed_.clear();
    for (;;) {
        const auto now = Clock::now();
        std::vector<std::string> ready = Due(now);
        if (!ready.empty())
            return ready;
        if (gone_)
            return {};
        pollfd fds[2] = {{inotify_.Get(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int n = ::poll(fds, wakeFd >= 0 ? 2 : 1, Timeout(now));
        if (n < 0 && errno == EINTR)
            return {};  // a signal: the caller looks whether it must stop
        if (n < 0)
            throw ConfigError("Cannot watch the input folder " + source_.folder + ": " + std::strerror(errno));
        if (n > 0 && wakeFd >= 0 && fds[1].revents)
            return {};
        if (n > 0 && fds[0].revents)
            ReadEvents(Clock::now());
    }
}

void FolderWatch::Failed(const std::string& path)
{
    const std::string name = NameOf(path);
    auto handed = handed_.find(name);
    if (handed != handed_.end()) {
        failed_[name] = handed->second;
    } else if (auto id = RegularFile(path)) {
        failed_[name] = *id;
    }
}
