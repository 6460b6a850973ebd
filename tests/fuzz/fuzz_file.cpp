// libFuzzer target for one reader, whole files: built once per extension
// (FUZZ_EXTENSION, see CMakeLists.txt); seeds: tests/workbook/fixtures/*/*.<extension>.
#include "tests/fuzz/FuzzWorkbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzwb::Run(data, size, FUZZ_EXTENSION);
}
