#pragma once
// glean's /watch: harvests the workbooks in the input folder, then keeps
// running and harvests each workbook that arrives once it has settled
// (FolderWatch.h), until SIGINT or SIGTERM. Each arrival is one batch run
// of its own, so the data file is locked only while it is being harvested.
#include "harvester/clsBatchRun.h"

#include <chrono>
#include <iosfwd>

// Runs `run` (paths, jobs and hooks set) over the input folder and then
// over each settled arrival. A workbook that fails is tried again only once
// it has changed. SIGINT and SIGTERM end it after the current workbook.
//
// The result sums up all runs: configError when the first could not start;
// stopped when a later one could not, when the data file failed or when the
// input folder went away; notTried lists what a signal left unharvested.
BatchResult WatchInputFolder(clsBatchRun& run, std::chrono::milliseconds settle, std::ostream& err);
