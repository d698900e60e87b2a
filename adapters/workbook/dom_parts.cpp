#include "adapters/workbook/dom_parts.hpp"

#include <charconv>

#include "adapters/opc/xml_part.hpp"

namespace tbln::workbook {

bool Is(const pugi::xml_node& n, std::string_view local) {
    return opc::LocalName(n.name()) == local;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local) {
    for (auto n : parent.children()) {
        if (Is(n, local)) return n;
    }
    return {};
}

const char* Attr(const pugi::xml_node& n, std::string_view local) {
    for (auto a : n.attributes()) {
        if (opc::LocalName(a.name()) == local) return a.value();
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
