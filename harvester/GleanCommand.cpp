#include "harvester/GleanCommand.h"

#include "common/modUtil.h"
#include "harvester/FormTypeFromWorkbook.h"
#include "harvester/GleanWatch.h"
#include "harvester/SettingsFile.h"
#include "harvester/clsBatchRun.h"

#include <chrono>
#include <ostream>
#include <thread>

namespace {

// glean shows no list: its rows are counted and their texts let go, not
// kept for the whole run (two blocks and some 150 bytes a workbook).
class UnshownList : public StatusList {
public:
    void Clear() override { rows_ = 0; }
    void AddRow() override { ++rows_; }
    int Rows() const override { return rows_; }
    std::string Data(int, int) const override { return {}; }
    void setData(int, int, const std::string&) override {}

private:
    int rows_ = 0;
};

bool ParseJobs(const std::string& text, int& jobs)
{
    if (text.empty() || text.size() > 4)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    jobs = std::stoi(text);
    return true;
}

// Seconds with up to three decimals, 0.1 to 3600, as milliseconds.
bool ParseSettle(const std::string& text, int& ms)
{
    const size_t dot = text.find('.');
    std::string whole = text.substr(0, dot), part = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (whole.size() > 4 || part.size() > 3 || (dot != std::string::npos && part.empty()) || whole + part == "")
        return false;
    for (char c : whole + part)
        if (c < '0' || c > '9')
            return false;
    part.resize(3, '0');
    ms = (whole.empty() ? 0 : std::stoi(whole)) * 1000 + std::stoi(part);
    return ms >= 100 && ms <= 3600 * 1000;
}

void DrawBar(std::ostream& err, int finished, int total)
{
    constexpr int kWidth = 40;
    int filled = total ? finished * kWidth / total : kWidth;
    err << "\r[" << std::string(static_cast<size_t>(filled), '#')
        << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << finished << "/" << total << std::flush;
}

}  // namespace

std::string GleanUsage()
{
    return "Usage: glean [/open settings] [/type formtype] [/in inPath] [/out outPath] [/data dataFile] [/jobs N]"
           " [/dry-run] [/watch [/settle S]]\n"
           "Harvests every workbook (.xls .xlsx .xlsm .xlsb .ods, or those matching a\n"
           "pattern such as in/*.xlsx) of the input folder, or the one workbook named,\n"
           "into the data file and moves each one into the output folder. Options may\n"
           "also be written --type, --in, ...\n"
           "/dry-run prints the lines a run would append (the header line first when the\n"
           "data file is new) and writes, locks and moves nothing.\n"
           "/watch then keeps running and harvests each workbook that arrives once it has\n"
           "not changed for S seconds (/settle S: default 2, fractions such as 0.5\n"
           "allowed); it needs /out, and Ctrl+C or SIGTERM ends it.\n"
           "\n"
           "       glean /define template /type formtype [/force]\n"
           "Writes a new form definition from the blank form's defined names (one field\n"
           "per name of one range of cells, the format from the cells' number format)\n"
           "and prints its fields; an existing form definition is replaced only with /force.\n"
           "\n"
           "Exit status: 0 all harvested, 1 some failed or the run stopped, 2 usage or configuration error.\n";
}

GleanOptions ParseGleanOptions(const std::string& argumentText)
{
    GleanOptions o;
    bool settleGiven = false;
    std::vector<OptionRow> rows = HarvestOptionRows(o);
    rows.insert(rows.end(),
                {
                    {"/jobs", true,
                     [&o](const std::string& v) {
                         return ParseJobs(v, o.jobs) ? std::string() : "/jobs needs a number, not \"" + v + "\"";
                     }},
                    {"/help", false, SetFlag(o.help)},
                    {"/?", false, SetFlag(o.help)},
                    {"-h", false, SetFlag(o.help)},
                    {"/dry-run", false, SetFlag(o.dryRun)},
                    {"/define", true,
                     [&o](const std::string& v) {
                         o.defineTemplate = v;
                         o.defineGiven = true;
                         return std::string();
                     }},
                    {"/force", false, SetFlag(o.force)},
                    {"/watch", false, SetFlag(o.watch)},
                    {"/settle", true,
                     [&o, &settleGiven](const std::string& v) {
                         settleGiven = true;
                         return ParseSettle(v, o.settleMs)
                                    ? std::string()
                                    : "/settle needs a number of seconds from 0.1 to 3600, not \"" + v + "\"";
                     }},
                });
    const OptionsRead read = ReadOptions(argumentText, rows, true);
    o.usageError = read.error;
    if (o.usageError.empty() && !read.strays.empty())
        o.usageError = "unknown word \"" + read.strays.front() + "\"";
    if (settleGiven && !o.watch && o.usageError.empty())
        o.usageError = "/settle is only used with /watch";
    if (o.watch && o.dryRun && o.usageError.empty())
        o.usageError = "/dry-run and /watch cannot be used together";
    return o;
}

int RunGlean(const GleanOptions& options, std::ostream& err, bool progressBar, std::ostream* out)
{
    BatchPaths paths;
    if (options.settings && !options.settings->empty()) {
        std::vector<std::string> lines;
        try {
            lines = ReadSettings(*options.settings);
        } catch (const std::exception& e) {
            err << "glean: " << e.what() << "\n";
            return kUsageOrConfig;
        }
        lines.resize(std::max<size_t>(lines.size(), 4));
        paths = {lines[0], lines[1], lines[2], lines[3]};
    }
    paths.formType = options.formType.value_or(paths.formType);
    paths.inDir = options.inDir.value_or(paths.inDir);
    paths.outDir = options.outDir.value_or(paths.outDir);
    paths.dataFile = options.dataFile.value_or(paths.dataFile);

    // As the window's Run button: these three must be given.
    const char* missing = paths.formType.empty()   ? "form definition (/type)"
                          : paths.inDir.empty()    ? "input folder (/in)"
                          : paths.dataFile.empty() ? "data file (/data)"
                                                   : nullptr;
    if (missing) {
        err << "glean: no " << missing << " given\n" << GleanUsage();
        return kUsageOrConfig;
    }

    // Without an output folder every arrival would harvest every workbook again.
    if (options.watch && TrimSpaces(paths.outDir).empty()) {
        err << "glean: /watch needs an output folder (/out): without one every workbook would be harvested "
               "again each time another arrives\n";
        return kUsageOrConfig;
    }
    progressBar = progressBar && !options.watch;  // an open-ended run: one line per workbook

    UnshownList list;
    clsBatchRun run(list);
    run.setPaths(paths);
    run.setLimit(0);
    if (options.jobs > 0) {
        run.setJobs(options.jobs);
    } else {
        const unsigned cores = std::thread::hardware_concurrency();
        run.setJobs(static_cast<int>(cores ? cores : 1));
    }
    run.setWaitForLock(true);
    run.onWaitingForLock = [&] {
        err << "glean: waiting for another harvester to finish with " << paths.dataFile << "\n";
    };
    run.onSettled = [&](const std::string& sentence) { err << "glean: " + sentence + "\n"; };
    if (options.dryRun) {
        run.setDryRun(true);
        progressBar = false;  // the lines go to the terminal too
        run.onPreview = [out](int, const std::string&, const std::string& lines) {
            if (out)
                *out << lines << std::flush;
        };
    }
    int total = 0;
    // "Done path" / "Failed path: reason". Without the bar, lines are written
    // a few at a time (stderr is unbuffered): whole lines, at least every
    // 100 ms, and all of them before the run's closing lines.
    auto addLine = [](std::string& to, const std::string& path, const WorkbookOutcome& o) {
        to += o.IsDone() ? "Done " : "Failed ";
        AppendOneLine(to, path);
        if (!o.IsDone()) {
            to += ": ";
            AppendOneLine(to, o.reason);
        }
        to += '\n';
    };
    std::string pending;
    auto lastFlush = std::chrono::steady_clock::now();
    auto flush = [&] {
        if (!pending.empty())
            err << pending << std::flush;
        pending.clear();
        lastFlush = std::chrono::steady_clock::now();
    };
    if (progressBar) {
        run.onListed = [&](int, const std::string&) { ++total; };
        run.onFinished = [&](int, const std::string& path, const WorkbookOutcome& o) {
            if (!o.IsDone()) {
                std::string s = "\r\033[K";
                addLine(s, path, o);
                err << s;
            }
        };
        run.onProgress = [&](int finished, int all) { DrawBar(err, finished, all); };
    } else {
        run.onFinished = [&](int, const std::string& path, const WorkbookOutcome& o) {
            addLine(pending, path, o);
            // Watching, each line is news: no waiting for the next one.
            if (options.watch || pending.size() >= 3500 ||
                std::chrono::steady_clock::now() - lastFlush >= std::chrono::milliseconds(100))
                flush();
        };
    }

    BatchResult r =
        options.watch ? WatchInputFolder(run, std::chrono::milliseconds(options.settleMs), err) : run.RunBatch();
    flush();
    if (!r.configError.empty()) {
        err << "glean: " << r.configError << "\n";
        return kUsageOrConfig;
    }
    // The closing lines in one write (stderr is unbuffered).
    std::string closing;
    if (progressBar && total > 0)
        closing += "\n";
    if (r.listed == 0 && !options.watch)
        closing += std::string(clsBatchRun::kNothingToDo) + "\n";
    if (r.stopped) {
        // A workbook's failure that stopped the run was printed with it.
        closing += (r.stoppedAt.empty() ? "glean: the run stopped: " + r.stopReason
                                        : "glean: the run stopped at " + r.stoppedAt) +
                   "\n";
    }
    for (const std::string& path : r.notTried)
        closing += "Not tried " + path + "\n";
    closing += std::to_string(r.done) + " harvested, " + std::to_string(r.failures.size()) + " failed";
    if (!r.notTried.empty())
        closing += ", " + std::to_string(r.notTried.size()) + " not tried";
    err << closing + "\n" << std::flush;
    return r.failures.empty() && !r.stopped ? kAllHarvested : kSomeFailed;
}

int RunDefine(const GleanOptions& options, std::ostream& out, std::ostream& err)
{
    const std::string formType = options.formType.value_or("");
    if (options.defineTemplate.empty() || formType.empty()) {
        err << "glean: /define needs a workbook and /type with the form definition to write\n" << GleanUsage();
        return kUsageOrConfig;
    }
    try {
        const std::vector<DefinedField> fields = DefineFormType(options.defineTemplate, formType, options.force);
        out << FieldTable(fields);
        err << "glean: wrote " << formType << " (" << fields.size() << (fields.size() == 1 ? " field" : " fields")
            << ")\n";
        return kAllHarvested;
    } catch (const FormTypeExists& e) {
        err << "glean: " << e.what() << "; give /force to replace it\n";
    } catch (const std::exception& e) {
        err << "glean: " << e.what() << "\n";
    }
    return kUsageOrConfig;
}
