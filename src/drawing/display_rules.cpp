// The spreadsheet's display rules that both the drawings and the sheet windows follow:
// how far a cell's text runs into its neighbours and where its lines break, the shape of
// a line's arrowheads, and colours as the workbook writes them. Pure functions, so the sheet
// windows can carry them without the rest of the drawing room.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "core/unicode.hpp"
#include "drawing/drawing.hpp"

namespace tbln::drawing {

namespace {

// The byte offsets of the characters of `s`, and its end.
std::vector<std::size_t> CharacterStarts(std::string_view s) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < s.size();) {
        at.push_back(i);
        std::size_t length = 1;
        DecodeUtf8At(s, i, length);
        i += std::max<std::size_t>(length, 1);
    }
    at.push_back(s.size());
    return at;
}

// A paragraph broken into lines no wider than `room`.
void WrapParagraph(std::string_view paragraph, double room, const RunWidth& width,
                   std::vector<std::string>& lines) {
    std::string line;
    for (std::size_t i = 0; i < paragraph.size();) {
        if (paragraph[i] == ' ') {
            ++i;
            continue;
        }
        const auto end = std::min(paragraph.find(' ', i), paragraph.size());
        std::string_view word = paragraph.substr(i, end - i);
        i = end;
        std::string candidate = line.empty() ? std::string(word) : line + " " + std::string(word);
        if (width(candidate) <= room) {
            line = std::move(candidate);
            continue;
        }
        if (!line.empty()) lines.push_back(std::exchange(line, {}));
        while (width(word) > room) {
            const auto head = Characters(
                word, std::max<std::size_t>(1, Fitting(word, room, false, width)), false);
            lines.emplace_back(head);
            word.remove_prefix(head.size());
        }
        line = word;
    }
    lines.push_back(line);
}

}  // namespace

std::size_t Fitting(std::string_view s, double room, bool fromEnd, const RunWidth& width) {
    const auto at = CharacterStarts(s);
    const std::size_t n = at.size() - 1;
    std::size_t lo = 0, hi = n;
    while (lo < hi) {
        const std::size_t mid = (lo + hi + 1) / 2;
        const auto part = fromEnd ? s.substr(at[n - mid]) : s.substr(0, at[mid]);
        if (width(part) <= room) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return lo;
}

std::string_view Characters(std::string_view s, std::size_t count, bool fromEnd) {
    const auto at = CharacterStarts(s);
    const std::size_t n = at.size() - 1;
    count = std::min(count, n);
    return fromEnd ? s.substr(at[n - count]) : s.substr(0, at[count]);
}

std::vector<std::string> WrapLines(std::string_view text, std::optional<double> room,
                                   const RunWidth& width) {
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const auto end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (room)
            WrapParagraph(line, *room, width, lines);
        else
            lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

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
