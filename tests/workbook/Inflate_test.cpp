// Our raw inflate against zlib's: the same bytes for what zlib's deflate
// writes at every level and strategy, and a refusal for each kind of damage,
// inflated whole, with the input in small pieces, and as a zip member read
// in pieces (which goes through the sliding window for big parts).
#include "tests/workbook/InflateCheck.h"
#include "tests/workbook/Json.h"

#include <gtest/gtest.h>

#include <random>

using wb::detail::Inflater;

namespace {

std::string Deflate(const std::string& data, int level, int strategy)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
    std::string out(deflateBound(&z, uLong(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// Text like a sheet's, with numbers that vary.
std::string SheetLike(size_t n, std::mt19937& rng)
{
    std::string s;
    for (int row = 1; s.size() < n; ++row)
        s += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) + "\" s=\"" +
             std::to_string(rng() % 7) + "\"><v>" + std::to_string(rng() % 100000) + "</v></c></row>";
    s.resize(n);
    return s;
}

// Bits in deflate's order: fields lowest bit first, Huffman codes highest first.
struct Bits {
    std::string bytes;
    unsigned used = 0;
    Bits& Put(uint32_t value, unsigned n)
    {
        for (unsigned i = 0; i < n; ++i, ++used) {
            if (used % 8 == 0)
                bytes += '\0';
            bytes.back() = char(bytes.back() | ((value >> i) & 1) << (used % 8));
        }
        return *this;
    }
    Bits& Code(uint32_t code, unsigned len)
    {
        for (unsigned i = len; i-- > 0;)
            Put(code >> i, 1);
        return *this;
    }
    // A symbol of the fixed codes.
    Bits& Fixed(unsigned sym)
    {
        if (sym < 144)
            return Code(0x30 + sym, 8);
        if (sym < 256)
            return Code(0x190 + sym - 144, 9);
        if (sym < 280)
            return Code(sym - 256, 7);
        return Code(0xC0 + sym - 280, 8);
    }
};

// Canonical codes of the given lengths.
std::vector<uint32_t> Canonical(const std::vector<int>& lens)
{
    std::vector<uint32_t> codes(lens.size());
    uint32_t code = 0;
    for (int len = 1; len <= 15; ++len) {
        for (size_t s = 0; s < lens.size(); ++s)
            if (lens[s] == len)
                codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

// A dynamic block's header. The code lengths' code gives 0, 1, 2, 3, 5 and
// the repeats 16, 17, 18 three bits each (unless `pre` replaces it); `lens`
// is the sequence of code length symbols with their repeat counts, as
// {symbol, extra} pairs.
struct Header {
    int nlit = 257, ndist = 1;
    std::vector<int> pre = {3, 3, 3, 3, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3};
    std::vector<std::pair<int, int>> lens;
};

void PutHeader(Bits& b, bool final, const Header& h)
{
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    b.Put(final, 1).Put(2, 2).Put(uint32_t(h.nlit - 257), 5).Put(uint32_t(h.ndist - 1), 5).Put(15, 4);
    for (int sym : order)
        b.Put(uint32_t(h.pre[size_t(sym)]), 3);
    const std::vector<uint32_t> codes = Canonical(h.pre);
    for (auto [sym, extra] : h.lens) {
        b.Code(codes[size_t(sym)], unsigned(h.pre[size_t(sym)]));
        if (sym == 16)
            b.Put(uint32_t(extra - 3), 2);
        else if (sym == 17)
            b.Put(uint32_t(extra - 3), 3);
        else if (sym == 18)
            b.Put(uint32_t(extra - 11), 7);
    }
}

// Code length symbols for `lens`: zeros as repeats, the rest one by one.
std::vector<std::pair<int, int>> LengthSymbols(const std::vector<int>& lens)
{
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < lens.size();) {
        size_t run = 0;
        while (i + run < lens.size() && lens[i + run] == 0 && run < 138)
            ++run;
        if (run >= 11)
            out.push_back({18, int(run)});
        else if (run >= 3)
            out.push_back({17, int(run)});
        else {
            out.push_back({lens[i], 0});
            run = 1;
        }
        i += run;
    }
    return out;
}

// Literal/length lengths: each {symbol, length} given, the rest 0.
std::vector<int> Lengths(size_t n, std::initializer_list<std::pair<int, int>> set)
{
    std::vector<int> lens(n, 0);
    for (auto [sym, len] : set)
        lens[size_t(sym)] = len;
    return lens;
}

Header Dynamic(const std::vector<int>& lit, const std::vector<int>& dist)
{
    Header h;
    h.nlit = int(lit.size());
    h.ndist = int(dist.size());
    std::vector<int> all = lit;
    all.insert(all.end(), dist.begin(), dist.end());
    h.lens = LengthSymbols(all);
    return h;
}

}  // namespace

TEST(Inflate, AgreesWithZlibOnEveryLevelAndStrategy)
{
    std::mt19937 rng(1951);
    std::string random(40000, '\0');
    for (char& c : random)
        c = char(rng());
    const std::string sheet = SheetLike(1 << 20, rng);
    const struct {
        const char* what;
        std::string data;
    } inputs[] = {
        {"nothing", ""},
        {"one byte", "x"},
        {"runs of 258 and more", std::string(258, 'a') + std::string(259, 'b') + std::string(258 * 5, 'c')},
        // Random bytes are stored or coded literally; the second copy lies
        // more than 32 KiB back only in part.
        {"back references past 32 KiB", random + random.substr(0, 20000) + random},
        {"one MiB of sheet text", sheet},
    };
    const struct {
        const char* name;
        int strategy;
    } strategies[] = {{"default", Z_DEFAULT_STRATEGY},
                      {"filtered", Z_FILTERED},
                      {"huffman only", Z_HUFFMAN_ONLY},
                      {"rle", Z_RLE},
                      {"fixed", Z_FIXED}};
    const std::string path = testjson::TempPath(".zip");
    for (const auto& input : inputs)
        for (const auto& s : strategies)
            for (int level = 0; level <= 9; ++level) {
                SCOPED_TRACE(std::string(input.what) + ", " + s.name + ", level " + std::to_string(level));
                const std::string deflated = Deflate(input.data, level, s.strategy);
                const size_t n = input.data.size();
                ASSERT_EQ(inflatecheck::Zlib(deflated, n), input.data);
                EXPECT_EQ(inflatecheck::Ours(deflated, n, n), input.data);
                // Room to spare for the fast loop's word copies, and the
                // input in pieces that cut symbols and stored blocks.
                EXPECT_EQ(inflatecheck::Ours(deflated, n, n + 4096, 7), input.data);
                const uint32_t crc = testjson::Crc32(input.data);
                const bool big = n > 100000;
                if (big && level % 3 != 0)
                    continue;  // the window's paths, on fewer big cases
                EXPECT_EQ(inflatecheck::Member(deflated, n, crc, 1000, path, true), input.data);
                EXPECT_EQ(inflatecheck::Member(deflated, n, crc, 65536, path, false), input.data);
                EXPECT_EQ(inflatecheck::Member(deflated, n, crc, n + 1, path, true), input.data);
            }
}

TEST(Inflate, RefusesEveryKindOfDamage)
{
    // A valid dynamic block: 'a' and the block's end one bit each, one
    // distance code of one bit (one code may stand alone).
    const std::vector<int> aEnd = Lengths(257, {{'a', 1}, {256, 1}});
    const std::vector<int> aEndLength = Lengths(258, {{'a', 1}, {256, 2}, {257, 2}});
    auto block = [](const Header& h, const std::string& body = "\x01") {
        Bits b;
        PutHeader(b, true, h);
        for (char c : body)
            b.Put(uint32_t(c), 1);  // one-bit codes: 0 'a', 1 the end
        return b.bytes;
    };
    auto withLens = [](std::vector<std::pair<int, int>> lens) {
        Header h;
        h.lens = std::move(lens);
        return h;
    };
    Header overPre = Dynamic(aEnd, {1});
    overPre.pre[6] = 3;  // a ninth code of three bits
    Header incompletePre = Dynamic(aEnd, {1});
    incompletePre.pre[5] = 0;
    Header allZeroPre = Dynamic(aEnd, {1});
    allZeroPre.pre.assign(19, 0);
    Header tooMany = Dynamic(aEnd, {1});
    tooMany.nlit = 287;
    Header tooManyDist = Dynamic(aEnd, {1});
    tooManyDist.ndist = 31;
    Header pastEnd = Dynamic(aEnd, {1});
    pastEnd.lens.back() = {17, 3};  // three zeros where one length is left

    // Fixed blocks; 1000 + d stands for distance code d (no extra bits).
    auto fixed = [](std::initializer_list<unsigned> syms) {
        Bits b;
        b.Put(1, 1).Put(1, 2);
        for (unsigned sym : syms)
            if (sym >= 1000)
                b.Code(sym - 1000, 5);
            else
                b.Fixed(sym);
        return b.bytes;
    };
    Bits stored;
    stored.Put(1, 1).Put(0, 2);
    const std::string storedHead = stored.bytes;

    const struct {
        const char* fault;
        std::string data;
        size_t size;
        Inflater::Status status;
    } cases[] = {
        {"nothing at all", "", 0, Inflater::Status::Truncated},
        {"block type 3", "\x07", 0, Inflater::Status::Damaged},
        {"stored block whose length check fails", storedHead + testjson::Le<2>(5, 5) + "hello", 5,
         Inflater::Status::Damaged},
        {"stored block cut short", storedHead + testjson::Le<2>(5, 0xFFFA) + "he", 5, Inflater::Status::Truncated},
        {"stored block longer than stated", storedHead + testjson::Le<2>(5, 0xFFFA) + "hello", 4,
         Inflater::Status::TooLong},
        {"fixed block without its end", fixed({'a', 'b'}), 2, Inflater::Status::Truncated},
        {"fixed block longer than stated", fixed({'a', 'b', 'c', 256}), 2, Inflater::Status::TooLong},
        {"distance past the start of the output", fixed({'a', 257, 1001, 256}), 4, Inflater::Status::Damaged},
        {"distance code 30", fixed({'a', 257, 1030, 256}), 4, Inflater::Status::Damaged},
        {"length symbol 286", fixed({'a', 286, 1000, 256}), 4, Inflater::Status::Damaged},
        {"match longer than stated", fixed({'a', 258, 1000, 256}), 4, Inflater::Status::TooLong},
        {"dynamic block without its end", block(Dynamic(aEnd, {1}), "\0\0"), 100, Inflater::Status::Truncated},
        {"over-subscribed code lengths code", block(overPre), 0, Inflater::Status::Damaged},
        {"incomplete code lengths code", block(incompletePre), 0, Inflater::Status::Damaged},
        // zlib reads each length of an empty code lengths code as 0 from one bit (one body bit each).
        {"code lengths code with no codes", block(allZeroPre, std::string(320, '\0')), 0, Inflater::Status::Damaged},
        {"code lengths code with no codes, cut short", block(allZeroPre), 0, Inflater::Status::Truncated},
        {"too many length symbols", block(tooMany), 0, Inflater::Status::Damaged},
        {"too many distance symbols", block(tooManyDist), 0, Inflater::Status::Damaged},
        {"repeat with nothing before it", block(withLens({{16, 3}})), 0, Inflater::Status::Damaged},
        {"code lengths past the end", block(pastEnd), 0, Inflater::Status::Damaged},
        {"code lengths cut short", block(Dynamic(aEnd, {1})).substr(0, 10), 0, Inflater::Status::Truncated},
        {"no end-of-block code", block(Dynamic(Lengths(257, {{'a', 1}, {'b', 1}}), {1})), 0, Inflater::Status::Damaged},
        {"over-subscribed literal/length code", block(Dynamic(Lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}), {1})), 0,
         Inflater::Status::Damaged},
        {"incomplete literal/length code", block(Dynamic(Lengths(257, {{'a', 1}, {256, 2}}), {1})), 0,
         Inflater::Status::Damaged},
        {"over-subscribed distance code", block(Dynamic(aEnd, {1, 1, 1})), 0, Inflater::Status::Damaged},
        {"incomplete distance code", block(Dynamic(aEnd, {1, 2})), 0, Inflater::Status::Damaged},
        // 'a', then length 3 from distance code 0 of a code that has none.
        {"distance with no distance codes", block(Dynamic(aEndLength, {0}), std::string("\0\1\1\1\0", 5)), 4,
         Inflater::Status::Damaged},
        {"invalid pattern of a one-code literal/length code",
         block(Dynamic(Lengths(257, {{256, 1}}), {1}), std::string("\1", 1)), 0, Inflater::Status::Damaged},
    };
    const std::string path = testjson::TempPath(".zip");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        EXPECT_EQ(inflatecheck::Zlib(c.data, c.size), std::nullopt) << "zlib takes it";
        for (size_t piece : {size_t(0), size_t(1)}) {
            Inflater::Status status = Inflater::Status::Done;
            EXPECT_EQ(inflatecheck::Ours(c.data, c.size, c.size, piece, &status), std::nullopt);
            EXPECT_EQ(int(status), int(c.status));
            EXPECT_EQ(inflatecheck::Ours(c.data, c.size, c.size + 1000, piece), std::nullopt);
        }
        for (size_t piece : {size_t(1), c.size + 1})
            EXPECT_EQ(inflatecheck::Member(c.data, c.size, 0, piece, path, true), std::nullopt);
    }

    // The valid neighbours of those rows, so that a refusal above is about
    // its fault: each reads as zlib reads it.
    const struct {
        const char* what;
        std::string data;
        size_t size;
    } valid[] = {
        {"stored block", storedHead + testjson::Le<2>(5, 0xFFFA) + "hello", 5},
        {"fixed block with a match", fixed({'a', 'b', 257, 1001, 256}), 5},
        {"dynamic block", block(Dynamic(aEnd, {1}), std::string("\0\0\1", 3)), 2},
        {"one-code literal/length code", block(Dynamic(Lengths(257, {{256, 1}}), {1}), std::string("\0", 1)), 0},
        {"no distance codes", block(Dynamic(aEnd, {0}), std::string("\0\1", 2)), 1},
    };
    for (const auto& v : valid) {
        SCOPED_TRACE(v.what);
        const auto expected = inflatecheck::Zlib(v.data, v.size);
        ASSERT_NE(expected, std::nullopt);
        EXPECT_EQ(inflatecheck::Ours(v.data, v.size, v.size), expected);
        EXPECT_EQ(inflatecheck::Ours(v.data, v.size, v.size + 1000, 1), expected);
    }
}
