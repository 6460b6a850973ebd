#include "harvester/GleanCommand.h"

#include "common/modUtil.h"
#include "harvester/SettingsFile.h"
#include "harvester/clsBatchRun.h"

#include <ostream>
#include <thread>

namespace {

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
    return "Usage: glean [/open settings] [/type formtype] [/in inPath] [/out outPath] [/data dataFile] [/jobs N]\n"
           "Harvests every workbook (.xls .xlsx .xlsm .xlsb .ods, or those matching a\n"
           "pattern such as in/*.xlsx) of the input folder, or the one workbook named,\n"
           "into the data file and moves each one into the output folder. Options may\n"
           "also be written --type, --in, ...\n"
           "Exit status: 0 all harvested, 1 some failed or the run stopped, 2 usage or configuration error.\n";
}

GleanOptions ParseGleanOptions(const std::string& argumentText)
{
    GleanOptions o;
    std::vector<OptionRow> rows = HarvestOptionRows(o);
    rows.insert(rows.end(), {
        {"/jobs", true, [&o](const std::string& v) {
             return ParseJobs(v, o.jobs) ? std::string() : "/jobs needs a number, not \"" + v + "\"";
         }},
        {"/help", false, SetFlag(o.help)},
        {"/?", false, SetFlag(o.help)},
        {"-h", false, SetFlag(o.help)},
    });
    const OptionsRead read = ReadOptions(argumentText, rows, true);
    o.usageError = read.error;
    if (o.usageError.empty() && !read.strays.empty())
        o.usageError = "unknown word \"" + read.strays.front() + "\"";
    return o;
}

int RunGlean(const GleanOptions& options, std::ostream& err, bool progressBar)
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
    const char* missing = paths.formType.empty() ? "form definition (/type)"
                          : paths.inDir.empty()  ? "input folder (/in)"
                          : paths.dataFile.empty() ? "data file (/data)"
                                                   : nullptr;
    if (missing) {
        err << "glean: no " << missing << " given\n" << GleanUsage();
        return kUsageOrConfig;
    }

    MemoryStatusList list;
    clsBatchRun run(list);
    run.setPaths(paths);
    run.setLimit(0);
    unsigned cores = std::thread::hardware_concurrency();
    run.setJobs(options.jobs > 0 ? options.jobs : static_cast<int>(cores ? cores : 1));
    run.setWaitForLock(true);
    run.onWaitingForLock = [&] { err << "glean: waiting for another harvester to finish with " << paths.dataFile << "\n"; };
    run.onSettled = [&](const std::string& sentence) { err << "glean: " + sentence + "\n"; };
    int total = 0;
    // "Done path" / "Failed path: reason", one write per line (stderr is unbuffered).
    auto line = [](const std::string& path, const WorkbookOutcome& o) {
        return o.IsDone() ? "Done " + OneLine(path) + "\n" : "Failed " + OneLine(path) + ": " + OneLine(o.reason) + "\n";
    };
    if (progressBar) {
        run.onListed = [&](int, const std::string&) { ++total; };
        run.onFinished = [&](int, const std::string& path, const WorkbookOutcome& o) {
            if (!o.IsDone())
                err << "\r\033[K" + line(path, o);
        };
        run.onProgress = [&](int finished, int all) { DrawBar(err, finished, all); };
    } else {
        run.onFinished = [&](int, const std::string& path, const WorkbookOutcome& o) { err << line(path, o); };
    }

    BatchResult r = run.RunBatch();
    if (!r.configError.empty()) {
        err << "glean: " << r.configError << "\n";
        return kUsageOrConfig;
    }
    if (progressBar && total > 0)
        err << "\n";
    if (r.listed == 0)
        err << clsBatchRun::kNothingToDo << "\n";
    if (r.stopped) {
        // A workbook's failure that stopped the run was printed with it.
        err << (r.stoppedAt.empty() ? "glean: the run stopped: " + r.stopReason
                                    : "glean: the run stopped at " + r.stoppedAt)
            << "\n";
        for (const std::string& path : r.notTried)
            err << "Not tried " << path << "\n";
    }
    err << r.done << " harvested, " << r.failures.size() << " failed";
    if (!r.notTried.empty())
        err << ", " << r.notTried.size() << " not tried";
    err << "\n";
    return r.failures.empty() && !r.stopped ? kAllHarvested : kSomeFailed;
}
