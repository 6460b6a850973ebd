#pragma once
// The command-line harvester: option reading and the run, apart from main()
// so that both can be tested.
//
//   glean [/open settings] [/type formtype] [/in inPath] [/out outPath]
//         [/data dataFile] [/jobs N]
//   glean /define template /type formtype [/force]
//
// Option words in any case, with "/" or "--" ("--type x" or "--type=x");
// a value-taking option consumes the next word whatever it is; a later
// option overwrites an earlier one; any other word is a usage error.
// "/open" fills the four paths from a settings file first; the options given
// beside it replace single paths.
#include <iosfwd>
#include <string>

struct GleanOptions {
    std::string settings, formType, inDir, outDir, dataFile;
    bool formTypeGiven = false, inDirGiven = false, outDirGiven = false, dataFileGiven = false;
    int jobs = 0;  // 0: one per processor
    std::string defineTemplate;  // /define: make the form definition from this blank form
    bool defineGiven = false, force = false;
    bool help = false;
    std::string usageError;  // set when the command line is not understood
};

// Reads the argument text (ArgumentText of argv).
GleanOptions ParseGleanOptions(const std::string& argumentText);

std::string GleanUsage();

// 1: some workbooks failed, or the run stopped early (they were not tried).
enum GleanExit { kAllHarvested = 0, kSomeFailed = 1, kUsageOrConfig = 2 };

// Runs the harvest and reports on `err`: one line per workbook ("Done path",
// "Failed path: reason"), or a progress bar when `progressBar`; when the run
// stopped early, why and a "Not tried path" line per workbook left; and a
// last line "N harvested, M failed" (", K not tried"). Returns a GleanExit value.
int RunGlean(const GleanOptions& options, std::ostream& err, bool progressBar);

// /define: writes the form definition /type from the template's defined
// names and prints its fields as a table on `out`. 0 when written; 2 with
// the reason on `err` (no /type, no usable name, the file exists without
// /force, the template unreadable, the file not writable).
int RunDefine(const GleanOptions& options, std::ostream& out, std::ostream& err);
