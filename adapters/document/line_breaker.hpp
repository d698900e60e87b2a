// The line breaker: a paragraph's characters measured with the font metrics and broken
// into lines in the width of its text area or table cell, with the room of its borders.
// The paginator (paginator.cpp) places these lines on pages.
#pragma once

#include <cstddef>
#include <vector>

#include "adapters/document/layout.hpp"

namespace tbln::document {

// Lengths this close, in points, count as equal.
inline constexpr double kEpsilon = 0.01;

// A space that may hang past the margin at a line's end: the space and the ideographic one.
inline bool IsSpace(char32_t c) {
    return c == U' ' || c == U'\x3000';
}

// One line of a paragraph before pagination.
struct LineBox {
    std::size_t start = 0;
    std::size_t end = 0;
    double x = 0;       // from the page's left edge
    double origin = 0;  // the page's x of the text positions the line was measured in
    double height = 0;  // with the room of the paragraph's borders above and below
    double above = 0, below = 0;
    bool pageBreakAfter = false;
};

// Measures and breaks the paragraphs of one story; the format run found last is kept,
// since the story is walked in order.
class Breaker {
  public:
    Breaker(const DocumentModel& model, FontMetrics& metrics) : model_(model), metrics_(metrics) {}

    // The format of character i; the story is walked in order, so the run found last is
    // tried first.
    const RunFormat& Format(std::size_t i);

    double Width(std::size_t i);

    double NextTab(const Paragraph& p, double pos) const;

    // The lines of the paragraph laid into the text area [left, left + width] of the page.
    std::vector<LineBox> Break(const Paragraph& p, double areaLeft, double areaWidth);

    // Where the text position after character k of a line lies, from the one before it.
    double Advance(const Paragraph& p, std::size_t k, double pos);

  private:
    const DocumentModel& model_;
    FontMetrics& metrics_;
    std::size_t run_ = 0;  // the format run found last
};

// Every paragraph's lines, each broken in its section's text width (or its cell's).
std::vector<std::vector<LineBox>> BreakAll(const DocumentModel& model,
                                           const std::vector<document::Section>& sections,
                                           FontMetrics& metrics);

}  // namespace tbln::document
