#pragma once
// A pull reader for the XML parts of a package: it inflates the part piece
// by piece and hands out one tag or one piece of text at a time, so that
// memory stays at its buffer whatever the part holds. Elements and
// attributes are matched by local name, so that any namespace prefix a
// writer chooses ("x:c" as well as "c") reads the same. Entities and line
// ends are decoded as XML defines them; a DOCTYPE, comments and processing
// instructions are skipped.
#include "workbook/ZipArchive.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wb::detail {

// Decimal integer at the start of `s` as atoll reads it (spaces, a sign,
// digits up to the first other character); 0 when there is none.
long long ToLong(std::string_view s);

class XmlStream {
public:
    enum Event { Start, End, Text, Done };

    // Deeper nesting is refused: no real part comes near it.
    static constexpr int kMaxDepth = 256;
    // Longest tag (name and attributes) read.
    static constexpr size_t kMaxTag = size_t(1) << 20;

    explicit XmlStream(std::unique_ptr<ZipMember> member);
    // The part `name` of `zip`; a missing part is an error.
    XmlStream(const ZipArchive& zip, const std::string& name);
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;

    // The next event. An empty element gives Start and then End. Throws
    // wb::Error "<file>: <part> is damaged (... at byte N)" when the part is
    // not well-formed. Names, attributes and pieces of text handed out before
    // stay valid only up to the next call.
    Event Next();

    // After Start and End: the element's local name ("x:c" -> "c").
    std::string_view Name() const { return name_; }
    // After Start: an attribute's value by local name; nullptr when absent.
    // Inline, as the readers ask for a few attributes of every cell.
    const std::string_view* Attr(std::string_view local) const
    {
        // Names are short: compared in place rather than by a call to memcmp.
        for (size_t i = 0; i < attrCount_; ++i) {
            const std::string_view a = attrs_[i].local;
            if (a.size() != local.size())
                continue;
            size_t k = 0;
            while (k < a.size() && a[k] == local[k])
                ++k;
            if (k == a.size())
                return &attrs_[i].value;
        }
        return nullptr;
    }
    // The same by qualified name ("calcext:value-type").
    const std::string_view* QAttr(std::string_view qualified) const;
    // Each attribute in order: f(qualified name, local name, value).
    template <class F>
    void ForEachAttr(F f) const
    {
        for (size_t i = 0; i < attrCount_; ++i)
            f(attrs_[i].qname, attrs_[i].local, attrs_[i].value);
    }
    std::string_view AttrOr(std::string_view local, std::string_view fallback = {}) const
    {
        const std::string_view* a = Attr(local);
        return a ? *a : fallback;
    }
    // After Text: a piece of character data (an element's text may come in
    // several pieces).
    std::string_view Piece() const { return text_; }
    // After Start: the local name of the element's parent.
    std::string_view ParentName() const;
    // Elements open, the current one included after Start.
    int Depth() const { return int(open_.size()); }

    // After Start: passes over the element's content and its end tag (no End
    // event for it). Content skipped this way is not checked.
    void Skip();
    // After Start: the text inside the element, its child elements' text
    // included, up to `limit` bytes (wb::Error past it); consumes its End.
    std::string ReadText(size_t limit);
    // After Start: when the element holds nothing but one child element
    // `local` with plain text, written without attributes or spaces in its
    // tags (as nearly every cell and shared string is), that text in `out`
    // as ReadText gives it (valid up to the next call), the element's End
    // consumed, and true. Otherwise false with nothing read, for the events
    // to give it.
    bool TakeOnlyChildText(std::string_view local, std::string_view& out, size_t limit);

    [[noreturn]] void Fail(const std::string& why) const;
    const std::string& PartName() const { return member_->Name(); }
    const std::string& Path() const { return member_->Archive().Path(); }

private:
    bool Fill();  // more bytes after end_; false at the end of the part
    bool NeedAll(size_t n);
    void ReadTag();
    void ReadLongTag();  // after ParseTag found the tag's end not yet at hand
    bool ParseTag();     // false when the tag runs past end_
    void SkipPast(std::string_view marker, const char* what);
    // The text of p[0, n) with entities and line ends decoded: p itself when
    // there is nothing to decode, else `store`.
    static std::string_view Decode(std::string& store, const char* p, size_t n);
    static void DecodeInto(std::string& out, const char* p, size_t n);
    std::string_view OpenName(size_t i) const
    {
        return std::string_view(names_.data() + open_[i].start,
                                (i + 1 < open_.size() ? open_[i + 1].start : namesTop_) - open_[i].start);
    }
    void Pop();

    struct Attribute {
        std::string_view qname, local, value;
        std::string decoded;  // the value's storage when it held entities
    };
    // An open element: where its qualified and its local name start in names_.
    struct Open {
        uint32_t start, local;
    };

    // What a stream hands on to the next one of its thread, so that a run
    // of workbooks allocates its buffers once.
    struct Spare {
        std::unique_ptr<char[]> buf;
        size_t size = 0;
        std::vector<char> names;
        std::vector<Open> open;
        std::vector<Attribute> attrs;
    };
    static std::vector<Spare>& Pool();

    std::unique_ptr<ZipMember> member_;
    // Taken from and given back to Pool().
    std::unique_ptr<char[]> buf_;
    size_t size_ = 0;
    size_t pos_ = 0, end_ = 0;
    long long consumed_ = 0;  // bytes dropped from the buffer's front
    bool eof_ = false;
    bool pendingEnd_ = false;  // an empty element's End comes next
    bool rootSeen_ = false;
    bool inCdata_ = false;
    // Qualified names of the open elements, one after the other; a popped
    // name stays readable until the next push.
    std::vector<char> names_;
    std::vector<Open> open_;
    size_t namesTop_ = 0;
    std::string_view name_;
    std::string_view text_;
    std::string textStore_;
    std::vector<Attribute> attrs_;
    size_t attrCount_ = 0;
};

}  // namespace wb::detail
