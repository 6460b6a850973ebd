#pragma once
// OLE2 compound files (the container of .xls workbooks), read by our own
// small reader: the file is read whole with one call and its header, FAT,
// directory and mini stream are checked against the file's size, so a
// damaged or hostile file gives a wb::Error, never a read out of bounds, a
// hang or an allocation larger than the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wb::detail {

// The eight bytes every compound file starts with.
bool HasCompoundSignature(const void* data, size_t size);

// A compound file read whole into memory, with its allocation tables and
// directory. Throws wb::Error naming `path` when the file cannot be read, is
// not a compound file or its tables are damaged.
class CompoundFile {
public:
    explicit CompoundFile(const std::string& path);
    // Bytes already in memory; `path` only names the file in messages.
    CompoundFile(const std::string& path, const std::vector<uint8_t>& bytes);
    // The file's bytes, read by the caller and kept here.
    CompoundFile(const std::string& path, std::unique_ptr<char[]> bytes, size_t size);

    const std::string& Path() const { return path_; }
    // The directory entry of the root storage's stream `name` (any letter
    // case; a storage of that name does not count), or -1.
    int FindStream(std::string_view name) const;
    bool HasStream(std::string_view name) const { return FindStream(name) >= 0; }
    // The stored name of entry `id` (ASCII; other characters become '?').
    std::string EntryName(int id) const;
    // The bytes of stream `id`: a view into the file when its sectors follow
    // each other, else gathered into `copy`. Throws wb::Error on a damaged
    // sector chain.
    const uint8_t* StreamData(int id, uint64_t& size, std::vector<uint8_t>& copy) const;

private:
    void Parse();
    [[noreturn]] void Damaged(const std::string& why) const;
    const uint8_t* Entry(uint32_t id) const;
    uint32_t FatAt(const std::vector<uint32_t>& table, uint32_t sector) const;
    // The sectors of a FAT chain from `start`: the first `need` of them, or
    // with `toEnd` all up to its end. Either way the chain is followed to
    // its end, so a loop anywhere is damage. `what` names it in messages.
    std::vector<uint32_t> Chain(uint32_t start, size_t need, bool toEnd, const char* what) const;

    // The file's bytes, left uninitialised before the read fills them.
    struct Bytes {
        std::unique_ptr<char[]> p;
        size_t n = 0;
        const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(p.get()); }
        size_t size() const { return n; }
    };

    std::string path_;
    Bytes bytes_;
    uint32_t sectorShift_ = 9;
    uint32_t sectorSize_ = 512;
    uint32_t sectorCount_ = 0;  // sectors that start inside the file
    bool version4_ = false;
    uint32_t miniCutoff_ = 4096;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> miniFat_;
    std::vector<uint32_t> dirSectors_;
    uint32_t entryCount_ = 0;
    std::vector<int> rootChildren_;             // stream entries of the root storage
    mutable std::vector<uint32_t> miniStream_;  // its sectors, once needed
    mutable bool miniStreamRead_ = false;
    uint64_t miniStreamSize_ = 0;
};

class CompoundStream {
public:
    // Opens the first of `names` (any letter case) that the file holds.
    // Throws wb::Error naming `path`: not a compound file, damaged, or none
    // of the streams present.
    CompoundStream(const std::string& path, std::initializer_list<std::string_view> names);
    // The same over the file's bytes, already read.
    CompoundStream(const std::string& path, std::unique_ptr<char[]> bytes, size_t size,
                   std::initializer_list<std::string_view> names);
    ~CompoundStream();
    CompoundStream(const CompoundStream&) = delete;
    CompoundStream& operator=(const CompoundStream&) = delete;

    const std::string& Name() const { return name_; }
    uint64_t Size() const { return size_; }
    const CompoundFile& File() const { return file_; }

    // Copies `n` bytes from `pos` into `dst`. False when the range passes the
    // end of the stream.
    bool Read(uint64_t pos, size_t n, uint8_t* dst)
    {
        if (pos > size_ || n > size_ - pos)
            return false;
        if (n)
            std::memcpy(dst, data_ + pos, n);
        return true;
    }
    // The whole stream, Size() bytes.
    const uint8_t* Data() const { return data_; }
    // Why the last Read failed beyond the range, if anything (the whole
    // stream is checked when it is opened, so nothing more is known today).
    const std::string& LastProblem() const { return problem_; }

private:
    void Open(const std::string& path, std::initializer_list<std::string_view> names);

    CompoundFile file_;
    std::string name_;
    uint64_t size_ = 0;
    std::string problem_;
    std::vector<uint8_t> copy_;  // the stream, when its sectors are scattered
    const uint8_t* data_ = nullptr;
};

// True when the compound file at `path` holds a stream `name` (any letter
// case). Throws wb::Error as CompoundFile does.
bool CompoundHasStream(const std::string& path, std::string_view name);

// Writes a compound file holding one stream: how tests and the fuzz target
// wrap a hand-made or damaged workbook stream. Throws wb::Error. Defined in
// the compoundwriter library (libgsf), which the programs do not link.
void WriteCompoundFile(const std::string& path, const std::string& streamName, const void* data, size_t size);

}  // namespace wb::detail
