// Line and page layout of the main story as a word processor shows it: line breaks at
// break opportunities (after spaces, tabs and hyphens; inside a word only when it
// does not fit at all), trailing spaces hanging past the margin, tabs to custom and
// default stops, forced line, column and page breaks, list numbers before the first
// line, line heights from the fonts and the spacing rules, pages from the section's
// body height with space before suppressed at the top of a page after a natural
// break, widow and orphan control, keep-with-next and keep-lines-together, table rows
// with their borders and vertically merged cells, and footnotes taking their room at
// the foot of the page of their reference.
#pragma once

#include <cstddef>
#include <vector>

#include "adapters/document/document_model.hpp"
#include "adapters/fonts/font_metrics.hpp"

namespace tbln::document {

using fonts::FontMetrics;

struct Line {
    std::size_t start = 0;  // first character
    std::size_t end = 0;    // one past the last character (a paragraph mark included)
    std::size_t paragraph = 0;
    int page = 1;
    double x = 0;       // from the page's left edge, points
    double origin = 0;  // the page's x of the text positions the line was measured in
    double y = 0;       // the top of the line from the page's top edge, points
    double height = 0;
    double below = 0;  // the room its paragraph's bottom border takes under it
};

// The layout keeps its lines only; a character's x is measured again when asked for, so
// that memory follows the lines, not the characters.
struct Layout {
    std::vector<Line> lines;
    int pages = 1;
};

Layout LayOut(const DocumentModel& model, FontMetrics& metrics);

// The x of character i of the line, from the page's left edge.
double CharX(const DocumentModel& model, FontMetrics& metrics, const Line& line, std::size_t i);

}  // namespace tbln::document
