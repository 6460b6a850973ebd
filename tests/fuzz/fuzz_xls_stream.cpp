// libFuzzer target for the .xls reader. The input is a BIFF workbook stream
// (what the "Workbook" stream of an .xls holds); it is wrapped in a compound
// file, opened, and every sheet is read. Only wb::Error may come out.
// Seeds: the Workbook streams of tests/workbook/fixtures/xls/*.xls.
#include "workbook/Compound.h"
#include "workbook/Reader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir ? dir : "/tmp") + "/xls_fuzz_" + std::to_string(getpid()) + ".xls";
    }();
    // The first byte picks the stream name, so both BIFF8 and BIFF5 paths run.
    const char* stream = (size > 0 && (data[0] & 1)) ? "Book" : "Workbook";
    try {
        wb::detail::WriteCompoundFile(path, stream, data, size);
        auto reader = wb::detail::OpenXls(path);
        for (size_t i = 0; i < reader->sheetNames.size(); ++i) {
            wb::detail::SheetCells cells;
            reader->LoadSheet(int(i), cells);
        }
    } catch (const wb::Error&) {
    }
    return 0;
}
