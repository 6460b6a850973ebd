#include "harvester/ReadAhead.h"

#include <algorithm>

Extracted Extract(const std::string& path, const FormDefinition& form)
{
    Extracted o;
    if (auto id = IdentityOf(path))
        o.workbook = *id;
    try {
        o.text = ExtractLines(path, form);
        o.ok = true;
    } catch (const std::exception& e) {
        // The status row already shows the path; keep the reason short.
        o.text = e.what();
        if (o.text.rfind(path + ": ", 0) == 0)
            o.text.erase(0, path.size() + 2);
        const std::string tail = ": " + path;
        if (o.text.size() > tail.size() && o.text.compare(o.text.size() - tail.size(), tail.size(), tail) == 0)
            o.text.erase(o.text.size() - tail.size());
    }
    return o;
}

ReadAhead::ReadAhead(const std::vector<std::string>& paths, const FormDefinition& form, int jobs)
    : paths_(paths), form_(form)
{
    const int n = static_cast<int>(paths.size());
    jobs = std::min(jobs, n);
    if (jobs <= 1)
        return;
    window_ = jobs * 4;
    slots_.resize(static_cast<size_t>(window_));
    for (int t = 0; t < jobs; ++t)
        workers_.emplace_back([this, n] {
            std::unique_lock<std::mutex> lk(mu_);
            for (;;) {
                cv_.wait(lk, [&] { return quit_ || next_ >= n || next_ < taken_ + window_; });
                if (quit_ || next_ >= n)
                    return;
                int i = next_++;
                lk.unlock();
                Extracted o = Extract(paths_[static_cast<size_t>(i)], form_);
                lk.lock();
                slots_[static_cast<size_t>(i % window_)] = std::move(o);
                cv_.notify_all();
            }
        });
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard<std::mutex> lk(mu_);
        quit_ = true;
    }
    cv_.notify_all();
    for (auto& t : workers_)
        t.join();
}

Extracted ReadAhead::Take(int i)
{
    if (workers_.empty())
        return Extract(paths_[static_cast<size_t>(i)], form_);
    std::unique_lock<std::mutex> lk(mu_);
    auto& slot = slots_[static_cast<size_t>(i % window_)];
    cv_.wait(lk, [&] { return slot.has_value(); });
    Extracted o = std::move(*slot);
    slot.reset();
    taken_ = i + 1;
    cv_.notify_all();
    return o;
}
