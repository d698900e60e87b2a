// The styles and theme parts of a workbook: fonts, fills, borders, cell formats with
// their alignment, number formats, and the theme's colours and fonts.
#pragma once

#include <string>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

class Package;

// Reads the theme part into book.theme. A damaged theme is not fatal: the workbook
// keeps the default Office theme, as the cells can still be shown.
void ReadTheme(const Package& pkg, const std::string& part, WorkbookModel& book);

// Reads the styles part; colours that refer to the theme are resolved against
// book.theme, so the theme is read first.
void ReadStyles(const Package& pkg, const std::string& part, WorkbookModel& book);

}  // namespace tbln::workbook
