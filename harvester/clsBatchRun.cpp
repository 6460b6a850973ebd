#include "harvester/clsBatchRun.h"

#include "common/DataFileLock.h"
#include "common/RtError.h"
#include "common/modUtil.h"
#include "harvester/DataFileAppender.h"
#include "harvester/Journal.h"
#include "harvester/ReadAhead.h"
#include "harvester/Recovery.h"
#include "harvester/RunErrors.h"
#include "harvester/WorkbookList.h"
#include "harvester/modExtractWorkbookData.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <malloc.h>
#include <sys/stat.h>

namespace {

constexpr char kSep = '/';
constexpr int kSummaryNames = 5;

std::string WithoutTrailingSep(std::string s)
{
    if (s.size() > 1 && s.back() == kSep)
        s.pop_back();
    return s;
}

bool IsDir(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FormDefinition CheckFormDefinition(const std::string& path)
{
    if (path.empty())
        throw ConfigError("No form definition given.");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw ConfigError("The form definition does not exist: " + path);
    if (S_ISDIR(st.st_mode))
        throw ConfigError("The form definition is a folder: " + path);
    FormDefinition form;
    try {
        form = LoadFormDefinition(path);
    } catch (const FormDefinitionError& e) {
        throw ConfigError("The form definition " + path + " is " + e.what());
    } catch (const rt::RtError& e) {
        if (e.Number() == rt::SubscriptOutOfRange || e.Number() == rt::InputPastEndOfFile)
            throw ConfigError("The form definition is empty: " + path);
        throw ConfigError("The form definition cannot be read: " + path + " (" + e.what() + ")");
    } catch (const std::exception& e) {
        throw ConfigError("The form definition cannot be read: " + path + " (" + e.what() + ")");
    }
    if (form.fields.empty())
        throw ConfigError("The form definition is empty: " + path);
    return form;
}

// The data file's folder, the output folder, and the input that is not the output.
void CheckFolders(const BatchPaths& p, const WorkbookSource& source)
{
    if (p.dataFile.empty())
        throw ConfigError("No data file given.");
    if (IsDir(p.dataFile))
        throw ConfigError("The data file is a folder: " + p.dataFile);
    const std::string dataFolder = FolderOf(p.dataFile);
    if (!IsDir(dataFolder))
        throw ConfigError("The folder of the data file does not exist: " + dataFolder);

    const std::string out = WithoutTrailingSep(TrimSpaces(p.outDir));
    if (out.empty())
        return;
    if (!IsDir(out))
        throw ConfigError("The output folder does not exist: " + out);
    auto inId = IdentityOf(source.folder), outId = IdentityOf(out);
    if (inId && outId && inId->SameFile(*outId))
        throw ConfigError("The input folder is the output folder: " + out +
                          " (each run would harvest the same workbooks again)");
}

// The run's own files beside the data file, never workbooks: each by its
// absolute name and by its name with links resolved. The three share one
// folder, made absolute and resolved once; a file that is itself a link is
// resolved whole.
std::vector<std::string> OwnFiles(const std::string& dataFile)
{
    const std::string name = NameOf(dataFile);
    std::string absFolder, realFolder;
    if (!name.empty() && name != "." && name != "..") {
        absFolder = AbsoluteFolder(FolderOf(dataFile));
        realFolder = RealFolder(FolderOf(dataFile));
    }
    std::vector<std::string> own;
    for (const std::string& f : {dataFile, DataFileLock::PathFor(dataFile), Journal::PathFor(dataFile)}) {
        own.push_back(absFolder.starts_with(kSep) ? absFolder + NameOf(f) : AbsolutePath(f));
        if (!realFolder.empty()) {
            const std::string real = realFolder + NameOf(f);
            struct stat st {};
            if (::lstat(real.c_str(), &st) == 0 ? !S_ISLNK(st.st_mode) : errno == ENOENT) {
                own.push_back(real);
                continue;
            }
        }
        std::error_code ec;
        auto real = std::filesystem::weakly_canonical(f, ec);
        if (!ec)
            own.push_back(real.string());
    }
    return own;
}

std::string Summary(const BatchResult& r)
{
    std::string s;
    std::vector<BatchFailure> failures = r.failures;
    if (r.stopped) {
        if (!r.stoppedAt.empty() && !failures.empty() && failures.back().path == r.stoppedAt) {
            s = "The run stopped at " + r.stoppedAt + ":\n" + r.stopReason;
            failures.pop_back();  // said once
        } else {
            s = "The run stopped: " + r.stopReason;
        }
        if (!r.notTried.empty())
            s += "\n" + std::to_string(r.notTried.size()) +
                 (r.notTried.size() == 1 ? " form was not tried; it stays" : " forms were not tried; they stay") +
                 " in the input folder.";
        if (!failures.empty())
            s += "\n\n";
    }
    if (failures.empty())
        return s;
    int total = r.done + static_cast<int>(r.failures.size());
    s += std::to_string(failures.size()) + (r.stopped ? " other" : "") + " of the " + std::to_string(total) +
         (total == 1 ? " form" : " forms") + " could not be harvested:";
    int shown = 0;
    for (const auto& f : failures) {
        if (shown++ == kSummaryNames)
            break;
        s += "\n" + f.path + ": " + f.reason;
    }
    if (static_cast<int>(failures.size()) > kSummaryNames)
        s += "\nand " + std::to_string(failures.size() - kSummaryNames) + " more.";
    return s;
}

// Workbooks from read lines to moved files, exactly once:
//   1. the journal records the append (file, sizes, checksum, workbook);
//   2. one write appends the lines (a failed write is taken back);
//   3. the path must still name the file just appended to, at the size
//      expected (else its lines may be lost: the workbook stays);
//   4. the workbook is moved; if that fails the append is taken back and
//      the journal cleared;
//   5. the record is settled: the next record replaces it, the end of the
//      run removes the journal (a done workbook needs no write, Journal.h).
// A crash between 1 and 5 leaves the journal for the next run. Throws
// DataFileError when the run must stop; unsettled: the journal stays.
// Without an output folder nothing is moved, and the lines of several
// workbooks go in with one record, one write and one look (Group).
// The record and buffers are reused from commit to commit.
class Committer {
public:
    Committer(DataFileAppender& data, Journal& journal, std::string header, const std::string& outDir)
        : data_(data), journal_(journal), header_(std::move(header))
    {
        if (!outDir.empty()) {
            outPrefix_ = WithoutTrailingSep(outDir) + kSep;
            absOut_ = AbsolutePath(WithoutTrailingSep(outDir)) + kSep;
        }
    }

    // Workbooks committed together: one when each is moved, or in a dry run.
    int Group() const { return outPrefix_.empty() && !preview ? kGroupBooks : 1; }
    static constexpr int kGroupBooks = 64;
    static constexpr size_t kGroupBytes = 256 << 10;  // of lines, which stop a group sooner

    std::function<void(int row)> afterAppend;
    // Dry run: the lines go here; nothing is journaled, written or moved.
    std::function<void(int row, const std::string& lines)> preview;

    // A workbook of the group being read, in list order. Grouped, its lines
    // join the group's at once and its own buffer is let go: the next
    // workbook's lines are made in it while it is still in the caches, and
    // a group holds its lines once, not twice.
    void Gather(Extracted& x)
    {
        if (Group() == 1 || !x.ok)
            return;
        if (lines_.empty() && x.text.size() >= kGroupBytes) {
            lines_.swap(x.text);  // a group of its own: taken as it is, not copied
            return;
        }
        // Sized once, by the run's first workbook, for a group of workbooks
        // like it: growing would copy the lines again and again.
        if (!sized_ && !x.text.empty()) {
            lines_.reserve(std::min(x.text.size() * kGroupBooks * 3 / 2, kGroupBytes + x.text.size()));
            sized_ = true;
        }
        lines_ += x.text;
        std::string().swap(x.text);  // assigning an empty string would keep the room
    }

    // Workbooks first, first + 1 ... of `paths`, read as `xs` and gathered:
    // the outcome of each into `outcomes`. A DataFileError is that of the
    // workbook `failedAt` (the first whose lines were to go in); those after
    // it were not tried.
    void Commit(const std::vector<std::string>& paths, int first, const std::vector<Extracted>& xs,
                std::vector<WorkbookOutcome>& outcomes, int& failedAt)
    {
        // Whatever happens below, the next group gathers from nothing; room
        // that one large workbook took is not kept for the rest of the run.
        struct Ungather {
            std::string& lines;
            ~Ungather()
            {
                lines.clear();
                if (lines.capacity() > 4 * kGroupBytes)
                    std::string().swap(lines);
            }
        } ungather{lines_};
        outcomes.assign(xs.size(), WorkbookOutcome::Done());
        int books = 0, at = -1;
        for (size_t k = 0; k < xs.size(); ++k) {
            if (!xs[k].ok)
                outcomes[k] = WorkbookOutcome::Failed(xs[k].text);
            else if (books++ == 0)
                at = first + static_cast<int>(k);
        }
        failedAt = at;
        if (books == 0)
            return;
        const Extracted& x = xs[static_cast<size_t>(at - first)];
        const std::string& path = paths[static_cast<size_t>(at)];
        if (preview) {  // a dry run: what would be appended, nothing written
            preview(at, data_.IsNew() ? header_ + x.text : x.text);
            data_.Prepare(header_, x.text, rec_);
            data_.Pretend(rec_);
            return;
        }
        if (!outPrefix_.empty() && (x.workbook.dev != 0 || x.workbook.ino != 0)) {
            // Moved by its path: that must still name the file read, as it
            // was. Otherwise the workbook now there would be moved unread.
            const std::optional<FileIdentity> now = IdentityOf(path);
            if (!now || !now->Unchanged(x.workbook)) {
                outcomes[static_cast<size_t>(at - first)] = WorkbookOutcome::Failed(clsBatchRun::kChangedWhileRead);
                return;
            }
        }
        const std::string* lines = Group() > 1 ? &lines_ : &x.text;
        JournalRecord& rec = rec_;
        data_.Prepare(header_, *lines, rec);
        const std::string name = NameOf(path);
        if (std::string folder = FolderOf(path); folder != inFolder_) {
            // the same for every workbook of a run: made absolute once
            absIn_ = AbsoluteFolder(folder);
            inFolder_ = std::move(folder);
        }
        rec.source.assign(absIn_).append(name);
        rec.workbook = x.workbook;
        rec.books = books;
        if (!outPrefix_.empty())
            rec.dest.assign(absOut_).append(name);
        journal_.Write(rec);
        try {
            data_.Append(*lines, rec);
        } catch (const DataFileError& e) {
            if (!e.Unsettled())
                journal_.Clear();
            throw;
        }
        if (afterAppend)
            for (size_t k = 0; k < xs.size(); ++k)
                if (xs[k].ok)
                    afterAppend(first + static_cast<int>(k));

        if (std::string what = data_.Changed(); !what.empty()) {
            if (!data_.Gone())
                throw DataFileError(what + " " + path + " was not moved.", true);
            // Its lines went with the old file: take them out of it too, and harvest the workbook again later.
            try {
                data_.Undo(rec);
            } catch (const DataFileError&) {
            }
            journal_.Clear();
            throw DataFileError(what + " " + path + " was not moved.");
        }

        if (!outPrefix_.empty()) {
            moveTo_.assign(outPrefix_).append(name);
            try {
                MoveWorkbook(path, moveTo_);
            } catch (const std::exception& e) {
                try {
                    data_.Undo(rec);
                } catch (const DataFileError& u) {
                    throw DataFileError(std::string(e.what()) + "; " + u.what() +
                                            ". The journal keeps the lines for the next run to settle.",
                                        true);
                }
                journal_.Clear();
                outcomes[static_cast<size_t>(at - first)] = WorkbookOutcome::Failed(e.what());
                return;
            }
        }
        journal_.Settled();
    }

private:
    DataFileAppender& data_;
    Journal& journal_;
    std::string header_, outPrefix_, absOut_;
    std::string inFolder_, absIn_, moveTo_;
    std::string lines_;  // the group's, gathered
    bool sized_ = false;
    JournalRecord rec_;
};

// What a dry run says about an append an earlier run left in the journal,
// which a run settles before anything else; "" when there is none. A damaged
// journal is the run's ConfigError.
std::string PendingJournal(const Journal& journal)
{
    const std::optional<JournalRecord> r = journal.Read();
    if (!r)
        return {};
    return "An earlier run did not end: a run first settles its append of " + WhoseLines(*r) + " recorded in " +
           journal.Path() + ", so the lines it appends may differ from these.";
}

}  // namespace

std::string StatusText(const WorkbookOutcome& o)
{
    switch (o.kind) {
    case WorkbookOutcome::Kind::Done:
        return "Done";
    case WorkbookOutcome::Kind::Failed:
        return "Failed: " + o.reason;
    case WorkbookOutcome::Kind::NotTried:
        break;
    }
    return "Pending";
}

std::string MemoryStatusList::Data(int pRow, int pCol) const
{
    return rows_[CheckedRow(pRow, pCol)][pCol];
}

void MemoryStatusList::setData(int pRow, int pCol, const std::string& pText)
{
    rows_[CheckedRow(pRow, pCol)][pCol] = pText;
}

// Not Rows(): a subclass that locks around these calls must not be re-entered.
size_t MemoryStatusList::CheckedRow(int pRow, int pCol) const
{
    if (pRow < 0 || size_t(pRow) >= rows_.size() || pCol < 0 || pCol > 1)
        throw rt::RtError(rt::SubscriptOutOfRange,
                          "status list (" + std::to_string(pRow) + ", " + std::to_string(pCol) + ")");
    return size_t(pRow);
}

void clsBatchRun::MoveToOutDir(const std::string& path, const std::string& outDir)
{
    if (path.find(kSep) == std::string::npos)  // listed paths always name their folder
        return;
    MoveWorkbook(path, WithoutTrailingSep(TrimSpaces(outDir)) + kSep + NameOf(path));
}

clsBatchRun::Checked clsBatchRun::CheckWithoutWriting() const
{
    Checked c;
    c.form = CheckFormDefinition(paths_.formType);
    c.source = ReadWorkbookSource(paths_.inDir);
    CheckFolders(paths_, c.source);
    DataFileAppender data(paths_.dataFile);
    data.CheckLock(false, {});
    Journal journal(paths_.dataFile);
    journal.Read();  // a damaged journal stops a run before it reads anything
    data.CheckOpen();
    c.dataFileNew = data.IsNew();
    return c;
}

std::vector<std::string> clsBatchRun::Workbooks(const WorkbookSource& source) const
{
    return ListWorkbooks(source, OwnFiles(paths_.dataFile));
}

std::vector<std::string> clsBatchRun::OwnFiles(const std::string& dataFile)
{
    return ::OwnFiles(dataFile);
}

BatchResult clsBatchRun::RunBatch()
{
    // Memory freed after one workbook is kept for the next rather than handed
    // back to the system and asked for again (several brk calls per workbook).
    static const bool keepFreedMemory [[maybe_unused]] =
        ::mallopt(M_MMAP_THRESHOLD, 4 << 20) == 1 && ::mallopt(M_TRIM_THRESHOLD, 32 << 20) == 1;
    BatchResult res;
    // A stop asked for before this run got here (a window closed at once) holds for it; the next run starts afresh.
    struct ClearStop {
        std::atomic<bool>& stop;
        ~ClearStop() { stop = false; }
    } clearStop{stop_};

    FormDefinition form;
    WorkbookSource source;
    DataFileAppender data(paths_.dataFile);
    Journal journal(paths_.dataFile);
    try {
        form = CheckFormDefinition(paths_.formType);
        source = ReadWorkbookSource(paths_.inDir);
        CheckFolders(paths_, source);
        if (dryRun_) {
            data.CheckLock(waitForLock_, onWaitingForLock);
            res.settled = PendingJournal(journal);
        } else {
            data.Lock(waitForLock_, onWaitingForLock);
            res.settled = SettleJournal(journal);
        }
        if (!res.settled.empty() && onSettled)
            onSettled(res.settled);
        if (dryRun_)
            data.CheckOpen();
        else
            data.Open();
    } catch (const ConfigError& e) {
        res.configError = e.what();
        return res;
    }

    std::vector<std::string> paths = Workbooks(source);
    if (onlyIf)
        paths.erase(std::remove_if(paths.begin(), paths.end(), [&](const std::string& p) { return !onlyIf(p); }),
                    paths.end());
    if (limit_ > 0 && static_cast<int>(paths.size()) > limit_)
        paths.resize(static_cast<size_t>(limit_));
    list_.Clear();
    const int n = static_cast<int>(paths.size());
    for (int i = 0; i < n; ++i) {
        list_.AddRow();
        list_.setData(i, 0, paths[i]);
        list_.setData(i, 1, StatusText({}));
        if (onListed)
            onListed(i, paths[i]);
    }
    res.listed = n;
    if (n == 0) {
        res.message = kNothingToDo;
        return res;
    }

    ReadAhead reader(paths, form, jobs_);
    Committer committer(data, journal, HeaderLine(form), TrimSpaces(paths_.outDir));
    committer.afterAppend = afterAppend;
    if (dryRun_)
        committer.preview = [this, &paths](int row, const std::string& lines) {
            if (onPreview)
                onPreview(row, paths[static_cast<size_t>(row)], lines);
        };
    int i = 0;
    std::vector<Extracted> taken;
    std::vector<WorkbookOutcome> outcomes;
    while (i < n) {
        if (stop_) {
            res.stopped = true;
            res.stopReason = "it was asked to stop.";
            res.notTried.assign(paths.begin() + i, paths.end());
            break;
        }
        // The workbooks committed together, read in list order.
        const int first = i;
        size_t bytes = 0;
        taken.clear();
        const auto due = std::chrono::steady_clock::now() + groupTime_;
        do {
            list_.setData(i, 1, "Processing");
            taken.push_back(reader.Take(i++));
            bytes += taken.back().text.size();
            committer.Gather(taken.back());
        } while (i < n && i - first < committer.Group() && bytes < Committer::kGroupBytes && !stop_ &&
                 std::chrono::steady_clock::now() < due);
        int failedAt = -1;
        std::string failure;
        try {
            committer.Commit(paths, first, taken, outcomes, failedAt);
            failedAt = -1;
        } catch (const DataFileError& e) {
            failure = e.what();
        }
        for (int k = first; k < i; ++k) {
            if (failedAt >= 0 && k > failedAt) {  // not tried: its lines were not to go in before
                list_.setData(k, 1, StatusText({}));
                continue;
            }
            const WorkbookOutcome o = k == failedAt ? WorkbookOutcome::Failed(failure) : outcomes[size_t(k - first)];
            if (o.IsDone())
                ++res.done;
            else
                res.failures.push_back({paths[k], o.reason});
            list_.setData(k, 1, StatusText(o));
            if (onFinished)
                onFinished(k, paths[k], o);
            if (onProgress)
                onProgress(k + 1, n);
        }
        if (failedAt >= 0) {
            res.stopped = true;
            res.stopReason = failure;
            res.stoppedAt = paths[failedAt];
            res.notTried.assign(paths.begin() + failedAt + 1, paths.end());
            break;
        }
    }

    data.Close();
    if (!dryRun_)
        journal.RemoveIfSettled();
    res.message = Summary(res);
    return res;
}
