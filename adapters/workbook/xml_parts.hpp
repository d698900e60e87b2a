// XML helpers of the spreadsheet engine: the text escapes of the file format, A1 cell
// references and attributes by local name (the parts themselves are parsed by
// adapters/opc/xml_part.hpp).
#pragma once

#include <string>
#include <string_view>

#include "core/numeric.hpp"

namespace tbln::workbook {

// Decodes the _xHHHH_ escapes of the file format.
std::string DecodeEscapes(std::string_view text);

// "B12" -> row 12, column 2. Dollar signs are allowed. Returns false when not a cell reference.
bool ParseCellRef(std::string_view ref, Long& row, Long& col);

// Row 12, column 2 -> "B12".
std::string CellReference(Long row, Long col);
// "B2:D4", or "B2" for a single cell.
std::string AreaReference(Long top, Long left, Long bottom, Long right);

// The value of an attribute by local name in an expat attribute list, or nullptr.
const char* Attribute(const char** attributes, std::string_view localName);

}  // namespace tbln::workbook
