// The pull reader over a part inflated piece by piece.
#include "workbook/XmlStream.h"

#include "workbook/Workbook.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace wb::detail {

namespace {

constexpr size_t kChunk = size_t(64) << 10;
// Bytes behind a buffer's end that may be read (and ignored): a short name
// is copied as one block of this size.
constexpr size_t kSlack = 16;

std::unique_ptr<char[]> NewBuffer(size_t n)
{
    return std::unique_ptr<char[]>(new char[n + kSlack]);
}

// Character classes for the scanners, one table look-up per byte.
enum : uint16_t {
    kSpace = 1,     // white space between names and attributes
    kNameEnd = 2,   // ends a tag or attribute name
    kColon = 4,     // ends a name's prefix
    kSpecial = 8,   // starts an entity or a line end to decode
    kTagStop = 16,  // what the tag skipper stops at: '>' and quotes
    kZero = 32,     // the NUL behind the buffer's bytes (or one inside them)
    kDquote = 64,
    kSquote = 128,
    kAngle = 256,  // '<' and '>'
    kLt = 512,
};

constexpr std::array<uint16_t, 256> MakeClasses()
{
    std::array<uint16_t, 256> t{};
    for (const char c : {' ', '\t', '\r', '\n'})
        t[uint8_t(c)] |= kSpace | kNameEnd;
    for (const char c : {'/', '>', '<', '='})
        t[uint8_t(c)] |= kNameEnd;
    t[uint8_t(':')] |= kColon;
    t[uint8_t('&')] |= kSpecial;
    t[uint8_t('\r')] |= kSpecial;
    for (const char c : {'>', '"', '\''})
        t[uint8_t(c)] |= kTagStop;
    t[0] |= kZero;
    t[uint8_t('"')] |= kDquote;
    t[uint8_t('\'')] |= kSquote;
    t[uint8_t('<')] |= kAngle;
    t[uint8_t('>')] |= kAngle;
    t[uint8_t('<')] |= kLt;
    return t;
}
constexpr std::array<uint16_t, 256> kClass = MakeClasses();

bool Is(char c, uint16_t k)
{
    return kClass[uint8_t(c)] & k;
}

// The first byte from b[i] of one of the classes `Stop`. The buffer ends in
// a NUL at b[avail], so no scan needs a bound of its own; a NUL before it
// is passed over.
template <uint16_t Stop>
size_t ScanTo(const char* b, size_t i, size_t avail)
{
    for (;;) {
        while (!(kClass[uint8_t(b[i])] & (Stop | kZero)))
            ++i;
        if (b[i] != '\0' || i == avail)
            return i;
        ++i;
    }
}

bool IsSpace(char c)
{
    return Is(c, kSpace);
}

// The end of the name starting at b[i] (at most `avail`); `local` is where
// its local name starts, after the first colon.
size_t ScanName(const char* b, size_t i, size_t avail, size_t& local)
{
    const size_t start = i;
    local = start;
    for (;;) {
        i = ScanTo<kNameEnd | kColon>(b, i, avail);
        if (b[i] != ':')
            return i;
        if (local == start)
            local = i + 1;
        ++i;
    }
}

// The first `marker` in from[0, n), or nullptr: memchr finds its first
// byte, which is cheaper than memmem for the short markers used here.
const char* Find(const char* from, size_t n, std::string_view marker)
{
    const char* const end = from + n;
    while (size_t(end - from) >= marker.size()) {
        const char* at = static_cast<const char*>(std::memchr(from, marker[0], size_t(end - from) - marker.size() + 1));
        if (!at)
            return nullptr;
        if (std::memcmp(at + 1, marker.data() + 1, marker.size() - 1) == 0)
            return at;
        from = at + 1;
    }
    return nullptr;
}

// Element names are short: compared in place rather than by a call to memcmp.
bool SameBytes(const char* a, const char* b, size_t n)
{
    for (size_t k = 0; k < n; ++k)
        if (a[k] != b[k])
            return false;
    return true;
}

void AppendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

namespace {

// Big buffers, grown for a long tag or deep nesting, are not kept.
constexpr size_t kMaxPooled = 4 * kChunk;
constexpr size_t kMaxPooledNames = size_t(64) << 10;
constexpr size_t kMaxPooledAttrs = 64;
constexpr size_t kMaxPooledValue = 4096;

}  // namespace

long long ToLong(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (IsSpace(s[i]) || s[i] == '\v' || s[i] == '\f'))
        ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        neg = s[i++] == '-';
    unsigned long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + unsigned(s[i] - '0');
        if (v > 9223372036854775807ULL)
            return neg ? (-9223372036854775807LL - 1) : 9223372036854775807LL;  // as atoll saturates
    }
    return neg ? -(long long)v : (long long)v;
}

XmlStream::XmlStream(std::unique_ptr<ZipMember> member) : member_(std::move(member))
{
    std::vector<Spare>& pool = Pool();
    if (!pool.empty()) {
        Spare& spare = pool.back();
        buf_ = std::move(spare.buf);
        size_ = spare.size;
        names_ = std::move(spare.names);
        open_ = std::move(spare.open);
        open_.clear();
        attrs_ = std::move(spare.attrs);
        pool.pop_back();
    } else {
        buf_ = NewBuffer(kChunk);
        size_ = kChunk;
    }
    buf_[0] = '\0';
    Fill();
    if (end_ >= 2 && ((buf_[0] == '\xFF' && buf_[1] == '\xFE') || (buf_[0] == '\xFE' && buf_[1] == '\xFF')))
        Fail("UTF-16 text, which no workbook writer uses");
    if (end_ >= 3 && std::memcmp(buf_.get(), "\xEF\xBB\xBF", 3) == 0)
        pos_ = 3;
}

XmlStream::~XmlStream()
{
    std::vector<Spare>& pool = Pool();
    if (!buf_ || size_ > kMaxPooled || pool.size() >= 8)
        return;
    Spare spare;
    spare.buf = std::move(buf_);
    spare.size = size_;
    if (names_.size() <= kMaxPooledNames)
        spare.names = std::move(names_);
    spare.open = std::move(open_);
    if (attrs_.size() <= kMaxPooledAttrs && std::all_of(attrs_.begin(), attrs_.end(), [](const Attribute& a) {
            return a.decoded.capacity() <= kMaxPooledValue;
        }))
        spare.attrs = std::move(attrs_);
    pool.push_back(std::move(spare));
}

namespace {

std::unique_ptr<ZipMember> Required(const ZipArchive& zip, const std::string& name)
{
    auto member = zip.Open(name);
    if (!member)
        throw Error(zip.Path() + ": the part " + name + " is missing");
    return member;
}

}  // namespace

std::vector<XmlStream::Spare>& XmlStream::Pool()
{
    thread_local std::vector<Spare> pool;
    return pool;
}

XmlStream::XmlStream(const ZipArchive& zip, const std::string& name) : XmlStream(Required(zip, name)) {}

void XmlStream::Fail(const std::string& why) const
{
    throw Error(Path() + ": " + PartName() + " is damaged (" + why + " at byte " +
                std::to_string(consumed_ + (long long)pos_) + ")");
}

bool XmlStream::Fill()
{
    if (eof_)
        return false;
    if (pos_ > 0) {
        std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
        consumed_ += (long long)pos_;
        end_ -= pos_;
        pos_ = 0;
        buf_[end_] = '\0';
    }
    if (end_ + 1 >= size_) {
        std::unique_ptr<char[]> bigger = NewBuffer(size_ * 2);
        std::memcpy(bigger.get(), buf_.get(), end_);
        bigger[end_] = '\0';  // the scans' end, even if nothing more comes
        buf_ = std::move(bigger);
        size_ *= 2;
    }
    // One byte stays free for the NUL that ends the scans.
    const size_t got = member_->Read(buf_.get() + end_, size_ - 1 - end_);
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += got;
    buf_[end_] = '\0';
    return true;
}

// At least n bytes from pos_ in the buffer, unless the part ends first.
bool XmlStream::NeedAll(size_t n)
{
    while (end_ - pos_ < n)
        if (!Fill())
            return false;
    return true;
}

void XmlStream::SkipPast(std::string_view marker, const char* what)
{
    for (;;) {
        const char* from = buf_.get() + pos_;
        const char* at = Find(from, end_ - pos_, marker);
        if (at) {
            pos_ = size_t(at - buf_.get()) + marker.size();
            return;
        }
        // Keep what could be the marker's start.
        if (end_ - pos_ >= marker.size())
            pos_ = end_ - (marker.size() - 1);
        if (!Fill())
            Fail(std::string("unterminated ") + what);
    }
}

std::string_view XmlStream::Decode(std::string& store, const char* p, size_t n)
{
    for (size_t k = 0; k < n; ++k)
        if (Is(p[k], kSpecial)) {
            store.clear();
            DecodeInto(store, p, n);
            return store;
        }
    return std::string_view(p, n);
}

void XmlStream::DecodeInto(std::string& out, const char* p, size_t n)
{
    for (size_t i = 0; i < n;) {
        const char* special = nullptr;
        for (size_t k = i; k < n; ++k)
            if (Is(p[k], kSpecial)) {
                special = p + k;
                break;
            }
        if (!special) {
            out.append(p + i, n - i);
            return;
        }
        const size_t k = size_t(special - p);
        out.append(p + i, k - i);
        i = k;
        if (p[i] == '\r') {
            out += '\n';
            i += (i + 1 < n && p[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        const char* semi = static_cast<const char*>(std::memchr(p + i, ';', std::min<size_t>(n - i, 12)));
        if (!semi) {
            out += '&';
            ++i;
            continue;
        }
        const std::string_view ent(p + i + 1, size_t(semi - (p + i + 1)));
        bool known = true;
        if (ent == "lt")
            out += '<';
        else if (ent == "gt")
            out += '>';
        else if (ent == "amp")
            out += '&';
        else if (ent == "quot")
            out += '"';
        else if (ent == "apos")
            out += '\'';
        else if (ent.size() >= 2 && ent[0] == '#') {
            unsigned long cp = 0;
            const bool hex = ent[1] == 'x';
            const size_t start = hex ? 2 : 1;
            known = ent.size() > start;
            for (size_t d = start; d < ent.size() && known; ++d) {
                const char c = ent[d];
                int v = -1;
                if (c >= '0' && c <= '9')
                    v = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    v = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    v = c - 'A' + 10;
                if (v < 0)
                    known = false;
                else
                    cp = cp * (hex ? 16 : 10) + unsigned(v);
                if (cp > 0x10FFFF)
                    known = false;
            }
            if (known)
                AppendUtf8(out, cp);
        } else {
            known = false;
        }
        if (!known) {
            out += '&';  // an unknown entity stays as written
            ++i;
            continue;
        }
        i = size_t(semi - p) + 1;
    }
}

std::string_view XmlStream::ParentName() const
{
    if (open_.size() < 2)
        return {};
    const Open& parent = open_[open_.size() - 2];
    return std::string_view(names_.data() + parent.local, open_.back().start - parent.local);
}

const std::string_view* XmlStream::QAttr(std::string_view qualified) const
{
    for (size_t i = 0; i < attrCount_; ++i)
        if (attrs_[i].qname == qualified)
            return &attrs_[i].value;
    return nullptr;
}

void XmlStream::Pop()
{
    const Open o = open_.back();
    name_ = std::string_view(names_.data() + o.local, namesTop_ - o.local);
    namesTop_ = o.start;
    open_.pop_back();
}

void XmlStream::ReadTag()
{
    // Parsed in place; a tag that runs past the bytes at hand is parsed
    // again from its start once more have come.
    if (!ParseTag())
        ReadLongTag();
}

void XmlStream::ReadLongTag()
{
    do {
        if (end_ - pos_ > kMaxTag)
            Fail("a tag longer than " + std::to_string(kMaxTag) + " bytes");
        if (!Fill())
            Fail("unexpected end of data inside a tag");
    } while (!ParseTag());
}

bool XmlStream::ParseTag()
{
    const char* b = buf_.get() + pos_;
    const size_t avail = end_ - pos_;
    attrCount_ = 0;
    if (avail < 2)
        return false;
    if (b[1] == '/') {
        const size_t upTo = ScanTo<kAngle>(b, 2, avail);
        if (b[upTo] == '<')
            Fail("'<' inside a tag");
        if (upTo == avail)
            return false;
        size_t e = upTo;
        while (e > 2 && IsSpace(b[e - 1]))
            --e;
        const std::string_view qname(b + 2, e - 2);
        if (open_.empty())
            Fail("end tag </" + std::string(qname) + "> without a start tag");
        if (OpenName(open_.size() - 1) != qname)
            Fail("end tag </" + std::string(qname) + "> does not match <" + std::string(OpenName(open_.size() - 1)) +
                 ">");
        Pop();
        pos_ += upTo + 1;
        return true;
    }
    size_t local = 0;
    size_t i = ScanName(b, 1, avail, local);
    if (i == avail)
        return false;
    if (i == 1 || b[i] == '=')
        Fail("a start tag without a name");
    const std::string_view qname(b + 1, i - 1);
    bool empty = false;
    for (;;) {
        while (IsSpace(b[i]))
            ++i;
        if (i == avail)
            return false;
        if (b[i] == '>')
            break;
        if (b[i] == '<')
            Fail("'<' inside a tag");
        if (b[i] == '/') {
            if (i + 1 == avail)
                return false;
            if (b[i + 1] != '>')
                Fail("bad start tag <" + std::string(qname) + ">");
            empty = true;
            ++i;
            break;
        }
        const size_t nameStart = i;
        size_t attrLocal = 0;
        i = ScanName(b, i, avail, attrLocal);
        const std::string_view aname(b + nameStart, i - nameStart);
        char q = '"';
        if (b[i] == '=' && b[i + 1] == '"' && !aname.empty()) {
            i += 2;  // name="value", as nearly every writer puts it
        } else {
            while (IsSpace(b[i]))
                ++i;
            if (i == avail)
                return false;
            if (b[i] != '=' || aname.empty())
                Fail("an attribute without a value in <" + std::string(qname) + ">");
            ++i;
            while (IsSpace(b[i]))
                ++i;
            if (i == avail)
                return false;
            if (b[i] != '"' && b[i] != '\'')
                Fail("an attribute value without quotes in <" + std::string(qname) + ">");
            q = b[i++];
        }
        // One pass finds the closing quote and whether there is anything
        // to decode.
        size_t close = i;
        bool special = false;
        for (;;) {
            close =
                q == '"' ? ScanTo<kDquote | kSpecial>(b, close, avail) : ScanTo<kSquote | kSpecial>(b, close, avail);
            if (close == avail)
                return false;
            if (b[close] == q)
                break;
            special = true;
            ++close;
        }
        if (attrCount_ == attrs_.size())
            attrs_.emplace_back();
        Attribute& slot = attrs_[attrCount_++];
        slot.qname = aname;
        slot.local = std::string_view(b + attrLocal, nameStart + aname.size() - attrLocal);
        if (special) {
            slot.decoded.clear();
            DecodeInto(slot.decoded, b + i, close - i);
            slot.value = slot.decoded;
        } else {
            slot.value = std::string_view(b + i, close - i);
        }
        i = close + 1;
    }
    pos_ += i + 1;  // b[i] == '>'
    if (int(open_.size()) >= kMaxDepth)
        Fail("elements nested deeper than " + std::to_string(kMaxDepth));
    // The name is copied: the buffer moves when it is filled again. A short
    // one goes as one block of kSlack bytes, for which both have room.
    if (names_.size() < namesTop_ + qname.size() + kSlack)
        names_.resize(std::max(names_.size() * 2, namesTop_ + qname.size() + 64));
    if (qname.size() <= kSlack)
        std::memcpy(names_.data() + namesTop_, qname.data(), kSlack);
    else
        std::memcpy(names_.data() + namesTop_, qname.data(), qname.size());
    open_.push_back({uint32_t(namesTop_), uint32_t(namesTop_ + (local - 1))});
    namesTop_ += qname.size();
    name_ = std::string_view(b + local, qname.size() + 1 - local);
    rootSeen_ = true;
    pendingEnd_ = empty;
    return true;
}

XmlStream::Event XmlStream::Next()
{
    if (pendingEnd_) {
        pendingEnd_ = false;
        Pop();
        attrCount_ = 0;
        return End;
    }
    for (;;) {
        if (inCdata_) {
            const char* from = buf_.get() + pos_;
            const char* at = Find(from, end_ - pos_, "]]>");
            if (at) {
                text_ = std::string_view(from, size_t(at - from));
                pos_ = size_t(at - buf_.get()) + 3;
                inCdata_ = false;
            } else {
                const size_t keep = std::min<size_t>(2, end_ - pos_);
                textStore_.assign(from, end_ - pos_ - keep);  // the buffer moves on Fill
                text_ = textStore_;
                pos_ = end_ - keep;
                if (!Fill())
                    Fail("unterminated CDATA section");
            }
            if (!text_.empty())
                return Text;
            continue;
        }
        if (pos_ == end_ && !Fill()) {
            if (!open_.empty())
                Fail("unexpected end of data: <" + std::string(OpenName(open_.size() - 1)) + "> is not closed");
            if (!rootSeen_)
                Fail("no root element");
            return Done;
        }
        // Most of a part is plain tags.
        if (buf_[pos_] == '<' && end_ - pos_ >= 2 && buf_[pos_ + 1] != '!' && buf_[pos_ + 1] != '?') {
            const bool closing = buf_[pos_ + 1] == '/';
            if (closing && !open_.empty()) {
                // The end tag of the open element written plainly, as it
                // nearly always is: matched here in place.
                const std::string_view open = OpenName(open_.size() - 1);
                const char* const b = buf_.get() + pos_;
                if (end_ - pos_ > open.size() + 2 && SameBytes(b + 2, open.data(), open.size()) &&
                    b[2 + open.size()] == '>') {
                    attrCount_ = 0;
                    Pop();
                    pos_ += open.size() + 3;
                    return End;
                }
            }
            ReadTag();
            return closing ? End : Start;
        }
        if (buf_[pos_] != '<') {
            const char* from = buf_.get() + pos_;
            const char* lt = static_cast<const char*>(std::memchr(from, '<', end_ - pos_));
            size_t n = lt ? size_t(lt - from) : end_ - pos_;
            if (!lt && !eof_) {
                // An entity or a CR LF may go on in the next piece.
                const size_t tail = std::min<size_t>(n, 12);
                const char* amp = static_cast<const char*>(std::memchr(from + n - tail, '&', tail));
                if (amp && !std::memchr(amp, ';', size_t(from + n - amp)))
                    n = size_t(amp - from);
                else if (n > 0 && from[n - 1] == '\r')
                    --n;
                if (n == 0) {
                    if (!Fill()) {
                        n = end_ - pos_;
                        from = buf_.get() + pos_;
                    } else {
                        continue;
                    }
                }
            }
            text_ = {};
            if (!open_.empty())
                text_ = Decode(textStore_, from, n);
            pos_ += n;
            if (!text_.empty())
                return Text;
            continue;
        }
        NeedAll(9);
        const std::string_view head(buf_.get() + pos_, std::min<size_t>(9, end_ - pos_));
        if (head.rfind("<!--", 0) == 0) {
            pos_ += 4;
            SkipPast("-->", "comment");
        } else if (head == "<![CDATA[") {
            pos_ += 9;
            inCdata_ = true;
        } else if (head.rfind("<?", 0) == 0) {
            pos_ += 2;
            SkipPast("?>", "processing instruction");
        } else if (head.rfind("<!", 0) == 0) {
            // A DOCTYPE, with its internal subset in brackets: skipped, and
            // its entities never expanded.
            int depth = 0;
            ++pos_;
            for (;;) {
                if (pos_ == end_ && !Fill())
                    Fail("unterminated declaration");
                const char c = buf_[pos_++];
                if (c == '[')
                    ++depth;
                else if (c == ']')
                    --depth;
                else if (c == '>' && depth <= 0)
                    break;
            }
        } else {
            const bool closing = head.size() > 1 && head[1] == '/';
            ReadTag();
            return closing ? End : Start;
        }
    }
}

void XmlStream::Skip()
{
    if (pendingEnd_) {
        Next();
        return;
    }
    // Tags are counted, not parsed: most of a big part is passed over here.
    long long depth = 1;
    for (;;) {
        if (inCdata_) {
            SkipPast("]]>", "CDATA section");
            inCdata_ = false;
        }
        const char* from = buf_.get() + pos_;
        // Mostly the next tag follows at once.
        const char* lt =
            *from == '<' && pos_ < end_ ? from : static_cast<const char*>(std::memchr(from, '<', end_ - pos_));
        if (!lt) {
            pos_ = end_;
            if (!Fill())
                Fail("unexpected end of data: <" + std::string(OpenName(open_.size() - 1)) + "> is not closed");
            continue;
        }
        pos_ = size_t(lt - buf_.get());
        NeedAll(9);
        const std::string_view head(buf_.get() + pos_, std::min<size_t>(9, end_ - pos_));
        if (head.rfind("<!--", 0) == 0) {
            pos_ += 4;
            SkipPast("-->", "comment");
            continue;
        }
        if (head == "<![CDATA[") {
            pos_ += 9;
            inCdata_ = true;
            continue;
        }
        if (head.rfind("<?", 0) == 0) {
            pos_ += 2;
            SkipPast("?>", "processing instruction");
            continue;
        }
        // Up to the tag's '>' outside quotes.
        size_t scan = 1;
        char quote = 0;
        for (;;) {
            const char* b = buf_.get() + pos_;
            const size_t avail = end_ - pos_;
            while (scan < avail) {
                if (quote) {
                    scan = quote == '"' ? ScanTo<kDquote>(b, scan, avail) : ScanTo<kSquote>(b, scan, avail);
                    if (scan < avail) {
                        quote = 0;
                        ++scan;
                    }
                    continue;
                }
                scan = ScanTo<kTagStop>(b, scan, avail);
                if (scan == avail || b[scan] == '>')
                    break;
                quote = b[scan++];
            }
            if (scan < avail)
                break;
            if (scan > kMaxTag)
                Fail("a tag longer than " + std::to_string(kMaxTag) + " bytes");
            if (!Fill())
                Fail("unexpected end of data inside a tag");
        }
        const char* b = buf_.get() + pos_;
        if (b[1] == '/')
            --depth;
        else if (b[1] != '!' && b[scan - 1] != '/')
            ++depth;
        pos_ += scan + 1;
        if (depth > kMaxDepth)
            Fail("elements nested deeper than " + std::to_string(kMaxDepth));
        if (depth == 0) {
            Pop();
            attrCount_ = 0;
            return;
        }
    }
}

bool XmlStream::TakeOnlyChildText(std::string_view local, std::string_view& out, size_t limit)
{
    if (pendingEnd_ || inCdata_ || open_.empty() || int(open_.size()) >= kMaxDepth)
        return false;
    // The buffer ends in a NUL, which no test below accepts.
    const char* const b = buf_.get() + pos_;
    const char* const end = buf_.get() + end_;
    const size_t avail = end_ - pos_;
    if (b[0] != '<')
        return false;
    size_t localAt = 0;
    const size_t n = ScanName(b, 1, avail, localAt);
    if (n == 1 || b[n] != '>' || std::string_view(b + localAt, n - localAt) != local)
        return false;
    const std::string_view child(b + 1, n - 1);
    const std::string_view parent = OpenName(open_.size() - 1);
    const char* const from = b + n + 1;
    // One pass finds the text's end and whether it holds anything to decode.
    bool special = false;
    size_t k = n + 1;
    for (;;) {
        k = ScanTo<kLt | kSpecial>(b, k, avail);
        if (!Is(b[k], kSpecial))
            break;
        special = true;
        ++k;
    }
    if (k == avail)
        return false;
    const char* const lt = b + k;
    if (size_t(end - lt) < child.size() + parent.size() + 6)
        return false;
    const char* const next = lt + child.size() + 3;
    if (lt[1] != '/' || !SameBytes(lt + 2, child.data(), child.size()) || next[-1] != '>' || next[0] != '<' ||
        next[1] != '/' || !SameBytes(next + 2, parent.data(), parent.size()) || next[2 + parent.size()] != '>')
        return false;
    std::string_view text(from, size_t(lt - from));
    if (special) {
        textStore_.clear();
        DecodeInto(textStore_, from, text.size());
        text = textStore_;
    }
    if (text.size() > limit)
        return false;
    out = text;
    pos_ = size_t(next + 3 + parent.size() - buf_.get());
    Pop();
    attrCount_ = 0;
    return true;
}

std::string XmlStream::ReadText(size_t limit)
{
    std::string s;
    // Nearly always the element holds one piece of text and then its end
    // tag, both in the buffer: taken from there without the events.
    if (!pendingEnd_ && !inCdata_ && !open_.empty()) {
        const char* const from = buf_.get() + pos_;
        const char* const end = buf_.get() + end_;
        const char* const lt = static_cast<const char*>(std::memchr(from, '<', end_ - pos_));
        const std::string_view open = OpenName(open_.size() - 1);
        if (lt && size_t(end - lt) > open.size() + 2 && lt[1] == '/' &&
            std::memcmp(lt + 2, open.data(), open.size()) == 0) {
            const char* gt = lt + 2 + open.size();
            while (IsSpace(*gt))  // the buffer ends in a NUL
                ++gt;
            if (gt < end && *gt == '>') {
                const std::string_view text = Decode(textStore_, from, size_t(lt - from));
                if (text.size() > limit) {
                    pos_ = size_t(lt - buf_.get());
                    Fail("a text longer than " + std::to_string(limit) + " bytes");
                }
                s.assign(text);
                pos_ = size_t(gt + 1 - buf_.get());
                Pop();
                attrCount_ = 0;
                return s;
            }
        }
    }
    const size_t depth = open_.size();
    for (;;) {
        const Event e = Next();
        if (e == Text) {
            if (s.size() + text_.size() > limit)
                Fail("a text longer than " + std::to_string(limit) + " bytes");
            s += text_;
        } else if (e == End && open_.size() < depth) {
            return s;
        } else if (e == Done) {
            Fail("unexpected end of data");
        }
    }
}

}  // namespace wb::detail
