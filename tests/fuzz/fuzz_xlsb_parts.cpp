// libFuzzer target for the .xlsb record parsing. The input is the parts of a
// package, split by kSeparator, in the order of kParts; they are zipped as
// stored members with true checksums, so that mutations reach the records
// instead of failing the zip's own checks (fuzz_xlsb covers those). Seeds:
// the parts of the .xlsb fixtures, joined the same way (tests/fuzz/run).
#include "tests/fuzz/FuzzWorkbook.h"

#include <string_view>
#include <vector>

#include <zip.h>

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

bool Add(zip_t* z, const char* name, const void* data, size_t size)
{
    zip_source_t* src = zip_source_buffer(z, data, size, 0);
    if (!src)
        return false;
    const zip_int64_t i = zip_file_add(z, name, src, ZIP_FL_OVERWRITE);
    if (i < 0) {
        zip_source_free(src);
        return false;
    }
    return zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_STORE, 0) == 0;
}

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

    static const std::string path = "/tmp/wbfuzz-parts-" + std::to_string(getpid()) + ".xlsb";
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z)
        return 0;
    bool ok = Add(z, "xl/_rels/workbook.bin.rels", kRels, sizeof kRels - 1);
    for (size_t i = 0; ok && i < parts.size(); ++i)
        if (!parts[i].empty())
            ok = Add(z, kParts[i], parts[i].data(), parts[i].size());
    if (!ok || zip_close(z) != 0) {
        zip_discard(z);
        return 0;
    }
    fuzzwb::Exercise(path);
    return 0;
}
