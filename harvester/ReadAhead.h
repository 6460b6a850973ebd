#pragma once
// Reading and formatting the workbooks of a run on several threads, ahead of
// the thread that commits them in list order. With N jobs, N - 1 helper
// threads read, and the committing thread reads too whenever the workbook it
// needs next is not ready: N threads are busy, never N + 1. Readers run at
// most 32 workbooks a job ahead, and stop sooner once the lines read and not
// yet taken reach 1 MiB a job, so memory stays flat however long the list is
// and however many lines a workbook gives.
// Each reader reads the files of several workbooks one after the other, then
// reads those workbooks: the system's file reading, and then ours, run with
// their code and data still in the processor's caches.
#include "common/UniqueHandle.h"
#include "harvester/Journal.h"
#include "harvester/modExtractWorkbookData.h"
#include "workbook/Workbook.h"

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

// A workbook's file, read before the workbook is: its bytes, or why they
// could not be read; neither when it was left for later.
struct FileRead {
    bool done = false;
    wb::FileBytes file;
    std::string error;  // from Workbook::ReadFile
};

class ReadAhead {
public:
    // jobs 1: every workbook is read in Take, on the calling thread.
    ReadAhead(const std::vector<std::string>& paths, const FormDefinition& form, int jobs);
    ~ReadAhead();  // stops the helpers and waits for them
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Workbook i; called for i = 0, 1, 2 ... in order.
    Extracted Take(int i);

    // The bytes of lines read and not yet taken, and the workbooks claimed
    // by readers so far: what the limits above hold down.
    size_t HeldBytes();
    int Claimed();

private:
    // Under the lock: the next workbook to read, within the window and the
    // bytes held, or -1. The one the committing thread needs next can always
    // be claimed (nothing after it is held then, but the run must go on even
    // were the count of bytes wrong).
    int Claim();
    // Under the lock: room enough to wake the readers waiting for it.
    bool Room() const;
    // The files of workbooks first .. first + count - 1 into `into`, one
    // after the other, as long as they hold less than kRunBytes together.
    void ReadFiles(int first, int count, std::vector<FileRead>& into) const;
    // Workbook i, its file read or not.
    Extracted Extract(int i, FileRead&& read) const;
    static constexpr int kRun = 16;                // files read one after the other
    static constexpr size_t kRunBytes = 1u << 20;  // unless they hold more together
    void Store(int i, Extracted&& o);
    // Workbook i's file, opened by its name in its folder.
    wb::FileBytes ReadFile(int i) const;

    // The workbooks' folders, each opened once (a run's workbooks mostly
    // share one): for each workbook, the folder's descriptor and where its
    // name starts in its path. AT_FDCWD and 0 when it is opened by its path.
    std::vector<UniqueFd> folders_;
    std::vector<int> folderOf_;
    std::vector<unsigned> nameAt_;

    const std::vector<std::string>& paths_;
    const PreparedForm form_;  // read once for the whole run
    int n_ = 0;
    int window_ = 0;
    size_t heldLimit_ = 0;
    size_t held_ = 0;  // bytes of lines in slots_
    std::mutex mu_;
    std::condition_variable ready_;  // the committing thread waits for its workbook
    std::condition_variable room_;   // helpers wait for room in the window
    std::vector<std::optional<Extracted>> slots_;
    int next_ = 0, taken_ = 0;
    int waitingFor_ = -1;  // the workbook the committing thread waits for
    int idle_ = 0;         // helpers waiting for room
    bool quit_ = false;
    std::vector<std::thread> helpers_;
    // One job: the files read ahead, from runFirst_ on.
    std::vector<FileRead> run_;
    int runFirst_ = 0;
};
