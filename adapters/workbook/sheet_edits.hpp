// Changing a sheet: cell texts, column widths and deletions. Each change is applied to
// the in-memory model at once (so the engine reads back what it wrote) and recorded,
// and saving applies the recorded changes to the sheet's own XML, leaving everything
// else in it as it was.
#pragma once

#include <string>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// The most cells one SetValue may write (a whole column is more than anyone means).
inline constexpr std::size_t kMaxCellsPerWrite = 1'000'000;

// The file's `width` attribute for a column `characters` wide, as Excel writes it: the
// characters and the 5-pixel padding, snapped to whole pixels and to 1/256 of a
// character. `maxDigitWidth` is the default font's widest digit in pixels.
double ColumnWidthAttribute(double characters, int maxDigitWidth);

// Sets every cell of the areas to the text (an empty text empties the cell). Raises
// 1004 when the areas hold more cells than the limit.
void SetCellsText(WorkbookModel& book, SheetModel& sheet, const std::vector<Area>& areas,
                  const std::string& text);
// Sets the width of columns first..last in characters of the default font; 0 hides them.
void SetColumnsWidth(const WorkbookModel& book, SheetModel& sheet, Long first, Long last,
                     double characters);
// Deletes a block of cells: whole rows move the rows below up; any other block moves
// the cells right of it, in its rows, to the left. Raises 1004, changing nothing, when
// the block would cut through a merged area.
void DeleteCells(SheetModel& sheet, const Area& block);

// Applies the edits to a worksheet part and returns the new XML. `formulasMoved` is
// set when a formula was overwritten, removed or moved, which makes the workbook's
// calculation chain stale. Raises 1004 naming the file and part when the XML is bad.
std::string PatchWorksheetXml(const std::string& workbookPath, const std::string& part,
                              const std::string& xml, const std::vector<SheetEdit>& edits,
                              bool& formulasMoved);

}  // namespace tbln::workbook
