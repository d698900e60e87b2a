// The paginator: the line breaker's lines placed on pages (LayOut), with tables, floating
// objects, footnotes and the room headers and footers take.
#include "adapters/document/layout.hpp"
#include "adapters/document/line_breaker.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <utility>

#include "core/unicode.hpp"

namespace tbln::document {

namespace {

constexpr double kMinWrapRoom = 72;  // the narrowest text column beside a floating object

// A footnote's height at the foot of a page: the whole note, and its first line.
struct NoteHeight {
    double all = 0, first = 0;
};

// The text area of a section's pages, from the top and the foot of the page: its margins,
// or further in where a header or footer takes more room; on every page, on even pages
// and on the section's first page, which may have headers and footers of their own.
struct PageArea {
    struct Margins {
        double top = 0, bottom = 0;
    };
    Margins every, even, first;
};

class Paginator {
  public:
    // noteHeights: the height of each footnote, separator: the separator's above the
    // first note of a page; areas: each section's text area.
    Paginator(const DocumentModel& model, Layout& layout, std::vector<NoteHeight> noteHeights,
              double separator, std::vector<PageArea> areas)
        : model_(model),
          layout_(layout),
          noteHeights_(std::move(noteHeights)),
          separator_(separator),
          areas_(std::move(areas)) {}

    void Run(const std::vector<std::vector<LineBox>>& boxes) {
        const auto& ps = model_.paragraphs;
        std::size_t i = 0;
        while (i < ps.size()) {
            Section(ps[i].section);
            if (ps[i].cell.table < 0) {
                Paragraph(i, boxes);
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
            // The table's bottom border lies below its last row.
            if (j >= ps.size() || ps[j].cell.table != ps[i].cell.table) {
                y_ += ps[i].cell.borderBelow;
            }
            i = j;
        }
        layout_.pages = page_;
    }

  private:
    const document::Section& Sec() const { return model_.sections[section_]; }
    const PageArea::Margins& Margins() const {
        const PageArea& area = areas_[std::min(section_, areas_.size() - 1)];
        return page_ == sectionPage_ ? area.first : page_ % 2 ? area.every : area.even;
    }
    double Top() const { return Margins().top; }
    // The foot of the text area, above the footnotes placed on the page.
    double Bottom() const {
        return Sec().pageHeight - Margins().bottom - (notePage_ == page_ ? noteSpace_ : 0);
    }

    // The room the footnotes referenced in the line take at the foot of the page, with
    // the separator when they are the page's first; `placed` is what lines before it on
    // the page, not yet emitted, already take. `least` is the room the line needs to
    // stay on the page: a note may run on to the next page after its first line.
    struct NoteRoom {
        double all = 0, least = 0;
    };
    NoteRoom NotesOf(const LineBox& line, double placed) const {
        const auto& notes = model_.footnotes;
        auto it = std::lower_bound(
            notes.begin(), notes.end(), line.start,
            [](const Footnote& n, std::size_t position) { return n.reference < position; });
        NoteRoom room;
        for (; it != notes.end() && it->reference < line.end; ++it) {
            const auto& h = noteHeights_[static_cast<std::size_t>(it - notes.begin())];
            room.least = room.all + h.first;
            room.all += h.all;
        }
        if (room.all > 0 && placed <= 0 && (notePage_ != page_ || noteSpace_ <= 0)) {
            room.all += separator_;
            room.least += separator_;
        }
        return room;
    }

    // Footnotes of a line just placed: what does not fit below it runs on to the next page.
    void PlaceNotes(const LineBox& line) {
        const double notes = NotesOf(line, 0).all;
        if (notes <= 0) return;
        if (notePage_ != page_) noteSpace_ = 0;
        notePage_ = page_;
        const double room = std::max(0.0, Bottom() - y_);
        noteSpace_ += std::min(notes, room);
        noteCarry_ += notes - std::min(notes, room);
    }

    void NewPage(bool soft) {
        ++page_;
        // A table's heading rows repeat above the rows that run on to the new page.
        y_ = Top() + repeatHeight_;
        blankPage_ = true;
        pageKept_ = true;
        notePage_ = page_;
        noteSpace_ = noteCarry_ > 0 ? noteCarry_ + separator_ : 0;
        noteCarry_ = 0;
        atTop_ = true;
        softTop_ = soft;
        previousAfter_ = 0;
    }

    void Section(std::size_t s) {
        if (s == section_) return;
        const bool continuous = model_.sections[s].continuous;
        section_ = s;
        if (continuous || layout_.lines.empty()) return;
        // A page that holds nothing but the empty paragraph ending the section before
        // (after a page break) is the new section's first page.
        sectionPage_ = blankPage_ ? page_ : page_ + 1;
        if (blankPage_) {
            y_ = Top();
            atTop_ = true;
            softTop_ = false;
            return;
        }
        NewPage(false);
    }

    // The space between a paragraph and the one before it (with its space after).
    static double Between(const document::Paragraph* previous, double previousAfter,
                          const document::Paragraph& p) {
        double before = p.format.spaceBefore;
        double after = previousAfter;
        if (previous && p.format.contextualSpacing && previous->format.contextualSpacing &&
            previous->format.styleId == p.format.styleId) {
            before = 0;
            after = 0;
        } else if (previous && previous->format.contextualSpacing &&
                   previous->format.styleId == p.format.styleId) {
            after = 0;
        }
        // The larger of the two spaces separates the paragraphs.
        return std::max(after, before);
    }

    double GapBefore(const document::Paragraph& p) const {
        if (atTop_) return softTop_ ? 0 : p.format.spaceBefore;
        return Between(previous_, previousAfter_, p);
    }

    static double Sum(const std::vector<LineBox>& lines, std::size_t count) {
        double h = 0;
        for (std::size_t k = 0; k < count && k < lines.size(); ++k) h += lines[k].height;
        return h;
    }

    // The lines of a paragraph that must start on one page: all of them when they are
    // kept together; with widow and orphan control the first two (all of a paragraph of
    // up to three lines, where any break would leave one line alone); else the first.
    static std::size_t Unbreakable(const document::Paragraph& p,
                                   const std::vector<LineBox>& lines) {
        const std::size_t n = lines.size();
        if (p.format.keepLines) return n;
        if (p.format.widowControl) return n <= 3 ? n : 2;
        return std::min<std::size_t>(n, 1);
    }

    // The height the paragraph at `index` needs on the current page together with the
    // paragraphs kept with it (keep-with-next chains): each kept paragraph whole, then
    // the part of the last one that cannot break, or the first row of a table.
    // `alone` is the chain's height on an empty page.
    double ChainNeed(std::size_t index, const std::vector<std::vector<LineBox>>& boxes,
                     double& alone) const {
        const auto& ps = model_.paragraphs;
        double need = 0;
        alone = 0;
        const document::Paragraph* previous = previous_;
        double previousAfter = previousAfter_;
        for (std::size_t k = index; k < ps.size(); ++k) {
            const auto& p = ps[k];
            if (k > index && p.section != ps[index].section) break;
            if (p.cell.table >= 0) {
                // A table follows: its first row's first lines.
                const double first = FirstRowStart(k, boxes);
                need += previousAfter + first;
                alone += first;
                break;
            }
            const double gap = k == index ? GapBefore(p) : Between(previous, previousAfter, p);
            const auto& lines = boxes[k];
            std::size_t upTo = lines.size();
            for (std::size_t l = 0; l < lines.size(); ++l) {
                if (lines[l].pageBreakAfter) {
                    upTo = l + 1;
                    break;
                }
            }
            const bool kept = p.format.keepNext && upTo == lines.size() && k + 1 < ps.size();
            const double h = Sum(lines, kept ? upTo : std::min(upTo, Unbreakable(p, lines)));
            need += gap + h;
            alone += (k == index ? 0 : gap) + h;
            // A chain taller than a page breaks anyway: no need to measure on.
            if (!kept || alone > Bottom() - Top()) break;
            previous = &p;
            previousAfter = p.format.spaceAfter;
        }
        return need;
    }

    // From a row's top to the end of the first line of its tallest-starting cell.
    double FirstRowStart(std::size_t from, const std::vector<std::vector<LineBox>>& boxes) const {
        const auto& ps = model_.paragraphs;
        double start = 0;
        double cellLeft = -1e9;
        for (std::size_t k = from; k < ps.size() && ps[k].cell.table == ps[from].cell.table &&
                                   ps[k].cell.row == ps[from].cell.row;
             ++k) {
            if (ps[k].cell.outerLeft == cellLeft || ps[k].cell.merge == 'c') continue;
            cellLeft = ps[k].cell.outerLeft;
            const double first = boxes[k].empty() ? 0 : boxes[k].front().height;
            start = std::max(start, ps[k].cell.top + ps[k].format.spaceBefore + first);
        }
        // A row's own height holds its border.
        const auto& place = ps[from].cell;
        start += place.borderAbove;
        if (place.heightRule != LineRule::Auto) start = std::max(start, place.height);
        return start + place.spacing;
    }

    // Floating objects anchored in the paragraph that keep text above and below them:
    // the band of the page they keep free. `top` is the paragraph's top on this page.
    void Anchor(std::size_t index, double top) {
        std::erase_if(bands_,
                      [&](const Band& b) { return b.paragraph == index || b.page < page_; });
        const auto& floats = model_.floats;
        auto it = std::lower_bound(
            floats.begin(), floats.end(), index,
            [](const FloatingObject& f, std::size_t i) { return f.paragraph < i; });
        for (; it != floats.end() && it->paragraph == index; ++it) {
            if (!KeepsTextAside(*it)) continue;
            const double y = it->fromV == FloatingObject::From::Page     ? it->y
                             : it->fromV == FloatingObject::From::Margin ? Top() + it->y
                                                                         : top + it->y;
            bands_.push_back({page_, y - it->distTop, y + it->height + it->distBottom, index});
        }
    }

    // Text runs on beside an object only where one side leaves room for it; an object
    // that wraps above and below, or leaves no such room, keeps its band free.
    bool KeepsTextAside(const FloatingObject& f) const {
        if (f.wrap == FloatingObject::Wrap::TopAndBottom) return true;
        if (f.wrap != FloatingObject::Wrap::Square) return false;
        const double area = Sec().pageWidth - Sec().left - Sec().right;
        const double left = f.alignH == 'l'   ? 0
                            : f.alignH == 'c' ? (area - f.width) / 2
                            : f.alignH == 'r' ? area - f.width
                            : f.fromPageH     ? f.x - Sec().left
                                              : f.x;
        return std::max(left, area - left - f.width) < kMinWrapRoom;
    }

    // The top of a line of height h placed at y or, where it would cross a band kept
    // free by a floating object, below that band.
    double Clear(double y, double h) const {
        for (bool moved = true; moved;) {
            moved = false;
            for (const auto& b : bands_) {
                if (b.page == page_ && y < b.bottom - kEpsilon && y + h > b.top + kEpsilon) {
                    y = b.bottom;
                    moved = true;
                }
            }
        }
        return y;
    }

    void Emit(std::size_t paragraph, const LineBox& box) {
        y_ = Clear(y_, box.height);
        Line line;
        line.start = box.start;
        line.end = box.end;
        line.paragraph = paragraph;
        line.page = page_;
        line.x = box.x;
        line.origin = box.origin;
        line.y = y_ + box.above;
        line.height = box.height - box.above - box.below;
        line.below = box.below;
        layout_.lines.push_back(line);
        y_ += box.height;
        const auto& ps = model_.paragraphs;
        const bool endsSection = paragraph + 1 < ps.size() &&
                                 ps[paragraph + 1].section != ps[paragraph].section &&
                                 box.start == ps[paragraph].end;
        if (!endsSection) blankPage_ = false;
        if (!ps[paragraph].format.keepNext && !ps[paragraph].format.keepLines) pageKept_ = false;
        PlaceNotes(box);
        atTop_ = false;
    }

    void Paragraph(std::size_t index, const std::vector<std::vector<LineBox>>& boxes) {
        const auto& p = model_.paragraphs[index];
        const auto& lines = boxes[index];
        TakePendingBreak();
        if (p.format.pageBreakBefore && !atTop_) NewPage(false);
        double gap = GapBefore(p);
        // A chain moves to the next page when it does not fit here. One taller than a page
        // moves only from a page that holds nothing but kept paragraphs before it; it
        // breaks where the page is full, its paragraphs' own keeps given up. The
        // paragraphs inside a chain do not move it again.
        const bool head = !(previous_ && previous_->format.keepNext);
        if (head) longChain_ = false;
        if (p.format.keepNext && head) {
            double alone = 0;
            const double need = ChainNeed(index, boxes, alone);
            longChain_ = alone > Bottom() - Top() + kEpsilon;
            if (!atTop_ && y_ + need > Bottom() + kEpsilon && (!longChain_ || pageKept_)) {
                NewPage(true);
                gap = GapBefore(p);
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
            if (firstChunk) Anchor(index, y);
            std::size_t fit = 0;
            double notes = 0;  // the footnotes of the lines that fit
            for (std::size_t k = idx; k < chunkEnd; ++k) {
                y = Clear(y, lines[k].height);
                const NoteRoom room = NotesOf(lines[k], notes);
                if (y + lines[k].height > Bottom() - notes - room.least + kEpsilon) break;
                notes += room.all;
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

    // Whether the row after the one ending before `to` continues cells merged from above.
    bool MergedOn(std::size_t to) const {
        const auto& ps = model_.paragraphs;
        if (to >= ps.size() || to == 0 || ps[to].cell.table != ps[to - 1].cell.table) return false;
        for (std::size_t k = to; k < ps.size() && ps[k].cell.table == ps[to].cell.table &&
                                 ps[k].cell.row == ps[to].cell.row;
             ++k) {
            if (ps[k].cell.merge == 'c') return true;
        }
        return false;
    }

    // A cell whose text takes room in its own row: not one continuing a merge from above,
    // nor one whose merge runs on below.
    bool SizesRow(const CellPlace& cell, bool mergedOn) const {
        return cell.merge != 'c' && !(cell.merge == 'r' && mergedOn);
    }

    // The height of a row that does not break: its tallest cell, or its own height.
    double RowHeight(std::size_t from, std::size_t to,
                     const std::vector<std::vector<LineBox>>& boxes) const {
        const auto& ps = model_.paragraphs;
        double tallest = 0, cell = 0, after = 0;
        const document::Paragraph* previous = nullptr;
        double cellLeft = -1e9;
        // A nested row: its number, where it starts in the cell and where its tallest
        // cell ends, the nested cell being measured.
        int nested = -1;
        double nestedTop = 0, nestedEnd = 0, nestedLeft = -1e9;
        const bool mergedOn = MergedOn(to);
        for (std::size_t k = from; k < to; ++k) {
            const auto& p = ps[k];
            if (!SizesRow(p.cell, mergedOn)) continue;
            if (p.cell.outerLeft != cellLeft) {
                cellLeft = p.cell.outerLeft;
                cell = p.cell.top;
                after = 0;
                previous = nullptr;
                nested = -1;
            }
            if (p.cell.nestedRow != nested) {
                cell = nested >= 0 ? nestedEnd : cell + after;
                after = 0;
                previous = nullptr;
                nested = p.cell.nestedRow;
                nestedTop = nestedEnd = cell;
                nestedLeft = -1e9;
            }
            if (nested >= 0 && p.cell.left != nestedLeft) {
                nestedLeft = p.cell.left;
                cell = nestedTop + p.cell.top;
                after = 0;
                previous = nullptr;
            }
            cell += (previous ? Between(previous, after, p) : p.format.spaceBefore) +
                    Sum(boxes[k], boxes[k].size());
            after = p.format.spaceAfter;
            previous = &p;
            const double end = cell + after + p.cell.bottom;
            if (nested >= 0) nestedEnd = std::max(nestedEnd, end);
            tallest = std::max(tallest, nested >= 0 ? nestedEnd : end);
        }
        const auto& place = ps[from].cell;
        tallest += place.borderAbove + place.cellsBelow;
        if (place.heightRule == LineRule::Exact) return place.height;
        if (place.heightRule == LineRule::AtLeast) return std::max(tallest, place.height);
        return tallest;
    }

    void Row(std::size_t from, std::size_t to, const std::vector<std::vector<LineBox>>& boxes) {
        TakePendingBreak();
        // The space after the paragraph before the table.
        if (!atTop_) y_ += previousAfter_;
        previousAfter_ = 0;
        const auto& place = model_.paragraphs[from].cell;
        repeatHeight_ = headerTable_ == place.table && !place.header ? headerHeight_ : 0;
        // A row moves whole to the next page when its first lines do not fit, and when it
        // may not break (or has an exact height) and does not fit. A table's last row
        // whose first paragraph is kept with the next moves whole with the first lines
        // after the table when they do not fit below it.
        if (!atTop_) {
            const double room = Bottom() - y_ + kEpsilon;
            const bool whole = place.cantSplit || place.heightRule == LineRule::Exact;
            const double height = RowHeight(from, to, boxes) + 2 * place.spacing;
            const auto& ps = model_.paragraphs;
            double kept = 0;
            if (ps[from].format.keepNext && to < ps.size() && ps[to].cell.table != place.table &&
                ps[to].section == ps[from].section) {
                double alone = 0;
                ChainNeed(to, boxes, alone);
                kept = height + place.borderBelow + ps[to].format.spaceBefore + alone;
            }
            if (FirstRowStart(from, boxes) > room ||
                (whole && height > room && height <= Bottom() - Top()) ||
                (kept > room && kept <= Bottom() - Top())) {
                NewPage(true);
            }
        }
        y_ += place.spacing;
        const double rowTop = y_;
        y_ += place.borderAbove;
        // A row may break across pages: its lines flow on as they come.
        const int rowPage = page_;
        const double rowY = y_;
        const bool rowAtTop = atTop_;
        int endPage = page_;
        double endY = y_;
        double cellLeft = -1e9;
        const bool mergedOn = MergedOn(to);
        // Each cell's lines and where its text ends, to set them against the middle or
        // the foot of the row once its height is known.
        struct CellLines {
            std::size_t first, end;
            double textEnd;
            char vAlign;
        };
        std::vector<CellLines> cells;
        // A row of a table nested in the cell: its number, where it starts, the nested
        // cell being set and where the nested row's tallest cell ends so far.
        int nested = -1;
        int nestedPage = 0, nestedEndPage = 0;
        double nestedY = 0, nestedEnd = 0, nestedLeft = -1e9;
        bool nestedAtTop = false;
        bool fresh = false;  // the paragraph is the first of a cell: it starts at its top
        const auto startCell = [&](int page, double y, bool atTop) {
            page_ = page;
            y_ = y;
            atTop_ = atTop;
            previous_ = nullptr;
            previousAfter_ = 0;
            fresh = true;
        };
        for (std::size_t k = from; k < to; ++k) {
            const auto& p = model_.paragraphs[k];
            fresh = false;
            if (p.cell.outerLeft != cellLeft) {
                // A new cell starts at the row's top.
                cellLeft = p.cell.outerLeft;
                nested = -1;
                const char vAlign = p.cell.merge ? 0 : p.cell.vAlign;
                cells.push_back({layout_.lines.size(), layout_.lines.size(), 0, vAlign});
                startCell(rowPage, rowY, rowAtTop);
            }
            if (p.cell.nestedRow != nested) {
                // The cell's text goes on below a nested row that ends; a nested row
                // starts below the cell's text so far.
                if (nested >= 0) {
                    page_ = nestedEndPage;
                    y_ = nestedEnd;
                    previous_ = nullptr;
                } else if (!fresh) {
                    y_ += previousAfter_;
                }
                previousAfter_ = 0;
                nested = p.cell.nestedRow;
                nestedPage = nestedEndPage = page_;
                nestedY = nestedEnd = y_;
                nestedAtTop = atTop_;
                nestedLeft = -1e9;
            }
            if (nested >= 0 && p.cell.left != nestedLeft) {
                // A nested row's cells each start at its top.
                nestedLeft = p.cell.left;
                startCell(nestedPage, nestedY, nestedAtTop);
            }
            // Paragraphs in a cell are spaced as in the body: the larger space between them.
            y_ += fresh ? p.cell.top + p.format.spaceBefore : Between(previous_, previousAfter_, p);
            for (const auto& l : boxes[k]) {
                if (Clear(y_, l.height) + l.height > Bottom() - NotesOf(l, 0).least + kEpsilon &&
                    !atTop_) {
                    NewPage(true);
                }
                Emit(k, l);
            }
            previousAfter_ = p.format.spaceAfter;
            previous_ = &p;
            int endsOn = page_;
            double cellEnd = y_ + previousAfter_ + p.cell.bottom;
            if (nested >= 0) {
                if (page_ > nestedEndPage || (page_ == nestedEndPage && cellEnd > nestedEnd)) {
                    nestedEndPage = page_;
                    nestedEnd = cellEnd;
                }
                endsOn = nestedEndPage;
                cellEnd = nestedEnd;
            }
            cellEnd += p.cell.cellsBelow;
            cells.back().end = layout_.lines.size();
            cells.back().textEnd = endsOn == rowPage ? cellEnd : 1e9;
            // A merged cell's text that runs on below ends the merge's last row.
            const bool sizes = SizesRow(p.cell, mergedOn);
            if (!sizes && p.cell.merge != 'r') continue;
            int& page = sizes ? endPage : mergePage_;
            double& end = sizes ? endY : mergeEnd_;
            if (endsOn > page || (endsOn == page && cellEnd > end)) {
                page = endsOn;
                end = cellEnd;
            }
        }
        if (!mergedOn) {
            if (mergePage_ > endPage || (mergePage_ == endPage && mergeEnd_ > endY)) {
                endPage = mergePage_;
                endY = mergeEnd_;
            }
            mergePage_ = 0;
            mergeEnd_ = 0;
        }
        // A row of exact height ends at its height, one of a minimum height not before it.
        if (place.heightRule == LineRule::Exact && endPage == rowPage) {
            endY = rowTop + place.height;
        } else if (place.heightRule == LineRule::AtLeast && endPage == rowPage) {
            endY = std::max(endY, rowTop + place.height);
        }
        // A row on one page sets its centred and bottom-aligned cells' text down by the
        // room left below it.
        if (endPage == rowPage) {
            for (const auto& c : cells) {
                if (!c.vAlign || c.textEnd >= endY) continue;
                const double down = c.vAlign == 'c' ? (endY - c.textEnd) / 2 : endY - c.textEnd;
                for (std::size_t i = c.first; i < c.end; ++i) layout_.lines[i].y += down;
            }
        }
        if (place.header) {
            if (headerTable_ != place.table) headerHeight_ = 0;
            headerTable_ = place.table;
            if (endPage == rowPage) headerHeight_ += endY - rowTop + 2 * place.spacing;
        }
        repeatHeight_ = 0;
        page_ = endPage;
        // The spacing between cells lies around each row: twice between two rows.
        y_ = endY + place.spacing;
        atTop_ = false;
        previous_ = nullptr;
        previousAfter_ = 0;
    }

    // A band of a page that a floating object keeps free of text.
    struct Band {
        int page;
        double top, bottom;
        std::size_t paragraph;  // the object's anchor
    };

    const DocumentModel& model_;
    Layout& layout_;
    std::vector<Band> bands_;
    std::vector<NoteHeight> noteHeights_;
    double separator_ = 0;
    std::vector<PageArea> areas_;
    int sectionPage_ = 1;  // the first page of the section
    int notePage_ = 0;     // the page whose footnotes take noteSpace_
    double noteSpace_ = 0;
    double noteCarry_ = 0;  // footnote lines that run on to the next page
    bool longChain_ = false;
    int headerTable_ = -1;     // the table whose heading rows are measured
    double headerHeight_ = 0;  // their height, repeated on the pages the table runs on
    double repeatHeight_ = 0;  // the heading rows' height above a row moved to a new page
    bool blankPage_ = false;   // the page holds no line yet but a section's empty last one
    bool pageKept_ = true;     // every line on the page so far is of a kept paragraph
    int mergePage_ = 0;        // where the text of cells merged into rows below ends
    double mergeEnd_ = 0;
    int ignoredPage_ = 0;
    double ignoredEnd_ = 0;  // in a keep-with-next chain taller than a page
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

// The height of a header's or footer's story set in a section's text width, from its
// first line's top to its last line's foot.
double StoryHeight(const DocumentModel& story, const document::Section& section,
                   FontMetrics& metrics) {
    const auto boxes = BreakAll(story, {section}, metrics);
    Layout layout;
    Paginator paginator(story, layout, {}, 0, {PageArea{}});
    paginator.Start();
    paginator.Run(boxes);
    double foot = 0;
    for (const auto& l : layout.lines) foot = std::max(foot, l.y + l.height + l.below);
    return foot;
}

// Each section's text area: a header reaching below the top margin pushes the text
// down, a footer reaching above the bottom margin pushes its foot up.
std::vector<PageArea> PageAreas(const DocumentModel& model, FontMetrics& metrics) {
    std::vector<PageArea> areas;
    // Heights by story and text width: sections are many where headers are few.
    std::map<std::pair<int, double>, double> heights;
    for (const auto& s : model.sections) {
        const auto height = [&](int story) {
            if (story < 0 || static_cast<std::size_t>(story) >= model.headerFooters.size())
                return 0.0;
            const auto key = std::make_pair(story, s.pageWidth - s.left - s.right);
            const auto it = heights.find(key);
            if (it != heights.end()) return it->second;
            return heights[key] = StoryHeight(*model.headerFooters[story], s, metrics);
        };
        const auto margins = [&](const document::Section::HeaderFooter& pages) {
            const double header = height(pages.header), footer = height(pages.footer);
            PageArea::Margins m;
            m.bottom = footer > 0 ? std::max(s.bottom, s.footer + footer) : s.bottom;
            m.bottom = std::min(m.bottom, s.pageHeight - s.top - 1);
            m.top = header > 0 ? std::max(s.top, s.header + header) : s.top;
            m.top = std::min(m.top, s.pageHeight - m.bottom - 1);  // a point of text area
            return m;
        };
        PageArea a;
        a.every = margins(s.every);
        a.even = model.evenAndOddHeaders ? margins(s.even) : a.every;
        a.first = s.titlePage ? margins(s.first) : a.every;
        areas.push_back(a);
    }
    return areas;
}

}  // namespace

Layout LayOut(const DocumentModel& model, FontMetrics& metrics) {
    Layout layout;
    const auto boxes = BreakAll(model, model.sections, metrics);
    // The footnotes' heights, each set in the text width of its reference's section.
    std::vector<NoteHeight> noteHeights;
    double separator = 0;
    if (model.notes) {
        const DocumentModel& notes = *model.notes;
        Breaker noteBreaker(notes, metrics);
        const auto height = [&](std::size_t first, std::size_t end, const document::Section& s) {
            NoteHeight h;
            double after = 0;
            const double width = std::max(1.0, s.pageWidth - s.left - s.right);
            for (std::size_t k = first; k < end && k < notes.paragraphs.size(); ++k) {
                const auto& p = notes.paragraphs[k];
                h.all += k == first ? p.format.spaceBefore : std::max(after, p.format.spaceBefore);
                for (const auto& l : noteBreaker.Break(p, s.left, width)) {
                    if (h.first <= 0) h.first = h.all + l.height;
                    h.all += l.height;
                }
                after = p.format.spaceAfter;
            }
            h.all += after;
            return h;
        };
        for (const auto& n : model.footnotes) {
            auto it = std::upper_bound(
                model.paragraphs.begin(), model.paragraphs.end(), n.reference,
                [](std::size_t position, const Paragraph& p) { return position < p.start; });
            const std::size_t section = it == model.paragraphs.begin() ? 0 : std::prev(it)->section;
            noteHeights.push_back(height(
                n.first, n.end, model.sections[std::min(section, model.sections.size() - 1)]));
        }
        separator = height(0, model.separatorEnd, model.sections.front()).all;
    }
    Paginator paginator(model, layout, std::move(noteHeights), separator,
                        PageAreas(model, metrics));
    paginator.Start();
    paginator.Run(boxes);
    return layout;
}

}  // namespace tbln::document
