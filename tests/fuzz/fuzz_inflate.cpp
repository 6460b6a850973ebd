// libFuzzer target for the raw inflate of zip members: random deflate data
// is inflated by zlib and by ours (whole, with the input in pieces, and as a
// zip member read in pieces through its window), and both must take or
// refuse it alike, with the same bytes. Input: a byte choosing the pieces,
// three giving the stated size (up to 256 KiB), then the deflate data.
// Seeds: the deflated members of the .xlsx and .ods fixtures (tests/fuzz/run).
#include "tests/workbook/InflateCheck.h"

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const unsigned mode = data[0];
    const size_t stated = size_t(data[1]) | size_t(data[2]) << 8 | size_t(data[3] & 3) << 16;
    const std::string deflated(reinterpret_cast<const char*>(data) + 4, size - 4);
    static const std::string path = "/tmp/wbfuzz-" + std::to_string(getpid()) + ".zip";

    const auto expected = inflatecheck::Zlib(deflated, stated);
    if (inflatecheck::Ours(deflated, stated, stated) != expected)
        __builtin_trap();
    if (inflatecheck::Ours(deflated, stated, stated + (mode & 0x80 ? 300 : 5000), 1 + (mode & 15)) != expected)
        __builtin_trap();
    // A member must also fill its stated size exactly.
    const auto whole = expected && expected->size() == stated ? expected : std::nullopt;
    const uint32_t crc = whole ? testjson::Crc32(*whole) : 0;
    const size_t piece = mode & 0x40 ? stated + 1 : 1 + ((mode & 0x3F) << 6);
    if (inflatecheck::Member(deflated, stated, crc, piece, path, (mode & 0x20) == 0) != whole)
        __builtin_trap();
    return 0;
}
