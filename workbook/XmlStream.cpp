// The pull reader over a part inflated piece by piece.
#include "workbook/XmlStream.h"

#include "workbook/Workbook.h"

#include <algorithm>
#include <cstring>

namespace wb::detail {

namespace {

constexpr size_t kChunk = size_t(64) << 10;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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

XmlStream::XmlStream(std::unique_ptr<ZipMember> member) : member_(std::move(member)), buf_(kChunk)
{
    Fill();
    if (end_ >= 2 && ((buf_[0] == '\xFF' && buf_[1] == '\xFE') || (buf_[0] == '\xFE' && buf_[1] == '\xFF')))
        Fail("UTF-16 text, which no workbook writer uses");
    if (end_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0)
        pos_ = 3;
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
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        consumed_ += (long long)pos_;
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == buf_.size())
        buf_.resize(buf_.size() * 2);
    const size_t got = member_->Read(buf_.data() + end_, buf_.size() - end_);
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += got;
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
        const char* from = buf_.data() + pos_;
        const char* at = static_cast<const char*>(memmem(from, end_ - pos_, marker.data(), marker.size()));
        if (at) {
            pos_ = size_t(at - buf_.data()) + marker.size();
            return;
        }
        // Keep what could be the marker's start.
        if (end_ - pos_ >= marker.size())
            pos_ = end_ - (marker.size() - 1);
        if (!Fill())
            Fail(std::string("unterminated ") + what);
    }
}

void XmlStream::DecodeInto(std::string& out, const char* p, size_t n, bool attribute)
{
    (void)attribute;
    for (size_t i = 0; i < n;) {
        const char* special = nullptr;
        for (size_t k = i; k < n; ++k)
            if (p[k] == '&' || p[k] == '\r') {
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
    return stack_.size() >= 2 ? LocalOf(stack_[stack_.size() - 2]) : std::string_view();
}

const std::string* XmlStream::Attr(std::string_view local) const
{
    for (size_t i = 0; i < attrCount_; ++i)
        if (LocalOf(attrs_[i].first) == local)
            return &attrs_[i].second;
    return nullptr;
}

const std::string* XmlStream::QAttr(std::string_view qualified) const
{
    for (size_t i = 0; i < attrCount_; ++i)
        if (attrs_[i].first == qualified)
            return &attrs_[i].second;
    return nullptr;
}

void XmlStream::ReadTag()
{
    // The whole tag in the buffer: up to its '>' outside quotes.
    size_t scan = 1;
    char quote = 0;
    for (;;) {
        const char* b = buf_.data() + pos_;
        const size_t avail = end_ - pos_;
        while (scan < avail) {
            const char c = b[scan];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            } else if (c == '<') {
                Fail("'<' inside a tag");
            }
            ++scan;
        }
        if (scan < end_ - pos_)
            break;
        if (scan > kMaxTag)
            Fail("a tag longer than " + std::to_string(kMaxTag) + " bytes");
        if (!Fill())
            Fail("unexpected end of data inside a tag");
    }
    const char* b = buf_.data() + pos_;
    const size_t len = scan;  // b[len] == '>'
    if (b[1] == '/') {
        size_t e = len;
        while (e > 2 && IsSpace(b[e - 1]))
            --e;
        const std::string_view qname(b + 2, e - 2);
        if (stack_.empty())
            Fail("end tag </" + std::string(qname) + "> without a start tag");
        if (stack_.back() != qname)
            Fail("end tag </" + std::string(qname) + "> does not match <" + stack_.back() + ">");
        name_ = LocalOf(stack_.back());
        stack_.pop_back();
        pos_ += len + 1;
        return;
    }
    size_t i = 1;
    while (i < len && !IsSpace(b[i]) && b[i] != '/')
        ++i;
    if (i == 1)
        Fail("a start tag without a name");
    std::string qname(b + 1, i - 1);
    attrCount_ = 0;
    bool empty = false;
    for (;;) {
        while (i < len && IsSpace(b[i]))
            ++i;
        if (i >= len)
            break;
        if (b[i] == '/') {
            if (i + 1 != len)
                Fail("bad start tag <" + qname + ">");
            empty = true;
            break;
        }
        const size_t nameStart = i;
        while (i < len && !IsSpace(b[i]) && b[i] != '=' && b[i] != '/')
            ++i;
        const std::string_view aname(b + nameStart, i - nameStart);
        while (i < len && IsSpace(b[i]))
            ++i;
        if (i >= len || b[i] != '=')
            Fail("an attribute without a value in <" + qname + ">");
        ++i;
        while (i < len && IsSpace(b[i]))
            ++i;
        if (i >= len || (b[i] != '"' && b[i] != '\''))
            Fail("an attribute value without quotes in <" + qname + ">");
        const char q = b[i++];
        const size_t valueStart = i;
        while (i < len && b[i] != q)
            ++i;
        if (i >= len)
            Fail("bad start tag <" + qname + ">");
        if (attrCount_ == attrs_.size())
            attrs_.emplace_back();
        auto& slot = attrs_[attrCount_++];
        slot.first.assign(aname);
        slot.second.clear();
        DecodeInto(slot.second, b + valueStart, i - valueStart, true);
        ++i;
    }
    pos_ += len + 1;
    if (int(stack_.size()) >= kMaxDepth)
        Fail("elements nested deeper than " + std::to_string(kMaxDepth));
    name_ = LocalOf(qname);
    stack_.push_back(std::move(qname));
    rootSeen_ = true;
    pendingEnd_ = empty;
}

XmlStream::Event XmlStream::Next()
{
    if (pendingEnd_) {
        pendingEnd_ = false;
        name_ = LocalOf(stack_.back());
        stack_.pop_back();
        attrCount_ = 0;
        return End;
    }
    for (;;) {
        if (inCdata_) {
            const char* from = buf_.data() + pos_;
            const char* at = static_cast<const char*>(memmem(from, end_ - pos_, "]]>", 3));
            if (at) {
                text_.assign(from, size_t(at - from));
                pos_ = size_t(at - buf_.data()) + 3;
                inCdata_ = false;
            } else {
                const size_t keep = std::min<size_t>(2, end_ - pos_);
                text_.assign(from, end_ - pos_ - keep);
                pos_ = end_ - keep;
                if (!Fill())
                    Fail("unterminated CDATA section");
            }
            if (!text_.empty())
                return Text;
            continue;
        }
        if (pos_ == end_ && !Fill()) {
            if (!stack_.empty())
                Fail("unexpected end of data: <" + stack_.back() + "> is not closed");
            if (!rootSeen_)
                Fail("no root element");
            return Done;
        }
        if (buf_[pos_] != '<') {
            const char* from = buf_.data() + pos_;
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
                        from = buf_.data() + pos_;
                    } else {
                        continue;
                    }
                }
            }
            text_.clear();
            if (!stack_.empty())
                DecodeInto(text_, from, n, false);
            pos_ += n;
            if (!text_.empty())
                return Text;
            continue;
        }
        NeedAll(9);
        const std::string_view head(buf_.data() + pos_, std::min<size_t>(9, end_ - pos_));
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
        const char* from = buf_.data() + pos_;
        const char* lt = static_cast<const char*>(std::memchr(from, '<', end_ - pos_));
        if (!lt) {
            pos_ = end_;
            if (!Fill())
                Fail("unexpected end of data: <" + stack_.back() + "> is not closed");
            continue;
        }
        pos_ = size_t(lt - buf_.data());
        NeedAll(9);
        const std::string_view head(buf_.data() + pos_, std::min<size_t>(9, end_ - pos_));
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
            const char* b = buf_.data() + pos_;
            const size_t avail = end_ - pos_;
            while (scan < avail) {
                const char c = b[scan];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
                ++scan;
            }
            if (scan < end_ - pos_)
                break;
            if (scan > kMaxTag)
                Fail("a tag longer than " + std::to_string(kMaxTag) + " bytes");
            if (!Fill())
                Fail("unexpected end of data inside a tag");
        }
        const char* b = buf_.data() + pos_;
        if (b[1] == '/')
            --depth;
        else if (b[1] != '!' && b[scan - 1] != '/')
            ++depth;
        pos_ += scan + 1;
        if (depth > kMaxDepth)
            Fail("elements nested deeper than " + std::to_string(kMaxDepth));
        if (depth == 0) {
            name_ = LocalOf(stack_.back());
            stack_.pop_back();
            attrCount_ = 0;
            return;
        }
    }
}

std::string XmlStream::ReadText(size_t limit)
{
    const size_t depth = stack_.size();
    std::string s;
    for (;;) {
        const Event e = Next();
        if (e == Text) {
            if (s.size() + text_.size() > limit)
                Fail("a text longer than " + std::to_string(limit) + " bytes");
            s += text_;
        } else if (e == End && stack_.size() < depth) {
            return s;
        } else if (e == Done) {
            Fail("unexpected end of data");
        }
    }
}

}  // namespace wb::detail
