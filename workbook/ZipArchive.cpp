// Zip member reading: the central directory parsed by hand, members inflated
// by Inflater.
#include "workbook/ZipArchive.h"

#include "workbook/Workbook.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace wb::detail {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50, kCentralSig = 0x02014b50, kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50, kLocator64Sig = 0x07064b50;
constexpr size_t kEndSize = 22, kCentralSize = 46, kLocalSize = 30;
// A directory bigger than this is no workbook's (a package has a few dozen parts).
constexpr unsigned long long kMaxDirectory = 64ULL << 20;
// Stored bytes read from the file at a time, when it is not in memory.
constexpr size_t kFileChunk = size_t(64) << 10;

uint16_t U16(const char* p)
{
    return uint16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8);
}
uint32_t U32(const char* p)
{
    return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16;
}
unsigned long long U64(const char* p)
{
    return U32(p) | (unsigned long long)U32(p + 4) << 32;
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

#if defined(__x86_64__)
// The CRC register (inverted) after n bytes at p, n at least 64 and a
// multiple of 16: four lanes of 16 bytes fold 64 bytes per step, are folded
// into one, and a Barrett reduction gives the 32-bit remainder. The
// constants are powers of x modulo the reflected CRC-32 polynomial, as
// Intel's paper on CRC computation with PCLMULQDQ derives them.
__m128i Load(const unsigned char* q)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x * k folded onto the next 16 bytes `next`.
__attribute__((target("pclmul"))) __m128i Fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul"))) uint32_t FoldCrc(uint32_t crc, const unsigned char* p, size_t n)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(crc)));
    __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; p += 64, n -= 64) {
        x1 = Fold(x1, k1k2, Load(p));
        x2 = Fold(x2, k1k2, Load(p + 16));
        x3 = Fold(x3, k1k2, Load(p + 32));
        x4 = Fold(x4, k1k2, Load(p + 48));
    }
    x1 = Fold(x1, k3k4, x2);
    x1 = Fold(x1, k3k4, x3);
    x1 = Fold(x1, k3k4, x4);
    for (; n >= 16; p += 16, n -= 16)
        x1 = Fold(x1, k3k4, Load(p));
    // 128 bits to 64, then to 32 by Barrett reduction.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}
#endif

// A part the caller reads in pieces is inflated through a window: the last
// 32 KiB that matches may copy from, and a slice for the bytes not yet
// handed out. Its size bounds the memory a part of any size takes.
constexpr size_t kHistory = size_t(32) << 10, kWindow = kHistory + (size_t(64) << 10);

// Inflaters (about 11 KiB of tables each) and windows kept per thread
// between members: a run of workbooks allocates them once.
struct InflaterPool {
    std::vector<std::unique_ptr<Inflater>> inflaters;
    std::vector<std::unique_ptr<unsigned char[]>> windows;
};
thread_local InflaterPool tInflaters;

// One kept from the pool, else a new one.
template <class P, class Make>
P Take(std::vector<P>& pool, Make make)
{
    if (pool.empty())
        return make();
    P p = std::move(pool.back());
    pool.pop_back();
    return p;
}

// Back to the pool, which keeps a few.
template <class P>
void GiveBack(std::vector<P>& pool, P& p)
{
    if (p && pool.size() < 4)
        pool.push_back(std::move(p));
}

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t n)
{
    const auto* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
    // Asked of the processor here, on the first use: __builtin_cpu_supports
    // would bring in the compiler runtime's start-up probe of every feature,
    // some tens of microseconds of each glean start in a virtual machine.
    static const bool clmul = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) != 0;
    }();
    if (clmul && n >= 64) {
        const size_t bulk = n & ~size_t(15);
        crc = ~FoldCrc(~crc, p, bulk);
        p += bulk;
        n -= bulk;
    }
#endif
    // The rest, and everything on other processors, as zlib computes it.
    while (n > 0) {
        const uInt piece = uInt(std::min<size_t>(n, 1u << 30));
        crc = uint32_t(crc32(crc, p, piece));
        p += piece;
        n -= piece;
    }
    return crc;
}

ZipArchive::ZipArchive(std::string path) : path_(std::move(path))
{
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw Error("cannot open " + path_ + ": " + std::strerror(errno));
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw Error("cannot read " + path_ + ": not a regular file");
    }
    fileSize_ = (unsigned long long)st.st_size;
    try {
        ReadDirectory();
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

ZipArchive::ZipArchive(std::string path, std::string bytes) : path_(std::move(path)), bytes_(std::move(bytes))
{
    fileSize_ = bytes_.size();
    ReadDirectory();
}

ZipArchive::~ZipArchive()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void ZipArchive::Damaged(const std::string& why) const
{
    throw Error(path_ + ": damaged zip package (" + why + ")");
}

std::string_view ZipArchive::At(unsigned long long offset, size_t n, std::string& scratch) const
{
    if (offset > fileSize_ || n > fileSize_ - offset)
        Damaged("data past the end of the file");
    if (fd_ < 0)
        return std::string_view(bytes_.data() + offset, n);
    scratch.resize(n);
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd_, scratch.data() + got, n - got, off_t(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            throw Error("cannot read " + path_ + ": " + (r < 0 ? std::strerror(errno) : "file shrank while read"));
        got += size_t(r);
    }
    return scratch;
}

void ZipArchive::ReadDirectory()
{
    std::string scratch;
    if (fileSize_ < kEndSize)
        Damaged("not a zip archive");
    // The end record, behind which only its comment (up to 64 KiB) may stand.
    const size_t tail = size_t(std::min<unsigned long long>(fileSize_, kEndSize + 0xFFFF));
    const std::string_view t = At(fileSize_ - tail, tail, scratch);
    size_t end = std::string_view::npos;
    for (size_t i = tail - kEndSize + 1; i-- > 0;)
        if (t[i] == 'P' && U32(t.data() + i) == kEndSig) {
            end = i;
            break;
        }
    if (end == std::string_view::npos)
        Damaged("not a zip archive");
    const char* e = t.data() + end;
    const unsigned long long endAt = fileSize_ - tail + end;
    unsigned long long count = U16(e + 10), size = U32(e + 12), offset = U32(e + 16);
    if (U16(e + 4) != 0 || U16(e + 6) != 0)
        Damaged("archives split over several disks are not supported");
    if (count == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF) {
        // Zip64: the locator stands right before the end record.
        if (endAt < 20)
            Damaged("zip64 locator missing");
        std::string s2;
        const std::string_view loc = At(endAt - 20, 20, s2);
        if (U32(loc.data()) == kLocator64Sig) {
            const std::string_view e64 = At(U64(loc.data() + 8), 56, s2);
            if (U32(e64.data()) != kEnd64Sig)
                Damaged("zip64 end record missing");
            count = U64(e64.data() + 32);
            size = U64(e64.data() + 40);
            offset = U64(e64.data() + 48);
        }
    }
    if (size > kMaxDirectory || count > size / kCentralSize)
        Damaged("bad central directory size");
    const std::string_view dir = At(offset, size_t(size), scratch);
    entries_.reserve(size_t(count));
    size_t p = 0;
    for (unsigned long long i = 0; i < count; ++i) {
        if (dir.size() - p < kCentralSize || U32(dir.data() + p) != kCentralSig)
            Damaged("bad central directory entry");
        const char* c = dir.data() + p;
        const size_t nameLen = U16(c + 28), extraLen = U16(c + 30), commentLen = U16(c + 32);
        if (dir.size() - p - kCentralSize < nameLen + extraLen + commentLen)
            Damaged("bad central directory entry");
        Entry en;
        en.flags = U16(c + 8);
        en.method = U16(c + 10);
        en.crc = U32(c + 16);
        en.stored = U32(c + 20);
        en.size = U32(c + 24);
        en.header = U32(c + 42);
        en.name.assign(c + kCentralSize, nameLen);
        // Zip64 sizes and offset, each present only when its field above is full.
        const char* x = c + kCentralSize + nameLen;
        for (size_t k = 0; k + 4 <= extraLen;) {
            const uint16_t id = U16(x + k), len = U16(x + k + 2);
            if (k + 4 + len > extraLen)
                break;
            if (id == 0x0001) {
                const char* f = x + k + 4;
                size_t left = len;
                auto take = [&](unsigned long long& v) {
                    if (v == 0xFFFFFFFF && left >= 8) {
                        v = U64(f);
                        f += 8;
                        left -= 8;
                    }
                };
                take(en.size);
                take(en.stored);
                take(en.header);
            }
            k += 4 + len;
        }
        entries_.push_back(std::move(en));
        p += kCentralSize + nameLen + extraLen + commentLen;
    }
}

long long ZipArchive::Locate(std::string_view name) const
{
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].name == name)
            return (long long)i;
    // Part names are case-insensitive in packages.
    for (size_t i = 0; i < entries_.size(); ++i)
        if (SameNoCase(entries_[i].name, name))
            return (long long)i;
    return -1;
}

bool ZipArchive::Has(const std::string& name) const
{
    return Locate(name) >= 0;
}

ZipMember::ZipMember(const ZipArchive& zip, std::string name, size_t entry, size_t limit)
    : zip_(zip), name_(std::move(name)), entry_(entry), limit_(limit)
{
    const ZipArchive::Entry& e = zip_.entries_[entry_];
    if (e.method == 8) {
        inflater_ = Take(tInflaters.inflaters, [] { return std::make_unique<Inflater>(); });
        inflater_->Reset([](void* self) { return static_cast<ZipMember*>(self)->Input(); }, this);
    }
    done_ = e.stored == 0 && e.method == 0;
    if (done_ && e.size != 0)
        Fail("damaged part (shorter than its stored size)");
}

ZipMember::~ZipMember()
{
    GiveBack(tInflaters.inflaters, inflater_);
    GiveBack(tInflaters.windows, window_);
}

void ZipMember::Fail(const std::string& why) const
{
    throw Error(zip_.Path() + ": " + name_ + ": " + why);
}

void ZipMember::Refuse(Inflater::Status status) const
{
    if (status == Inflater::Status::TooLong)
        Fail("part larger than its stored size (" + std::to_string(zip_.entries_[entry_].size) + " bytes)");
    if (status == Inflater::Status::Truncated)
        Fail("damaged part (its data ends early)");
    Fail(std::string("damaged part (") + inflater_->Why() + ")");
}

std::string_view ZipMember::Input()
{
    const ZipArchive::Entry& e = zip_.entries_[entry_];
    const unsigned long long left = e.stored - inPos_;
    const size_t n = zip_.fd_ < 0 ? size_t(left) : size_t(std::min<unsigned long long>(left, kFileChunk));
    const std::string_view in = zip_.At(e.data + inPos_, n, chunk_);
    inPos_ += n;
    return in;
}

void ZipMember::InflateMore()
{
    const unsigned long long size = zip_.entries_[entry_].size;
    if (!window_)
        window_ = Take(tInflaters.windows, [] {
            return std::unique_ptr<unsigned char[]>(new unsigned char[kWindow + Inflater::kOverrun]);
        });
    while (winOut_ == winPos_ && !ended_) {
        if (winPos_ == kWindow) {
            std::memmove(window_.get(), window_.get() + kWindow - kHistory, kHistory);
            winStart_ += kWindow - kHistory;
            winPos_ = winOut_ = kHistory;
        }
        // The window's end, or the part's stored size if that comes first:
        // inflating past it is damage.
        const size_t end = size_t(std::min<unsigned long long>(kWindow, size - winStart_));
        const bool last = winStart_ + end == size;
        const Inflater::Status status =
            inflater_->Inflate(window_.get(), winPos_, end, last ? kWindow + Inflater::kOverrun : end, last);
        if (status == Inflater::Status::Done)
            ended_ = true;
        else if (status != Inflater::Status::Full)
            Refuse(status);
    }
}

size_t ZipMember::Read(char* dst, size_t n)
{
    if (done_ || n == 0)
        return 0;
    const ZipArchive::Entry& e = zip_.entries_[entry_];
    n = std::min<size_t>(n, 1u << 30);
    size_t got = 0;
    if (!inflater_) {
        const std::string_view in =
            zip_.At(e.data + inPos_, size_t(std::min<unsigned long long>(n, e.stored - inPos_)), chunk_);
        std::memcpy(dst, in.data(), in.size());
        inPos_ += in.size();
        got = in.size();
        done_ = inPos_ == e.stored;
    } else if (!window_ && used_ == 0 && n >= e.size) {
        // The whole part fits the caller's buffer: inflated straight into it.
        size_t pos = 0;
        const Inflater::Status status =
            inflater_->Inflate(reinterpret_cast<unsigned char*>(dst), pos, size_t(e.size), n, true);
        if (status != Inflater::Status::Done)
            Refuse(status);
        got = pos;
        done_ = true;
    } else {
        if (winOut_ == winPos_)
            InflateMore();
        got = std::min(n, winPos_ - winOut_);
        std::memcpy(dst, window_.get() + winOut_, got);
        winOut_ += got;
        done_ = ended_ && winOut_ == winPos_;
    }
    crc_ = Crc32(crc_, dst, got);
    used_ += got;
    // More than the stored size is damage; stopping here also keeps a bomb
    // with a small stated size from inflating up to the bound.
    if (used_ > e.size)
        Refuse(Inflater::Status::TooLong);
    if (used_ > limit_)
        Fail("part inflates beyond " + std::to_string(limit_) + " bytes");
    if (done_) {
        if (used_ != e.size)
            Fail("damaged part (shorter than its stored size)");
        if (crc_ != e.crc)
            Fail("damaged part (CRC error)");
    }
    return got;
}

std::unique_ptr<ZipMember> ZipArchive::Open(const std::string& name, size_t limit) const
{
    const long long index = Locate(name);
    if (index < 0)
        return nullptr;
    const Entry& e = entries_[size_t(index)];
    auto where = [&] { return path_ + ": " + name; };
    if (e.size > limit)
        throw Error(where() + ": part too large (" + std::to_string(e.size) + " bytes, more than the limit of " +
                    std::to_string(limit) + ")");
    if (e.flags & 1)
        throw Error(where() + ": cannot open the part (it is encrypted)");
    if (e.method != 0 && e.method != 8)
        throw Error(where() + ": cannot open the part (compression method " + std::to_string(e.method) +
                    " not supported)");
    if (e.method == 0 && e.stored != e.size)
        throw Error(where() + ": damaged part (stored sizes differ)");
    if (e.data == 0) {
        std::string scratch;
        const std::string_view h = At(e.header, kLocalSize, scratch);
        if (U32(h.data()) != kLocalSig)
            Damaged("bad local header of " + name);
        e.data = e.header + kLocalSize + U16(h.data() + 26) + U16(h.data() + 28);
    }
    if (e.data > fileSize_ || e.stored > fileSize_ - e.data)
        Damaged("the data of " + name + " runs past the end of the file");
    return std::unique_ptr<ZipMember>(new ZipMember(*this, name, size_t(index), limit));
}

std::optional<std::string> ZipArchive::Read(const std::string& name, size_t limit) const
{
    auto member = Open(name, limit);
    if (!member)
        return std::nullopt;
    std::string data;
    size_t used = 0;
    // The stored size may lie: grow as the bytes come.
    data.resize(std::min(limit, size_t(1) << 16) + 1);
    for (;;) {
        if (used == data.size())
            data.resize(std::min(limit + 1, data.size() * 2));
        const size_t got = member->Read(data.data() + used, data.size() - used);
        if (got == 0)
            break;
        used += got;
    }
    data.resize(used);
    return data;
}

std::string ZipArchive::ReadRequired(const std::string& name, size_t limit) const
{
    auto data = Read(name, limit);
    if (!data)
        throw Error(path_ + ": the part " + name + " is missing");
    return std::move(*data);
}

}  // namespace wb::detail
