// The _xHHHH_ escapes of a workbook package's texts: a character XML cannot hold (a
// control character) is written as its code in hexadecimal between "_x" and "_".
#pragma once

#include <string>
#include <string_view>

namespace tbln::workbook {

// Decodes the escapes of a text read from the package.
std::string DecodeEscapes(std::string_view text);

// Escapes a text for the package: control characters other than tab and line breaks as
// _xHHHH_, and a "_" that would start an escape as _x005F_.
std::string EncodeEscapes(const std::string& text);

}  // namespace tbln::workbook
