#pragma once
// Members of a zip package (.xlsx, .ods, .xlsb), inflated with a size bound
// so that a small damaged or hostile file cannot inflate without end. The
// central directory is read by hand and members are inflated by our own
// decoder (Inflate.h), straight into the caller's buffer when the whole part
// fits it: a form workbook is read and parsed in well under a millisecond,
// and a general zip library's set-up would cost more than the parsing.
#include "workbook/Inflate.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wb::detail {

// No part of a form workbook comes near this; a bigger one is a zip bomb.
inline constexpr size_t kMaxMemberSize = size_t(256) << 20;

class ZipArchive;

// The zip CRC-32 of n bytes at p, continuing `crc` (0 to start), as zlib's
// crc32 computes it; folded with carry-less multiplication where the
// processor has it, which is several times cheaper on whole parts.
uint32_t Crc32(uint32_t crc, const void* p, size_t n);

// One member, inflated piece by piece: only the caller's buffer is in memory.
class ZipMember {
public:
    ~ZipMember();
    ZipMember(const ZipMember&) = delete;
    ZipMember& operator=(const ZipMember&) = delete;

    const std::string& Name() const { return name_; }
    const ZipArchive& Archive() const { return zip_; }
    // Up to `n` bytes into `dst`; 0 at the end. Throws wb::Error when the
    // member is damaged or inflates past its stored size or the limit.
    size_t Read(char* dst, size_t n);

private:
    friend class ZipArchive;
    ZipMember(const ZipArchive& zip, std::string name, size_t entry, size_t limit);
    [[noreturn]] void Fail(const std::string& why) const;
    // The next piece of the stored data; empty at its end.
    std::string_view Input();
    // More of a deflated part into window_, when the caller reads it in
    // pieces smaller than the part.
    void InflateMore();
    [[noreturn]] void Refuse(Inflater::Status status) const;

    const ZipArchive& zip_;
    std::string name_;
    size_t entry_;
    size_t limit_;
    unsigned long long inPos_ = 0;  // stored bytes handed to the inflater
    size_t used_ = 0;               // bytes handed out
    uint32_t crc_ = 0;
    bool done_ = false;
    std::unique_ptr<Inflater> inflater_;       // deflated members only
    std::unique_ptr<unsigned char[]> window_;  // inflated bytes not handed out, and the 32 KiB before them
    size_t winPos_ = 0, winOut_ = 0;           // window_ inflated up to, handed out up to
    unsigned long long winStart_ = 0;          // bytes inflated before window_[0]
    bool ended_ = false;                       // the deflate stream has ended
    std::string chunk_;                        // stored bytes read from the file
};

class ZipArchive {
public:
    // Throws wb::Error naming the file when it is no readable zip.
    explicit ZipArchive(std::string path);
    // The same over the file's bytes, already read (`path` names it in messages).
    ZipArchive(std::string path, std::string bytes);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::string& Path() const { return path_; }
    bool Has(const std::string& name) const;
    // The member's bytes; nullopt when absent. Throws wb::Error when it
    // cannot be inflated or is larger than `limit`.
    std::optional<std::string> Read(const std::string& name, size_t limit = kMaxMemberSize) const;
    // The member for reading in pieces; nullptr when absent.
    std::unique_ptr<ZipMember> Open(const std::string& name, size_t limit = kMaxMemberSize) const;
    // As Read, but a missing member is an error.
    std::string ReadRequired(const std::string& name, size_t limit = kMaxMemberSize) const;

private:
    friend class ZipMember;
    struct Entry {
        std::string name;
        unsigned long long stored = 0, size = 0;  // compressed and uncompressed bytes
        unsigned long long header = 0;            // offset of its local header
        mutable unsigned long long data = 0;      // offset of its data, once found
        uint32_t crc = 0;
        uint16_t method = 0, flags = 0;
    };
    void ReadDirectory();
    // `n` bytes of the file at `offset`: a view into bytes_, or into `scratch`
    // when the file is read from disk. Throws when they are past its end.
    std::string_view At(unsigned long long offset, size_t n, std::string& scratch) const;
    [[noreturn]] void Damaged(const std::string& why) const;
    long long Locate(std::string_view name) const;

    std::string path_;
    std::string bytes_;  // the whole file, when read up front
    int fd_ = -1;        // else the file, read in pieces
    unsigned long long fileSize_ = 0;
    std::vector<Entry> entries_;
};

}  // namespace wb::detail
