#include "adapters/opc/dom.hpp"

#include <charconv>

#include "adapters/opc/xml_part.hpp"

namespace tbln::opc {

bool Is(const pugi::xml_node& n, std::string_view local) {
    return LocalName(n.name()) == local;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local) {
    for (auto n : parent.children()) {
        if (n.type() == pugi::node_element && Is(n, local)) return n;
    }
    return {};
}

const char* Attr(const pugi::xml_node& n, std::string_view local) {
    for (auto a : n.attributes()) {
        if (LocalName(a.name()) == local) return a.value();
    }
    return nullptr;
}

const char* Attr(const char** attributes, std::string_view local) {
    for (const char** a = attributes; a && *a; a += 2) {
        if (LocalName(a[0]) == local) return a[1];
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

std::optional<bool> OnOff(std::string_view s) {
    if (s == "1" || s == "true" || s == "on") return true;
    if (s == "0" || s == "false" || s == "off") return false;
    return std::nullopt;
}

bool FlagAttr(const pugi::xml_node& n, std::string_view local, bool fallback) {
    const char* v = Attr(n, local);
    return v ? OnOff(v).value_or(fallback) : fallback;
}

}  // namespace tbln::opc
