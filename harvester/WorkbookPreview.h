#pragma once
// The window's Preview: what one workbook would add to the data file, shown
// as a table of field names and values. It makes a dry run's checks and reads
// and formats as a run does (clsBatchRun.h, modExtractWorkbookData.h), and
// writes, locks and moves nothing.
#include "harvester/clsBatchRun.h"
#include "harvester/modExtractWorkbookData.h"

#include <string>
#include <vector>

struct PreviewTable {
    std::string error;                          // set: nothing to show; the sentence names the path
    std::string workbook;                       // the workbook shown
    bool dataFileNew = false;                   // a run would write the header line first
    std::vector<std::string> headers;           // the field names, in form definition order
    std::vector<std::vector<FieldValue>> rows;  // one per line the run would append

    int Failures() const;  // values with an error: the run would fail the workbook
};

// `selected`: the workbook chosen in the status list; empty: the first one a
// run would list from the input.
PreviewTable PreviewWorkbook(const BatchPaths& paths, const std::string& selected);
