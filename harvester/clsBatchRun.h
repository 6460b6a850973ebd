#pragma once
// The batch run: lists the workbooks of the input folder in a status list,
// harvests each one into the data file and moves it into the output folder.
//
// Flow of RunBatch:
//   1. Configuration checks (form definition readable and not empty, data
//      file folder and output folder present), before anything is read or
//      written; then the data file is locked for the whole run and any
//      append left behind by a killed run is undone or confirmed (journal).
//   2. The input text becomes a folder and a name pattern; matches are listed
//      in name order as "Pending" (at most Limit() per run, 0 = no limit).
//   3. Workbooks are read and formatted on Jobs() threads, but committed on
//      the calling thread in list order: "Processing", journal, one append
//      of all the workbook's lines, move, "Done" — or "Failed: reason", with
//      the append undone and the workbook left in the input folder.
//
// Every StatusList call and every hook runs on the thread that called
// RunBatch, in list order. RequestStop may be called from any thread.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

// The two-column list ("File", "Status") that shows a run.
class StatusList {
public:
    virtual ~StatusList() = default;
    virtual void Clear() = 0;
    virtual void AddRow() = 0;  // appends a row of empty cells
    virtual int Rows() const = 0;
    virtual std::string Data(int pRow, int pCol) const = 0;
    virtual void setData(int pRow, int pCol, const std::string& pText) = 0;
};

// A plain in-memory StatusList, for glean and tests.
class MemoryStatusList : public StatusList {
public:
    void Clear() override { rows_.clear(); }
    void AddRow() override { rows_.push_back({"", ""}); }
    int Rows() const override { return static_cast<int>(rows_.size()); }
    std::string Data(int pRow, int pCol) const override;
    void setData(int pRow, int pCol, const std::string& pText) override;

private:
    std::vector<std::vector<std::string>> rows_;
};

// The four path texts of a job, as typed (the run trims where it should).
struct BatchPaths {
    std::string formType;  // form definition
    std::string inDir;     // input folder, or folder/pattern with * or ?
    std::string outDir;    // output folder; empty or spaces: workbooks are not moved
    std::string dataFile;  // data file appended to
};

struct BatchFailure {
    std::string path;
    std::string reason;
};

struct BatchResult {
    // Set when the run did not start (nothing was read or written): the
    // reason as a sentence naming the path.
    std::string configError;
    int listed = 0;
    int done = 0;
    std::vector<BatchFailure> failures;
    bool stopped = false;  // RequestStop ended the run early; later rows stay "Pending"
    // What the window shows at the end: "All of the forms in the input
    // directory have been processed." when nothing was listed, a count and the
    // first few failures when some failed, else empty.
    std::string message;
};

class clsBatchRun {
public:
    static constexpr int kDefaultLimit = 100;

    explicit clsBatchRun(StatusList& list) : list_(list) {}

    void setPaths(const BatchPaths& p) { paths_ = p; }
    const BatchPaths& Paths() const { return paths_; }

    void setLimit(int n) { limit_ = n; }  // workbooks per run; 0: no limit
    int Limit() const { return limit_; }
    void setJobs(int n) { jobs_ = n < 1 ? 1 : n; }  // reading threads
    int Jobs() const { return jobs_; }
    // Another harvester holds the data file: wait for it (true) or report
    // "in use" as a configuration error (false, the default).
    void setWaitForLock(bool w) { waitForLock_ = w; }

    // Hooks, all called on the run's thread.
    std::function<void(int row, const std::string& path)> onListed;
    // After each workbook: its row, path, "Done" or "Failed: reason".
    std::function<void(int row, const std::string& path, const std::string& status)> onFinished;
    std::function<void(int finished, int total)> onProgress;
    std::function<void()> onWaitingForLock;
    // Test hook: called after a workbook's lines are appended and before it
    // is moved (a crash here must be undone by the next run).
    std::function<void(int row)> afterAppend;

    BatchResult RunBatch();
    void RequestStop() { stop_ = true; }

    // Moves the file `path` into the folder `outDir` (trimmed, one trailing
    // separator removed); a file of the same name there is replaced. Throws
    // rt::RtError naming the file and the reason.
    static void MoveToOutDir(const std::string& path, const std::string& outDir);

    // The files a run would list for the input text, in name order, without
    // limit (full paths: folder, separator, name).
    static std::vector<std::string> ListWorkbooks(const std::string& inDir);

    // Paths of the files kept beside the data file.
    static std::string JournalPath(const std::string& dataFile) { return dataFile + ".journal"; }
    static std::string LockPath(const std::string& dataFile) { return dataFile + ".lock"; }

    static constexpr const char* kNothingToDo = "All of the forms in the input directory have been processed.";

private:
    StatusList& list_;
    BatchPaths paths_;
    int limit_ = kDefaultLimit;
    int jobs_ = 1;
    bool waitForLock_ = false;
    std::atomic<bool> stop_{false};
};
