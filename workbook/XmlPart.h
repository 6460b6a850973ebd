#pragma once
// One XML part of a zip package, parsed with pugixml. Elements and
// attributes are matched by local name, so that any namespace prefix a
// writer chooses ("x:c" as well as "c") reads the same.
#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace wb::detail {

class ZipArchive;

class XmlPart {
public:
    // Throws wb::Error naming the file and the part when it is not well-formed.
    XmlPart(const ZipArchive& zip, const std::string& name, std::string data);
    XmlPart(const XmlPart&) = delete;
    XmlPart& operator=(const XmlPart&) = delete;

    pugi::xml_node Root() const { return doc_.document_element(); }

private:
    std::string data_;  // parsed in place: the nodes point into it
    pugi::xml_document doc_;
};

// "x:sheet" -> "sheet".
inline std::string_view LocalName(const char* name)
{
    std::string_view s(name);
    const size_t colon = s.find(':');
    return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

inline bool Is(pugi::xml_node n, std::string_view local) { return n.type() == pugi::node_element && LocalName(n.name()) == local; }

inline pugi::xml_node Child(pugi::xml_node n, std::string_view local)
{
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (Is(c, local))
            return c;
    return {};
}

inline pugi::xml_attribute Attr(pugi::xml_node n, std::string_view local)
{
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
        if (LocalName(a.name()) == local)
            return a;
    return {};
}

}  // namespace wb::detail
