#pragma once
// Raw deflate streams (RFC 1951), as zip members hold them, inflated for
// many small parts: the Huffman tables are built straight from the code
// lengths into one-level tables with small second levels, and symbols are
// decoded from the input in memory with their bounds checked per symbol
// rather than per bit or byte. It accepts and refuses exactly the streams
// zlib's raw inflate does, and writes nothing outside the output it is given.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wb::detail {

class Inflater {
public:
    // The next piece of the compressed bytes; empty at their end. A piece
    // stays valid until the next call.
    using Source = std::string_view (*)(void* context);

    enum class Status {
        Done,       // the final block ended
        Full,       // the output is full and `last` was not set: call again with room
        Damaged,    // why() says what is wrong
        Truncated,  // the input ended inside the stream
        TooLong,    // the stream holds more than `last` allowed
    };

    // Starts a new stream read from `source`.
    void Reset(Source source, void* context);

    // Inflates into out[pos, end), advancing pos. Matches may copy from
    // out[0, pos): out[0] is the first byte of the stream's output, or at
    // least 32 KiB back from pos. With `last`, end is where the output must
    // end and bytes up to `room` (at least end) may be overwritten while
    // inflating; without it, room must equal end.
    Status Inflate(unsigned char* out, size_t& pos, size_t end, size_t room, bool last);

    const char* Why() const { return why_; }

    // How far past `end` a last call may write when `room` allows.
    static constexpr size_t kOverrun = 258 + 8;

    // Largest tables a code can need: root 11 bits over 288 symbols and root
    // 8 bits over 32, both for codes up to 15 bits; 7 bits for the code lengths.
    static constexpr unsigned kLitBits = 11, kDistBits = 8, kPreBits = 7;
    static constexpr size_t kLitSize = 2342, kDistSize = 402, kPreSize = 128;

private:
    enum class Mode { Header, Stored, Codes, Done };
    struct Fault {
        Status status;
        const char* why;
    };

    bool Pull(unsigned n);
    void Need(unsigned n);
    void Drop(unsigned n)
    {
        bits_ >>= n;
        count_ -= n;
    }
    uint32_t DecodeSlow(const uint32_t* table, unsigned rootBits);
    void ReadHeader();
    void ReadDynamicCodes();
    size_t FastLoop(unsigned char* out, size_t pos, size_t limit);

    Source source_ = nullptr;
    void* context_ = nullptr;
    const unsigned char* in_ = nullptr;
    const unsigned char* inEnd_ = nullptr;
    bool inputEnded_ = false;
    unsigned pieces_ = 0;  // pieces of input taken
    uint64_t bits_ = 0;    // input bits not yet used, lowest first
    unsigned count_ = 0;   // how many of them are valid (the rest are zero)
    Mode mode_ = Mode::Header;
    bool final_ = false;
    size_t storedLeft_ = 0;
    unsigned pendLen_ = 0, pendDist_ = 0;  // a match cut off by a full output
    const uint32_t* lit_ = nullptr;
    const uint32_t* dist_ = nullptr;
    unsigned litBits_ = 0, distBits_ = 0;  // their first levels' index bits
    const char* why_ = "";
    uint32_t litTable_[kLitSize];
    uint32_t distTable_[kDistSize];
    uint32_t preTable_[kPreSize];
};

}  // namespace wb::detail
