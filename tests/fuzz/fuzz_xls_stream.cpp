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
    try {
        wb::detail::WriteCompoundFile(path, "Workbook", data, size);
        auto reader = wb::detail::OpenXls(path);
        for (size_t i = 0; i < reader->sheetNames.size(); ++i) {
            wb::detail::SheetCells cells;
            reader->LoadSheet(int(i), wb::detail::SheetFilter::All(), cells);
        }
    } catch (const wb::Error&) {
    }
    return 0;
}
