#include "adapters/workbook/sheet_geometry.hpp"

namespace tbln::workbook {

namespace {
// The sizes of a sheet whose rows and columns keep Excel's defaults (Calibri 11).
constexpr double kDefaultRowHeight = 15.0;
constexpr double kDefaultColumnWidth = 48.0;
}  // namespace

double RowHeightPoints(const WorkbookModel&, const SheetModel&, Long) {
    return kDefaultRowHeight;
}

double ColumnWidthPoints(const WorkbookModel&, const SheetModel&, Long) {
    return kDefaultColumnWidth;
}

double RowTopPoints(const WorkbookModel& book, const SheetModel& sheet, Long row) {
    double top = 0;
    for (Long r = 1; r < row; ++r) top += RowHeightPoints(book, sheet, r);
    return top;
}

double ColumnLeftPoints(const WorkbookModel& book, const SheetModel& sheet, Long col) {
    double left = 0;
    for (Long c = 1; c < col; ++c) left += ColumnWidthPoints(book, sheet, c);
    return left;
}

}  // namespace tbln::workbook
