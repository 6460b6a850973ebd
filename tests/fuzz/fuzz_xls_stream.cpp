// libFuzzer target for the .xls reader. The input is a BIFF workbook stream
// (what the "Workbook" stream of an .xls holds); it is wrapped in a compound
// file and read as the whole-file targets read theirs (FuzzWorkbook.h).
// Seeds: the Workbook streams of tests/workbook/fixtures/xls/*.xls.
#include "tests/fuzz/FuzzWorkbook.h"
#include "workbook/Compound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/wbfuzz-stream-" + std::to_string(getpid()) + ".xls";
    try {
        wb::detail::WriteCompoundFile(path, "Workbook", data, size);
    } catch (const wb::Error&) {
        return 0;  // no file to read
    }
    fuzzwb::Exercise(path);
    return 0;
}
