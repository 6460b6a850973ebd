// Parsing of package parts.
#include "workbook/XmlPart.h"

#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"

namespace wb::detail {

XmlPart::XmlPart(const ZipArchive& zip, const std::string& name, std::string data) : data_(std::move(data))
{
    // Entities and line ends as XML defines them; a text of spaces alone is
    // kept (a cell may hold just a blank), other layout whitespace is not.
    const unsigned options = pugi::parse_escapes | pugi::parse_eol | pugi::parse_cdata | pugi::parse_ws_pcdata_single;
    const pugi::xml_parse_result r = doc_.load_buffer_inplace(data_.data(), data_.size(), options, pugi::encoding_auto);
    if (!r)
        throw Error(zip.Path() + ": " + name + " is damaged (" + r.description() + " at byte " +
                    std::to_string(r.offset) + ")");
    if (!doc_.document_element())
        throw Error(zip.Path() + ": " + name + " is empty");
}

}  // namespace wb::detail
