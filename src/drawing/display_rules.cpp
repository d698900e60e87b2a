// The spreadsheet's display rules that both the drawings and the sheet windows follow:
// how far a cell's text runs into its neighbours, the shape of a line's arrowheads, and
// colours as the workbook writes them. Pure functions, so the sheet windows can carry
// them without the rest of the drawing room.
#include <cmath>
#include <string>

#include "drawing/drawing.hpp"

namespace tbln::drawing {

std::optional<Rgb> ParseRgb(const std::string& text) {
    std::string hex = text;
    if (hex.size() == 8) hex = hex.substr(2);  // ARGB
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return std::nullopt;
    }
    const auto part = [&](std::size_t i) {
        return static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    };
    return Rgb{part(0), part(2), part(4)};
}

SpillSides SpillSidesOf(const SpillTraits& t) {
    if (t.merged || t.wrapped || t.turned || t.number || t.fillAligned || t.shrinks) return {};
    return {t.align != HAlign::Left, t.align != HAlign::Right};
}

double SpillRoom(Long from, int dir, const std::function<Long(Long, int)>& next,
                 const std::function<bool(Long)>& stops, const std::function<double(Long)>& width) {
    double room = 0;
    for (Long n = next(from, dir); !stops(n); n = next(n, dir)) room += width(n);
    return room;
}

std::optional<Arrowhead> ArrowheadOf(Point tip, Point from, Integer style, Integer size,
                                     double lineWidth) {
    if (style <= 1) return std::nullopt;
    const double dx = tip.x - from.x, dy = tip.y - from.y;
    const double len = std::hypot(dx, dy);
    if (len <= 0) return std::nullopt;
    const double ux = dx / len, uy = dy / len;
    const double l = lineWidth * (size >= 3 ? 5 : size == 1 ? 3 : 4), w = l * 0.5;
    const Point back{tip.x - ux * l, tip.y - uy * l};
    const Point a{back.x - uy * w, back.y + ux * w}, b{back.x + uy * w, back.y - ux * w};
    Arrowhead head;
    if (style == 6) {
        head.oval = true;
        head.center = {tip.x - ux * w, tip.y - uy * w};
        head.radius = w;
    } else if (style == 3) {
        head.points = {a, tip, b};
    } else if (style == 5) {
        head.points = {tip, a, {tip.x - ux * 2 * l, tip.y - uy * 2 * l}, b};
        head.closed = true;
    } else {
        const double notch = style == 4 ? 0.6 : 1.0;
        head.points = {tip, a, {tip.x - ux * l * notch, tip.y - uy * l * notch}, b};
        head.closed = true;
    }
    return head;
}

}  // namespace tbln::drawing
