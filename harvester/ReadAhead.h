#pragma once
// Reading and formatting the workbooks of a run on several threads, ahead of
// the thread that commits them in list order. With N jobs, N - 1 helper
// threads read, and the committing thread reads too whenever the workbook it
// needs next is not ready: N threads are busy, never N + 1. Readers run at
// most 16 workbooks a job ahead, so memory stays flat however long the list is.
#include "harvester/Journal.h"
#include "harvester/modExtractWorkbookData.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// One workbook read: its lines, or why it could not be harvested.
struct Extracted {
    bool ok = false;
    std::string text;       // the lines, or the reason
    FileIdentity workbook;  // the file as it was before it was read
};

// Reads one workbook on the calling thread.
Extracted Extract(const std::string& path, const PreparedForm& form);

class ReadAhead {
public:
    // jobs 1: every workbook is read in Take, on the calling thread.
    ReadAhead(const std::vector<std::string>& paths, const FormDefinition& form, int jobs);
    ~ReadAhead();  // stops the helpers and waits for them
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Workbook i; called for i = 0, 1, 2 ... in order.
    Extracted Take(int i);

private:
    // Under the lock: the next workbook to read, within the window, or -1.
    int Claim();
    void Store(int i, Extracted&& o);

    const std::vector<std::string>& paths_;
    const PreparedForm form_;  // read once for the whole run
    int n_ = 0;
    int window_ = 0;
    std::mutex mu_;
    std::condition_variable ready_;  // the committing thread waits for its workbook
    std::condition_variable room_;   // helpers wait for room in the window
    std::vector<std::optional<Extracted>> slots_;
    int next_ = 0, taken_ = 0;
    int waitingFor_ = -1;  // the workbook the committing thread waits for
    int idle_ = 0;         // helpers waiting for room
    bool quit_ = false;
    std::vector<std::thread> helpers_;
};
