#include "adapters/workbook/dom_parts.hpp"

#include <charconv>

#include "adapters/workbook/package.hpp"
#include "adapters/workbook/xml_parts.hpp"

namespace tbln::workbook {

pugi::xml_document ParseSmallPart(const Package& pkg, const std::string& part) {
    pugi::xml_document doc;
    const std::string bytes = pkg.Read(part);
    if (HasDoctype(bytes)) {
        RaiseBadWorkbook(pkg.Path(), "the part " + part +
                                         " declares a document type, which workbooks never do "
                                         "(it may hide an entity expansion attack)");
    }
    const auto result = doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default);
    if (!result || !doc.document_element()) {
        RaiseBadWorkbook(pkg.Path(), "the part " + part + " is not well-formed XML (at byte " +
                                         std::to_string(result.offset) + ": " +
                                         (result ? "no document element" : result.description()) +
                                         ")");
    }
    return doc;
}

bool Is(const pugi::xml_node& n, std::string_view local) {
    return LocalName(n.name()) == local;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local) {
    for (auto n : parent.children()) {
        if (Is(n, local)) return n;
    }
    return {};
}

const char* Attr(const pugi::xml_node& n, std::string_view local) {
    for (auto a : n.attributes()) {
        if (LocalName(a.name()) == local) return a.value();
    }
    return nullptr;
}

double NumberAttr(const pugi::xml_node& n, std::string_view local, double fallback) {
    const char* v = Attr(n, local);
    if (!v) return fallback;
    double out = 0;
    const std::string_view s(v);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() ? out : fallback;
}

bool FlagAttr(const pugi::xml_node& n, std::string_view local, bool fallback) {
    const char* v = Attr(n, local);
    if (!v) return fallback;
    const std::string_view s(v);
    if (s == "1" || s == "true" || s == "on") return true;
    if (s == "0" || s == "false" || s == "off") return false;
    return fallback;
}

}  // namespace tbln::workbook
