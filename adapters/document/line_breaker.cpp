#include "adapters/document/line_breaker.hpp"

#include <algorithm>
#include <cmath>

#include "core/unicode.hpp"

namespace tbln::document {

namespace {

constexpr double kScriptScale = 0.65;  // superscript and subscript glyphs are set smaller

}  // namespace

const RunFormat& Breaker::Format(std::size_t i) {
    const auto& runs = model_.formatRuns;
    const auto holds = [&](std::size_t r) {
        return r < runs.size() && runs[r].start <= i &&
               (r + 1 == runs.size() || i < runs[r + 1].start);
    };
    if (!holds(run_)) {
        if (holds(run_ + 1)) {
            ++run_;
        } else {
            auto it = std::upper_bound(
                runs.begin(), runs.end(), i,
                [](std::size_t p, const DocumentModel::FormatRun& r) { return p < r.start; });
            run_ = it == runs.begin() ? 0 : static_cast<std::size_t>(it - runs.begin()) - 1;
        }
    }
    return run_ < runs.size() ? model_.formats[runs[run_].format] : model_.FormatAt(i);
}

double Breaker::Width(std::size_t i) {
    if (model_.text[i] == kOptionalHyphen) return 0;
    if (model_.text[i] == kInlineObject) {
        const auto it = model_.objects.find(i);
        return it == model_.objects.end() ? 0 : it->second.first;
    }
    const RunFormat& f = Format(i);
    const double size = (f.superscript || f.subscript) ? f.size * kScriptScale : f.size;
    const double advance = metrics_.Advance(f.font, f.bold, f.italic, size, model_.text[i]);
    // Scaled and spaced characters: their width in whole twips, then the spacing.
    return (f.scale == 100 ? advance : fonts::Twip(advance * f.scale / 100)) + f.spacing;
}

double Breaker::NextTab(const Paragraph& p, double pos) const {
    std::vector<double> stops;
    for (const auto& t : p.format.tabs) {
        if (!t.clear) stops.push_back(t.position);
    }
    if (p.format.firstLine < 0) stops.push_back(p.format.indentLeft);
    std::sort(stops.begin(), stops.end());
    for (const double s : stops) {
        if (s > pos + kEpsilon) return s;
    }
    const double tab = model_.defaultTab > 0 ? model_.defaultTab : 36;
    return (std::floor(pos / tab + kEpsilon) + 1) * tab;
}

std::vector<LineBox> Breaker::Break(const Paragraph& p, double areaLeft, double areaWidth) {
    std::vector<LineBox> lines;
    const auto& f = p.format;
    const double right = areaWidth - f.indentRight;
    std::size_t i = p.start;
    bool first = true;
    while (true) {
        double startOffset = first ? f.indentLeft + f.firstLine : f.indentLeft;
        double pos = startOffset;
        if (first && !p.listString.empty()) {
            const RunFormat& lf = p.listFormat;
            for (const char32_t c : DecodeUtf8(p.listString)) {
                pos += metrics_.Advance(lf.font, lf.bold, lf.italic, lf.size, c);
            }
            if (p.listSuffix == '\t') {
                pos = (f.firstLine < 0 && pos < f.indentLeft - kEpsilon) ? f.indentLeft
                                                                         : NextTab(p, pos);
            } else if (p.listSuffix == ' ') {
                pos += metrics_.Advance(lf.font, lf.bold, lf.italic, lf.size, U' ');
            }
            startOffset = pos;
        }
        LineBox line;
        line.start = i;
        std::size_t breakAt = 0;  // 0: no break opportunity yet
        std::size_t j = i;
        bool done = false;
        std::vector<double> xs;
        for (; j <= p.end; ++j) {
            const char32_t c = model_.text[j];
            if (c == kParagraphMark) {
                xs.push_back(pos);
                line.end = j + 1;
                done = true;
                break;
            }
            if (c == kLineBreak || c == kPageBreak || c == kColumnBreak) {
                xs.push_back(pos);
                line.end = j + 1;
                line.pageBreakAfter = c == kPageBreak;
                // Documents of older word-processor versions keep a paragraph mark that
                // directly follows a page break on the break's line.
                if (c == kPageBreak && j + 1 == p.end) {
                    xs.push_back(pos);
                    line.end = p.end + 1;
                    done = true;
                }
                break;
            }
            if (c == kTab) {
                xs.push_back(pos);
                pos = NextTab(p, pos);
                breakAt = j + 1;
                continue;
            }
            const double w = Width(j);
            if (IsSpace(c)) {
                xs.push_back(pos);
                pos += w;
                breakAt = j + 1;
                continue;
            }
            if (pos + w > right + kEpsilon && j > i) {
                line.end = breakAt > i ? breakAt : j;
                xs.resize(line.end - i);
                break;
            }
            xs.push_back(pos);
            pos += w;
            if (c == U'-' || c == U'\x2013' || c == U'\x2014' || c == kOptionalHyphen) {
                breakAt = j + 1;
            }
        }
        // Alignment shifts the line by the room left after its last visible character
        // (not counting the spacing after it).
        double contentEnd = startOffset;
        double ascent = 0, descent = 0, gap = 0;
        double object = 0;  // the tallest inline object
        bool any = false;
        for (std::size_t k = line.start; k < line.end; ++k) {
            const char32_t c = model_.text[k];
            const bool visible = !(IsSpace(c) || c == kParagraphMark || c == kLineBreak ||
                                   c == kPageBreak || c == kColumnBreak);
            if (visible && c != kTab)
                contentEnd = xs[k - line.start] + Width(k) - Format(k).spacing;
            if (c == kTab) contentEnd = k + 1 < line.end ? xs[k + 1 - line.start] : pos;
            if (c != kParagraphMark || !any) {
                if (c == kParagraphMark && k != line.start) continue;
                const RunFormat& rf = Format(k);
                ascent = std::max(ascent, metrics_.Ascent(rf.font, rf.bold, rf.italic, rf.size));
                descent = std::max(descent, metrics_.Descent(rf.font, rf.bold, rf.italic, rf.size));
                gap = std::max(gap, metrics_.LineGap(rf.font, rf.bold, rf.italic, rf.size));
                any = true;
            }
            // An inline picture or object stands on the baseline.
            if (c == kInlineObject) {
                const auto it = model_.objects.find(k);
                if (it != model_.objects.end()) object = std::max(object, it->second.second);
            }
        }
        double shift = 0;
        const double room = right - contentEnd;
        if (f.alignment == 1) shift = room / 2;
        if (f.alignment == 2) shift = room;
        if (shift < 0) shift = 0;
        // A multiple of single spacing scales the font's height (ascent and descent
        // together in whole twips); its line gap is added.
        const double text = fonts::Twip(ascent + descent);
        const double standing = fonts::Twip(object + descent);
        const double natural = std::max(text, standing) + gap;
        switch (f.lineRule) {
            case LineRule::Auto:
                // A multiple scales the text's height, not an object's.
                line.height = std::max(text * f.line + gap, standing);
                break;
            case LineRule::Exact:
                line.height = f.line;
                break;
            case LineRule::AtLeast:
                line.height = std::max(f.line, natural);
                break;
        }
        line.origin = areaLeft + shift;
        line.x = line.origin + (line.end > line.start ? xs[0] : startOffset);
        lines.push_back(line);
        if (done) break;
        i = line.end;
        first = false;
    }
    return lines;
}

double Breaker::Advance(const Paragraph& p, std::size_t k, double pos) {
    return model_.text[k] == kTab ? NextTab(p, pos) : pos + Width(k);
}

// Every paragraph's lines, each broken in its section's text width (or its cell's).
std::vector<std::vector<LineBox>> BreakAll(const DocumentModel& model,
                                           const std::vector<document::Section>& sections,
                                           FontMetrics& metrics) {
    Breaker breaker(model, metrics);
    std::vector<std::vector<LineBox>> boxes;
    boxes.reserve(model.paragraphs.size());
    for (const auto& p : model.paragraphs) {
        const auto& s = sections[std::min(p.section, sections.size() - 1)];
        double left = s.left;
        double width = std::max(1.0, s.pageWidth - s.left - s.right);
        const double width0 = width;
        if (p.cell.table >= 0) {
            left += p.cell.left;
            width = p.cell.width;
            // A table as wide as a share of the text area: its grid scaled to that width.
            const auto& c = p.cell;
            double tableWidth = c.gridTotal;
            if (c.widthShare > 0 && c.gridTotal > 0) {
                const double scale = c.widthShare * width0 / c.gridTotal - 1;
                left += c.gridLeft * scale;
                width = std::max(1.0, width + c.gridWidth * scale);
                tableWidth = c.widthShare * width0;
            }
            // Centred or against the right edge, also when wider than the text area.
            if (c.align == 'c') left += (width0 - tableWidth) / 2;
            if (c.align == 'r') left += width0 - tableWidth;
        }
        boxes.push_back(breaker.Break(p, left, width));
    }
    // Borders take room above a paragraph's first line and below its last. Paragraphs
    // next to each other in one cell (or both outside tables) framed alike are framed as
    // one: the top border above the first, the border between them between each, the
    // bottom border below the last.
    const auto& ps = model.paragraphs;
    const auto together = [&](std::size_t a, std::size_t b) {
        const auto &p = ps[a], &q = ps[b];
        return !p.format.frame.empty() && p.format.frame == q.format.frame &&
               p.section == q.section && SameCell(p.cell, q.cell);
    };
    for (std::size_t k = 0; k < ps.size(); ++k) {
        if (boxes[k].empty()) continue;
        const auto& f = ps[k].format;
        const double above = k > 0 && together(k - 1, k) ? f.borderBetween : f.borderTop;
        const double below = k + 1 < ps.size() && together(k, k + 1) ? 0 : f.borderBottom;
        boxes[k].front().above += above;
        boxes[k].front().height += above;
        boxes[k].back().below += below;
        boxes[k].back().height += below;
    }
    return boxes;
}

double CharX(const DocumentModel& model, FontMetrics& metrics, const Line& line, std::size_t i) {
    if (i <= line.start || line.paragraph >= model.paragraphs.size()) return line.x;
    const Paragraph& p = model.paragraphs[line.paragraph];
    Breaker breaker(model, metrics);
    double pos = line.x - line.origin;
    for (std::size_t k = line.start; k < i && k < line.end && k < model.text.size(); ++k) {
        pos = breaker.Advance(p, k, pos);
    }
    return line.origin + pos;
}

}  // namespace tbln::document
