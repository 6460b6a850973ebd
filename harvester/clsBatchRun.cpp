#include "harvester/clsBatchRun.h"

#include "common/RtError.h"
#include "common/modUtil.h"
#include "harvester/modExtractWorkbookData.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kSep = '/';
constexpr int kSummaryNames = 5;

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

std::string WithoutTrailingSep(std::string s)
{
    if (!s.empty() && s.back() == kSep)
        s.pop_back();
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "*" and "?" only, letters in any case, as names match on the desktop
// systems the forms come from; "[" is an ordinary character.
bool WildcardMatch(const char* p, const char* s)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*s) {
        if (*p == '?' || (*p && *p != '*' && LowerAscii(*p) == LowerAscii(*s))) {
            ++p;
            ++s;
        } else if (*p == '*') {
            star = p++;
            resume = s;
        } else if (star) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}

bool IsWorkbookName(const std::string& name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string ext;
    for (char c : name.substr(dot + 1))
        ext += LowerAscii(c);
    return ext == "xls" || ext == "xlsx" || ext == "xlsm" || ext == "xlsb" || ext == "ods";
}

bool IsDir(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string ParentFolder(const std::string& path)
{
    size_t slash = path.rfind(kSep);
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    auto p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

std::string SysError(const std::string& what, const std::string& path, int err)
{
    return what + " " + path + ": " + std::strerror(err);
}

// ---- Journal -------------------------------------------------------------
// One pending append, written before the append and cleared after the move:
// where the data file stood before it, where it ends after it, and the
// workbook that is moved once it is in. The next run reads it back: an
// append whose workbook is still in the input folder (or that is cut short)
// is taken out again, so killing a run at any moment loses or doubles nothing.

struct JournalEntry {
    bool existed = true;  // the data file existed before the append
    long long start = 0;
    long long end = 0;
    std::string source;  // absolute path of the workbook
    std::string dest;    // absolute destination; empty when it is not moved
};

std::string Escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            out += s[i] == 'n' ? '\n' : s[i];
        } else {
            out += s[i];
        }
    }
    return out;
}

// The record is "glean journal 1 <length>\n" and the body of that length,
// ending in "complete\n". It is written over the previous one in place and
// cleared by overwriting its first byte, so each step is a single write.
std::string JournalText(const JournalEntry& j)
{
    std::string body = "existed=" + std::to_string(j.existed ? 1 : 0) + "\nstart=" + std::to_string(j.start) +
                       "\nend=" + std::to_string(j.end) + "\nsource=" + Escape(j.source) +
                       "\ndest=" + Escape(j.dest) + "\ncomplete\n";
    return "glean journal 1 " + std::to_string(body.size()) + "\n" + body;
}

// nullopt for a cleared journal, or one cut short (then no append followed it).
std::optional<JournalEntry> ParseJournal(const std::string& whole)
{
    const std::string magic = "glean journal 1 ";
    if (whole.rfind(magic, 0) != 0)
        return std::nullopt;
    size_t nl = whole.find('\n');
    if (nl == std::string::npos)
        return std::nullopt;
    size_t length = 0;
    try {
        length = std::stoul(whole.substr(magic.size(), nl - magic.size()));
    } catch (...) {
        return std::nullopt;
    }
    if (whole.size() < nl + 1 + length)
        return std::nullopt;
    const std::string text = whole.substr(nl + 1, length);
    if (text.size() < 9 || text.compare(text.size() - 9, 9, "complete\n") != 0)
        return std::nullopt;
    JournalEntry j;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "existed")
            j.existed = value == "1";
        else if (key == "start")
            j.start = std::stoll(value);
        else if (key == "end")
            j.end = std::stoll(value);
        else if (key == "source")
            j.source = Unescape(value);
        else if (key == "dest")
            j.dest = Unescape(value);
    }
    return j;
}

class Journal {
public:
    explicit Journal(std::string path) : path_(std::move(path)) {}
    ~Journal()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    void Write(const JournalEntry& j)
    {
        Open();
        std::string text = JournalText(j);
        if (::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
            throw rt::RtError(rt::PathFileAccessError, SysError("cannot write the journal", path_, errno));
    }

    void Clear()
    {
        if (fd_ >= 0 && ::pwrite(fd_, "-", 1, 0) != 1)
            throw rt::RtError(rt::PathFileAccessError, SysError("cannot clear the journal", path_, errno));
    }

    void Remove()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        ::unlink(path_.c_str());
    }

private:
    void Open()
    {
        if (fd_ >= 0)
            return;
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw rt::RtError(rt::PathFileAccessError, SysError("cannot open the journal", path_, errno));
    }

    std::string path_;
    int fd_ = -1;
};

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

// Takes the data file back to where it stood before an append.
void UndoAppend(const std::string& dataFile, const JournalEntry& j)
{
    if (!j.existed) {
        if (::unlink(dataFile.c_str()) != 0 && errno != ENOENT)
            throw rt::RtError(rt::PathFileAccessError, SysError("cannot undo the append to", dataFile, errno));
        return;
    }
    if (::truncate(dataFile.c_str(), static_cast<off_t>(j.start)) != 0 && errno != ENOENT)
        throw rt::RtError(rt::PathFileAccessError, SysError("cannot undo the append to", dataFile, errno));
}

// Settles what a killed run left behind.
void Recover(const std::string& dataFile, const std::string& journalPath)
{
    auto j = ParseJournal(ReadWholeFile(journalPath));
    if (j) {
        struct stat st {};
        long long size = ::stat(dataFile.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
        bool appendComplete = size >= j->end;
        bool moveDone = j->dest.empty() || !PathExists(j->source);
        if (!appendComplete || !moveDone)
            UndoAppend(dataFile, *j);
    }
    if (PathExists(journalPath) && ::truncate(journalPath.c_str(), 0) != 0)
        throw rt::RtError(rt::PathFileAccessError, SysError("cannot clear the journal", journalPath, errno));
}

// ---- Lock ----------------------------------------------------------------

class RunLock {
public:
    ~RunLock()
    {
        if (fd_ >= 0)
            ::close(fd_);  // releases the flock
    }
    // Empty on success, else the reason.
    std::string Take(const std::string& path, bool wait, const std::function<void()>& onWaiting,
                      const std::string& dataFile)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0)
            return SysError("Cannot create the lock file", path, errno);
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
            return {};
        if (errno != EWOULDBLOCK)
            return SysError("Cannot lock", path, errno);
        if (!wait)
            return "The data file is in use by another harvester: " + dataFile;
        if (onWaiting)
            onWaiting();
        while (::flock(fd_, LOCK_EX) != 0)
            if (errno != EINTR)
                return SysError("Cannot lock", path, errno);
        return {};
    }

private:
    int fd_ = -1;
};

// ---- The data file, open for the run ---------------------------------------

class DataFile {
public:
    explicit DataFile(std::string path) : path_(std::move(path)) {}
    ~DataFile() { Close(); }

    // Once the run has created or opened the file it stays (the run holds the lock).
    bool Exists() const { return fd_ >= 0 || PathExists(path_); }

    long long Size()
    {
        struct stat st {};
        if (fd_ >= 0 ? ::fstat(fd_, &st) != 0 : ::stat(path_.c_str(), &st) != 0)
            return 0;
        return static_cast<long long>(st.st_size);
    }

    // One write of whole lines; on failure the file is taken back.
    void Append(const std::string& text, const JournalEntry& j)
    {
        if (fd_ < 0) {
            fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
            if (fd_ < 0)
                throw rt::RtError(rt::PathFileAccessError, SysError("Cannot open the data file", path_, errno));
        }
        if (const int err = WriteAll(fd_, text)) {
            Undo(j);
            throw rt::RtError(rt::PathFileAccessError, SysError("Cannot write the data file", path_, err));
        }
    }

    void Undo(const JournalEntry& j)
    {
        if (!j.existed)
            Close();
        UndoAppend(path_, j);
    }

    void OpenExisting()
    {
        if (fd_ < 0 && PathExists(path_))
            fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }

    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    std::string path_;
    int fd_ = -1;
};

struct Outcome {
    bool ok = false;
    std::string text;  // the lines, or the reason of the failure
};

Outcome Harvest(const std::string& path, const FormDefinition& form)
{
    Outcome o;
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

std::string ConfigCheck(const BatchPaths& p, FormDefinition& form)
{
    if (p.formType.empty())
        return "No form definition given.";
    struct stat st {};
    if (::stat(p.formType.c_str(), &st) != 0)
        return "The form definition does not exist: " + p.formType;
    if (S_ISDIR(st.st_mode))
        return "The form definition is a folder: " + p.formType;
    try {
        form = LoadFormDefinition(p.formType);
    } catch (const rt::RtError& e) {
        if (e.Number() == rt::SubscriptOutOfRange || e.Number() == rt::InputPastEndOfFile)
            return "The form definition is empty: " + p.formType;
        return "The form definition cannot be read: " + p.formType + " (" + e.what() + ")";
    } catch (const std::exception& e) {
        return "The form definition cannot be read: " + p.formType + " (" + e.what() + ")";
    }
    if (form.fields.empty())
        return "The form definition is empty: " + p.formType;

    if (p.dataFile.empty())
        return "No data file given.";
    if (IsDir(p.dataFile))
        return "The data file is a folder: " + p.dataFile;
    std::string dataFolder = ParentFolder(p.dataFile);
    if (!IsDir(dataFolder))
        return "The folder of the data file does not exist: " + dataFolder;

    std::string out = WithoutTrailingSep(Trim(p.outDir));
    if (!Trim(p.outDir).empty() && !IsDir(out.empty() ? "/" : out))
        return "The output folder does not exist: " + Trim(p.outDir);
    return {};
}

std::string Summary(const BatchResult& r)
{
    if (r.failures.empty())
        return {};
    int total = r.done + static_cast<int>(r.failures.size());
    std::string s = std::to_string(r.failures.size()) + " of the " + std::to_string(total) +
                    (total == 1 ? " form" : " forms") + " could not be harvested:";
    int shown = 0;
    for (const auto& f : r.failures) {
        if (shown++ == kSummaryNames)
            break;
        s += "\n" + f.path + ": " + f.reason;
    }
    if (static_cast<int>(r.failures.size()) > kSummaryNames)
        s += "\nand " + std::to_string(r.failures.size() - kSummaryNames) + " more.";
    return s;
}

}  // namespace

std::string MemoryStatusList::Data(int pRow, int pCol) const
{
    if (pRow < 0 || pRow >= Rows() || pCol < 0 || pCol > 1)
        throw rt::RtError(rt::SubscriptOutOfRange, "status list (" + std::to_string(pRow) + ", " +
                                                       std::to_string(pCol) + ")");
    return rows_[pRow][pCol];
}

void MemoryStatusList::setData(int pRow, int pCol, const std::string& pText)
{
    if (pRow < 0 || pRow >= Rows() || pCol < 0 || pCol > 1)
        throw rt::RtError(rt::SubscriptOutOfRange, "status list (" + std::to_string(pRow) + ", " +
                                                       std::to_string(pCol) + ")");
    rows_[pRow][pCol] = pText;
}

std::vector<std::string> clsBatchRun::ListWorkbooks(const std::string& inDir)
{
    std::string pattern = WithoutTrailingSep(Trim(inDir));
    bool anyWorkbook = pattern.find_first_of("*?") == std::string::npos;
    if (anyWorkbook)
        pattern += std::string(1, kSep) + "*";
    if (pattern.find(kSep) == std::string::npos) {
        std::error_code ec;
        pattern = std::filesystem::current_path(ec).string() + kSep + pattern;
    }
    size_t slash = pattern.rfind(kSep);
    std::string folder = pattern.substr(0, slash);
    std::string namePattern = pattern.substr(slash + 1);

    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir)
        return {};
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        // Hidden files and the lock files office programs leave beside open workbooks.
        if (name.empty() || name[0] == '.' || name.rfind("~$", 0) == 0)
            continue;
        if (anyWorkbook ? !IsWorkbookName(name) : !WildcardMatch(namePattern.c_str(), name.c_str()))
            continue;
        if (e->d_type != DT_REG) {
            struct stat st {};
            if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK)
                continue;
            if (::stat((folder + kSep + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto& n : names)
        paths.push_back(folder + kSep + n);
    return paths;
}

void clsBatchRun::MoveToOutDir(const std::string& path, const std::string& outDir)
{
    std::string folder = WithoutTrailingSep(Trim(outDir));
    size_t slash = path.rfind(kSep);
    if (slash == std::string::npos)
        return;
    std::string dest = folder + kSep + path.substr(slash + 1);
    // rename replaces a file of the same name there in one step.
    if (::rename(path.c_str(), dest.c_str()) == 0)
        return;
    if (errno != EXDEV)
        throw rt::RtError(rt::PathFileAccessError, SysError("Cannot move the workbook to", dest, errno));

    // Another file system: copy beside the destination, rename it into place,
    // then remove the original.
    std::string tmp = folder + kSep + ".~moving." + path.substr(slash + 1);
    std::error_code ec;
    std::filesystem::copy_file(path, tmp, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        throw rt::RtError(rt::PathFileAccessError, "Cannot move the workbook to " + dest + ": " + ec.message());
    }
    if (::rename(tmp.c_str(), dest.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw rt::RtError(rt::PathFileAccessError, SysError("Cannot move the workbook to", dest, err));
    }
    if (::unlink(path.c_str()) != 0)
        throw rt::RtError(rt::PathFileAccessError, SysError("Cannot remove the moved workbook", path, errno));
}

BatchResult clsBatchRun::RunBatch()
{
    BatchResult res;
    stop_ = false;

    FormDefinition form;
    res.configError = ConfigCheck(paths_, form);
    if (!res.configError.empty())
        return res;

    const std::string& dataPath = paths_.dataFile;
    RunLock lock;
    res.configError = lock.Take(LockPath(dataPath), waitForLock_, onWaitingForLock, dataPath);
    if (!res.configError.empty())
        return res;
    try {
        Recover(dataPath, JournalPath(dataPath));
    } catch (const std::exception& e) {
        res.configError = e.what();
        return res;
    }

    // List.
    std::vector<std::string> paths = ListWorkbooks(paths_.inDir);
    if (limit_ > 0 && static_cast<int>(paths.size()) > limit_)
        paths.resize(static_cast<size_t>(limit_));
    list_.Clear();
    const int n = static_cast<int>(paths.size());
    for (int i = 0; i < n; ++i) {
        list_.AddRow();
        list_.setData(i, 0, paths[i]);
        list_.setData(i, 1, "Pending");
        if (onListed)
            onListed(i, paths[i]);
    }
    res.listed = n;
    if (n == 0) {
        res.message = kNothingToDo;
        return res;
    }

    // Readers run ahead of the committing thread by at most `window` workbooks,
    // so memory stays flat however many workbooks there are.
    const int jobs = std::min(jobs_, n);
    const int window = jobs * 4;
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::optional<Outcome>> slots(static_cast<size_t>(window));
    int next = 0, committed = 0;
    bool quit = false;
    std::vector<std::thread> workers;
    if (jobs > 1) {
        for (int t = 0; t < jobs; ++t)
            workers.emplace_back([&] {
                std::unique_lock<std::mutex> lk(mu);
                for (;;) {
                    cv.wait(lk, [&] { return quit || next >= n || next < committed + window; });
                    if (quit || next >= n)
                        return;
                    int i = next++;
                    lk.unlock();
                    Outcome o = Harvest(paths[i], form);
                    lk.lock();
                    slots[i % window] = std::move(o);
                    cv.notify_all();
                }
            });
    }

    // The readers are stopped and joined however the loop below ends.
    struct Joiner {
        std::mutex& mu;
        std::condition_variable& cv;
        bool& quit;
        std::vector<std::thread>& workers;
        ~Joiner()
        {
            {
                std::lock_guard<std::mutex> lk(mu);
                quit = true;
            }
            cv.notify_all();
            for (auto& t : workers)
                t.join();
        }
    } joiner{mu, cv, quit, workers};

    const std::string outDir = Trim(paths_.outDir);
    const std::string header = HeaderLine(form);
    // Every listed path is folder + separator + name: make the folders absolute once.
    const std::string absIn = Absolute(paths[0].substr(0, paths[0].rfind(kSep) + 1));
    const std::string absOut = outDir.empty() ? std::string() : Absolute(WithoutTrailingSep(outDir)) + kSep;
    Journal journal(JournalPath(dataPath));
    DataFile data(dataPath);
    data.OpenExisting();

    for (int i = 0; i < n; ++i) {
        if (stop_) {
            res.stopped = true;
            break;
        }
        list_.setData(i, 1, "Processing");
        Outcome o;
        if (jobs > 1) {
            std::unique_lock<std::mutex> lk(mu);
            cv.wait(lk, [&] { return slots[i % window].has_value(); });
            o = std::move(*slots[i % window]);
            slots[i % window].reset();
            committed = i + 1;
            cv.notify_all();
        } else {
            o = Harvest(paths[i], form);
        }

        bool unsettled = false;  // lines in the data file that could not be taken out again
        if (o.ok) {
            JournalEntry j;
            bool journaled = false;
            try {
                j.existed = data.Exists();
                std::string text = j.existed ? std::move(o.text) : header + o.text;
                j.start = j.existed ? data.Size() : 0;
                j.end = j.start + static_cast<long long>(text.size());
                const std::string name = paths[i].substr(paths[i].rfind(kSep) + 1);
                j.source = WithoutTrailingSep(absIn) + kSep + name;
                if (!outDir.empty())
                    j.dest = absOut + name;
                journal.Write(j);
                journaled = true;
                data.Append(text, j);
                if (afterAppend)
                    afterAppend(i);
                if (!outDir.empty())
                    MoveToOutDir(paths[i], outDir);
                journal.Clear();
            } catch (const std::exception& e) {
                o.ok = false;
                o.text = e.what();
                if (journaled) {
                    try {
                        data.Undo(j);
                        journal.Clear();
                    } catch (const std::exception& undo) {
                        // The journal stays, so the next run takes the lines out;
                        // going on would put more lines behind them.
                        o.text += "; " + std::string(undo.what());
                        unsettled = true;
                    }
                }
            }
        }

        std::string status = o.ok ? "Done" : "Failed: " + o.text;
        if (o.ok)
            ++res.done;
        else
            res.failures.push_back({paths[i], o.text});
        list_.setData(i, 1, status);
        if (onFinished)
            onFinished(i, paths[i], status);
        if (onProgress)
            onProgress(i + 1, n);
        if (unsettled) {
            res.stopped = true;
            break;
        }
    }

    data.Close();
    journal.Remove();
    res.message = Summary(res);
    return res;
}
