// The displayed text of a cell: its value as the cell's number format shows it, the
// way Excel renders it in the cell's column.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// The General number format in a column `width` characters wide (at most 11 count):
// as many decimals as fit, else the exponent form ("1.23457E+12", "1.2E+12"), else
// "#" across the width.
std::string FormatGeneral(double value, int width = 11);

// The format code a cell format uses: its custom code, else the built-in one, else General.
std::string FormatCodeOf(const WorkbookModel& book, std::uint32_t style);

// A number shown with a format code (up to four sections, conditions, literals,
// thousands, percent, scientific, fractions, dates and times). The number is rounded
// as the spreadsheet keeps it, to 15 significant digits, and then to the digits the
// code shows with halves away from zero (2.5 in "0" shows 3, 1.005 in "0.00" 1.01). `date1904`
// selects the workbook's date system. Dates before the epoch or after 9999 show as "########", as
// Excel shows them whatever the column width.
// `width` is the General format's width (see FormatGeneral).
std::string FormatNumber(double value, std::string_view code, bool date1904 = false,
                         int width = 11);
// A text shown with a format code (its fourth section, or a single section with "@").
std::string FormatText(const std::string& text, std::string_view code);

// The text of a cell in a column wide enough for it.
std::string DisplayText(const WorkbookModel& book, const Cell& cell);

// The text the cell at (row, column) shows in its column, or across the columns of the
// merged area it starts, as Excel's Range.Text reports it: a General number keeps the
// decimals that fit, else takes the exponent form; any other number, and a date, that
// does not fit shows "#" across the width. The width counts characters of the default
// font's digits (ColumnWidth). Texts overflow and show whole, as do the numbers of a
// shrink-to-fit cell and of a hidden column.
std::string DisplayText(const WorkbookModel& book, const SheetModel& sheet, Long row, Long column,
                        const Cell& cell);

}  // namespace tbln::workbook
