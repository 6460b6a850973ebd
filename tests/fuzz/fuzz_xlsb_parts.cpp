// libFuzzer target for the .xlsb record parsing. The input is the parts of a
// package split by kSeparator: workbook, shared strings, styles, then up to
// three sheets; they are zipped as stored members with true checksums, so
// that mutations reach the records instead of failing the zip's own checks
// (fuzz_xlsb covers those). Seeds: the parts of the .xlsb fixtures, joined
// the same way (tests/fuzz/run).
#include "tests/fuzz/FuzzWorkbook.h"
#include "tests/workbook/HandMade.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view separator = "\xFF\xFE--xlsb-part--";
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    for (size_t at; parts.size() < 5 && (at = in.find(separator)) != std::string_view::npos;
         in.remove_prefix(at + separator.size()))
        parts.emplace_back(in.substr(0, at));
    parts.emplace_back(in);
    parts.resize(6);
    static const std::string path = "/tmp/wbfuzz-parts-" + std::to_string(getpid()) + ".xlsb";
    testjson::WriteFile(path, testjson::XlsbPackage(parts[0], {parts[3], parts[4], parts[5]}, parts[1], parts[2]));
    fuzzwb::Exercise(path);
    return 0;
}
