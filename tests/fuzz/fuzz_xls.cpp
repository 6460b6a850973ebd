// libFuzzer target for the .xls reader; seeds: tests/workbook/fixtures/*/*.xls.
#include "tests/fuzz/FuzzWorkbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzwb::Run(data, size, ".xls");
}
