// Colours of a workbook, the same for both formats: the legacy palette, the theme's
// colours and the HSL maths that lightens, darkens and modulates them (a cell's tint, a
// drawing's lumMod and lumOff).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// A colour with channels from 0 to 1, and its hue, saturation and lightness (0 to 1).
struct Rgb {
    double r, g, b;
};
struct Hsl {
    double h, s, l;
};

// 0xRRGGBB <-> channels; channels out of 0..1 are clamped and rounded to the nearest byte.
Rgb FromHex(std::uint32_t rgb);
std::uint32_t ToHex(const Rgb& c);
Hsl ToHsl(const Rgb& c);
Rgb ToRgb(const Hsl& c);

// The colour lightened (tint > 0) or darkened (tint < 0) by a cell's tint (-1 to 1),
// keeping hue and saturation.
std::uint32_t TintColor(std::uint32_t rgb, double tint);

// DrawingML's luminance modulation and offset: lightness * mod + off, in HSL.
Rgb ModulateLuminance(const Rgb& c, double mod, double off);

// The default Office theme's twelve colours (dk1, lt1, dk2, lt2, accent1-6, hlink,
// folHlink), for workbooks without a theme part.
const std::vector<std::uint32_t>& OfficeThemeColors();

// The theme colour `index` (as cells refer to it: 0 light 1, 1 dark 1, 2 light 2,
// 3 dark 2, 4-9 accents, 10 hyperlink, 11 followed hyperlink) lightened or darkened
// by `tint` (-1 to 1).
std::uint32_t ThemeColor(const Theme& theme, int index, double tint);

// The legacy palette: the eight fixed colours, then the 56 a workbook may redefine.
std::span<const std::uint32_t, 64> LegacyPalette();
// The colour of the legacy palette at `index` (0-63); 64 and above are automatic.
bool PaletteColor(int index, std::uint32_t& rgb);

}  // namespace tbln::workbook
