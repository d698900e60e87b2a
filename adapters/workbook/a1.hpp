// A1 references: "B12" is row 12, column 2; "B2:D4" an area. The one place that reads
// and writes them for the engine, the files and the automation view.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// "B12" -> row 12, column 2. Dollar signs are allowed. Returns false when not a cell reference.
bool ParseCellRef(std::string_view ref, Long& row, Long& col);

// One area of an A1 address: "B2", "B2:D4" (corners given in any order), whole rows
// "13:65536" or whole columns "C:D"; dollar signs are allowed, blanks around the colon
// too. The corners come out in order. Returns false when not an area.
bool ParseArea(std::string_view text, Area& area);

// A list of areas separated by spaces, as a file's "sqref" and "ref" attributes hold
// them ("A1:B2 C3"); what is not an area is left out.
std::vector<Area> ParseAreaList(std::string_view refs);

// Row 12, column 2 -> "B12".
std::string CellReference(Long row, Long col);
// "B2:D4", or "B2" for a single cell.
std::string AreaReference(Long top, Long left, Long bottom, Long right);

}  // namespace tbln::workbook
