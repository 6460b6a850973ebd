#pragma once
// Our raw inflate set against zlib's, for the inflate tests and fuzz target
// (no test framework here): the same deflate data and stated size must give
// the same bytes or be refused by both.
#include "tests/workbook/HandMade.h"
#include "workbook/Inflate.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"

#include <memory>
#include <optional>
#include <string>

#include <zlib.h>

namespace inflatecheck {

constexpr int kInflate = -2;

// zlib's raw stream of all of `in` into at most `size` bytes: inflated, or
// deflated at `level` (0 to 9) with `strategy`; nullopt unless the stream
// ends within them.
inline std::optional<std::string> Zlib(const std::string& in, size_t size, int level = kInflate, int strategy = 0)
{
    z_stream z{};
    const bool inflating = level == kInflate;
    // A failed start leaves no state, which inflate and deflate refuse.
    inflating ? inflateInit2(&z, -MAX_WBITS) : deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
    std::string out(size, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(size);
    const int rc = inflating ? inflate(&z, Z_FINISH) : deflate(&z, Z_FINISH);
    out.resize(size - z.avail_out);
    inflating ? inflateEnd(&z) : deflateEnd(&z);
    if (rc != Z_STREAM_END)
        return std::nullopt;
    return out;
}

// Ours straight into a buffer of `room` bytes (at least `size`), the input
// given in pieces of `piece` bytes (0: at once); nullopt when refused, and
// `status` says how.
inline std::optional<std::string> Ours(const std::string& deflated, size_t size, size_t room, size_t piece = 0,
                                       wb::detail::Inflater::Status* status = nullptr)
{
    struct Feed {
        std::string_view rest;
        size_t piece;
    } feed{deflated, piece ? piece : deflated.size() + 1};
    auto inflater = std::make_unique<wb::detail::Inflater>();
    inflater->Reset(
        [](void* p) {
            Feed& f = *static_cast<Feed*>(p);
            const std::string_view next = f.rest.substr(0, f.piece);
            f.rest.remove_prefix(next.size());
            return next;
        },
        &feed);
    std::string out(room, '\0');
    size_t pos = 0;
    const auto s = inflater->Inflate(reinterpret_cast<unsigned char*>(out.data()), pos, size, room, true);
    if (status)
        *status = s;
    if (s != wb::detail::Inflater::Status::Done)
        return std::nullopt;
    out.resize(pos);
    return out;
}

// Ours as a zip member of the stated size and CRC, written to `path` and
// read from the package's bytes in memory or from its file, in pieces of
// `piece` bytes; nullopt when refused.
inline std::optional<std::string> Member(const std::string& deflated, size_t size, uint32_t crc, size_t piece,
                                         const std::string& path, bool inMemory)
{
    std::string bytes = testjson::Zip({{"part.xml", deflated, 8, crc, uint32_t(size)}});
    testjson::WriteFile(path, bytes);
    try {
        auto zip = inMemory ? std::make_unique<wb::detail::ZipArchive>(path, std::move(bytes))
                            : std::make_unique<wb::detail::ZipArchive>(path);
        auto member = zip->Open("part.xml");
        std::string out, buf(piece, '\0');
        while (const size_t got = member->Read(buf.data(), piece))
            out.append(buf, 0, got);
        return out;
    } catch (const wb::Error&) {
        return std::nullopt;
    }
}

}  // namespace inflatecheck
