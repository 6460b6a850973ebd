#pragma once
// Reading and formatting the workbooks of a run on several threads, ahead of
// the thread that commits them in list order. Readers run at most a few
// workbooks ahead, so memory stays flat however long the list is.
#include "harvester/Journal.h"
#include "harvester/modExtractWorkbookData.h"

#include <condition_variable>
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
Extracted Extract(const std::string& path, const FormDefinition& form);

class ReadAhead {
public:
    // jobs 1: every workbook is read in Take, on the calling thread.
    ReadAhead(const std::vector<std::string>& paths, const FormDefinition& form, int jobs);
    ~ReadAhead();  // stops the readers and waits for them
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Workbook i; called for i = 0, 1, 2 ... in order.
    Extracted Take(int i);

private:
    const std::vector<std::string>& paths_;
    const FormDefinition& form_;
    int window_ = 0;
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::optional<Extracted>> slots_;
    int next_ = 0, taken_ = 0;
    bool quit_ = false;
    std::vector<std::thread> workers_;
};
