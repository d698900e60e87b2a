// The small parts of a workbook package (workbook, styles, theme, drawings), read whole
// into a DOM by Package::ReadXml. Element and attribute names are matched without
// their namespace prefix, so transitional, strict and prefixed packages read alike.
#pragma once

#include <pugixml.hpp>

#include <string_view>

namespace tbln::workbook {

bool Is(const pugi::xml_node& n, std::string_view local);
pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local);
const char* Attr(const pugi::xml_node& n, std::string_view local);
// The attribute's value, or `fallback` when absent or not a number.
double NumberAttr(const pugi::xml_node& n, std::string_view local, double fallback);
// A Boolean attribute: "1"/"true" is true, "0"/"false" false; absent is `fallback`.
bool FlagAttr(const pugi::xml_node& n, std::string_view local, bool fallback);

}  // namespace tbln::workbook
