#include "harvester/ReadAhead.h"

#include "common/modUtil.h"
#include "workbook/Workbook.h"

#include <algorithm>

Extracted Extract(const std::string& path, const PreparedForm& form)
{
    Extracted o;
    try {
        // The stamp of the file opened, not of a stat before: one call fewer.
        // Workbooks up to 16 MiB are read through that very descriptor; a
        // larger one is opened again by its reader, as before.
        wb::FileStamp opened;
        const auto book = wb::Workbook::Open(path, &opened);
        o.workbook = {opened.dev, opened.ino, opened.size, opened.mtimeNs};
        o.text = ExtractLines(*book, form);
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
    jobs = std::min(jobs, n_);
    if (jobs <= 1)
        return;
    window_ = jobs * 16;  // a few hundred microseconds of reading per job
    slots_.resize(static_cast<size_t>(window_));
    for (int t = 1; t < jobs; ++t)
        helpers_.emplace_back([this] {
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
                lk.unlock();
                Extracted o = Extract(paths_[static_cast<size_t>(i)], form_);
                lk.lock();
                Store(i, std::move(o));
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
    if (next_ >= n_ || next_ >= taken_ + window_)
        return -1;
    return next_++;
}

void ReadAhead::Store(int i, Extracted&& o)
{
    slots_[static_cast<size_t>(i % window_)] = std::move(o);
    if (i == waitingFor_)
        ready_.notify_one();
}

Extracted ReadAhead::Take(int i)
{
    if (helpers_.empty())
        return Extract(paths_[static_cast<size_t>(i)], form_);
    std::unique_lock<std::mutex> lk(mu_);
    auto& slot = slots_[static_cast<size_t>(i % window_)];
    while (!slot) {
        // Rather than wait, read one more: the next one due, if no helper has it yet.
        if (int j = Claim(); j >= 0) {
            lk.unlock();
            Extracted o = Extract(paths_[static_cast<size_t>(j)], form_);
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
    taken_ = i + 1;
    // Readers waiting for room are woken once half of it is free, not for
    // every slot: waking a thread costs about as much as reading a workbook.
    if (idle_ > 0 && taken_ + window_ - next_ >= window_ / 2)
        room_.notify_all();
    return o;
}
