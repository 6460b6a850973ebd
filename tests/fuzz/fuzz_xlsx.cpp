// libFuzzer target for the .xlsx reader; seeds: tests/workbook/fixtures/*/*.xlsx.
#include "tests/fuzz/FuzzWorkbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzwb::Run(data, size, ".xlsx");
}
