#include "adapters/document/layout.hpp"

#include <algorithm>
#include <cmath>

#include "core/unicode.hpp"

namespace tbln::document {

namespace {

constexpr double kEpsilon = 0.01;
constexpr double kScriptScale = 0.65;  // superscript and subscript glyphs are set smaller

bool IsSpace(char32_t c) {
    return c == U' ' || c == U'\x3000';
}

// One line of a paragraph before pagination.
struct LineBox {
    std::size_t start = 0;
    std::size_t end = 0;
    double x = 0;  // from the page's left edge
    double height = 0;
    bool pageBreakAfter = false;
};

class Breaker {
  public:
    Breaker(const DocumentModel& model, FontMetrics& metrics, std::vector<double>& charX)
        : model_(model), metrics_(metrics), charX_(charX) {}

    double Width(std::size_t i) {
        if (model_.text[i] == kInlineObject) {
            const auto it = model_.objects.find(i);
            return it == model_.objects.end() ? 0 : it->second.first;
        }
        const RunFormat& f = model_.formats[model_.charFormat[i]];
        const double size = (f.superscript || f.subscript) ? f.size * kScriptScale : f.size;
        return metrics_.Advance(f.font, f.bold, f.italic, size, model_.text[i]);
    }

    double NextTab(const Paragraph& p, double pos) const {
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

    // The lines of the paragraph laid into the text area [left, left + width] of the page.
    std::vector<LineBox> Break(const Paragraph& p, double areaLeft, double areaWidth) {
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
                    if (c == kPageBreak && model_.compatibilityMode < 15 && j + 1 == p.end) {
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
                if (c == U'-' || c == U'\x2013' || c == U'\x2014') breakAt = j + 1;
            }
            // Alignment shifts the line by the room left after its last visible character.
            double contentEnd = startOffset;
            double ascent = 0, descent = 0, gap = 0;
            bool any = false;
            for (std::size_t k = line.start; k < line.end; ++k) {
                const char32_t c = model_.text[k];
                const bool visible = !(IsSpace(c) || c == kParagraphMark || c == kLineBreak ||
                                       c == kPageBreak || c == kColumnBreak);
                if (visible) contentEnd = xs[k - line.start] + (c == kTab ? 0 : Width(k));
                if (c == kTab) contentEnd = k + 1 < line.end ? xs[k + 1 - line.start] : pos;
                if (c != kParagraphMark || !any) {
                    if (c == kParagraphMark && k != line.start) continue;
                    const RunFormat& rf = model_.formats[model_.charFormat[k]];
                    ascent =
                        std::max(ascent, metrics_.Ascent(rf.font, rf.bold, rf.italic, rf.size));
                    descent =
                        std::max(descent, metrics_.Descent(rf.font, rf.bold, rf.italic, rf.size));
                    gap = std::max(gap, metrics_.LineGap(rf.font, rf.bold, rf.italic, rf.size));
                    any = true;
                }
            }
            double shift = 0;
            const double room = right - contentEnd;
            if (f.alignment == 1) shift = room / 2;
            if (f.alignment == 2) shift = room;
            if (shift < 0) shift = 0;
            // A multiple of single spacing scales the font's height; its line gap is added.
            const double natural = ascent + descent + gap;
            switch (f.lineRule) {
                case LineRule::Auto:
                    line.height = (ascent + descent) * f.line + gap;
                    break;
                case LineRule::Exact:
                    line.height = f.line;
                    break;
                case LineRule::AtLeast:
                    line.height = std::max(f.line, natural);
                    break;
            }
            for (std::size_t k = line.start; k < line.end; ++k) {
                charX_[k] = areaLeft + shift + xs[k - line.start];
            }
            line.x = areaLeft + shift + (line.end > line.start ? xs[0] : startOffset);
            lines.push_back(line);
            if (done) break;
            i = line.end;
            first = false;
        }
        return lines;
    }

  private:
    const DocumentModel& model_;
    FontMetrics& metrics_;
    std::vector<double>& charX_;
};

class Paginator {
  public:
    Paginator(const DocumentModel& model, Layout& layout) : model_(model), layout_(layout) {}

    void Run(const std::vector<std::vector<LineBox>>& boxes) {
        const auto& ps = model_.paragraphs;
        std::size_t i = 0;
        while (i < ps.size()) {
            Section(ps[i].section);
            if (ps[i].cell.table < 0) {
                Paragraph(i, boxes,
                          i + 1 < ps.size() && ps[i + 1].cell.table < 0 ? &boxes[i + 1] : nullptr);
                ++i;
                continue;
            }
            // A table row: its cells side by side, each from the row's top.
            std::size_t j = i;
            while (j < ps.size() && ps[j].cell.table == ps[i].cell.table &&
                   ps[j].cell.row == ps[i].cell.row) {
                ++j;
            }
            Row(i, j, boxes);
            i = j;
        }
        layout_.pages = page_;
    }

  private:
    const document::Section& Sec() const { return model_.sections[section_]; }
    double Top() const { return Sec().top; }
    double Bottom() const { return Sec().pageHeight - Sec().bottom; }

    void NewPage(bool soft) {
        ++page_;
        y_ = Top();
        atTop_ = true;
        softTop_ = soft;
        previousAfter_ = 0;
    }

    void Section(std::size_t s) {
        if (s == section_) return;
        const bool continuous = model_.sections[s].continuous;
        section_ = s;
        if (!continuous && !layout_.lines.empty()) NewPage(false);
    }

    double GapBefore(const document::Paragraph& p) const {
        double before = p.format.spaceBefore;
        double after = previousAfter_;
        if (previous_ && p.format.contextualSpacing && previous_->format.contextualSpacing &&
            previous_->format.styleId == p.format.styleId) {
            before = 0;
            after = 0;
        } else if (previous_ && previous_->format.contextualSpacing &&
                   previous_->format.styleId == p.format.styleId) {
            after = 0;
        }
        if (atTop_) return softTop_ ? 0 : before;
        // The larger of the two spaces separates the paragraphs.
        return std::max(after, before);
    }

    void Emit(std::size_t paragraph, const LineBox& box) {
        Line line;
        line.start = box.start;
        line.end = box.end;
        line.paragraph = paragraph;
        line.page = page_;
        line.x = box.x;
        line.y = y_;
        line.height = box.height;
        layout_.lines.push_back(line);
        y_ += box.height;
        atTop_ = false;
    }

    void Paragraph(std::size_t index, const std::vector<std::vector<LineBox>>& boxes,
                   const std::vector<LineBox>* next) {
        const auto& p = model_.paragraphs[index];
        const auto& lines = boxes[index];
        TakePendingBreak();
        if (p.format.pageBreakBefore && !atTop_) NewPage(false);
        double gap = GapBefore(p);
        if (p.format.keepNext && !atTop_) {
            double need = gap + p.format.spaceAfter;
            for (const auto& l : lines) need += l.height;
            if (next && !next->empty()) need += next->front().height;
            if (y_ + need > Bottom() + kEpsilon) {
                double own = 0;
                for (const auto& l : lines) own += l.height;
                if (own <= Bottom() - Top()) {
                    NewPage(true);
                    gap = GapBefore(p);
                }
            }
        }
        std::size_t idx = 0;
        const std::size_t n = lines.size();
        bool firstChunk = true;
        while (idx < n) {
            // Lines up to the next forced page break.
            std::size_t chunkEnd = idx;
            while (chunkEnd < n && !lines[chunkEnd].pageBreakAfter) ++chunkEnd;
            if (chunkEnd < n) ++chunkEnd;
            double y = y_ + (firstChunk ? gap : 0);
            std::size_t fit = 0;
            for (std::size_t k = idx; k < chunkEnd; ++k) {
                if (y + lines[k].height > Bottom() + kEpsilon) break;
                y += lines[k].height;
                ++fit;
            }
            const std::size_t remaining = chunkEnd - idx;
            if (fit < remaining) {
                if (fit == 0 && !atTop_) {
                    NewPage(true);
                    if (firstChunk) gap = GapBefore(p);
                    continue;
                }
                if (fit == 0) fit = 1;  // a line taller than the page
                if (!atTop_ && idx == 0 && p.format.keepLines) {
                    NewPage(true);
                    gap = GapBefore(p);
                    continue;
                }
                if (p.format.widowControl && !atTop_) {
                    if (idx == 0 && fit == 1 && n >= 2) {
                        NewPage(true);
                        gap = GapBefore(p);
                        continue;
                    }
                }
                if (p.format.widowControl && remaining - fit == 1 && fit >= 2 && n >= 3) --fit;
            }
            if (firstChunk) y_ += gap;
            firstChunk = false;
            for (std::size_t k = idx; k < idx + fit; ++k) Emit(index, lines[k]);
            idx += fit;
            if (idx < n) NewPage(!lines[idx - 1].pageBreakAfter);
        }
        previousAfter_ = p.format.spaceAfter;
        previous_ = &p;
        // A page break that ends the paragraph starts the next one on a new page.
        pendingBreak_ = !lines.empty() && lines.back().pageBreakAfter;
    }

    void TakePendingBreak() {
        if (pendingBreak_) NewPage(false);
        pendingBreak_ = false;
    }

    void Row(std::size_t from, std::size_t to, const std::vector<std::vector<LineBox>>& boxes) {
        TakePendingBreak();
        // The space after the paragraph before the table.
        if (!atTop_) y_ += previousAfter_;
        previousAfter_ = 0;
        // A row may break across pages: its lines flow on as they come.
        const int rowPage = page_;
        const double rowY = y_;
        const bool rowAtTop = atTop_;
        int endPage = page_;
        double endY = y_;
        double cellLeft = -1e9;
        for (std::size_t k = from; k < to; ++k) {
            const auto& p = model_.paragraphs[k];
            if (p.cell.left != cellLeft) {
                // A new cell starts at the row's top.
                cellLeft = p.cell.left;
                page_ = rowPage;
                y_ = rowY;
                atTop_ = rowAtTop;
                previous_ = nullptr;
                previousAfter_ = 0;
                y_ += p.cell.top + p.format.spaceBefore;
            } else {
                y_ += previousAfter_ + p.format.spaceBefore;
            }
            for (const auto& l : boxes[k]) {
                if (y_ + l.height > Bottom() + kEpsilon && !atTop_) NewPage(true);
                Emit(k, l);
            }
            previousAfter_ = p.format.spaceAfter;
            const double cellEnd = y_ + previousAfter_ + p.cell.bottom;
            if (page_ > endPage || (page_ == endPage && cellEnd > endY)) {
                endPage = page_;
                endY = cellEnd;
            }
        }
        page_ = endPage;
        y_ = endY;
        atTop_ = false;
        previous_ = nullptr;
        previousAfter_ = 0;
    }

    const DocumentModel& model_;
    Layout& layout_;
    std::size_t section_ = 0;
    int page_ = 1;
    double y_ = 0;
    bool atTop_ = true;
    bool softTop_ = false;
    double previousAfter_ = 0;
    bool pendingBreak_ = false;
    const document::Paragraph* previous_ = nullptr;

  public:
    void Start() { y_ = Top(); }
};

}  // namespace

Layout LayOut(const DocumentModel& model, FontMetrics& metrics) {
    Layout layout;
    layout.charX.assign(model.text.size(), 0);
    Breaker breaker(model, metrics, layout.charX);
    std::vector<std::vector<LineBox>> boxes;
    boxes.reserve(model.paragraphs.size());
    for (const auto& p : model.paragraphs) {
        const auto& s = model.sections[std::min(p.section, model.sections.size() - 1)];
        double left = s.left;
        double width = std::max(1.0, s.pageWidth - s.left - s.right);
        if (p.cell.table >= 0) {
            left += p.cell.left;
            width = p.cell.width;
        }
        boxes.push_back(breaker.Break(p, left, width));
    }
    Paginator paginator(model, layout);
    paginator.Start();
    paginator.Run(boxes);
    return layout;
}

}  // namespace tbln::document
