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
