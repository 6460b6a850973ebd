#pragma once
// Members of a zip package (.xlsx, .ods), read whole into memory with a size
// bound so that a small damaged or hostile file cannot inflate without end.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

typedef struct zip zip_t;
typedef struct zip_file zip_file_t;

namespace wb::detail {

// No part of a form workbook comes near this; a bigger one is a zip bomb.
inline constexpr size_t kMaxMemberSize = size_t(256) << 20;

class ZipArchive;

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
    ZipMember(const ZipArchive& zip, std::string name, zip_file_t* f, long long stored, size_t limit);

    const ZipArchive& zip_;
    std::string name_;
    zip_file_t* f_;
    long long stored_;  // -1: unknown
    size_t limit_;
    size_t used_ = 0;
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
    long long Locate(const std::string& name) const;

    std::string path_;
    std::string bytes_;  // the whole file, when read up front
    zip_t* zip_ = nullptr;
};

}  // namespace wb::detail
