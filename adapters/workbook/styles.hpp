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

// The theme colour `index` (as cells refer to it: 0 light 1, 1 dark 1, 2 light 2,
// 3 dark 2, 4-9 accents, 10 hyperlink, 11 followed hyperlink) lightened or darkened
// by `tint` (-1 to 1).
std::uint32_t ThemeColor(const Theme& theme, int index, double tint);

// The colour of the legacy palette at `index` (0-63); 64 and above are automatic.
bool PaletteColor(int index, std::uint32_t& rgb);

}  // namespace tbln::workbook
