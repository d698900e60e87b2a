// Reading the parts of a package: the helpers both engines use on a part read whole into
// a DOM (pugixml), and on the attributes of a streamed element (expat). Element and
// attribute names are matched without their namespace prefix, so transitional, strict and
// prefixed packages read alike.
#pragma once

#include <pugixml.hpp>

#include <optional>
#include <string_view>

namespace tbln::opc {

// True when the element's local name is `local`.
bool Is(const pugi::xml_node& n, std::string_view local);
// The first child element of that local name (an empty node when there is none).
pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local);
// The value of the attribute of that local name, or nullptr.
const char* Attr(const pugi::xml_node& n, std::string_view local);
// The same in an expat attribute list (name, value, name, value, ..., nullptr).
const char* Attr(const char** attributes, std::string_view local);
// The attribute's value, or `fallback` when absent or not a number.
double NumberAttr(const pugi::xml_node& n, std::string_view local, double fallback);

// An on/off value as the formats write it: "true", "on" and "1" are on; "false", "off"
// and "0" are off; anything else is no on/off value.
std::optional<bool> OnOff(std::string_view value);
// An on/off attribute; absent or not an on/off value is `fallback`.
bool FlagAttr(const pugi::xml_node& n, std::string_view local, bool fallback);

}  // namespace tbln::opc
