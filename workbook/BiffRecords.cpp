#include "workbook/BiffRecords.h"

#include "workbook/BiffText.h"
#include "workbook/Workbook.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace wb::detail {

const char* ErrorText(uint8_t code)
{
    switch (code) {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x24:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    case 0x2B:
        return "#GETTING_DATA";
    default:
        return nullptr;
    }
}

double RkValue(uint32_t rk)
{
    double v;
    if (rk & 2) {
        v = double(int32_t(rk) >> 2);
    } else {
        uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100 : v;
}

std::string RecordName(uint16_t type)
{
    switch (type) {
    case rec::Formula:
    case rec::Formula4:
        return "FORMULA";
    case rec::Eof:
        return "EOF";
    case rec::ExternSheet:
        return "EXTERNSHEET";
    case rec::Name:
        return "NAME";
    case rec::DateMode:
        return "DATEMODE";
    case rec::FilePass:
        return "FILEPASS";
    case rec::Font:
        return "FONT";
    case rec::Continue:
        return "CONTINUE";
    case rec::Window1:
        return "WINDOW1";
    case rec::CodePage:
        return "CODEPAGE";
    case rec::BoundSheet:
        return "BOUNDSHEET";
    case rec::MulRk:
        return "MULRK";
    case rec::MulBlank:
        return "MULBLANK";
    case rec::RString:
        return "RSTRING";
    case rec::Xf:
        return "XF";
    case rec::Sst:
        return "SST";
    case rec::LabelSst:
        return "LABELSST";
    case rec::SupBook:
        return "SUPBOOK";
    case rec::Blank:
        return "BLANK";
    case rec::Number:
        return "NUMBER";
    case rec::Label:
        return "LABEL";
    case rec::BoolErr:
        return "BOOLERR";
    case rec::String:
        return "STRING";
    case rec::Rk:
        return "RK";
    case rec::Format:
        return "FORMAT";
    case rec::Bof:
    case rec::Bof2:
    case rec::Bof3:
    case rec::Bof4:
        return "BOF";
    default:
        break;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", unsigned(type));
    return buf;
}

void RecordStream::Fail(const Record& r, const std::string& what) const
{
    throw Error(path_ + ": " + what + " (" + RecordName(r.type) + " record at byte " + std::to_string(r.offset) +
                " of the " + stream_.Name() + " stream)");
}

void RecordStream::Join(Record& r)
{
    r.joined.assign(r.data.begin(), r.data.end());
    while (!AtEnd()) {
        const uint8_t* h = data_ + pos_;
        if (uint16_t(h[0] | (h[1] << 8)) != rec::Continue)
            break;
        const uint16_t size = uint16_t(h[2] | (h[3] << 8));
        const uint64_t body = pos_ + 4;
        if (size > size_ - body)
            Fail(r, "the workbook stream ends inside the record (truncated file)");
        r.breaks.push_back(r.joined.size());
        r.joined.insert(r.joined.end(), h + 4, h + 4 + size);
        pos_ = body + size;
    }
    r.data = r.joined;
}

double Cursor::F64()
{
    const uint8_t* p = Bytes(8);
    double v;
    std::memcpy(&v, p, 8);  // little-endian IEEE, as on every machine we build for
    return v;
}

size_t Cursor::NextBreak() const
{
    auto it = std::upper_bound(r_.breaks.begin(), r_.breaks.end(), pos_);
    return it == r_.breaks.end() ? r_.data.size() : *it;
}

void Cursor::Short() const
{
    Fail("the record is shorter than its content");
}

void Cursor::Chars8(std::string* out, size_t cch, bool highByte)
{
    if (r_.breaks.empty()) {
        // One body: the characters lie in one piece.
        const size_t unit = highByte ? 2 : 1;
        if (cch > Left() / unit)
            Fail("a text runs past the end of the record");
        const uint8_t* p = r_.data.data() + pos_;
        if (out && highByte)
            AppendUtf16(*out, p, cch);
        else if (out)
            AppendLatin1(*out, p, cch);
        pos_ += cch * unit;
        return;
    }
    while (cch > 0) {
        // A CONTINUE body that starts exactly here re-sends the flag byte.
        if (pos_ > 0 && std::binary_search(r_.breaks.begin(), r_.breaks.end(), pos_))
            highByte = U8() & 1;
        const size_t avail = NextBreak() - pos_;
        const size_t unit = highByte ? 2 : 1;
        size_t take = std::min(cch, avail / unit);
        if (take == 0) {
            if (pos_ + avail >= r_.data.size())
                Fail("a text runs past the end of the record");
            pos_ += avail;  // an odd byte before the break: skip to it
            continue;
        }
        const uint8_t* p = r_.data.data() + pos_;
        if (out && highByte)
            AppendUtf16(*out, p, take);
        else if (out)
            AppendLatin1(*out, p, take);
        pos_ += take * unit;
        cch -= take;
    }
}

}  // namespace wb::detail
