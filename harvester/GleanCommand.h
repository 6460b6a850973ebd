#pragma once
// The command-line harvester: option reading and the run, apart from main()
// so that both can be tested.
//
//   glean [/open settings] [/type formtype] [/in inPath] [/out outPath]
//         [/data dataFile] [/jobs N] [/dry-run] [/watch [/settle S]]
//   glean /define template /type formtype [/force]
//
// Option words as the window reads them (HarvestOptions.h), also spelled
// with "--" ("--type x" or "--type=x"); any other word is a usage error.
// "/open" fills the four paths from a settings file first; the options given
// beside it replace single paths.
#include "harvester/HarvestOptions.h"

#include <iosfwd>
#include <string>

// The window's options (/autorun is taken and means nothing here), and glean's own.
struct GleanOptions : HarvestOptions {
    int jobs = 0;                // 0: one per processor
    bool dryRun = false;         // print the lines instead of appending them; nothing is written
    bool watch = false;          // keep harvesting what arrives (GleanWatch.h)
    int settleMs = 2000;         // how long an arrival must stay unchanged
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
// last line "N harvested, M failed" (", K not tried"). A dry run prints the
// lines it would append on `out` (the bytes of the data file, CR LF ends) and
// reports as a run, without a progress bar. Returns a GleanExit value.
int RunGlean(const GleanOptions& options, std::ostream& err, bool progressBar, std::ostream* out = nullptr);

// /define: writes the form definition /type from the template's defined
// names and prints its fields as a table on `out`. 0 when written; 2 with
// the reason on `err` (no /type, no usable name, the file exists without
// /force, the template unreadable, the file not writable).
int RunDefine(const GleanOptions& options, std::ostream& out, std::ostream& err);
