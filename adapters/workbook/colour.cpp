#include "adapters/workbook/colour.hpp"

#include <algorithm>
#include <cmath>

namespace tbln::workbook {

namespace {

// The legacy 56-colour palette with the eight fixed colours before it.
constexpr std::uint32_t kPalette[64] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

// The default Office theme, for workbooks without a theme part.
const std::vector<std::uint32_t> kOfficeTheme = {0x000000, 0xFFFFFF, 0x1F497D, 0xEEECE1,
                                                 0x4F81BD, 0xC0504D, 0x9BBB59, 0x8064A2,
                                                 0x4BACC6, 0xF79646, 0x0000FF, 0x800080};

}  // namespace

Rgb FromHex(std::uint32_t v) {
    return Rgb{((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0};
}

std::uint32_t ToHex(const Rgb& c) {
    const auto byte = [](double x) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(x, 0.0, 1.0) * 255));
    };
    return (byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b);
}

Hsl ToHsl(const Rgb& c) {
    const double mx = std::max({c.r, c.g, c.b}), mn = std::min({c.r, c.g, c.b});
    double h = 0, s = 0;
    const double l = (mx + mn) / 2;
    if (mx != mn) {
        const double d = mx - mn;
        s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
        if (mx == c.r) {
            h = (c.g - c.b) / d + (c.g < c.b ? 6 : 0);
        } else if (mx == c.g) {
            h = (c.b - c.r) / d + 2;
        } else {
            h = (c.r - c.g) / d + 4;
        }
        h /= 6;
    }
    return Hsl{h, s, l};
}

Rgb ToRgb(const Hsl& c) {
    const double l = c.l, s = c.s;
    if (s == 0) return Rgb{l, l, l};
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q;
    const auto hue = [&](double t) {
        if (t < 0) t += 1;
        if (t > 1) t -= 1;
        if (t < 1.0 / 6) return p + (q - p) * 6 * t;
        if (t < 0.5) return q;
        if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    return Rgb{hue(c.h + 1.0 / 3), hue(c.h), hue(c.h - 1.0 / 3)};
}

std::uint32_t TintColor(std::uint32_t rgb, double tint) {
    if (tint == 0) return rgb;
    tint = std::clamp(tint, -1.0, 1.0);
    Hsl hsl = ToHsl(FromHex(rgb));
    hsl.l = tint < 0 ? hsl.l * (1 + tint) : hsl.l * (1 - tint) + tint;
    return ToHex(ToRgb(hsl));
}

Rgb ModulateLuminance(const Rgb& c, double mod, double off) {
    Hsl hsl = ToHsl(c);
    hsl.l = std::clamp(hsl.l * mod + off, 0.0, 1.0);
    return ToRgb(hsl);
}

const std::vector<std::uint32_t>& OfficeThemeColors() {
    return kOfficeTheme;
}

std::uint32_t ThemeColor(const Theme& theme, int index, double tint) {
    const auto& colors = theme.colors.empty() ? OfficeThemeColors() : theme.colors;
    std::uint32_t rgb = 0;
    if (index < 0) {
        rgb = colors.front();
    } else {
        // Cells name the light colours before the dark ones; the theme lists dark first.
        static constexpr int kOrder[] = {1, 0, 3, 2};
        const std::size_t i = static_cast<std::size_t>(index < 4 ? kOrder[index] : index);
        if (i < colors.size()) rgb = colors[i];
    }
    return TintColor(rgb, tint);
}

std::span<const std::uint32_t, 64> LegacyPalette() {
    return std::span<const std::uint32_t, 64>(kPalette);
}

bool PaletteColor(int index, std::uint32_t& rgb) {
    if (index < 0 || index >= 64) return false;
    rgb = kPalette[index];
    return true;
}

}  // namespace tbln::workbook
