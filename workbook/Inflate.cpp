// Raw deflate decoding. A table entry is one 32-bit word: bits 0-4 the code
// bits to drop at its level, bits 8-11 the extra bits of a length or
// distance (or the index bits of a second-level table), bits 12-15 its kind,
// bits 16-31 its value (literal byte, length or distance base, or where the
// second-level table starts).
#include "workbook/Inflate.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace wb::detail {

namespace {

constexpr uint32_t kLiteral = 0, kBase = 0x1000, kEnd = 0x2000, kSub = 0x4000, kBad = 0x8000;
constexpr uint32_t kKind = 0xF000;
// A symbol of the fast loop writes at most this far: the longest match,
// copied in whole words.
constexpr size_t kFastRoom = Inflater::kOverrun;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the code lengths' own code lengths.
constexpr uint8_t kPreOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// What each symbol of an alphabet decodes to, less its code length.
struct Results {
    uint32_t lit[288]{}, dist[32]{}, pre[19]{};
    constexpr Results()
    {
        for (uint32_t s = 0; s < 256; ++s)
            lit[s] = kLiteral | s << 16;
        lit[256] = kEnd;
        for (uint32_t s = 257; s < 286; ++s)
            lit[s] = kBase | uint32_t(kLengthBase[s - 257]) << 16 | uint32_t(kLengthExtra[s - 257]) << 8;
        lit[286] = lit[287] = kBad;
        for (uint32_t s = 0; s < 30; ++s)
            dist[s] = kBase | uint32_t(kDistBase[s]) << 16 | uint32_t(kDistExtra[s]) << 8;
        dist[30] = dist[31] = kBad;
        for (uint32_t s = 0; s < 19; ++s)
            pre[s] = s << 16;
    }
};
constexpr Results kResults;

constexpr unsigned HighestBit(unsigned x)
{
    return 31u - unsigned(__builtin_clz(x));
}

// The decode table of the code given by `lens` (n symbols), at most
// `tableBits` at the first level; returns how many it used (the longest
// code's length, if shorter: a small table is quicker to fill), or 0 when
// the lengths give no usable code. As zlib's
// inflate, a code may be incomplete only when it is one code of one bit
// (the other bit pattern is then invalid), or have no codes at all (each
// pattern invalid); the code lengths' own code must otherwise be complete.
// `size` is the table's room.
unsigned Build(const uint8_t* lens, unsigned n, const uint32_t* results, uint32_t* table, unsigned tableBits,
               size_t size, bool codeLengths)
{
    unsigned count[16] = {};
    for (unsigned s = 0; s < n; ++s)
        ++count[lens[s]];
    count[0] = 0;
    unsigned maxLen = 15;
    while (maxLen > 0 && count[maxLen] == 0)
        --maxLen;
    if (maxLen == 0) {
        // As zlib: every pattern of an empty code is invalid, but the code
        // lengths' own code reads each as a length of 0 from one bit, so
        // the block fails later, with zlib's message.
        table[0] = table[1] = (codeLengths ? results[0] : kBad) | 1;
        return 1;
    }
    tableBits = std::min(tableBits, maxLen);
    const size_t rootSize = size_t(1) << tableBits;
    int left = 1;
    for (unsigned len = 1; len <= 15; ++len) {
        left = left * 2 - int(count[len]);
        if (left < 0)
            return 0;  // over-subscribed
    }
    if (left > 0 && (codeLengths || maxLen != 1))
        return 0;  // incomplete
    // The symbols sorted by code length, then by value: canonical order.
    unsigned offset[17];
    offset[1] = 0;
    for (unsigned len = 1; len < 16; ++len)
        offset[len + 1] = offset[len] + count[len];
    uint16_t sorted[288];
    for (unsigned s = 0; s < n; ++s)
        if (lens[s])
            sorted[offset[lens[s]]++] = uint16_t(s);
    const uint16_t* sym = sorted;

    // Codes up to tableBits long: each fills its entry of a table as big as
    // its length allows, and the table is doubled before the next length,
    // which replicates every shorter code's entry. `code` is the current
    // code bit-reversed, as the input gives its bits.
    unsigned len = 1;
    while (count[len] == 0)
        ++len;
    size_t end = size_t(1) << len;
    unsigned code = 0;
    if (left > 0) {
        // One code of one bit: 0 is its pattern, 1 is invalid.
        table[0] = results[sorted[0]] | 1;
        table[1] = kBad | 1;
        return 1;
    }
    while (len <= tableBits) {
        unsigned c = count[len];
        do {
            table[code] = results[*sym++] | len;
            if (code == end - 1) {  // all ones: the code is complete
                for (; end < rootSize; end *= 2)
                    std::memcpy(table + end, table, end * sizeof *table);
                return tableBits;
            }
            const unsigned bit = 1u << HighestBit(code ^ unsigned(end - 1));
            code = (code & (bit - 1)) | bit;
        } while (--c);
        do {
            if (++len <= tableBits) {
                std::memcpy(table + end, table, end * sizeof *table);
                end *= 2;
            }
        } while (count[len] == 0);
    }

    // Longer codes: the first tableBits bits lead to a second-level table
    // as long as the longest code under that prefix needs.
    const unsigned mask = (1u << tableBits) - 1;
    unsigned prefix = ~0u, subBits = 0;
    size_t start = 0;
    unsigned c = count[len];
    for (;;) {
        if ((code & mask) != prefix) {
            prefix = code & mask;
            start = end;
            subBits = len - tableBits;
            unsigned used = c;
            while (used < (1u << subBits)) {
                ++subBits;
                used = used * 2 + count[tableBits + subBits];
            }
            end = start + (size_t(1) << subBits);
            if (end > size)
                return 0;  // cannot happen for codes of up to 15 bits
            table[prefix] = uint32_t(start) << 16 | kSub | subBits << 8 | tableBits;
        }
        const uint32_t entry = results[*sym++] | (len - tableBits);
        const size_t stride = size_t(1) << (len - tableBits);
        for (size_t i = start + (code >> tableBits); i < end; i += stride)
            table[i] = entry;
        if (code == (1u << len) - 1)
            return tableBits;
        const unsigned bit = 1u << HighestBit(code ^ ((1u << len) - 1));
        code = (code & (bit - 1)) | bit;
        if (--c == 0) {
            do
                c = count[++len];
            while (c == 0);
        }
    }
}

// The fixed codes of block type 1, built once.
struct FixedTables {
    uint32_t lit[Inflater::kLitSize], dist[Inflater::kDistSize];
    unsigned litBits, distBits;
    FixedTables()
    {
        uint8_t lens[288];
        std::fill(lens, lens + 144, 8);
        std::fill(lens + 144, lens + 256, 9);
        std::fill(lens + 256, lens + 280, 7);
        std::fill(lens + 280, lens + 288, 8);
        litBits = Build(lens, 288, kResults.lit, lit, Inflater::kLitBits, Inflater::kLitSize, false);
        std::fill(lens, lens + 32, 5);
        distBits = Build(lens, 32, kResults.dist, dist, Inflater::kDistBits, Inflater::kDistSize, false);
    }
};

const FixedTables& Fixed()
{
    static const FixedTables tables;
    return tables;
}

// Parts of workbooks made from one form repeat their codes: the tables of
// the dynamic blocks a thread decoded last, by the bits of their headers
// (56 to a word). A table with a full first level may have second levels
// behind it.
constexpr unsigned kMaxHeaderBits = 14 + 19 * 3 + (286 + 30) * 7;
struct CachedCodes {
    unsigned headerBits = 0, litBits = 0, distBits = 0;  // no header: empty
    unsigned long long used = 0;                         // when last used
    uint64_t header[(kMaxHeaderBits + 55) / 56];
    uint32_t lit[Inflater::kLitSize], dist[Inflater::kDistSize];
};
constexpr size_t kCachedCodes = 8;
thread_local std::unique_ptr<CachedCodes[]> tCodes;
thread_local unsigned long long tCodesUsed = 0;

size_t TableSize(unsigned bits, unsigned maxBits, size_t size)
{
    return bits < maxBits ? size_t(1) << bits : size;
}

uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// Tops the bit buffer up to at least 56 bits from the 8 bytes at `in`, which
// the caller has checked are there; `in` moves past the whole bytes taken.
inline void Refill(uint64_t& bits, unsigned& count, const unsigned char*& in)
{
    bits |= Load64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;
}

// The next n input bits from the bit buffer (bits, count) and the bytes from
// `in`, 56 to a word, compared with `words`, or stored there when `store`;
// the state advances past them. False on a difference, or when fewer than 8
// bytes before `end` are left to load from.
bool WalkBits(uint64_t& bits, unsigned& count, const unsigned char*& in, const unsigned char* end, uint64_t* words,
              unsigned n, bool store)
{
    for (unsigned k = 0; n > 0; ++k) {
        if (count < 56) {
            if (end - in < 8)
                return false;
            Refill(bits, count, in);
        }
        const unsigned take = std::min(n, 56u);
        const uint64_t word = bits & ((uint64_t(1) << take) - 1);
        if (store)
            words[k] = word;
        else if (word != words[k])
            return false;
        bits >>= take;
        count -= take;
        n -= take;
    }
    return true;
}

}  // namespace

void Inflater::Reset(Source source, void* context)
{
    source_ = source;
    context_ = context;
    in_ = inEnd_ = nullptr;
    inputEnded_ = false;
    pieces_ = 0;
    bits_ = 0;
    count_ = 0;
    mode_ = Mode::Header;
    final_ = false;
    storedLeft_ = 0;
    pendLen_ = pendDist_ = 0;
    why_ = "";
}

// At least n (up to 57) bits in the buffer, unless the input ends first.
bool Inflater::Pull(unsigned n)
{
    while (count_ < n) {
        if (in_ == inEnd_) {
            if (inputEnded_)
                return false;
            const std::string_view piece = source_(context_);
            if (piece.empty()) {
                inputEnded_ = true;
                return false;
            }
            in_ = reinterpret_cast<const unsigned char*>(piece.data());
            inEnd_ = in_ + piece.size();
            ++pieces_;
        }
        bits_ |= uint64_t(*in_++) << count_;
        count_ += 8;
    }
    return true;
}

void Inflater::Need(unsigned n)
{
    if (!Pull(n))
        throw Fault{Status::Truncated, "its data ends early"};
}

// One symbol, bit by bit near the input's end.
uint32_t Inflater::DecodeSlow(const uint32_t* table, unsigned rootBits)
{
    Pull(15);
    uint32_t e = table[bits_ & ((1u << rootBits) - 1)];
    unsigned used = 0;
    if (e & kSub) {
        used = rootBits;
        e = table[(e >> 16) + ((bits_ >> rootBits) & ((1u << ((e >> 8) & 15)) - 1))];
    }
    used += e & 31;
    if (used > count_)
        throw Fault{Status::Truncated, "its data ends early"};
    Drop(used);
    return e;
}

void Inflater::ReadHeader()
{
    Need(3);
    final_ = bits_ & 1;
    const unsigned type = unsigned(bits_ >> 1) & 3;
    Drop(3);
    switch (type) {
    case 0: {
        Drop(count_ & 7);
        Need(32);
        const unsigned len = unsigned(bits_) & 0xFFFF, check = unsigned(bits_ >> 16) & 0xFFFF;
        Drop(32);
        if (len != (~check & 0xFFFF))
            throw Fault{Status::Damaged, "invalid stored block lengths"};
        storedLeft_ = len;
        mode_ = Mode::Stored;
        return;
    }
    case 1:
        lit_ = Fixed().lit;
        dist_ = Fixed().dist;
        litBits_ = Fixed().litBits;
        distBits_ = Fixed().distBits;
        mode_ = Mode::Codes;
        return;
    case 2:
        ReadDynamicCodes();
        mode_ = Mode::Codes;
        return;
    default:
        throw Fault{Status::Damaged, "invalid block type"};
    }
}

void Inflater::ReadDynamicCodes()
{
    if (!tCodes)
        tCodes = std::make_unique<CachedCodes[]>(kCachedCodes);
    const uint64_t startBits = bits_;
    const unsigned startCount = count_;
    const unsigned char* const startIn = in_;
    const unsigned startPieces = pieces_;
    CachedCodes* oldest = &tCodes[0];
    for (size_t k = 0; k < kCachedCodes; ++k) {
        CachedCodes& c = tCodes[k];
        uint64_t bits = startBits;
        unsigned count = startCount;
        const unsigned char* in = startIn;
        if (c.headerBits && WalkBits(bits, count, in, inEnd_, c.header, c.headerBits, false)) {
            bits_ = bits & ((uint64_t(1) << count) - 1);
            count_ = count;
            in_ = in;
            c.used = ++tCodesUsed;
            litBits_ = c.litBits;
            distBits_ = c.distBits;
            std::memcpy(litTable_, c.lit, TableSize(litBits_, kLitBits, kLitSize) * sizeof *c.lit);
            std::memcpy(distTable_, c.dist, TableSize(distBits_, kDistBits, kDistSize) * sizeof *c.dist);
            lit_ = litTable_;
            dist_ = distTable_;
            return;
        }
        if (c.used < oldest->used)
            oldest = &c;
    }
    Need(14);
    const unsigned nlit = 257 + (unsigned(bits_) & 31), ndist = 1 + (unsigned(bits_ >> 5) & 31),
                   npre = 4 + (unsigned(bits_ >> 10) & 15);
    Drop(14);
    if (nlit > 286 || ndist > 30)
        throw Fault{Status::Damaged, "too many length or distance symbols"};
    uint8_t lens[286 + 30] = {};
    Need(3 * npre);
    for (unsigned i = 0; i < npre; ++i)
        lens[kPreOrder[i]] = uint8_t((bits_ >> 3 * i) & 7);
    Drop(3 * npre);
    const unsigned preBits = Build(lens, 19, kResults.pre, preTable_, kPreBits, kPreSize, true);
    if (!preBits)
        throw Fault{Status::Damaged, "invalid code lengths set"};
    // The lengths, with the bit buffer in locals: a store to lens may alias
    // the members.
    const unsigned total = nlit + ndist;
    const uint32_t preMask = (1u << preBits) - 1;
    uint64_t bits = bits_;
    unsigned count = count_;
    for (unsigned i = 0; i < total;) {
        // A symbol and its repeat count take at most 7 + 7 bits.
        if (count < 14) {
            if (inEnd_ - in_ >= 8) {
                Refill(bits, count, in_);
            } else {
                bits_ = bits;
                count_ = count;
                Pull(14);
                bits = bits_;
                count = count_;
            }
        }
        const uint32_t e = preTable_[bits & preMask];
        unsigned used = e & 31;
        const unsigned sym = e >> 16;
        if (sym < 16) {
            if (used > count)
                throw Fault{Status::Truncated, "its data ends early"};
            bits >>= used;
            count -= used;
            lens[i++] = uint8_t(sym);
            continue;
        }
        static constexpr uint8_t kRepeatBits[3] = {2, 3, 7}, kRepeatBase[3] = {3, 3, 11};
        const unsigned extra = kRepeatBits[sym - 16];
        if (used > count)
            throw Fault{Status::Truncated, "its data ends early"};
        if (sym == 16 && i == 0)
            throw Fault{Status::Damaged, "invalid bit length repeat"};
        if (used + extra > count)
            throw Fault{Status::Truncated, "its data ends early"};
        const unsigned repeat = kRepeatBase[sym - 16] + unsigned((bits >> used) & ((1u << extra) - 1));
        used += extra;
        bits >>= used;
        count -= used;
        if (repeat > total - i)
            throw Fault{Status::Damaged, "invalid bit length repeat"};
        std::memset(lens + i, sym == 16 ? lens[i - 1] : 0, repeat);
        i += repeat;
    }
    // Only the counted bits: the bytes behind them are read again.
    bits_ = bits & ((uint64_t(1) << count) - 1);
    count_ = count;
    if (lens[256] == 0)
        throw Fault{Status::Damaged, "invalid code -- missing end-of-block"};
    litBits_ = Build(lens, nlit, kResults.lit, litTable_, kLitBits, kLitSize, false);
    if (!litBits_)
        throw Fault{Status::Damaged, "invalid literal/lengths set"};
    distBits_ = Build(lens + nlit, ndist, kResults.dist, distTable_, kDistBits, kDistSize, false);
    if (!distBits_)
        throw Fault{Status::Damaged, "invalid distances set"};
    lit_ = litTable_;
    dist_ = distTable_;
    // Kept when the header came in one piece of the input.
    CachedCodes& c = *oldest;
    c.headerBits = 0;
    if (pieces_ != startPieces)
        return;
    bits = startBits;
    count = startCount;
    const unsigned char* in = startIn;
    const unsigned headerBits = unsigned(in_ - startIn) * 8 + startCount - count_;
    if (!WalkBits(bits, count, in, inEnd_, c.header, headerBits, true))
        return;
    c.headerBits = headerBits;
    c.litBits = litBits_;
    c.distBits = distBits_;
    c.used = ++tCodesUsed;
    std::memcpy(c.lit, litTable_, TableSize(litBits_, kLitBits, kLitSize) * sizeof *c.lit);
    std::memcpy(c.dist, distTable_, TableSize(distBits_, kDistBits, kDistSize) * sizeof *c.dist);
}

// Symbols while at least 8 input bytes and kFastRoom output bytes are left
// (pos at most `limit`): one word load tops the bit buffer up to 56 bits,
// enough for a length and a distance with their extra bits. Returns the new
// pos; leaves at a block's end, with mode_ set, or before a symbol when the
// input or output runs short.
size_t Inflater::FastLoop(unsigned char* const out, size_t pos, size_t limit)
{
    const unsigned char* in = in_;
    const unsigned char* const inLimit = inEnd_ - 8;
    uint64_t bits = bits_;
    unsigned count = count_;
    const uint32_t* const lit = lit_;
    const uint32_t* const dist = dist_;
    const unsigned litBits = litBits_, distBits = distBits_;
    const uint32_t litMask = (1u << litBits) - 1, distMask = (1u << distBits) - 1;
    unsigned char* o = out + pos;
    unsigned char* const oLimit = out + limit;
    auto drop = [&](unsigned n) {
        bits >>= n;
        count -= n;
    };
    while (in <= inLimit && o <= oLimit) {
        Refill(bits, count, in);
        uint32_t e = lit[bits & litMask];
        if (e & kSub) {
            drop(litBits);
            e = lit[(e >> 16) + (bits & ((1u << ((e >> 8) & 15)) - 1))];
        }
        drop(e & 31);
        if ((e & kKind) == kLiteral) {
            *o++ = (unsigned char)(e >> 16);
            // Two more literals fit the bits left (at most 3 * 15 are used).
            e = lit[bits & litMask];
            if ((e & (kKind | kSub)) == kLiteral) {
                drop(e & 31);
                *o++ = (unsigned char)(e >> 16);
                e = lit[bits & litMask];
                if ((e & (kKind | kSub)) == kLiteral) {
                    drop(e & 31);
                    *o++ = (unsigned char)(e >> 16);
                }
            }
            continue;
        }
        if (!(e & kBase)) {
            if (!(e & kEnd))
                throw Fault{Status::Damaged, "invalid literal/length code"};
            mode_ = Mode::Header;
            break;
        }
        const unsigned length = (e >> 16) + unsigned(bits & ((1u << ((e >> 8) & 15)) - 1));
        drop((e >> 8) & 15);
        uint32_t d = dist[bits & distMask];
        if (d & kSub) {
            drop(distBits);
            d = dist[(d >> 16) + (bits & ((1u << ((d >> 8) & 15)) - 1))];
        }
        drop(d & 31);
        if (!(d & kBase))
            throw Fault{Status::Damaged, "invalid distance code"};
        const size_t distance = (d >> 16) + size_t(bits & ((1u << ((d >> 8) & 15)) - 1));
        drop((d >> 8) & 15);
        if (distance > size_t(o - out))
            throw Fault{Status::Damaged, "invalid distance too far back"};
        const unsigned char* from = o - distance;
        unsigned char* const stop = o + length;
        if (distance >= 8) {
            do {
                std::memcpy(o, from, 8);
                o += 8;
                from += 8;
            } while (o < stop);
        } else if (distance == 1) {
            std::memset(o, *from, length);
        } else {
            do
                *o++ = *from++;
            while (o < stop);
        }
        o = stop;
    }
    // Keep only the counted bits: the bytes behind them are read again.
    bits_ = bits & ((uint64_t(1) << count) - 1);
    count_ = count;
    in_ = in;
    return size_t(o - out);
}

Inflater::Status Inflater::Inflate(unsigned char* out, size_t& pos, size_t end, size_t room, bool last)
{
    try {
        for (;;) {
            switch (mode_) {
            case Mode::Done:
                return Status::Done;
            case Mode::Header:
                if (final_) {
                    mode_ = Mode::Done;
                    return Status::Done;
                }
                ReadHeader();
                break;
            case Mode::Stored:
                while (storedLeft_ > 0) {
                    if (pos >= end)
                        return last ? Status::TooLong : Status::Full;
                    if (count_ >= 8) {  // whole bytes left in the bit buffer
                        out[pos++] = (unsigned char)bits_;
                        Drop(8);
                        --storedLeft_;
                        continue;
                    }
                    if (in_ == inEnd_ && !Pull(8))
                        throw Fault{Status::Truncated, "its data ends early"};
                    if (count_ >= 8)
                        continue;
                    const size_t n = std::min({storedLeft_, end - pos, size_t(inEnd_ - in_)});
                    std::memcpy(out + pos, in_, n);
                    in_ += n;
                    pos += n;
                    storedLeft_ -= n;
                }
                mode_ = Mode::Header;
                break;
            case Mode::Codes: {
                // The rest of a match cut off by a full output.
                while (pendLen_ > 0) {
                    if (pos >= end)
                        return last ? Status::TooLong : Status::Full;
                    out[pos] = out[pos - pendDist_];
                    ++pos;
                    --pendLen_;
                }
                if (room >= kFastRoom && inEnd_ - in_ >= 8) {
                    pos = FastLoop(out, pos, std::min(end, room - kFastRoom));
                    if (pos > end)
                        return Status::TooLong;
                    if (mode_ != Mode::Codes)
                        break;
                }
                if (pos >= end && !last)
                    return Status::Full;
                const uint32_t e = DecodeSlow(lit_, litBits_);
                if ((e & kKind) == kLiteral) {
                    if (pos >= end)
                        return Status::TooLong;
                    out[pos++] = (unsigned char)(e >> 16);
                    break;
                }
                if (e & kEnd) {
                    mode_ = Mode::Header;
                    break;
                }
                if (!(e & kBase))
                    throw Fault{Status::Damaged, "invalid literal/length code"};
                const unsigned extra = (e >> 8) & 15;
                Need(extra);
                const unsigned length = (e >> 16) + unsigned(bits_ & ((1u << extra) - 1));
                Drop(extra);
                const uint32_t d = DecodeSlow(dist_, distBits_);
                if (!(d & kBase))
                    throw Fault{Status::Damaged, "invalid distance code"};
                const unsigned dExtra = (d >> 8) & 15;
                Need(dExtra);
                const unsigned distance = (d >> 16) + unsigned(bits_ & ((1u << dExtra) - 1));
                Drop(dExtra);
                if (distance > pos)
                    throw Fault{Status::Damaged, "invalid distance too far back"};
                pendLen_ = length;
                pendDist_ = distance;
                break;
            }
            }
        }
    } catch (const Fault& f) {
        why_ = f.why;
        mode_ = Mode::Done;
        return f.status;
    }
}

}  // namespace wb::detail
