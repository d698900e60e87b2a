// The displayed text of a cell: its value as the cell's number format shows it, the
// way Excel renders it in a column wide enough for the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// The General number format: at most 11 characters, switching to the exponent form
// ("1.23457E+12") when the plain form does not fit.
std::string FormatGeneral(double value);

// The format code a cell format uses: its custom code, else the built-in one, else General.
std::string FormatCodeOf(const WorkbookModel& book, std::uint32_t style);

// A number shown with a format code (up to four sections, conditions, literals,
// thousands, percent, scientific, fractions, dates and times). The number is rounded
// as the spreadsheet keeps it, to 15 significant digits, and then to the digits the
// code shows with halves away from zero (2.5 in "0" shows 3, 1.005 in "0.00" 1.01). `date1904`
// selects the workbook's date system. Dates before the epoch or after 9999 show as "########", as
// Excel shows them whatever the column width.
std::string FormatNumber(double value, std::string_view code, bool date1904 = false);
// A text shown with a format code (its fourth section, or a single section with "@").
std::string FormatText(const std::string& text, std::string_view code);

std::string DisplayText(const WorkbookModel& book, const Cell& cell);

}  // namespace tbln::workbook
