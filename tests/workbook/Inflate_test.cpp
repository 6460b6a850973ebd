// Our raw inflate against zlib's: the same bytes for what zlib's deflate
// writes at every level and strategy, and a refusal for each kind of damage,
// inflated whole, with the input in small pieces, and as a zip member read
// in pieces (which goes through the sliding window for big parts).
#include "tests/workbook/InflateCheck.h"
#include "tests/workbook/Json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

using wb::detail::Inflater;

namespace {

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
    // A symbol of the fixed codes; 1000 + d stands for distance code d (no extra bits).
    Bits& Fixed(unsigned sym)
    {
        return sym >= 1000 ? Code(sym - 1000, 5)
               : sym < 144 ? Code(0x30 + sym, 8)
               : sym < 256 ? Code(0x190 + sym - 144, 9)
               : sym < 280 ? Code(sym - 256, 7)
                           : Code(0xC0 + sym - 280, 8);
    }
};

// A dynamic block's header. The code lengths' code gives 0, 1, 2, 3, 5 and
// the repeats 16, 17, 18 three bits each (unless `pre` replaces it); `lens`
// is the sequence of code length symbols with their repeat counts, as
// {symbol, extra} pairs.
struct Header {
    int nlit = 257, ndist = 1;
    std::vector<int> pre = {3, 3, 3, 3, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3};
    std::vector<std::pair<int, int>> lens = {};
};

// A final dynamic block: header `h`, then `body` one bit per char (with
// one-bit codes, 0 is 'a' and 1 the block's end).
std::string Block(const Header& h, const std::string& body = "\x01")
{
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    Bits b;
    b.Put(1, 1).Put(2, 2).Put(uint32_t(h.nlit - 257), 5).Put(uint32_t(h.ndist - 1), 5).Put(15, 4);
    for (int sym : order)
        b.Put(uint32_t(h.pre[size_t(sym)]), 3);
    for (auto [sym, extra] : h.lens) {
        // Every code of `pre` has three bits: the canonical code is the rank among those that have one.
        b.Code(uint32_t(std::count_if(h.pre.begin(), h.pre.begin() + sym, [](int len) { return len > 0; })),
               unsigned(h.pre[size_t(sym)]));
        if (sym >= 16)
            b.Put(uint32_t(extra - (sym == 18 ? 11 : 3)), sym == 16 ? 2 : sym == 17 ? 3 : 7);
    }
    for (char c : body)
        b.Put(uint32_t(c), 1);
    return b.bytes;
}

// The header of `nlit` literal/length lengths (each {symbol, length} of
// `lit`, the rest 0) and the distance lengths `dist`; zeros as repeats.
Header Dynamic(size_t nlit, const std::vector<std::pair<int, int>>& lit, const std::vector<int>& dist)
{
    std::vector<int> all(nlit, 0);
    for (auto [sym, len] : lit)
        all[size_t(sym)] = len;
    all.insert(all.end(), dist.begin(), dist.end());
    Header h{.nlit = int(nlit), .ndist = int(dist.size())};
    for (size_t i = 0; i < all.size();) {
        size_t run = 0;
        while (i + run < all.size() && all[i + run] == 0 && run < 138)
            ++run;
        h.lens.push_back(run >= 11  ? std::pair{18, int(run)}
                         : run >= 3 ? std::pair{17, int(run)}
                                    : std::pair{all[i], 0});
        i += run >= 3 ? run : 1;
    }
    return h;
}

}  // namespace

TEST(Inflate, AgreesWithZlibOnEveryLevelAndStrategy)
{
    std::mt19937 rng(1951);
    std::string random(40000, '\0');
    std::generate(random.begin(), random.end(), [&] { return char(rng()); });
    std::string sheet;  // text like a sheet's, with numbers that vary
    for (int row = 1; sheet.size() < (1 << 20); ++row)
        sheet += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) + "\" s=\"" +
                 std::to_string(rng() % 7) + "\"><v>" + std::to_string(rng() % 100000) + "</v></c></row>";
    sheet.resize(1 << 20);
    const std::pair<const char*, std::string> inputs[] = {
        {"nothing", ""},
        {"one byte", "x"},
        {"runs of 258 and more", std::string(258, 'a') + std::string(259, 'b') + std::string(258 * 5, 'c')},
        // Random bytes are stored or coded literally; the second copy lies
        // more than 32 KiB back only in part.
        {"back references past 32 KiB", random + random.substr(0, 20000) + random},
        {"one MiB of sheet text", sheet},
    };
    const std::pair<const char*, int> strategies[] = {{"default", Z_DEFAULT_STRATEGY},
                                                      {"filtered", Z_FILTERED},
                                                      {"huffman only", Z_HUFFMAN_ONLY},
                                                      {"rle", Z_RLE},
                                                      {"fixed", Z_FIXED}};
    const std::string path = testjson::TempPath(".zip");
    for (const auto& [what, data] : inputs)
        for (const auto& [name, strategy] : strategies)
            for (int level = 0; level <= 9; ++level) {
                SCOPED_TRACE(std::string(what) + ", " + name + ", level " + std::to_string(level));
                const std::string deflated =
                    inflatecheck::Zlib(data, compressBound(uLong(data.size())), level, strategy).value();
                const size_t n = data.size();
                ASSERT_EQ(inflatecheck::Zlib(deflated, n), data);
                EXPECT_EQ(inflatecheck::Ours(deflated, n, n), data);
                // Room to spare for the fast loop's word copies, and the
                // input in pieces that cut symbols and stored blocks.
                EXPECT_EQ(inflatecheck::Ours(deflated, n, n + 4096, 7), data);
                const uint32_t crc = testjson::Crc32(data);
                if (n > 100000 && level % 3 != 0)
                    continue;  // the window's paths, on fewer big cases
                EXPECT_EQ(inflatecheck::Member(deflated, n, crc, 1000, path, true), data);
                EXPECT_EQ(inflatecheck::Member(deflated, n, crc, 65536, path, false), data);
                EXPECT_EQ(inflatecheck::Member(deflated, n, crc, n + 1, path, true), data);
            }
}

TEST(Inflate, RefusesEveryKindOfDamage)
{
    using enum Inflater::Status;
    // A valid dynamic block: 'a' and the block's end one bit each, one
    // distance code of one bit (one code may stand alone).
    const std::vector<std::pair<int, int>> aEnd = {{'a', 1}, {256, 1}};
    const Header base = Dynamic(257, aEnd, {1});
    auto changed = [&](auto change, const std::string& body = "\x01") {
        Header h = base;
        change(h);
        return Block(h, body);
    };
    auto fixed = [](std::initializer_list<unsigned> syms) {
        Bits b;
        b.Put(1, 1).Put(1, 2);
        for (unsigned sym : syms)
            b.Fixed(sym);
        return b.bytes;
    };
    auto noPre = [](Header& h) { h.pre.assign(19, 0); };
    const std::string stored = Bits().Put(1, 1).Put(0, 2).bytes;

    const std::tuple<const char*, std::string, size_t, Inflater::Status> cases[] = {
        {"nothing at all", "", 0, Truncated},
        {"block type 3", "\x07", 0, Damaged},
        {"stored block whose length check fails", stored + testjson::Le<2>(5, 5) + "hello", 5, Damaged},
        {"stored block cut short", stored + testjson::Le<2>(5, 0xFFFA) + "he", 5, Truncated},
        {"stored block longer than stated", stored + testjson::Le<2>(5, 0xFFFA) + "hello", 4, TooLong},
        {"fixed block without its end", fixed({'a', 'b'}), 2, Truncated},
        {"fixed block longer than stated", fixed({'a', 'b', 'c', 256}), 2, TooLong},
        {"distance past the start of the output", fixed({'a', 257, 1001, 256}), 4, Damaged},
        {"distance code 30", fixed({'a', 257, 1030, 256}), 4, Damaged},
        {"length symbol 286", fixed({'a', 286, 1000, 256}), 4, Damaged},
        {"match longer than stated", fixed({'a', 258, 1000, 256}), 4, TooLong},
        {"dynamic block without its end", Block(base, "\0\0"), 100, Truncated},
        {"over-subscribed code lengths code", changed([](Header& h) { h.pre[6] = 3; }), 0, Damaged},  // a ninth code
        {"incomplete code lengths code", changed([](Header& h) { h.pre[5] = 0; }), 0, Damaged},
        // zlib reads each length of an empty code lengths code as 0 from one bit (one body bit each).
        {"code lengths code with no codes", changed(noPre, std::string(320, '\0')), 0, Damaged},
        {"code lengths code with no codes, cut short", changed(noPre), 0, Truncated},
        {"too many length symbols", changed([](Header& h) { h.nlit = 287; }), 0, Damaged},
        {"too many distance symbols", changed([](Header& h) { h.ndist = 31; }), 0, Damaged},
        {"repeat with nothing before it", Block(Header{.lens = {{16, 3}}}), 0, Damaged},
        // three zeros where one length is left
        {"code lengths past the end", changed([](Header& h) { h.lens.back() = std::pair(17, 3); }), 0, Damaged},
        {"code lengths cut short", Block(base).substr(0, 10), 0, Truncated},
        {"no end-of-block code", Block(Dynamic(257, {{'a', 1}, {'b', 1}}, {1})), 0, Damaged},
        {"over-subscribed literal/length code", Block(Dynamic(257, {{'a', 1}, {'b', 1}, {256, 1}}, {1})), 0, Damaged},
        {"incomplete literal/length code", Block(Dynamic(257, {{'a', 1}, {256, 2}}, {1})), 0, Damaged},
        {"over-subscribed distance code", Block(Dynamic(257, aEnd, {1, 1, 1})), 0, Damaged},
        {"incomplete distance code", Block(Dynamic(257, aEnd, {1, 2})), 0, Damaged},
        // 'a', then length 3 from distance code 0 of a code that has none.
        {"distance with no distance codes",
         Block(Dynamic(258, {{'a', 1}, {256, 2}, {257, 2}}, {0}), std::string("\0\1\1\1\0", 5)), 4, Damaged},
        {"invalid pattern of a one-code literal/length code", Block(Dynamic(257, {{256, 1}}, {1}), "\1"), 0, Damaged},
        // The valid neighbours of those rows, so that a refusal above is about
        // its fault: each reads as zlib reads it.
        {"stored block", stored + testjson::Le<2>(5, 0xFFFA) + "hello", 5, Done},
        {"fixed block with a match", fixed({'a', 'b', 257, 1001, 256}), 5, Done},
        {"dynamic block", Block(base, std::string("\0\0\1", 3)), 2, Done},
        {"one-code literal/length code", Block(Dynamic(257, {{256, 1}}, {1}), std::string("\0", 1)), 0, Done},
        {"no distance codes", Block(Dynamic(257, aEnd, {0}), std::string("\0\1", 2)), 1, Done},
    };
    const std::string path = testjson::TempPath(".zip");
    for (const auto& [what, data, size, expected] : cases) {
        SCOPED_TRACE(what);
        const auto zlib = inflatecheck::Zlib(data, size);
        EXPECT_EQ(zlib.has_value(), expected == Done) << "zlib disagrees";
        for (size_t piece : {size_t(0), size_t(1)}) {
            Inflater::Status status = Done;
            EXPECT_EQ(inflatecheck::Ours(data, size, size, piece, &status), zlib);
            EXPECT_EQ(int(status), int(expected));
            EXPECT_EQ(inflatecheck::Ours(data, size, size + 1000, piece), zlib);
        }
        for (size_t piece : {size_t(1), size + 1})
            EXPECT_EQ(inflatecheck::Member(data, size, testjson::Crc32(zlib.value_or("")), piece, path, true), zlib);
    }
}
