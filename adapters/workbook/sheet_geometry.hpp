// Row heights and column widths in points, as Excel reports them, and the offsets of
// rows and columns from the sheet's top-left corner (where shapes are anchored).
#pragma once

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Height of a row in points; 0 for a hidden row.
double RowHeightPoints(const WorkbookModel& book, const SheetModel& sheet, Long row);
// Width of a column in points; 0 for a hidden column.
double ColumnWidthPoints(const WorkbookModel& book, const SheetModel& sheet, Long col);
// Distance in points from the top of the sheet to the top of `row` (the rows above it).
double RowTopPoints(const WorkbookModel& book, const SheetModel& sheet, Long row);
// Distance in points from the left of the sheet to the left of `col`.
double ColumnLeftPoints(const WorkbookModel& book, const SheetModel& sheet, Long col);

}  // namespace tbln::workbook
