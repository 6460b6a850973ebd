#include "harvester/GleanCommand.h"

#include "common/clsCmdline.h"
#include "common/modUtil.h"
#include "harvester/FormTypeFromWorkbook.h"
#include "harvester/SettingsFile.h"
#include "harvester/clsBatchRun.h"

#include <ostream>
#include <thread>

namespace {

// "/type", "--type" -> "type"; anything else -> "".
std::string OptionName(const std::string& word)
{
    std::string w = Lower(word);
    if (w.rfind("--", 0) == 0 && w.size() > 2)
        return w.substr(2);
    if (w.size() > 1 && w[0] == '/')
        return w.substr(1);
    return {};
}

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
    clsCmdline cmd;
    cmd.setCmdline(argumentText);
    int strays = 0;
    std::string firstStray;
    for (int i = 0; i < cmd.argc; ++i) {
        std::string word = cmd.arg(i);
        std::string value;
        bool inlineValue = false;
        std::string name = OptionName(word);
        if (Lower(word).rfind("--", 0) == 0) {
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = word.substr(2 + eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
        }
        auto takeValue = [&] {
            if (inlineValue)
                return value;
            ++i;
            return i < cmd.argc ? cmd.arg(i) : std::string();
        };
        if (name == "help" || name == "?" || Lower(word) == "-h") {
            o.help = true;
        } else if (name == "open") {
            o.settings = takeValue();
        } else if (name == "type") {
            o.formType = takeValue();
            o.formTypeGiven = true;
        } else if (name == "in") {
            o.inDir = takeValue();
            o.inDirGiven = true;
        } else if (name == "out") {
            o.outDir = takeValue();
            o.outDirGiven = true;
        } else if (name == "data") {
            o.dataFile = takeValue();
            o.dataFileGiven = true;
        } else if (name == "jobs") {
            std::string v = takeValue();
            if (!ParseJobs(v, o.jobs) && o.usageError.empty())
                o.usageError = "/jobs needs a number, not \"" + v + "\"";
        } else if (name == "define") {
            o.defineTemplate = takeValue();
            o.defineGiven = true;
        } else if (name == "force" && !inlineValue) {
            o.force = true;
        } else if (name == "autorun" && !inlineValue) {
            // The window's option; glean always runs.
        } else {
            if (strays++ == 0)
                firstStray = word;
        }
    }
    if (strays > 0 && o.usageError.empty())
        o.usageError = "unknown word \"" + firstStray + "\"";
    return o;
}

int RunGlean(const GleanOptions& options, std::ostream& err, bool progressBar)
{
    BatchPaths paths;
    if (!options.settings.empty()) {
        std::vector<std::string> lines;
        try {
            lines = ReadSettings(options.settings);
        } catch (const std::exception& e) {
            err << "glean: " << e.what() << "\n";
            return kUsageOrConfig;
        }
        lines.resize(std::max<size_t>(lines.size(), 4));
        paths = {lines[0], lines[1], lines[2], lines[3]};
    }
    if (options.formTypeGiven)
        paths.formType = options.formType;
    if (options.inDirGiven)
        paths.inDir = options.inDir;
    if (options.outDirGiven)
        paths.outDir = options.outDir;
    if (options.dataFileGiven)
        paths.dataFile = options.dataFile;

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

int RunDefine(const GleanOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.defineTemplate.empty() || options.formType.empty()) {
        err << "glean: /define needs a workbook and /type with the form definition to write\n" << GleanUsage();
        return kUsageOrConfig;
    }
    try {
        const std::vector<DefinedField> fields = DefineFormType(options.defineTemplate, options.formType, options.force);
        out << FieldTable(fields);
        err << "glean: wrote " << options.formType << " (" << fields.size() << (fields.size() == 1 ? " field" : " fields")
            << ")\n";
        return kAllHarvested;
    } catch (const FormTypeExists& e) {
        err << "glean: " << e.what() << "; give /force to replace it\n";
    } catch (const std::exception& e) {
        err << "glean: " << e.what() << "\n";
    }
    return kUsageOrConfig;
}
