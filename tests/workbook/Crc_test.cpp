// The zip CRC-32 must agree with zlib's for every length and alignment: the
// folded path takes whole 16-byte blocks from 64 bytes on and leaves the
// rest to the table, so the lengths around those steps matter most.
#include "workbook/ZipArchive.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>
#include <zlib.h>

TEST(Crc32, AgreesWithZlib)
{
    std::mt19937 rng(15);
    std::vector<unsigned char> data(4096 + 64);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    for (size_t offset : {0, 1, 7, 15})
        for (size_t n = 0; n <= 4096; n = n == 300 ? 4096 : n + 1) {  // 0 to 300 bytes, then 4096
            SCOPED_TRACE("offset " + std::to_string(offset) + ", length " + std::to_string(n));
            const unsigned char* p = data.data() + offset;
            ASSERT_EQ(wb::detail::Crc32(0, p, n), crc32(0, p, uInt(n)));
            // Continued from an earlier piece, as members are checked piece by piece.
            ASSERT_EQ(wb::detail::Crc32(0x12345678, p, n), crc32(0x12345678, p, uInt(n)));
        }
}
