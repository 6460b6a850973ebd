// libFuzzer target for the .ods reader; seeds: tests/workbook/fixtures/*/*.ods.
#include "tests/fuzz/FuzzWorkbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzwb::Run(data, size, ".ods");
}
