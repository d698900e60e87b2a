// Writing a sheet's recorded edits into its worksheet part, leaving everything else in
// the XML as it was.
#pragma once

#include <string>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Applies the edits to a worksheet part and returns the new XML. `formulasMoved` is
// set when a formula was overwritten, removed or moved, which makes the workbook's
// calculation chain stale. Raises 1004 naming the file and part when the XML is bad.
std::string PatchWorksheetXml(const std::string& workbookPath, const std::string& part,
                              const std::string& xml, const std::vector<SheetEdit>& edits,
                              bool& formulasMoved);

}  // namespace tbln::workbook
