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

// Every event of the part as text, an error ending it. The first <`at`>
// reads as "[its text]" followed by the name and depth the stream is left
// at: a <v> by ReadText, a <c> by TakeOnlyChildText when `fast` (`taken`
// says if it took), else by its events with ReadText for its <v>.
std::string Events(const std::string& xml, std::string_view at, size_t limit, bool fast = false, bool* taken = nullptr)
{
    using wb::detail::XmlStream;
    std::string out;
    try {
        wb::detail::ZipArchive zip("t.zip", testjson::Zip({testjson::Stored("x.xml", xml)}));
        XmlStream xs(zip, "x.xml");
        bool seen = false;
        int inside = 0;  // the depth of <`at`> while its events are read
        std::string text;
        for (auto e = xs.Next(); e != XmlStream::Done; e = xs.Next()) {
            const std::string name(xs.Name()), piece = e == XmlStream::Text ? "'" + std::string(xs.Piece()) + "'" : "";
            if (e == XmlStream::Start && name == at && !seen) {
                seen = true;
                if (at == "v") {
                    text = xs.ReadText(limit);
                } else if (std::string_view only; (*taken = fast && xs.TakeOnlyChildText("v", only, limit))) {
                    text = only;
                } else {
                    inside = xs.Depth();
                    continue;
                }
            } else if (inside && e == XmlStream::End && xs.Depth() < inside) {
                inside = 0;
            } else if (inside) {  // inside it: its <v>'s text, other elements' start tags and text
                text += e == XmlStream::Start ? (name == "v" ? xs.ReadText(limit) : "<" + name + ">") : piece;
                continue;
            } else {
                out += e == XmlStream::Start ? "<" + name + ">" : e == XmlStream::End ? "</" + name + ">" : piece;
                continue;
            }
            out += "[" + text + "]" + std::string(xs.Name()) + std::to_string(xs.Depth());
        }
        return out + (inside ? "(done inside <c>)" : "");
    } catch (const wb::Error& e) {
        return out + e.what();
    }
}

std::string Damaged(const std::string& why)
{
    return "t.zip: x.xml is damaged (" + why + ")";
}

}  // namespace

TEST(XmlText, ReadTextAsTheEventsGiveIt)
{
    // An empty element, an end tag of another name and a text over the limit
    // reach ReadText in OnlyChildTextAsTheEventsGiveIt.
    const std::tuple<const char*, size_t, std::string> cases[] = {
        // xml, limit, what is read
        {"<a><v>12.5</v></a>", 100, "<a>[12.5]v1</a>"},
        {"<a><x:v>12.5</x:v></a>", 100, "<a>[12.5]v1</a>"},
        {"<a><v>1 &amp; 2 &lt;3&#x41;</v></a>", 100, "<a>[1 & 2 <3A]v1</a>"},
        {"<a><v>x\r\ny\rz</v></a>", 100, "<a>[x\ny\nz]v1</a>"},
        {"<a><v>ab</v  ></a>", 100, "<a>[ab]v1</a>"},
        {"<a><v></v></a>", 100, "<a>[]v1</a>"},
        {"<a><v>p<b>q</b>r</v></a>", 100, "<a>[pqr]v1</a>"},
        {"<a><v>p<![CDATA[<q>]]>r</v></a>", 100, "<a>[p<q>r]v1</a>"},
        {"<a><v>ab</vv></a>", 100, "<a>" + Damaged("end tag </vv> does not match <v> at byte 8")},
        {"<a><v>ab</v x></a>", 100, "<a>" + Damaged("end tag </v x> does not match <v> at byte 8")},
        {"<a><v>ab</v", 100, "<a>" + Damaged("unexpected end of data inside a tag at byte 8")},
        {"<a><v>abcdef</v></a>", 6, "<a>[abcdef]v1</a>"},
        {"<a><v>a&amp;b</v></a>", 3, "<a>[a&b]v1</a>"},
    };
    for (const auto& [xml, limit, expected] : cases)
        EXPECT_EQ(Events(xml, "v", limit), expected) << xml;
}

TEST(XmlText, OnlyChildTextAsTheEventsGiveIt)
{
    std::string deep;
    for (int i = 0; i < wb::detail::XmlStream::kMaxDepth - 1; ++i)
        deep += "<a>";
    // xml, limit, whether TakeOnlyChildText takes it, what is read ("": as the events read it, whatever that is)
    const std::tuple<std::string, size_t, bool, std::string> cases[] = {
        {"<r><c><v>12.5</v></c><d/></r>", 100, true, "<r>[12.5]c1<d></d></r>"},
        {"<x:r><x:c><x:v>1</x:v></x:c></x:r>", 100, true, "<r>[1]c1</r>"},
        {"<r><x:c><y:v>1</y:v></x:c></r>", 100, true, ""},
        {"<r><c><:v>1</:v></c></r>", 100, true, ""},
        {"<r><c><v>1 &amp; 2&#x41;&bogus;</v></c></r>", 100, true, "<r>[1 & 2A&bogus;]c1</r>"},
        {"<r><c><v>a\r\nb\rc</v></c></r>", 100, true, "<r>[a\nb\nc]c1</r>"},
        {"<r><c><v></v></c></r>", 100, true, "<r>[]c1</r>"},
        {"<r><c><v>abc</v></c></r>", 3, true, "<r>[abc]c1</r>"},
        {"<r><c><v>a&amp;b</v></c></r>", 3, true, "<r>[a&b]c1</r>"},
        {"<r><c><v>abcdef</v></c></r>", 5, false, "<r>" + Damaged("a text longer than 5 bytes at byte 15")},
        {"<r><c><v/></c></r>", 100, false, "<r>[]c1</r>"},
        {"<r><c/></r>", 100, false, "<r>[]c1</r>"},
        {"<r><c><v a='1'>1</v></c></r>", 100, false, ""},
        {"<r><c><v >1</v></c></r>", 100, false, ""},
        {"<r><c><v>1</v ></c></r>", 100, false, ""},
        {"<r><c><v>1</v></c ></r>", 100, false, ""},
        {"<r><c> <v>1</v></c></r>", 100, false, "<r>[' '1]c1</r>"},
        {"<r><c><v>1</v> </c></r>", 100, false, "<r>[1' ']c1</r>"},
        {"<r><c><v>1</v><f>x</f></c></r>", 100, false, "<r>[1<f>'x']c1</r>"},
        {"<r><c><f>x</f></c></r>", 100, false, ""},
        {"<r><c><vv>1</vv></c></r>", 100, false, ""},
        {"<r><c><v>1<![CDATA[<2>]]></v></c></r>", 100, false, "<r>[1<2>]c1</r>"},
        {"<r><c><v>1<!-- 2 --></v></c></r>", 100, false, "<r>[1]c1</r>"},
        {"<r><c><v>1</v><?pi x?></c></r>", 100, false, "<r>[1]c1</r>"},
        {"<r><c><v>1</w></c></r>", 100, false, "<r>" + Damaged("end tag </w> does not match <v> at byte 10")},
        {"<r><c><v>1</v></d></r>", 100, false, "<r>" + Damaged("end tag </d> does not match <c> at byte 14")},
        {"<r><c><v>1</v></c", 100, false, "<r>" + Damaged("unexpected end of data inside a tag at byte 14")},
        {"<r><c><v>1</v></cc></r>", 100, false, ""},
        {deep + "<c><v>1</v></c>", 100, false, ""},
    };
    for (const auto& [xml, limit, taken, expected] : cases) {
        SCOPED_TRACE(xml.substr(0, 60));
        bool took = false, slowTook = false;
        const std::string fast = Events(xml, "c", limit, true, &took);
        EXPECT_EQ(fast, Events(xml, "c", limit, false, &slowTook));
        EXPECT_EQ(took, taken);
        if (!expected.empty()) {
            EXPECT_EQ(fast, expected);
        }
    }
    // The cell across the end of the bytes at hand, at each offset: taken
    // when whole, read by the events otherwise, the same either way.
    for (size_t pad = 65500; pad < 65540; ++pad) {
        SCOPED_TRACE(pad);
        const std::string xml = "<r><!--" + std::string(pad, 'x') + "--><c><v>123</v></c></r>";
        bool took = false;
        const std::string fast = Events(xml, "c", 100, true, &took);
        EXPECT_EQ(fast, "<r>[123]c1</r>");
        EXPECT_EQ(fast, Events(xml, "c", 100, false, &took));
    }
}
