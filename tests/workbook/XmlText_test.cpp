// XmlStream::ReadText takes an element's plain text straight from the buffer
// when its end tag follows; everything else (entities, line ends, child
// elements, end tags that do not match, a part cut short) must read exactly
// as the event by event path reads it.
#include "tests/workbook/HandMade.h"
#include "workbook/Workbook.h"
#include "workbook/XmlStream.h"
#include "workbook/ZipArchive.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

// The text of the first <v> read with the limit, or the error's message.
std::string TextOfV(const std::string& xml, size_t limit)
{
    try {
        wb::detail::ZipArchive zip("t.zip", testjson::Zip({testjson::Stored("x.xml", xml)}));
        wb::detail::XmlStream xs(zip, "x.xml");
        for (auto e = xs.Next(); e != wb::detail::XmlStream::Done; e = xs.Next())
            if (e == wb::detail::XmlStream::Start && xs.Name() == "v") {
                std::string text = xs.ReadText(limit);
                // What follows must read on as before.
                while (xs.Next() != wb::detail::XmlStream::Done) {
                }
                return "[" + text + "]";
            }
        return "no <v>";
    } catch (const wb::Error& e) {
        return e.what();
    }
}

}  // namespace

TEST(XmlText, ReadTextAsTheEventsGiveIt)
{
    const std::tuple<const char*, size_t, const char*> cases[] = {
        // xml, limit, text or error
        {"<a><v>12.5</v></a>", 100, "[12.5]"},
        {"<a><x:v>12.5</x:v></a>", 100, "[12.5]"},
        {"<a><v>1 &amp; 2 &lt;3&#x41;</v></a>", 100, "[1 & 2 <3A]"},
        {"<a><v>x\r\ny\rz</v></a>", 100, "[x\ny\nz]"},
        {"<a><v>ab</v  ></a>", 100, "[ab]"},
        {"<a><v></v></a>", 100, "[]"},
        {"<a><v/></a>", 100, "[]"},
        {"<a><v>p<b>q</b>r</v></a>", 100, "[pqr]"},
        {"<a><v>p<![CDATA[<q>]]>r</v></a>", 100, "[p<q>r]"},
        {"<a><v>ab</vv></a>", 100, "t.zip: x.xml is damaged (end tag </vv> does not match <v> at byte 8)"},
        {"<a><v>ab</w></a>", 100, "t.zip: x.xml is damaged (end tag </w> does not match <v> at byte 8)"},
        {"<a><v>ab</v x></a>", 100, "t.zip: x.xml is damaged (end tag </v x> does not match <v> at byte 8)"},
        {"<a><v>ab</v", 100, "t.zip: x.xml is damaged (unexpected end of data inside a tag at byte 8)"},
        {"<a><v>abcdef</v></a>", 6, "[abcdef]"},
        {"<a><v>abcdef</v></a>", 5, "t.zip: x.xml is damaged (a text longer than 5 bytes at byte 12)"},
        {"<a><v>a&amp;b</v></a>", 3, "[a&b]"},
    };
    for (const auto& [xml, limit, expected] : cases)
        EXPECT_EQ(TextOfV(xml, limit), expected) << xml;
}

namespace {

// Every event of the part as text, where the first <c> reads as "[text of
// its <v>]" followed by the name and depth the stream is left at, or the
// error. `fast` tries TakeOnlyChildText first; `taken` says if it took.
std::string ReadWithC(const std::string& xml, size_t limit, bool fast, bool* taken)
{
    using wb::detail::XmlStream;
    std::string out;
    try {
        wb::detail::ZipArchive zip("t.zip", testjson::Zip({testjson::Stored("x.xml", xml)}));
        XmlStream xs(zip, "x.xml");
        bool seen = false;
        for (auto e = xs.Next(); e != XmlStream::Done; e = xs.Next()) {
            if (e == XmlStream::Start && xs.Name() == "c" && !seen) {
                seen = true;
                std::string v;
                *taken = fast && xs.TakeOnlyChildText("v", v, limit);
                if (!*taken) {
                    const int depth = xs.Depth();
                    for (auto f = xs.Next(); !(f == XmlStream::End && xs.Depth() < depth); f = xs.Next()) {
                        if (f == XmlStream::Done)
                            return out + "(done inside <c>)";
                        if (f == XmlStream::Start && xs.Name() == "v")
                            v += xs.ReadText(limit);
                        else if (f == XmlStream::Start)
                            v += "<" + std::string(xs.Name()) + ">";
                        else if (f == XmlStream::Text)
                            v += "'" + std::string(xs.Piece()) + "'";
                    }
                }
                out += "[" + v + "]" + std::string(xs.Name()) + std::to_string(xs.Depth());
            } else if (e == XmlStream::Start) {
                out += "<" + std::string(xs.Name()) + ">";
            } else if (e == XmlStream::End) {
                out += "</" + std::string(xs.Name()) + ">";
            } else {
                out += "'" + std::string(xs.Piece()) + "'";
            }
        }
        return out;
    } catch (const wb::Error& e) {
        return out + e.what();
    }
}

}  // namespace

TEST(XmlText, OnlyChildTextAsTheEventsGiveIt)
{
    const std::string deep = [] {
        std::string s;
        for (int i = 0; i < wb::detail::XmlStream::kMaxDepth - 1; ++i)
            s += "<a>";
        return s + "<c><v>1</v></c>";
    }();
    const struct {
        std::string xml;
        size_t limit;
        bool taken;
        const char* expected;  // nullptr: as the events read it, whatever that is
    } cases[] = {
        {"<r><c><v>12.5</v></c><d/></r>", 100, true, "<r>[12.5]c1<d></d></r>"},
        {"<x:r><x:c><x:v>1</x:v></x:c></x:r>", 100, true, "<r>[1]c1</r>"},
        {"<r><x:c><y:v>1</y:v></x:c></r>", 100, true, nullptr},
        {"<r><c><:v>1</:v></c></r>", 100, true, nullptr},
        {"<r><c><v>1 &amp; 2&#x41;&bogus;</v></c></r>", 100, true, "<r>[1 & 2A&bogus;]c1</r>"},
        {"<r><c><v>a\r\nb\rc</v></c></r>", 100, true, "<r>[a\nb\nc]c1</r>"},
        {"<r><c><v></v></c></r>", 100, true, "<r>[]c1</r>"},
        {"<r><c><v>abc</v></c></r>", 3, true, "<r>[abc]c1</r>"},
        {"<r><c><v>a&amp;b</v></c></r>", 3, true, "<r>[a&b]c1</r>"},
        {"<r><c><v>abcdef</v></c></r>", 5, false, "<r>t.zip: x.xml is damaged (a text longer than 5 bytes at byte 15)"},
        {"<r><c><v/></c></r>", 100, false, "<r>[]c1</r>"},
        {"<r><c/></r>", 100, false, "<r>[]c1</r>"},
        {"<r><c><v a='1'>1</v></c></r>", 100, false, nullptr},
        {"<r><c><v >1</v></c></r>", 100, false, nullptr},
        {"<r><c><v>1</v ></c></r>", 100, false, nullptr},
        {"<r><c><v>1</v></c ></r>", 100, false, nullptr},
        {"<r><c> <v>1</v></c></r>", 100, false, "<r>[' '1]c1</r>"},
        {"<r><c><v>1</v> </c></r>", 100, false, "<r>[1' ']c1</r>"},
        {"<r><c><v>1</v><f>x</f></c></r>", 100, false, "<r>[1<f>'x']c1</r>"},
        {"<r><c><f>x</f></c></r>", 100, false, nullptr},
        {"<r><c><vv>1</vv></c></r>", 100, false, nullptr},
        {"<r><c><v>1<![CDATA[<2>]]></v></c></r>", 100, false, "<r>[1<2>]c1</r>"},
        {"<r><c><v>1<!-- 2 --></v></c></r>", 100, false, "<r>[1]c1</r>"},
        {"<r><c><v>1</v><?pi x?></c></r>", 100, false, "<r>[1]c1</r>"},
        {"<r><c><v>1</w></c></r>", 100, false,
         "<r>t.zip: x.xml is damaged (end tag </w> does not match <v> at byte 10)"},
        {"<r><c><v>1</v></d></r>", 100, false,
         "<r>t.zip: x.xml is damaged (end tag </d> does not match <c> at byte 14)"},
        {"<r><c><v>1</v></c", 100, false,
         "<r>t.zip: x.xml is damaged (unexpected end of data inside a tag at byte 14)"},
        {"<r><c><v>1</v></cc></r>", 100, false, nullptr},
        {deep, 100, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml.substr(0, 60));
        bool taken = false, slowTaken = false;
        const std::string fast = ReadWithC(c.xml, c.limit, true, &taken);
        EXPECT_EQ(fast, ReadWithC(c.xml, c.limit, false, &slowTaken));
        EXPECT_EQ(taken, c.taken);
        if (c.expected) {
            EXPECT_EQ(fast, c.expected);
        }
    }
    // The cell across the end of the bytes at hand, at each offset: taken
    // when whole, read by the events otherwise, the same either way.
    for (size_t pad = 65500; pad < 65540; ++pad) {
        SCOPED_TRACE(pad);
        const std::string xml = "<r><!--" + std::string(pad, 'x') + "--><c><v>123</v></c></r>";
        bool taken = false, slowTaken = false;
        const std::string fast = ReadWithC(xml, 100, true, &taken);
        EXPECT_EQ(fast, "<r>[123]c1</r>");
        EXPECT_EQ(fast, ReadWithC(xml, 100, false, &slowTaken));
    }
}
