// libFuzzer target for the .xlsb reader; seeds: tests/workbook/fixtures/*/*.xlsb.
#include "tests/fuzz/FuzzWorkbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzwb::Run(data, size, ".xlsb");
}
