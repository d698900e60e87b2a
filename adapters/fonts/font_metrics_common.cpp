// The parts of the font metrics that do not depend on how a platform reads its fonts:
// the word processor's twip rounding and the spreadsheet's digit width.
#include <algorithm>
#include <cmath>

#include "adapters/fonts/font_metrics.hpp"

namespace tbln::fonts {

double Twip(double points) {
    return std::round(points * 20.0) / 20.0;
}

int FontMetrics::MaxDigitPixels(const std::string& family, double size) {
    constexpr double kPixelsPerPoint = 96.0 / 72.0;
    double widest = 0;
    for (char32_t digit = U'0'; digit <= U'9'; ++digit)
        widest = std::max(widest, Advance(family, false, false, size, digit));
    return std::max(1, static_cast<int>(std::lround(widest * kPixelsPerPoint)));
}

}  // namespace tbln::fonts
