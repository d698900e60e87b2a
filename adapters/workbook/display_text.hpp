// The displayed text of a cell: its value as the cell's number format shows it.
#pragma once

#include <string>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// The General number format: at most 11 characters, switching to the exponent form
// ("1.23457E+12") when the plain form does not fit.
std::string FormatGeneral(double value);

std::string DisplayText(const WorkbookModel& book, const Cell& cell);

}  // namespace tbln::workbook
