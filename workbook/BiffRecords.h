#pragma once
// The record layer of a BIFF workbook stream: 4-byte headers (type, length),
// bodies joined with their CONTINUE records where a record type may be
// split, and a bounds-checked cursor over one body. Every read past what
// the record holds is a wb::Error naming the file, the record type and the
// record's byte offset in the stream.
#include "workbook/Compound.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace wb::detail {

namespace rec {
// Record types; [MS-XLS] 2.3 lists them. BIFF5 uses the same numbers.
inline constexpr uint16_t Formula = 0x0006;
inline constexpr uint16_t Eof = 0x000A;
inline constexpr uint16_t ExternSheet = 0x0017;
inline constexpr uint16_t Name = 0x0018;
inline constexpr uint16_t DateMode = 0x0022;
inline constexpr uint16_t FilePass = 0x002F;
inline constexpr uint16_t Font = 0x0031;
inline constexpr uint16_t Continue = 0x003C;
inline constexpr uint16_t Window1 = 0x003D;
inline constexpr uint16_t CodePage = 0x0042;
inline constexpr uint16_t WriteAccess = 0x005C;
inline constexpr uint16_t BoundSheet = 0x0085;
inline constexpr uint16_t MulRk = 0x00BD;
inline constexpr uint16_t MulBlank = 0x00BE;
inline constexpr uint16_t RString = 0x00D6;
inline constexpr uint16_t Xf = 0x00E0;
inline constexpr uint16_t Sst = 0x00FC;
inline constexpr uint16_t LabelSst = 0x00FD;
inline constexpr uint16_t SupBook = 0x01AE;
inline constexpr uint16_t Blank = 0x0201;
inline constexpr uint16_t Number = 0x0203;
inline constexpr uint16_t Label = 0x0204;
inline constexpr uint16_t BoolErr = 0x0205;
inline constexpr uint16_t String = 0x0207;
inline constexpr uint16_t Rk = 0x027E;
inline constexpr uint16_t Formula4 = 0x0406;  // FORMULA as some writers still number it
inline constexpr uint16_t Format = 0x041E;
inline constexpr uint16_t Bof = 0x0809;
// BOF of the versions before BIFF5.
inline constexpr uint16_t Bof2 = 0x0009;
inline constexpr uint16_t Bof3 = 0x0209;
inline constexpr uint16_t Bof4 = 0x0409;
}  // namespace rec

// "SST", "FORMULA", ... or "0x1234" for types we do not name.
std::string RecordName(uint16_t type);

// Cell values that .xls and .xlsb store alike.
// An error value as the spreadsheet shows it ("#DIV/0!") by its BErr code
// ([MS-XLS] 2.5.10); nullptr for a code that is no error value.
const char* ErrorText(uint8_t code);
// RkNumber ([MS-XLS] 2.5.217, [MS-XLSB] 2.5.123): a 30-bit integer or the
// high 30 bits of a double, optionally divided by 100.
double RkValue(uint32_t rk);

struct Record {
    uint16_t type = 0;
    uint64_t offset = 0;  // of the header in the stream
    // The body: in place in the stream, or in `joined` when CONTINUE bodies
    // were appended to it. Valid until the next record is read.
    std::span<const uint8_t> data;
    std::vector<size_t> breaks;  // where each appended CONTINUE body starts in `data`
    std::vector<uint8_t> joined;
};

class RecordStream {
public:
    RecordStream(CompoundStream& stream, const std::string& path)
        : stream_(stream), path_(path), data_(stream.Data()), size_(stream.Size())
    {}

    const std::string& Path() const { return path_; }
    uint64_t Position() const { return pos_; }
    void Seek(uint64_t pos) { pos_ = pos; }
    bool AtEnd() const { return pos_ > size_ || size_ - pos_ < 4; }

    // Reads the next record into `r`. For the types that may be split (SST,
    // NAME, EXTERNSHEET, STRING) the CONTINUE records that follow are
    // appended to its body. False at the end of the stream (fewer than 4
    // bytes left).
    bool Next(Record& r)
    {
        // Inline: a workbook is a few hundred small records, read in place.
        if (AtEnd())
            return false;
        const uint8_t* h = data_ + pos_;
        const uint16_t type = uint16_t(h[0] | (h[1] << 8));
        const uint16_t size = uint16_t(h[2] | (h[3] << 8));
        r.type = type;
        r.offset = pos_;
        r.breaks.clear();
        const uint64_t body = pos_ + 4;
        if (size > size_ - body)
            Fail(r, "the workbook stream ends inside the record (truncated file)");
        pos_ = body + size;
        r.data = std::span<const uint8_t>(h + 4, size);
        // A CONTINUE after a record that may be split: join them.
        if (!AtEnd() && data_[pos_] == uint8_t(rec::Continue) && data_[pos_ + 1] == 0 &&
            (type == rec::Sst || type == rec::Name || type == rec::ExternSheet || type == rec::String))
            Join(r);
        return true;
    }

    // Throws wb::Error: "<path>: <what> (RECORD record at byte N)".
    [[noreturn]] void Fail(const Record& r, const std::string& what) const;

private:
    // Appends the CONTINUE bodies that follow to r's body, in r.joined.
    void Join(Record& r);

    CompoundStream& stream_;
    const std::string& path_;
    const uint8_t* data_;  // the whole stream, in memory
    uint64_t size_;
    uint64_t pos_ = 0;
};

// A bounds-checked reader of one record body.
class Cursor {
public:
    Cursor(const RecordStream& rs, const Record& r) : rs_(rs), r_(r) {}

    size_t Pos() const { return pos_; }
    size_t Left() const { return r_.data.size() - pos_; }
    void Need(size_t n) const
    {
        if (n > Left())
            Short();
    }
    uint8_t U8()
    {
        Need(1);
        return r_.data[pos_++];
    }
    uint16_t U16()
    {
        Need(2);
        uint16_t v = uint16_t(r_.data[pos_] | (r_.data[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    int16_t S16() { return int16_t(U16()); }
    uint32_t U32()
    {
        Need(4);
        const uint8_t* p = r_.data.data() + pos_;
        pos_ += 4;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    double F64();
    void Skip(size_t n)
    {
        Need(n);
        pos_ += n;
    }
    const uint8_t* Bytes(size_t n)
    {
        Need(n);
        const uint8_t* p = r_.data.data() + pos_;
        pos_ += n;
        return p;
    }

    // BIFF8 character data of `cch` characters whose first part is 16-bit
    // when `highByte`. Where the data crosses into a CONTINUE body, that
    // body starts with a fresh flag byte saying how the rest is stored
    // ([MS-XLS] 2.4.58 Continue).
    void Chars8(std::string& out, size_t cch, bool highByte) { Chars8(&out, cch, highByte); }
    // The same characters passed over, checked as Chars8 checks them.
    void SkipChars8(size_t cch, bool highByte)
    {
        if (!r_.breaks.empty())
            return Chars8(nullptr, cch, highByte);
        // Inline in one body: the shared strings are passed over so, one by one.
        if (cch > Left() >> int(highByte))
            Fail("a text runs past the end of the record");
        pos_ += cch << int(highByte);
    }

    [[noreturn]] void Fail(const std::string& what) const { rs_.Fail(r_, what); }
    // Out of line, so that each small read stays small enough to be inlined.
    [[noreturn, gnu::cold]] void Short() const;

private:
    size_t NextBreak() const;
    void Chars8(std::string* out, size_t cch, bool highByte);

    const RecordStream& rs_;
    const Record& r_;
    size_t pos_ = 0;
};

}  // namespace wb::detail
