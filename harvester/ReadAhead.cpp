#include "harvester/ReadAhead.h"

#include "common/modUtil.h"
#include "workbook/Workbook.h"

#include <algorithm>

#include <fcntl.h>

namespace {
// Folders held open at most: past that, workbooks are opened by their paths.
constexpr size_t kMostFolders = 16;
}  // namespace

wb::FileBytes ReadAhead::ReadFile(int i) const
{
    const std::string& path = paths_[static_cast<size_t>(i)];
    return wb::Workbook::ReadFileAt(folderOf_[static_cast<size_t>(i)], path.c_str() + nameAt_[static_cast<size_t>(i)],
                                    path);
}

void ReadAhead::ReadFiles(int first, int count, std::vector<FileRead>& into) const
{
    into.clear();
    into.resize(static_cast<size_t>(count));
    size_t bytes = 0;
    for (int k = 0; k < count && bytes < kRunBytes; ++k) {
        FileRead& r = into[static_cast<size_t>(k)];
        r.done = true;
        try {
            r.file = ReadFile(first + k);
            bytes += r.file.size;
        } catch (const std::exception& e) {
            r.error = e.what();
        }
    }
}

Extracted ReadAhead::Extract(int i, FileRead&& read) const
{
    const std::string& path = paths_[static_cast<size_t>(i)];
    Extracted o;
    try {
        // The stamp of the file opened, not of a stat before: one call fewer.
        // Workbooks up to 16 MiB are read through that very descriptor; a
        // larger one is opened again by its reader, as before.
        if (!read.done)
            read.file = ReadFile(i);
        else if (!read.error.empty())
            throw wb::Error(read.error);
        if (read.file.stamped) {
            const wb::FileStamp& s = read.file.stamp;
            o.workbook = {s.dev, s.ino, s.size, s.mtimeNs};
        }
        const auto book = wb::Workbook::Open(path, std::move(read.file));
        o.text = ExtractLines(*book, form_);
        o.ok = true;
    } catch (const std::exception& e) {
        // The status row already shows the path; keep the reason short.
        o.text = WithoutPath(e.what(), path);
    }
    return o;
}

ReadAhead::ReadAhead(const std::vector<std::string>& paths, const FormDefinition& form, int jobs)
    : paths_(paths), form_(form), n_(static_cast<int>(paths.size()))
{
    folderOf_.assign(paths.size(), AT_FDCWD);
    nameAt_.assign(paths.size(), 0);
    std::vector<std::string> open;  // the folders of folders_, opened or not
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || slash + 1 == path.size())
            continue;
        std::string folder = FolderOf(path);
        size_t f = std::find(open.begin(), open.end(), folder) - open.begin();
        if (f == open.size()) {
            if (open.size() == kMostFolders)
                continue;
            // O_PATH: only to open its files by name; it needs no right to list it.
            folders_.emplace_back(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            open.push_back(std::move(folder));
        }
        if (!folders_[f])
            continue;  // its workbooks are opened by path, and fail there if they must
        folderOf_[i] = folders_[f].Get();
        nameAt_[i] = static_cast<unsigned>(slash + 1);
    }
    jobs = std::min(jobs, n_);
    if (jobs <= 1)
        return;
    // Room for the other readers to go on while the committing thread
    // appends a group of lines, which may take as long as reading dozens of
    // small workbooks.
    window_ = jobs * 32;
    heldLimit_ = static_cast<size_t>(jobs) << 20;
    slots_.resize(static_cast<size_t>(window_));
    for (int t = 1; t < jobs; ++t)
        helpers_.emplace_back([this] {
            std::vector<FileRead> files;
            std::unique_lock<std::mutex> lk(mu_);
            for (;;) {
                int i = -1;
                while (!quit_ && (i = Claim()) < 0 && next_ < n_) {
                    ++idle_;
                    room_.wait(lk);
                    --idle_;
                }
                if (quit_ || i < 0)
                    return;
                // A few at a time: the committing thread waits for the first.
                int count = 1;
                while (count < kRun / 4 && Claim() >= 0)
                    ++count;
                lk.unlock();
                ReadFiles(i, count, files);
                for (int k = 0; k < count; ++k) {
                    Extracted o = Extract(i + k, std::move(files[static_cast<size_t>(k)]));
                    lk.lock();
                    Store(i + k, std::move(o));
                    if (quit_)
                        return;
                    lk.unlock();
                }
                lk.lock();
            }
        });
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard<std::mutex> lk(mu_);
        quit_ = true;
    }
    room_.notify_all();
    for (auto& t : helpers_)
        t.join();
}

int ReadAhead::Claim()
{
    if (next_ >= n_ || next_ >= taken_ + window_ || (held_ >= heldLimit_ && next_ != taken_))
        return -1;
    return next_++;
}

bool ReadAhead::Room() const
{
    // Once half of it is free, not for every slot: waking a thread costs
    // about as much as reading a workbook.
    return taken_ + window_ - next_ >= window_ / 2 && held_ <= heldLimit_ / 2;
}

size_t ReadAhead::HeldBytes()
{
    std::lock_guard<std::mutex> lk(mu_);
    return held_;
}

int ReadAhead::Claimed()
{
    std::lock_guard<std::mutex> lk(mu_);
    return next_;
}

void ReadAhead::Store(int i, Extracted&& o)
{
    held_ += o.text.size();
    slots_[static_cast<size_t>(i % window_)] = std::move(o);
    if (i == waitingFor_)
        ready_.notify_one();
}

Extracted ReadAhead::Take(int i)
{
    if (helpers_.empty()) {
        if (i < runFirst_ || i >= runFirst_ + static_cast<int>(run_.size())) {
            runFirst_ = i;
            ReadFiles(i, std::min(kRun, n_ - i), run_);
        }
        return Extract(i, std::move(run_[static_cast<size_t>(i - runFirst_)]));
    }
    std::unique_lock<std::mutex> lk(mu_);
    auto& slot = slots_[static_cast<size_t>(i % window_)];
    while (!slot) {
        // Rather than wait, read one more: the next one due, if no helper has it yet.
        if (int j = Claim(); j >= 0) {
            lk.unlock();
            Extracted o = Extract(j, FileRead());
            lk.lock();
            Store(j, std::move(o));
            continue;
        }
        waitingFor_ = i;
        ready_.wait(lk);
        waitingFor_ = -1;
    }
    Extracted o = std::move(*slot);
    slot.reset();
    held_ -= o.text.size();
    taken_ = i + 1;
    if (idle_ > 0 && Room())
        room_.notify_all();
    return o;
}
