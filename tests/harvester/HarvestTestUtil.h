#pragma once
// Scratch folders, small files and the fixture workbooks for the harvester tests.
#include "common/RtError.h"
#include "harvester/modFormatCellValue.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace harvest_test {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

inline std::string Fixture(const std::string& name)
{
    return std::string(TEST_DATA_DIR) + "/harvester/fixtures/" + name;
}

// A fresh folder removed again at the end of the test.
class ScratchDir {
public:
    ScratchDir() : path_((fs::temp_directory_path() / "harvest-test-XXXXXX").string()) { ::mkdtemp(path_.data()); }
    ~ScratchDir() { fs::remove_all(path_, ec_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::string Mkdir(const std::string& name) const { return fs::create_directories(*this / name), *this / name; }

private:
    std::string path_;
    std::error_code ec_;
};

inline void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadFile(const std::string& path)
{
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

// `text` saved over `path` as most programs save: a new file renamed over it.
inline void SaveOver(const std::string& path, const std::string& text)
{
    WriteFile(path + ".new", text);
    fs::rename(path + ".new", path);
}

// A form definition in the "dat" form: one row per field.
inline std::string WriteForm(const std::string& path, const std::vector<std::vector<std::string>>& rows)
{
    std::string text = std::to_string(rows.size()) + "," + std::to_string(rows.empty() ? 0 : rows[0].size()) + "\r\n";
    for (const auto& r : rows) {
        for (size_t c = 0; c < r.size(); ++c)
            text += (c ? "," : "") + QuoteText(r[c]);
        text += "\r\n";
    }
    WriteFile(path, text);
    return path;
}

inline void CopyFixture(const std::string& name, const std::string& dest)
{
    fs::copy_file(Fixture(name), dest, fs::copy_options::overwrite_existing);
}

// The worked example: name, start date numbering the items, seven hours; then `more` fields.
inline std::string TimesheetForm(const std::string& path, std::vector<std::vector<std::string>> more = {})
{
    more.insert(more.begin(), {{"Name", "B2", "text"}, {"Start", "C2", "+dmy"}, {"Hours", "D5:D11", "0.0"}});
    return WriteForm(path, more);
}

inline const char* kTimesheetHeader = "Name,Start,Hours\r\n";
inline const char* kTimesheetLines =
    "\"Ann\",02/03/2009,8.0\r\n\"Ann\",03/03/2009,7.5\r\n\"Ann\",04/03/2009,0.0\r\n\"Ann\",05/03/2009,0.0\r\n"
    "\"Ann\",06/03/2009,0.0\r\n\"Ann\",07/03/2009,0.0\r\n\"Ann\",08/03/2009,0.0\r\n";

// The data file after `workbooks` timesheets.
inline std::string Lines(int workbooks)
{
    std::string s = kTimesheetHeader;
    for (int i = 0; i < workbooks; ++i)
        s += kTimesheetLines;
    return s;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// What f throws: an rt::RtError's number (-1 for any other exception, 0 when
// nothing is thrown), message and subject.
struct Thrown {
    int number = 0;
    std::string what, subject;
    std::string Said() const { return std::to_string(number) + " " + subject; }  // number and subject
};
template <class F>
Thrown ThrownBy(F&& f)
{
    try {
        f();
    } catch (const rt::RtError& e) {
        return {e.Number(), e.what(), e.Subject()};
    } catch (const std::exception& e) {
        return {-1, e.what(), ""};
    }
    return {};
}

inline int CountFiles(const std::string& dir)
{
    return int(std::count_if(fs::directory_iterator(dir), {}, [](auto& e) { return e.is_regular_file(); }));
}

// Every file and folder under `root`: kind, size, modification time to the
// nanosecond (without `times`: a file's only) and a hash of a file's bytes.
inline std::map<std::string, std::string> Snapshot(const std::string& root, bool times = true)
{
    std::map<std::string, std::string> all;
    auto add = [&](const fs::path& p) {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        std::string& s = all[p.string()] = std::to_string(st.st_mode) + " " + std::to_string(st.st_size);
        if (times || S_ISREG(st.st_mode))
            s += " " + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode))
            s += " " + std::to_string(std::hash<std::string>()(ReadFile(p.string())));
    };
    add(root);
    for (const auto& e : fs::recursive_directory_iterator(root))
        add(e.path());
    return all;
}

// The exit status of a shell command; -1 when it did not exit.
inline int Shell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A file attribute set with chattr ("+a" append-only, "+i" immutable) for
// the life of the object. Ok() is false where chattr is not permitted (not
// root, a file system without attributes): the test then skips.
class FileAttribute {
public:
    FileAttribute(const std::string& path, const std::string& flag)
        : off_("chattr -" + flag.substr(1) + " '" + path + "' 2>/dev/null"),
          ok_(Shell("chattr " + flag + " '" + path + "' 2>/dev/null") == 0)
    {}
    ~FileAttribute() { ok_&& Shell(off_); }
    bool Ok() const { return ok_; }

private:
    std::string off_;
    bool ok_;
};

// The four paths of a job as glean's options.
inline std::string GleanArgs(const std::string& form, const std::string& in, const std::string& out,
                             const std::string& data)
{
    return "/type \"" + form + "\" /in \"" + in + "\" /out \"" + out + "\" /data \"" + data + "\"";
}

// The four paths of a job: input and output folders, a timesheet form
// definition and a data file that does not exist yet.
struct JobFolders {
    ScratchDir dir;
    std::string in = dir.Mkdir("in");
    std::string out = dir.Mkdir("out");
    std::string form = TimesheetForm(dir / "form.dat");
    std::string data = dir / "data.csv";

    std::string Args() const { return GleanArgs(form, in, out, data); }

    void AddBooks(int n, const std::string& ext = "xlsx", const std::string& prefix = "b") const
    {
        for (int i = 0; i < n; ++i)  // b000.xlsx, b001.xlsx, ...
            CopyFixture("timesheet." + ext, in + "/" + prefix + std::to_string(1000 + i).substr(1) + "." + ext);
    }

    // What the job's files are now, in one line: the data file ("data 3" when
    // it is Lines(3), "no data", "data other"), the files in the input and
    // output folders, and a journal or lock left behind.
    std::string State() const
    {
        const std::string text = ReadFile(data), head = kTimesheetHeader, lines = kTimesheetLines;
        const size_t n = text.size() < head.size() ? 0 : (text.size() - head.size()) / lines.size();
        std::string s = !fs::exists(data)       ? "no data"
                        : text == Lines(int(n)) ? "data " + std::to_string(n)
                                                : "data other";
        s += ", in " + std::to_string(CountFiles(in)) + ", out " + std::to_string(CountFiles(out));
        return s + (fs::exists(data + ".journal") ? ", journal" : "") + (fs::exists(data + ".lock") ? ", lock" : "");
    }
};

// The names of the files in `dir`, sorted, separated by spaces.
inline std::string Files(const std::string& dir)
{
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file())
            names.insert(e.path().filename().string());
    std::string s;
    for (const auto& n : names)
        s += (s.empty() ? "" : " ") + n;
    return s;
}

inline const std::string kGlean = std::string(APP_DIR) + "/glean";

}  // namespace harvest_test
