#include "workbook/Compound.h"

#include "workbook/Workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wb::detail {

namespace {

// The constants of the compound file format.
constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr size_t kHeaderSize = 512;
constexpr size_t kEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;

uint16_t U16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t U64(const uint8_t* p)
{
    return U32(p) | uint64_t(U32(p + 4)) << 32;
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The whole file with one read into a buffer of its size.
void ReadWholeFile(const std::string& path, std::unique_ptr<char[]>& bytes, size_t& size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error(path + ": cannot open the file (" + std::strerror(errno) + ")");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};  // however this is left: out of memory for a big file too
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = errno;
        throw Error(path + ": cannot open the file (" + (e ? std::strerror(e) : "not a regular file") + ")");
    }
    size = size_t(st.st_size);
    bytes.reset(new char[size ? size : 1]);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes.get() + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Error(path + ": cannot read the file (" + std::strerror(errno) + ")");
        if (n == 0)
            break;  // shrank meanwhile
        got += size_t(n);
    }
    size = got;
}

}  // namespace

bool HasCompoundSignature(const void* data, size_t size)
{
    static const unsigned char kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return size >= 8 && std::memcmp(data, kSig, 8) == 0;
}

CompoundFile::CompoundFile(const std::string& path) : path_(path)
{
    ReadWholeFile(path, bytes_.p, bytes_.n);
    Parse();
}

CompoundFile::CompoundFile(const std::string& path, const std::vector<uint8_t>& bytes) : path_(path)
{
    bytes_.p.reset(new char[bytes.size() ? bytes.size() : 1]);
    bytes_.n = bytes.size();
    if (!bytes.empty())
        std::memcpy(bytes_.p.get(), bytes.data(), bytes.size());
    Parse();
}

CompoundFile::CompoundFile(const std::string& path, std::unique_ptr<char[]> bytes, size_t size) : path_(path)
{
    bytes_.p = std::move(bytes);
    bytes_.n = size;
    Parse();
}

void CompoundFile::Damaged(const std::string& why) const
{
    throw Error(path_ + ": the compound file is damaged (" + why + ")");
}

void CompoundFile::Parse()
{
    const uint8_t* h = bytes_.data();
    auto refuse = [&](const std::string& why) { throw Error(path_ + ": not a readable compound file (" + why + ")"); };
    if (!HasCompoundSignature(h, bytes_.size()))
        refuse("no compound file signature");
    if (bytes_.size() < kHeaderSize)
        refuse("the file ends inside its header");
    if (U16(h + 0x1C) != 0xFFFE)
        refuse("unknown byte order mark");
    sectorShift_ = U16(h + 0x1E);
    if (sectorShift_ != 9 && sectorShift_ != 12)
        refuse("sector size 2^" + std::to_string(sectorShift_) + " is not 512 or 4096");
    if (U16(h + 0x20) != 6)
        refuse("mini sector size is not 64");
    sectorSize_ = 1u << sectorShift_;
    version4_ = sectorShift_ == 12;
    // Sector n starts at (n + 1) * size; the header takes the place of sector -1.
    sectorCount_ =
        bytes_.size() <= sectorSize_ ? 0 : uint32_t(std::min<uint64_t>((bytes_.size() - 1) / sectorSize_, kMaxRegSect));
    miniCutoff_ = U32(h + 0x38);
    const uint32_t perSector = sectorSize_ / 4;

    // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
    const uint32_t fatSectors = U32(h + 0x2C);
    if (fatSectors > sectorCount_)
        Damaged("the header counts " + std::to_string(fatSectors) + " FAT sectors in a file of " +
                std::to_string(sectorCount_));
    std::vector<uint32_t> fatList;
    fatList.reserve(fatSectors);
    for (uint32_t i = 0; i < 109 && fatList.size() < fatSectors; ++i)
        fatList.push_back(U32(h + 0x4C + 4 * i));
    uint32_t difat = U32(h + 0x44);
    const uint32_t difatCount = U32(h + 0x48);
    std::vector<bool> seen(fatList.size() < fatSectors ? sectorCount_ : 0);
    for (uint32_t n = 0; fatList.size() < fatSectors; ++n) {
        if (n >= difatCount || difat >= sectorCount_)
            Damaged("the DIFAT chain ends before the FAT's sectors");
        if (seen[difat])
            Damaged("the DIFAT chain loops");
        seen[difat] = true;
        const uint8_t* s = h + (uint64_t(difat) + 1) * sectorSize_;
        for (uint32_t i = 0; i + 1 < perSector && fatList.size() < fatSectors; ++i)
            fatList.push_back(U32(s + 4 * i));
        difat = U32(s + 4 * (perSector - 1));
    }
    fat_.resize(size_t(fatSectors) * perSector);
    for (size_t k = 0; k < fatList.size(); ++k) {
        const uint32_t sec = fatList[k];
        if (sec >= sectorCount_)
            Damaged("FAT sector " + std::to_string(sec) + " lies past the end of the file");
        const uint8_t* s = h + (uint64_t(sec) + 1) * sectorSize_;
        if (s + sectorSize_ > h + bytes_.size())
            Damaged("the file ends inside the FAT");
        for (uint32_t i = 0; i < perSector; ++i)
            fat_[k * perSector + i] = U32(s + 4 * i);
    }

    // The directory.
    dirSectors_ = Chain(U32(h + 0x30), 0, true, "directory");
    if (dirSectors_.empty())
        Damaged("the directory is empty");
    for (uint32_t sec : dirSectors_)
        if ((uint64_t(sec) + 2) * sectorSize_ > bytes_.size())
            Damaged("the file ends inside the directory");
    entryCount_ = uint32_t(dirSectors_.size() * (sectorSize_ / kEntrySize));
    const uint8_t* root = Entry(0);
    if (root[0x42] != 5)
        Damaged("the first directory entry is not the root storage");
    miniStreamSize_ = version4_ ? U64(root + 0x78) : U32(root + 0x78);
    if (miniStreamSize_ > bytes_.size())
        Damaged("the mini stream is larger than the file");

    // The mini FAT, read whole: it is small.
    const uint32_t miniFatCount = U32(h + 0x40);
    if (miniFatCount > sectorCount_)
        Damaged("the header counts more mini FAT sectors than the file holds");
    if (miniFatCount > 0) {
        const std::vector<uint32_t> chain = Chain(U32(h + 0x3C), miniFatCount, false, "mini FAT");
        miniFat_.resize(size_t(miniFatCount) * perSector);
        for (size_t k = 0; k < chain.size(); ++k) {
            const uint8_t* s = h + (uint64_t(chain[k]) + 1) * sectorSize_;
            if (s + sectorSize_ > h + bytes_.size())
                Damaged("the file ends inside the mini FAT");
            for (uint32_t i = 0; i < perSector; ++i)
                miniFat_[k * perSector + i] = U32(s + 4 * i);
        }
    }

    // The root storage's children: a red-black tree, walked without trusting
    // it to be one (a loop or a shared node is seen once).
    std::vector<bool> visited(entryCount_);
    std::vector<uint32_t> todo;
    todo.reserve(16);
    rootChildren_.reserve(8);
    if (U32(root + 0x4C) != kNoStream)
        todo.push_back(U32(root + 0x4C));
    while (!todo.empty()) {
        const uint32_t id = todo.back();
        todo.pop_back();
        if (id >= entryCount_)
            Damaged("a directory entry points to entry " + std::to_string(id) + " of " + std::to_string(entryCount_));
        if (visited[id])
            Damaged("the directory tree loops");
        visited[id] = true;
        const uint8_t* e = Entry(id);
        if (e[0x42] == 2)
            rootChildren_.push_back(int(id));
        for (uint32_t link : {U32(e + 0x44), U32(e + 0x48)})
            if (link != kNoStream)
                todo.push_back(link);
    }
}

const uint8_t* CompoundFile::Entry(uint32_t id) const
{
    const uint32_t per = sectorSize_ / kEntrySize;
    return bytes_.data() + (uint64_t(dirSectors_[id / per]) + 1) * sectorSize_ + (id % per) * kEntrySize;
}

std::vector<uint32_t> CompoundFile::Chain(uint32_t start, size_t need, bool toEnd, const char* what) const
{
    std::vector<uint32_t> chain;
    chain.reserve(std::min<size_t>(toEnd ? 8 : need, sectorCount_));  // one allocation for most chains
    uint32_t sec = start;
    // Past the sectors needed the chain is still followed to its end: one
    // that loops makes the whole file suspect. A chain longer than the file
    // has sectors names one twice, and then it loops: the FAT is fixed.
    for (;;) {
        if (sec == kEndOfChain && (toEnd || chain.size() >= need))
            break;
        if (sec > kMaxRegSect && chain.size() >= need && !toEnd)
            break;
        if (sec == kEndOfChain)
            Damaged(std::string("the ") + what + " chain ends early");
        if (sec >= sectorCount_ || sec >= fat_.size())
            Damaged(std::string("the ") + what + " chain names sector " + std::to_string(sec) +
                    " past the end of the file");
        if (chain.size() >= sectorCount_)
            Damaged(std::string("the ") + what + " chain loops");
        chain.push_back(sec);
        sec = fat_[sec];
    }
    if (!toEnd)
        chain.resize(need);
    return chain;
}

int CompoundFile::FindStream(std::string_view name) const
{
    for (int id : rootChildren_) {
        const uint8_t* e = Entry(uint32_t(id));
        const uint16_t len = U16(e + 0x40);
        if (len < 2 || len > 64 || len % 2 || size_t(len / 2 - 1) != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) {
            const uint16_t c = U16(e + 2 * i);
            same = c < 128 && AsciiLower(char(c)) == AsciiLower(name[i]);
        }
        if (same)
            return id;
    }
    return -1;
}

std::string CompoundFile::EntryName(int id) const
{
    const uint8_t* e = Entry(uint32_t(id));
    const uint16_t len = std::min<uint16_t>(U16(e + 0x40), 64);
    std::string name;
    for (size_t i = 0; i + 1 < len / 2u; ++i) {
        const uint16_t c = U16(e + 2 * i);
        name += c >= 32 && c < 127 ? char(c) : '?';
    }
    return name;
}

const uint8_t* CompoundFile::StreamData(int id, uint64_t& size, std::vector<uint8_t>& copy) const
{
    const uint8_t* e = Entry(uint32_t(id));
    const std::string name = EntryName(id);
    size = version4_ ? U64(e + 0x78) : U32(e + 0x78);  // version 3 leaves the high half undefined
    if (size > bytes_.size())
        Damaged("the " + name + " stream is larger than the file");
    copy.clear();
    if (size == 0)
        return bytes_.data();
    const uint32_t start = U32(e + 0x74);
    if (size >= miniCutoff_) {
        const std::vector<uint32_t> chain =
            Chain(start, size_t((size + sectorSize_ - 1) / sectorSize_), false, (name + " stream").c_str());
        const uint64_t first = (uint64_t(chain[0]) + 1) * sectorSize_;
        bool contiguous = true;
        for (size_t k = 1; k < chain.size() && contiguous; ++k)
            contiguous = chain[k] == chain[k - 1] + 1;
        if (contiguous) {
            if (first + size > bytes_.size())
                Damaged("the file ends inside the " + name + " stream");
            return bytes_.data() + first;
        }
        copy.resize(size);
        for (size_t k = 0; k < chain.size(); ++k) {
            const uint64_t at = (uint64_t(chain[k]) + 1) * sectorSize_;
            const size_t n = size_t(std::min<uint64_t>(sectorSize_, size - k * sectorSize_));
            if (at + n > bytes_.size())
                Damaged("the file ends inside the " + name + " stream");
            std::memcpy(copy.data() + k * sectorSize_, bytes_.data() + at, n);
        }
        return copy.data();
    }
    // A small stream lives in 64-byte sectors of the mini stream.
    if (!miniStreamRead_) {
        miniStream_ = Chain(U32(Entry(0) + 0x74), size_t((miniStreamSize_ + sectorSize_ - 1) / sectorSize_), false,
                            "mini stream");
        miniStreamRead_ = true;
    }
    const size_t need = size_t((size + kMiniSectorSize - 1) / kMiniSectorSize);
    std::vector<bool> seen(miniFat_.size());
    std::vector<uint32_t> chain;
    chain.reserve(need);
    uint32_t sec = start;
    bool contiguous = true;
    for (size_t k = 0; k < need; ++k) {
        if (sec >= miniFat_.size())
            Damaged("the " + name + " stream's mini sector chain names sector " + std::to_string(sec) +
                    " past the mini FAT");
        if (seen[sec])
            Damaged("the " + name + " stream's mini sector chain loops");
        seen[sec] = true;
        const uint64_t off = uint64_t(sec) * kMiniSectorSize;  // within the mini stream
        const size_t n = size_t(std::min<uint64_t>(kMiniSectorSize, size - k * kMiniSectorSize));
        if (off + n > miniStreamSize_)
            Damaged("the " + name + " stream lies past the end of the mini stream");
        const uint64_t at = (uint64_t(miniStream_[off / sectorSize_]) + 1) * sectorSize_ + off % sectorSize_;
        if (at + n > bytes_.size())
            Damaged("the file ends inside the mini stream");
        contiguous = contiguous && (k == 0 || sec == chain.back() + 1);
        chain.push_back(sec);
        sec = miniFat_[sec];
    }
    for (; sec < miniFat_.size(); sec = miniFat_[sec]) {
        if (seen[sec])
            Damaged("the " + name + " stream's mini sector chain loops");
        seen[sec] = true;
    }
    auto fileOffset = [&](uint32_t mini) {
        const uint64_t off = uint64_t(mini) * kMiniSectorSize;
        return (uint64_t(miniStream_[off / sectorSize_]) + 1) * sectorSize_ + off % sectorSize_;
    };
    // Mini sectors in a row over regular sectors in a row (as writers leave
    // them) are read in place.
    const uint64_t first = fileOffset(chain[0]);
    for (size_t k = 1; k < need && contiguous; ++k)
        contiguous = fileOffset(chain[k]) == first + k * kMiniSectorSize;
    if (contiguous)
        return bytes_.data() + first;
    copy.resize(size);
    for (size_t k = 0; k < need; ++k)
        std::memcpy(copy.data() + k * kMiniSectorSize, bytes_.data() + fileOffset(chain[k]),
                    size_t(std::min<uint64_t>(kMiniSectorSize, size - k * kMiniSectorSize)));
    return copy.data();
}

CompoundStream::CompoundStream(const std::string& path, std::initializer_list<std::string_view> names) : file_(path)
{
    Open(path, names);
}

CompoundStream::CompoundStream(const std::string& path, std::unique_ptr<char[]> bytes, size_t size,
                               std::initializer_list<std::string_view> names)
    : file_(path, std::move(bytes), size)
{
    Open(path, names);
}

void CompoundStream::Open(const std::string& path, std::initializer_list<std::string_view> names)
{
    int id = -1;
    for (std::string_view want : names)
        if ((id = file_.FindStream(want)) >= 0)
            break;
    if (id < 0) {
        // A password-protected .xlsx is a compound file that holds the
        // encrypted package and how it was encrypted.
        if (file_.HasStream("EncryptionInfo") && file_.HasStream("EncryptedPackage"))
            throw Error(path + ": the workbook is encrypted (protected by a password to open); "
                               "save it without that password to read it");
        std::string wanted;
        for (std::string_view n : names)
            wanted += (wanted.empty() ? "\"" : " or \"") + std::string(n) + "\"";
        throw Error(path + ": the compound file holds no " + wanted + " stream");
    }
    name_ = file_.EntryName(id);
    data_ = file_.StreamData(id, size_, copy_);
}

CompoundStream::~CompoundStream() = default;

bool CompoundHasStream(const std::string& path, std::string_view name)
{
    return CompoundFile(path).HasStream(name);
}

}  // namespace wb::detail
