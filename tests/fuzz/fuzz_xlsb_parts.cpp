// libFuzzer target for the .xlsb record parsing. The input is the parts of a
// package, split by kSeparator, in the order of kParts; they are zipped as
// stored members with true checksums, so that mutations reach the records
// instead of failing the zip's own checks (fuzz_xlsb covers those). Seeds:
// the parts of the .xlsb fixtures, joined the same way (tests/fuzz/run).
#include "tests/fuzz/FuzzWorkbook.h"
#include "tests/workbook/HandMade.h"

#include <string_view>
#include <vector>

namespace {

const std::string_view kSeparator = "\xFF\xFE--xlsb-part--";
const char* const kParts[] = {"xl/workbook.bin",          "xl/sharedStrings.bin",     "xl/styles.bin",
                              "xl/worksheets/sheet1.bin", "xl/worksheets/sheet2.bin", "xl/worksheets/sheet3.bin"};
const char kRels[] = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                     "<Relationship Id=\"rId1\" Type=\"http://x/worksheet\" Target=\"worksheets/sheet1.bin\"/>"
                     "<Relationship Id=\"rId2\" Type=\"http://x/worksheet\" Target=\"worksheets/sheet2.bin\"/>"
                     "<Relationship Id=\"rId3\" Type=\"http://x/worksheet\" Target=\"worksheets/sheet3.bin\"/>"
                     "<Relationship Id=\"rId4\" Type=\"http://x/sharedStrings\" Target=\"sharedStrings.bin\"/>"
                     "<Relationship Id=\"rId6\" Type=\"http://x/styles\" Target=\"styles.bin\"/></Relationships>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < std::size(kParts)) {
        const size_t at = in.find(kSeparator);
        if (at == std::string_view::npos)
            break;
        parts.push_back(in.substr(0, at));
        in.remove_prefix(at + kSeparator.size());
    }
    parts.push_back(in);

    std::vector<testjson::Member> members = {testjson::Stored("xl/_rels/workbook.bin.rels", kRels)};
    for (size_t i = 0; i < parts.size(); ++i)
        if (!parts[i].empty())
            members.push_back(testjson::Stored(kParts[i], std::string(parts[i])));
    static const std::string path = "/tmp/wbfuzz-parts-" + std::to_string(getpid()) + ".xlsb";
    testjson::WriteFile(path, testjson::Zip(members));
    fuzzwb::Exercise(path);
    return 0;
}
