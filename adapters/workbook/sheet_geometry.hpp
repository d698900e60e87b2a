// Row heights and column widths in points, as Excel reports them, and the offsets of
// rows and columns from the sheet's top-left corner (where shapes are anchored).
//
// Column widths are stored in characters of the workbook's default font (the
// maximum digit width, in pixels of the screen the workbook was saved on) including
// 5 pixels of cell padding; Excel turns them into whole pixels and reports them in
// points at that screen's density (3/4 of a point a pixel at 96 dpi).
#pragma once

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Height of a row in points; 0 for a hidden row.
double RowHeightPoints(const WorkbookModel& book, const SheetModel& sheet, Long row);
// Width of a column in points; 0 for a hidden column.
double ColumnWidthPoints(const WorkbookModel& book, const SheetModel& sheet, Long col);
// Height of the rows first..last (width of the columns first..last) in points, hidden
// ones counting 0; 0 when last < first.
double RowSpanPoints(const WorkbookModel& book, const SheetModel& sheet, Long first, Long last);
double ColumnSpanPoints(const WorkbookModel& book, const SheetModel& sheet, Long first, Long last);
// Distance in points from the top of the sheet to the top of `row` (the rows above it).
double RowTopPoints(const WorkbookModel& book, const SheetModel& sheet, Long row);
// Distance in points from the left of the sheet to the left of `col`.
double ColumnLeftPoints(const WorkbookModel& book, const SheetModel& sheet, Long col);

// The width of the widest digit of the workbook's default font, in pixels: the digit
// width its stored column widths were written with where they show it (they land on
// whole pixels for one digit width only), else the width measured on the font at 96
// dpi. Worked out once per workbook, with the density those pixels have (widthDpi).
int MaxDigitWidth(const WorkbookModel& book);
// Width of a column in characters, as Excel's ColumnWidth reports it (hidden: 0).
double ColumnWidthCharacters(const WorkbookModel& book, const SheetModel& sheet, Long col);
// Width of the columns first..last together (a merged area) in characters, the cell
// padding counted once.
double ColumnSpanCharacters(const WorkbookModel& book, const SheetModel& sheet, Long first,
                            Long last);
// Whether a row or a column is hidden.
bool RowHidden(const SheetModel& sheet, Long row);
bool ColumnHidden(const SheetModel& sheet, Long col);

}  // namespace tbln::workbook
