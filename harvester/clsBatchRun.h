#pragma once
// The batch run: lists the workbooks of the input folder in a status list,
// harvests each one into the data file and moves it into the output folder.
//
// Flow of RunBatch:
//   1. Configuration checks before anything is read or written: the form
//      definition, the input (a folder, a pattern or one file), the output
//      folder, the data file's folder; then the data file is locked for the
//      whole run, an append left behind by an earlier run is settled
//      (Recovery.h) and the data file is opened for appending.
//   2. The matches are listed in name order as "Pending" (at most Limit() per
//      run, 0 = no limit); the data file, its lock and its journal never are.
//   3. Workbooks are read on Jobs() threads (ReadAhead.h) and committed here in
//      list order, each exactly once (see Commit in the .cpp file).
//   4. A failure of the data file itself stops the run: later workbooks are
//      not tried and stay in the input folder.
//
// A dry run makes the same checks and reads and formats the same way, but
// creates, locks, appends and moves nothing: each workbook's lines go to
// onPreview instead.
//
// Every StatusList call and every hook runs on the thread that called
// RunBatch, in list order. RequestStop may be called from any thread.
#include "harvester/WorkbookList.h"
#include "harvester/modExtractWorkbookData.h"

#include <atomic>
#include <chrono>
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

// A plain in-memory StatusList, for glean and tests; the window's list keeps
// its copy in one too. Data and setData throw rt::RtError 9 outside the rows.
class MemoryStatusList : public StatusList {
public:
    void Clear() override { rows_.clear(); }
    void AddRow() override { rows_.push_back({"", ""}); }
    int Rows() const override { return static_cast<int>(rows_.size()); }
    std::string Data(int pRow, int pCol) const override;
    void setData(int pRow, int pCol, const std::string& pText) override;

private:
    size_t CheckedRow(int pRow, int pCol) const;

    std::vector<std::vector<std::string>> rows_;
};

// The four path texts of a job, as typed (the run trims where it should).
struct BatchPaths {
    std::string formType;  // form definition
    std::string inDir;     // input folder, folder/pattern with * or ?, or one workbook
    std::string outDir;    // output folder; empty or spaces: workbooks are not moved
    std::string dataFile;  // data file appended to
};

// What became of one workbook.
struct WorkbookOutcome {
    enum class Kind { Done, Failed, NotTried };
    Kind kind = Kind::NotTried;
    std::string reason;  // Failed: why

    static WorkbookOutcome Done() { return {Kind::Done, {}}; }
    static WorkbookOutcome Failed(std::string why) { return {Kind::Failed, std::move(why)}; }
    bool IsDone() const { return kind == Kind::Done; }
    bool IsFailed() const { return kind == Kind::Failed; }
};

// The status list's text: "Done", "Failed: reason", "Pending".
std::string StatusText(const WorkbookOutcome& o);

struct BatchFailure {
    std::string path;
    std::string reason;
};

struct BatchResult {
    // Set when the run did not start (nothing was harvested): the reason as
    // a sentence naming the path.
    std::string configError;
    // What settling an earlier run's journal did, if anything.
    std::string settled;
    int listed = 0;
    int done = 0;
    std::vector<BatchFailure> failures;
    std::vector<std::string> notTried;  // listed, left in the input folder
    bool stopped = false;               // ended early; stopReason says why
    std::string stopReason;
    std::string stoppedAt;  // the workbook whose failure stopped the run (its reason is stopReason)
    // What the window shows at the end: "All of the forms in the input
    // directory have been processed." when nothing was listed, why the run
    // stopped, a count and the first few failures; else empty.
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
    // Without an output folder the lines of workbooks read one after another
    // go in together (up to 64), but none waits longer than this to go in:
    // statuses and progress move on at least as often.
    void setGroupTime(std::chrono::milliseconds t) { groupTime_ = t; }
    // Another program holds the data file: wait for it (true) or report
    // "in use" as a configuration error (false, the default).
    void setWaitForLock(bool w) { waitForLock_ = w; }

    // Dry run: no file is created, locked, changed or moved; the lines each
    // workbook would append (after the header line while the data file would
    // still be empty) go to onPreview, in list order.
    void setDryRun(bool d) { dryRun_ = d; }
    bool DryRun() const { return dryRun_; }

    // The checks of a dry run up to the listing, for a preview of one
    // workbook. Throws ConfigError with the run's sentence.
    struct Checked {
        FormDefinition form;
        WorkbookSource source;
        bool dataFileNew = true;  // the header line would come first
    };
    Checked CheckWithoutWriting() const;
    // The workbooks a run would list from `source`, before the limit.
    std::vector<std::string> Workbooks(const WorkbookSource& source) const;

    // Hooks, all called on the run's thread.
    std::function<void(int row, const std::string& path)> onListed;
    std::function<void(int row, const std::string& path, const WorkbookOutcome& outcome)> onFinished;
    std::function<void(int finished, int total)> onProgress;
    std::function<void()> onWaitingForLock;
    // What settling an earlier run's journal did (see BatchResult::settled).
    std::function<void(const std::string& sentence)> onSettled;
    // When set, only the workbooks it accepts (full paths as listed) are listed.
    std::function<bool(const std::string& path)> onlyIf;
    // Test hook: called after a workbook's lines are appended and before it
    // is moved (a crash here must be undone by the next run).
    std::function<void(int row)> afterAppend;
    // Dry run: the lines of a workbook that would be harvested.
    std::function<void(int row, const std::string& path, const std::string& lines)> onPreview;

    BatchResult RunBatch();
    void RequestStop() { stop_ = true; }

    // Moves the file `path` into the folder `outDir` (trimmed, one trailing
    // separator removed); a file of the same name there is replaced. Throws
    // rt::RtError naming the file and the reason.
    static void MoveToOutDir(const std::string& path, const std::string& outDir);

    // The run's own files beside the data file (absolute, also with links
    // resolved), never listed as workbooks.
    static std::vector<std::string> OwnFiles(const std::string& dataFile);

    static constexpr const char* kNothingToDo = "All of the forms in the input directory have been processed.";
    // A workbook to be moved that changed, or was replaced, after it was read.
    static constexpr const char* kChangedWhileRead =
        "the workbook changed while it was read; it was left for the next run";

private:
    StatusList& list_;
    BatchPaths paths_;
    int limit_ = kDefaultLimit;
    int jobs_ = 1;
    std::chrono::milliseconds groupTime_{50};
    bool waitForLock_ = false;
    bool dryRun_ = false;
    std::atomic<bool> stop_{false};
};
