// A1 references: "B12" is row 12, column 2; "B2:D4" an area. The one place that reads
// and writes them for the engine, the files and the automation view.
#pragma once

#include <string>
#include <string_view>

#include "core/numeric.hpp"

namespace tbln::workbook {

// "B12" -> row 12, column 2. Dollar signs are allowed. Returns false when not a cell reference.
bool ParseCellRef(std::string_view ref, Long& row, Long& col);

// Row 12, column 2 -> "B12".
std::string CellReference(Long row, Long col);
// "B2:D4", or "B2" for a single cell.
std::string AreaReference(Long top, Long left, Long bottom, Long right);

}  // namespace tbln::workbook
