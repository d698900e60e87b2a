#include "drawing/drawing.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <deque>
#include <numbers>

#include "core/text.hpp"
#include "core/unicode.hpp"
#include "word/text_encoder.hpp"

namespace tbln::drawing {

std::string_view LayerName(Layer layer) {
    switch (layer) {
        case Layer::Borders:
            return "TBLN-BORDERS";
        case Layer::Fills:
            return "TBLN-FILLS";
        case Layer::Texts:
            return "TBLN-TEXTS";
        case Layer::Shapes:
            return "TBLN-SHAPES";
        case Layer::Pictures:
            return "TBLN-PICTURES";
        case Layer::Pages:
            return "TBLN-PAGES";
        case Layer::Revisions:
            return "TBLN-REVISIONS";
    }
    return "0";
}

std::string_view DashName(Dash dash) {
    switch (dash) {
        case Dash::Solid:
            return "CONTINUOUS";
        case Dash::Dashed:
            return "DASHED";
        case Dash::Dotted:
            return "DOT";
        case Dash::DashDot:
            return "DASHDOT";
        case Dash::DashDotDot:
            return "DIVIDE";
    }
    return "CONTINUOUS";
}

namespace {

constexpr const char* kDefaultFont = "Arial";

std::string FontOf(const std::string& name) {
    return name.empty() || name == "null" ? kDefaultFont : name;
}

// The pen of one side of a cell from its flag, weight and the reader's style word.
std::optional<Pen> BorderPen(Integer flag, const std::string& weight, const std::string& word) {
    if (flag == 0) return std::nullopt;
    Pen pen;
    const auto has = [&](const char* part) { return word.find(part) != std::string::npos; };
    if (word == "thick") {
        pen.width = 0.7;
    } else if (has("medium") || word == "slantDashDot") {
        pen.width = 0.5;
    } else if (word == "hair") {
        pen.width = 0.13;
    } else {
        pen.width = weight == "bold" ? 0.5 : 0.25;
    }
    if (word == "double") pen.doubled = true;
    if (has("DashDotDot")) {
        pen.dash = Dash::DashDotDot;
    } else if (has("DashDot") || has("dashDot")) {
        pen.dash = Dash::DashDot;
    } else if (has("ashed")) {
        pen.dash = Dash::Dashed;
    } else if (word == "dotted") {
        pen.dash = Dash::Dotted;
    }
    return pen;
}

// Of the two sides that meet on one edge, the heavier one is drawn.
std::optional<Pen> Stronger(const std::optional<Pen>& a, const std::optional<Pen>& b) {
    if (!a) return b;
    if (!b) return a;
    return b->width > a->width ? b : a;
}

// Excel's text orientation as degrees counter-clockwise.
double Rotation(double orientation) {
    if (std::abs(orientation) <= 90) return orientation;
    if (orientation == -4171) return 90;   // upward
    if (orientation == -4170) return -90;  // downward
    return 0;
}

// Text in the host's formatted-text codes with one font switch: the characters encoded,
// "\P" between lines.
std::string FormattedText(const std::string& text, const std::string& font, bool bold, bool italic,
                          bool underline) {
    std::string body;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (start > 0) body += "\\P";
        // A cell's characters are plain text: the codes' own specials stay characters.
        std::string escaped;
        for (const char ch : line) {
            if (ch == '\\' || ch == '{' || ch == '}') escaped += '\\';
            escaped += ch;
        }
        body += EncodeText(escaped);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return FormatUniformLine(bold ? -1 : 0, italic ? -1 : 0, underline ? -1 : 0, font, body, "", 0,
                             false)
        .full;
}

// Where the records lie: which walked rows and columns are visible, and where the
// walk's first row and column sit on the sheet (shapes and pictures are measured from
// the sheet's top-left corner, cells from the walk's).
class Grid {
  public:
    Grid(const Capture& capture, const Options& options) : c_(capture), o_(options) {
        const auto& a = c_.cells;
        if (!a.IsAllocated()) return;
        rows_.assign(static_cast<std::size_t>(a.RowUpper() - a.RowLower() + 1), false);
        cols_.assign(static_cast<std::size_t>(a.ColUpper() - a.ColLower() + 1), false);
        for (Long r = a.RowLower(); r <= a.RowUpper(); ++r) {
            for (Long k = a.ColLower(); k <= a.ColUpper(); ++k) {
                const auto& p = a(r, k);
                if (!p || p->hidden || p->row == 0) continue;
                rows_[Ri(r)] = true;
                cols_[Ci(k)] = true;
            }
        }
        // The walk begins at the first row and column holding captured cells; the size
        // records before it give its place on the sheet.
        Long firstRow = a.RowLower();
        while (firstRow <= a.RowUpper() && !rows_[Ri(firstRow)]) ++firstRow;
        Long firstCol = a.ColLower();
        while (firstCol <= a.ColUpper() && !cols_[Ci(firstCol)]) ++firstCol;
        for (Long r = a.RowLower(); r < firstRow; ++r) {
            if (const auto& p = a(r, a.ColLower()); p && !p->hidden) sheetY_ += p->rowHeight;
        }
        for (Long k = a.ColLower(); k < firstCol; ++k) {
            if (const auto& p = a(a.RowLower(), k); p && !p->hidden) sheetX_ += p->colWidth;
        }
    }

    const MyCell* At(Long r, Long k) const {
        const auto& a = c_.cells;
        if (!a.IsAllocated() || r < a.RowLower() || r > a.RowUpper() || k < a.ColLower() ||
            k > a.ColUpper()) {
            return nullptr;
        }
        const auto& p = a(r, k);
        return p && !p->hidden && p->row != 0 ? p.get() : nullptr;
    }
    // The record that carries the borders and text of the area holding (r, k).
    const MyCell* Head(Long r, Long k) const {
        const MyCell* p = At(r, k);
        if (p && p->isMerged && (p->rowFrom != r || p->colFrom != k)) {
            return At(p->rowFrom, p->colFrom);
        }
        return p;
    }
    bool RowVisible(Long r) const {
        return r >= c_.cells.RowLower() && r <= c_.cells.RowUpper() && rows_[Ri(r)];
    }
    bool ColVisible(Long k) const {
        return k >= c_.cells.ColLower() && k <= c_.cells.ColUpper() && cols_[Ci(k)];
    }
    Long PrevRow(Long r) const { return Step(r, -1, &Grid::RowVisible, c_.cells.RowLower()); }
    Long NextRow(Long r) const { return Step(r, 1, &Grid::RowVisible, c_.cells.RowUpper()); }
    Long PrevCol(Long k) const { return Step(k, -1, &Grid::ColVisible, c_.cells.ColLower()); }
    Long NextCol(Long k) const { return Step(k, 1, &Grid::ColVisible, c_.cells.ColUpper()); }

    // Drawing coordinates of a point given in points from the walk's top-left corner.
    Point Walk(double x, double y) const { return {PointsToUnits(x, o_), -PointsToUnits(y, o_)}; }
    // Drawing coordinates of a point given in points from the sheet's top-left corner.
    Point Sheet(double x, double y) const { return Walk(x - sheetX_, y - sheetY_); }

    std::optional<CellBox> Box(Long r, Long k) const {
        const MyCell* head = Head(r, k);
        if (!head) return std::nullopt;
        CellBox box;
        box.col = static_cast<Integer>(head->isMerged ? head->colFrom : k);
        box.row = static_cast<Integer>(head->isMerged ? head->rowFrom : r);
        box.rowTo = head->isMerged ? std::max(head->rowTo, box.row) : box.row;
        box.colTo = head->isMerged ? std::max(head->colTo, box.col) : box.col;
        box.topLeft = Walk(head->deltaX, head->deltaY);
        box.width = PointsToUnits(head->isMerged ? head->mergedColWidth : head->colWidth, o_);
        box.height = PointsToUnits(head->isMerged ? head->mergedRowHeight : head->rowHeight, o_);
        return box;
    }

    // The look the host read for a record's cell, if any. Each pass over the range asks
    // for a cell's look several times (its sides and its neighbours' sides, the room of
    // the texts beside it) row after row: the rows asked last are kept.
    const std::optional<CellLook>& Look(const MyCell* cell) const {
        static const std::optional<CellLook> none;
        if (!cell || !c_.looks) return none;
        const auto& a = c_.cells;
        if (cell->col < a.ColLower() || cell->col > a.ColUpper()) {
            scratch_ = c_.looks(cell->row, cell->col);
            return scratch_;
        }
        auto row = std::find_if(looks_.begin(), looks_.end(),
                                [&](const LookRow& x) { return x.row == cell->row; });
        if (row == looks_.end()) {
            if (looks_.size() >= kLookRows) looks_.pop_front();
            looks_.push_back(
                {cell->row, std::vector<std::optional<std::optional<CellLook>>>(
                                static_cast<std::size_t>(a.ColUpper() - a.ColLower() + 1))});
            row = std::prev(looks_.end());
        }
        auto& slot = row->cells[Ci(cell->col)];
        if (!slot) slot = c_.looks(cell->row, cell->col);
        return *slot;
    }
    // Whether a neighbour's text stops before the cell at (r, k): it holds a value, is
    // part of a merged area, or lies outside the range.
    bool Stops(Long r, Long k) const {
        if (k < c_.startCol || k > c_.endCol) return true;
        const MyCell* p = At(r, k);
        if (!p || p->isMerged) return true;
        const auto look = Look(p);
        return look ? look->content : !p->Value.empty();
    }

    const Capture& capture() const { return c_; }
    const Options& options() const { return o_; }

  private:
    std::size_t Ri(Long r) const { return static_cast<std::size_t>(r - c_.cells.RowLower()); }
    std::size_t Ci(Long k) const { return static_cast<std::size_t>(k - c_.cells.ColLower()); }
    Long Step(Long from, int dir, bool (Grid::*visible)(Long) const, Long bound) const {
        for (Long i = from + dir; dir < 0 ? i >= bound : i <= bound; i += dir) {
            if ((this->*visible)(i)) return i;
        }
        return bound + dir;  // none visible up to the records' edge: no neighbour there
    }

    struct LookRow {
        Long row;
        std::vector<std::optional<std::optional<CellLook>>> cells;  // outer: asked yet
    };
    static constexpr std::size_t kLookRows = 4;  // a row, the ones above and below, and one more
    mutable std::deque<LookRow> looks_;
    mutable std::optional<CellLook> scratch_;
    const Capture& c_;
    const Options& o_;
    std::vector<bool> rows_, cols_;
    double sheetX_ = 0, sheetY_ = 0;
};

// Draws runs of equal pens as single lines: feed the pieces of one side in order.
class EdgeRun {
  public:
    explicit EdgeRun(Sink& sink) : sink_(sink) {}
    void Add(Point from, Point to, const std::optional<Pen>& pen) {
        if (run_ && pen && *pen == pen_ && Near(to_, from)) {
            to_ = to;
            return;
        }
        Flush();
        if (pen) {
            run_ = true;
            from_ = from;
            to_ = to;
            pen_ = *pen;
        }
    }
    void Flush() {
        if (run_) sink_.Draw(Line{from_, to_, pen_, Layer::Borders});
        run_ = false;
    }
    ~EdgeRun() { Flush(); }

  private:
    static bool Near(Point a, Point b) {
        return std::abs(a.x - b.x) < 1e-9 && std::abs(a.y - b.y) < 1e-9;
    }
    Sink& sink_;
    bool run_ = false;
    Point from_, to_;
    Pen pen_;
};

// Draws side-by-side boxes of one row with the same fill as one fill, which looks the
// same and is one hatch rather than one a cell: feed the boxes of a row left to right,
// then flush.
class FillRun {
  public:
    // Boxes this close (drawing units) touch.
    FillRun(Sink& sink, double touch) : sink_(sink), touch_(touch) {}
    void Add(Fill fill) {
        if (open_ && fill.color == run_.color && fill.pattern == run_.pattern &&
            fill.layer == run_.layer && Near(fill.topLeft.y, run_.topLeft.y) &&
            Near(fill.height, run_.height) && Near(fill.topLeft.x, run_.topLeft.x + run_.width)) {
            run_.width = fill.topLeft.x + fill.width - run_.topLeft.x;
            return;
        }
        Flush();
        run_ = std::move(fill);
        open_ = true;
    }
    void Flush() {
        if (open_) sink_.Draw(run_);
        open_ = false;
    }

  private:
    bool Near(double a, double b) const { return std::abs(a - b) <= touch_; }
    Sink& sink_;
    double touch_;
    // The run so far (open_), a plain member rather than an optional: GCC 12's optimiser
    // takes moving a fill into an empty optional for a read of uninitialised strings.
    Fill run_{};
    bool open_ = false;
};

// The pen of one side of a cell, in the side's colour where the host read it. A merged
// area's record carries the style of its outer edges; their colours are those of the cells
// along them (`edge`, the cell whose side this piece is), as the spreadsheet keeps them.
std::optional<Pen> SidePen(const Grid& g, const MyCell* cell, char side,
                           const MyCell* edge = nullptr) {
    if (!cell) return std::nullopt;
    std::optional<Pen> pen;
    std::size_t index = 0;
    switch (side) {
        case 'U':
            pen = BorderPen(cell->bdUp, cell->bdUpWeight.str(), cell->bdUpLT.str());
            break;
        case 'B':
            pen = BorderPen(cell->bdBottom, cell->bdBottomWeight.str(), cell->bdBottomLT.str());
            index = 1;
            break;
        case 'L':
            pen = BorderPen(cell->bdLeft, cell->bdLeftWeight.str(), cell->bdLeftLT.str());
            index = 2;
            break;
        default:
            pen = BorderPen(cell->bdRight, cell->bdRightWeight.str(), cell->bdRightLT.str());
            index = 3;
            break;
    }
    if (pen) {
        if (const auto look = g.Look(edge ? edge : cell); look && look->borderColors[index]) {
            pen->color = *look->borderColors[index];
        }
    }
    return pen;
}

// The runs a box's sides continue: the top and bottom lines of its row, the vertical
// lines of its left and right edges' columns. Collinear pieces with one pen become one
// line, so a ruled table is a few long lines rather than four per cell.
struct Runs {
    EdgeRun& top;
    EdgeRun& bottom;
    EdgeRun& left;
    EdgeRun& right;
};

// The borders of one box: its top and left sides always (an edge shared with the box
// above or to the left is drawn by the later box, from whichever of the two sides has
// a border), its bottom and right sides only on the range's last row and column.
void DrawBoxBorders(const Grid& g, const MyCell& head, const CellBox& box, const Runs& runs) {
    const Capture& c = g.capture();
    const double top = box.topLeft.y, bottom = box.topLeft.y - box.height;
    const double left = box.topLeft.x, right = box.topLeft.x + box.width;
    const bool lastRow = g.NextRow(box.rowTo) > c.endRow;
    const bool lastCol = g.NextCol(box.colTo) > c.endCol;
    {
        EdgeRun &top_run = runs.top, &bottom_run = runs.bottom;
        double x = left;
        for (Long k = box.col; k <= box.colTo; ++k) {
            const MyCell* rec = g.At(box.row, k);
            if (!g.ColVisible(k) || !rec) continue;
            const double w = PointsToUnits(rec->colWidth, g.options());
            const double x2 = k == box.colTo ? right : std::min(right, x + w);
            const Long above = g.PrevRow(box.row), below = g.NextRow(box.rowTo);
            top_run.Add({x, top}, {x2, top},
                        Stronger(SidePen(g, &head, 'U', rec),
                                 SidePen(g, g.Head(above, k), 'B', g.At(above, k))));
            if (lastRow) {
                bottom_run.Add({x, bottom}, {x2, bottom},
                               Stronger(SidePen(g, &head, 'B', g.At(box.rowTo, k)),
                                        SidePen(g, g.Head(below, k), 'U', g.At(below, k))));
            }
            x = x2;
        }
    }
    EdgeRun &left_run = runs.left, &right_run = runs.right;
    double y = top;
    for (Long r = box.row; r <= box.rowTo; ++r) {
        const MyCell* rec = g.At(r, box.col);
        if (!g.RowVisible(r) || !rec) continue;
        const double h = PointsToUnits(rec->rowHeight, g.options());
        const double y2 = r == box.rowTo ? bottom : std::max(bottom, y - h);
        const Long before = g.PrevCol(box.col), after = g.NextCol(box.colTo);
        left_run.Add({left, y}, {left, y2},
                     Stronger(SidePen(g, &head, 'L', rec),
                              SidePen(g, g.Head(r, before), 'R', g.At(r, before))));
        if (lastCol) {
            right_run.Add({right, y}, {right, y2},
                          Stronger(SidePen(g, &head, 'R', g.At(r, box.colTo)),
                                   SidePen(g, g.Head(r, after), 'L', g.At(r, after))));
        }
        y = y2;
    }
}

// The spreadsheet keeps about 1.5 points between a cell's edges and its text.
double CellInset(const CellBox& box, const Options& options) {
    return std::min(PointsToUnits(1.5, options), box.width / 4);
}

// One line of an unturned text cut to the room it may use, for a sink that cannot clip;
// `shift` is how far the middle of what is left lies right of the middle of the whole.
std::string CutLine(const std::string& line, const Text& t, Sink& sink, double& shift) {
    shift = 0;
    const RunWidth width = [&](std::string_view run) { return sink.TextWidth(t, run).value_or(0); };
    const double whole = width(line);
    // Most texts fit: nothing to cut.
    const double roomLeft = t.hAlign == HAlign::Left     ? t.inset
                            : t.hAlign == HAlign::Center ? (t.width - whole) / 2 + t.spillLeft
                                                         : t.width - t.inset + t.spillLeft - whole;
    const double roomRight = t.hAlign == HAlign::Right ? t.inset
                             : t.hAlign == HAlign::Center
                                 ? (t.width - whole) / 2 + t.spillRight
                                 : t.width - t.inset + t.spillRight - whole;
    if (roomLeft >= 0 && roomRight >= 0) {
        return line;
    }
    if (t.hAlign == HAlign::Left) {
        const double room = t.width - t.inset + t.spillRight;
        return std::string(Characters(line, Fitting(line, room, false, width), false));
    }
    if (t.hAlign == HAlign::Right) {
        const double room = t.width - t.inset + t.spillLeft;
        return std::string(Characters(line, Fitting(line, room, true, width), true));
    }
    // Centred: each half runs from the box's middle towards its own side.
    const double overLeft = whole / 2 - (t.width / 2 + t.spillLeft);
    const double overRight = whole / 2 - (t.width / 2 + t.spillRight);
    std::string_view kept = line;
    double cutLeft = 0, cutRight = 0;
    if (overLeft > 0) {
        // The fewest characters from the start that are at least as wide as the excess.
        const std::size_t n = Fitting(kept, overLeft - 1e-9, false, width) + 1;
        const auto cut = Characters(kept, n, false);
        cutLeft = width(cut);
        kept.remove_prefix(cut.size());
    }
    if (overRight > 0 && !kept.empty()) {
        const std::size_t n = Fitting(kept, overRight - 1e-9, true, width) + 1;
        const auto cut = Characters(kept, n, true);
        cutRight = width(cut);
        kept.remove_suffix(cut.size());
    }
    shift = (cutLeft - cutRight) / 2;
    return std::string(kept);
}

// Lays a cell's or a shape's text out as the sink shows it and draws it. Where the sink
// measures, a wrapped text is broken into lines here; with `cut`, for a sink that cannot
// clip, the lines of an unturned text are cut to the room they may use and only the lines
// that fit the box's height are kept (the first, the middle or the last ones, by the
// alignment).
void EmitText(Text t, Sink& sink, bool cut) {
    const bool measures = sink.TextWidth(t, "0").has_value();
    std::vector<std::string> lines;
    if (measures && t.wrap) {
        const bool upright = std::abs(std::abs(t.rotation) - 90) < 1;
        const double room = (upright ? t.height : t.width) - 2 * t.inset;
        lines = WrapLines(t.plain, room,
                          [&](std::string_view run) { return sink.TextWidth(t, run).value_or(0); });
    } else {
        lines = WrapLines(t.plain, std::nullopt, {});
    }
    if (measures && cut && !sink.Clips() && t.rotation == 0) {
        double shift = 0;
        for (auto& line : lines) line = CutLine(line, t, sink, shift);
        // A single line keeps its place; the lines of a block stay centred together.
        if (lines.size() == 1) t.topLeft.x += shift;
        const double lineHeight = sink.LineHeight(t);
        const auto fit = static_cast<std::size_t>(
            std::max(1.0, std::floor((t.height - 2 * t.inset) / lineHeight + 1e-9)));
        if (lines.size() > fit) {
            const std::size_t skip = t.vAlign == VAlign::Top      ? 0
                                     : t.vAlign == VAlign::Middle ? (lines.size() - fit) / 2
                                                                  : lines.size() - fit;
            lines = std::vector<std::string>(lines.begin() + static_cast<long>(skip),
                                             lines.begin() + static_cast<long>(skip + fit));
        }
    }
    std::string plain;
    for (std::size_t i = 0; i < lines.size(); ++i) plain += (i ? "\n" : "") + lines[i];
    t.plain = std::move(plain);
    t.formatted = FormattedText(t.plain, t.font, t.bold, t.italic, t.underline);
    sink.Draw(t);
}

// How far a text may run from the cell at (r, k) in direction `dir`. All of that room is
// the text's, so that a program with other font metrics does not wrap it.
double Room(const Grid& g, Long r, Long k, int dir) {
    return SpillRoom(
        k, dir, [&](Long at, int d) { return d > 0 ? g.NextCol(at) : g.PrevCol(at); },
        [&](Long n) { return g.Stops(r, n); },
        [&](Long n) { return PointsToUnits(g.At(r, n)->colWidth, g.options()); });
}

void DrawBoxText(const Grid& g, const MyCell& head, const CellBox& box, Sink& sink) {
    if (head.Value.empty()) return;
    const Options& options = g.options();
    Text t;
    t.topLeft = box.topLeft;
    t.width = box.width;
    t.height = box.height;
    t.font = FontOf(head.FontName.str());
    t.plain = head.Value;
    t.size = PointsToUnits(head.fontsize > 0 ? head.fontsize : 11, options);
    t.bold = head.fontBold;
    t.italic = head.fontItalic;
    t.underline = head.fontUnderline;
    t.wrap = head.isWrapCell;
    t.inset = CellInset(box, options);
    t.rotation = Rotation(head.fontOrient);
    const std::string h = head.horAlign.str(), v = head.verAlign.str();
    t.hAlign = h == "MID" ? HAlign::Center : h == "RIGHT" ? HAlign::Right : HAlign::Left;
    t.vAlign = v == "MID" ? VAlign::Middle : v == "TOP" ? VAlign::Top : VAlign::Bottom;
    const auto look = g.Look(&head);
    if (look && look->fontColor) t.color = *look->fontColor;
    const SpillSides sides =
        SpillSidesOf({t.hAlign, head.isMerged, head.isWrapCell, head.fontOrient != 0,
                      look && look->number, look && look->fillAligned, look && look->shrinks});
    if (sides.right) t.spillRight = Room(g, box.row, box.colTo, 1);
    if (sides.left) t.spillLeft = Room(g, box.row, box.col, -1);
    if (const auto hash = sink.TextWidth(t, "#"); look && hash && *hash > 0) {
        const double room = std::max(0.0, t.width - 2 * t.inset);
        if (look->number && t.plain.find_first_not_of('#') == std::string::npos) {
            // A number too wide for its column fills its box with as many "#" as fit,
            // never a part of one.
            t.plain.assign(std::max<std::size_t>(1, static_cast<std::size_t>(room / *hash + 1e-9)),
                           '#');
        } else if (look->shrinks && !t.wrap && t.rotation == 0) {
            // A text that shrinks to fit is drawn as much smaller as its widest line needs.
            double widest = 0;
            for (std::size_t start = 0; start <= t.plain.size();) {
                const auto end = std::min(t.plain.find('\n', start), t.plain.size());
                widest = std::max(
                    widest, sink.TextWidth(t, std::string_view(t.plain).substr(start, end - start))
                                .value_or(0));
                start = end + 1;
            }
            if (widest > room && room > 0) t.size *= room / widest;
        }
    }
    EmitText(std::move(t), sink, true);
}

Point Rotate(Point p, Point center, double degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    const double dx = p.x - center.x, dy = p.y - center.y;
    return {center.x + dx * std::cos(a) - dy * std::sin(a),
            center.y + dx * std::sin(a) + dy * std::cos(a)};
}

Dash ShapeDash(Integer dashStyle) {
    switch (dashStyle) {
        case 2:
        case 3:
            return Dash::Dotted;
        case 4:
        case 7:
            return Dash::Dashed;
        case 5:
        case 8:
            return Dash::DashDot;
        case 6:
            return Dash::DashDotDot;
        default:
            return Dash::Solid;
    }
}

void DrawArrowhead(Point tip, Point from, Integer style, Integer size, const Pen& pen, Sink& sink) {
    const auto head = ArrowheadOf(tip, from, style, size, std::max(pen.width, 0.25));
    if (!head) return;
    Pen solid = pen;
    solid.dash = Dash::Solid;
    if (head->oval) {
        sink.Draw(Ellipse{head->center, head->radius, head->radius, 0, 0, 360, solid});
        return;
    }
    Path path;
    path.pen = solid;
    path.points = head->points;
    path.closed = head->closed;
    if (head->closed) path.fill = pen.color;
    sink.Draw(path);
}

void DrawShape(const Grid& g, const MyShape& s, Sink& sink) {
    const Options& o = g.options();
    Pen pen;
    pen.width = s.lineWei > 0 ? s.lineWei * 25.4 / 72.0 : 0.25;
    pen.dash = ShapeDash(s.lineType);
    const Point tl = g.Sheet(s.left, s.top);
    const double w = PointsToUnits(s.width, o), h = PointsToUnits(s.height, o);
    const Point center{tl.x + w / 2, tl.y - h / 2};
    // Excel turns shapes clockwise on the sheet, which is counter-clockwise negative here.
    const double turn = -static_cast<double>(s.rotation);
    if (s.shapeType == 9) {
        const Point a = g.Sheet(s.startX, s.startY), b = g.Sheet(s.endX, s.endY);
        sink.Draw(Line{a, b, pen, Layer::Shapes});
        DrawArrowhead(a, b, s.beginStyle, s.beginSize, pen, sink);
        DrawArrowhead(b, a, s.endStyle, s.endSize, pen, sink);
        return;
    }
    if (s.shapeType == 1 && s.autoShapeType == 9) {
        sink.Draw(Ellipse{center, w / 2, h / 2, turn, 0, 360, pen});
    } else if (s.shapeType == 1 && s.autoShapeType == 25) {
        // An arc is a quarter ellipse whose frame is that quarter: centred on the frame's
        // bottom-left corner and running from its top-left to its bottom-right corner,
        // mirrored by the flips.
        const bool hor = s.hor != 0, ver = s.ver != 0;
        const Point c = Rotate({hor ? tl.x + w : tl.x, ver ? tl.y : tl.y - h}, center, turn);
        const double start = hor ? (ver ? 180 : 90) : (ver ? 270 : 0);
        sink.Draw(Ellipse{c, w, h, turn, start, start + 90, pen});
    } else {
        Path frame;
        frame.pen = pen;
        frame.closed = true;
        const double r =
            s.autoShapeType == 5 ? std::clamp(s.cnrRadius, 0.0, 0.5) * std::min(w, h) : 0.0;
        const double l = tl.x, t = tl.y, rt = tl.x + w, b = tl.y - h;
        if (r <= 0) {
            frame.points = {{l, t}, {rt, t}, {rt, b}, {l, b}};
        } else {
            const auto corner = [&](double cx, double cy, double from) {
                for (int i = 0; i <= 6; ++i) {
                    const double a = (from + i * 15.0) * std::numbers::pi / 180.0;
                    frame.points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
                }
            };
            corner(rt - r, t - r, 0);
            corner(l + r, t - r, 90);
            corner(l + r, b + r, 180);
            corner(rt - r, b + r, 270);
        }
        for (auto& p : frame.points) p = Rotate(p, center, turn);
        sink.Draw(frame);
    }
    // A text frame without room (a hidden text box is one of no height) shows no text.
    if (!s.text.empty() && w > 0 && h > 0) {
        Text t;
        t.topLeft = tl;
        t.width = w;
        t.height = h;
        t.plain = s.text;
        t.font = FontOf(s.FontName);
        t.size = PointsToUnits(s.fontsize > 0 ? s.fontsize : 11, o);
        t.wrap = true;
        t.inset = PointsToUnits(3.6, o);  // a text frame's margin
        t.rotation = turn;
        const bool textBox = s.shapeType == 17;
        t.hAlign = textBox ? HAlign::Left : HAlign::Center;
        t.vAlign = textBox ? VAlign::Top : VAlign::Middle;
        t.layer = Layer::Shapes;
        // A text frame lets its text run past its edges.
        EmitText(std::move(t), sink, false);
    }
}

// Shapes and pictures arrays hold one record with top -1000 when there are none.
template <class A>
bool Placeholder(const A& a) {
    return !a.IsAllocated() ||
           (a.Lower() == a.Upper() && a(a.Lower()) && a(a.Lower())->top == -1000);
}

}  // namespace

std::optional<Rgb> ShownFill(std::string_view pattern, std::optional<Rgb> color,
                             std::optional<Rgb> background) {
    // The share of each pattern's 8 x 8 tile that shows the pattern's colour.
    static constexpr std::pair<std::string_view, double> kDensities[] = {{"solid", 1},
                                                                         {"darkGray", 0.75},
                                                                         {"mediumGray", 0.5},
                                                                         {"lightGray", 0.25},
                                                                         {"gray125", 0.125},
                                                                         {"gray0625", 0.0625},
                                                                         {"darkHorizontal", 0.5},
                                                                         {"darkVertical", 0.5},
                                                                         {"darkDown", 0.5},
                                                                         {"darkUp", 0.5},
                                                                         {"darkGrid", 0.5},
                                                                         {"darkTrellis", 0.75},
                                                                         {"lightHorizontal", 0.25},
                                                                         {"lightVertical", 0.25},
                                                                         {"lightDown", 0.25},
                                                                         {"lightUp", 0.25},
                                                                         {"lightGrid", 0.4375},
                                                                         {"lightTrellis", 0.375}};
    if (pattern.empty() || pattern == "none") return std::nullopt;
    const auto known = std::find_if(std::begin(kDensities), std::end(kDensities),
                                    [&](const auto& d) { return d.first == pattern; });
    // A fill of another kind (a gradient) shows its colour where it has one.
    if (known == std::end(kDensities)) return color;
    const double d = known->second;
    const Rgb fg = color.value_or(Rgb{0, 0, 0}), bg = background.value_or(Rgb{255, 255, 255});
    const auto mix = [&](unsigned char a, unsigned char b) {
        return static_cast<unsigned char>(std::lround(a * d + b * (1 - d)));
    };
    return Rgb{mix(fg.r, bg.r), mix(fg.g, bg.g), mix(fg.b, bg.b)};
}

std::vector<CellBox> BoxesOf(const Capture& capture, const Options& options,
                             const std::vector<std::pair<Integer, Integer>>& cells) {
    const Grid g(capture, options);
    std::vector<CellBox> boxes;
    for (const auto& [row, col] : cells) {
        if (auto box = g.Box(row, col)) boxes.push_back(*box);
    }
    return boxes;
}

namespace {

Frame FrameOf(const Grid& g) {
    const Capture& capture = g.capture();
    const Options& options = g.options();
    Frame frame;
    frame.unitsPerMm = options.unitsPerMm;
    const auto extend = [&](Point p) {
        frame.min = {std::min(frame.min.x, p.x), std::min(frame.min.y, p.y)};
        frame.max = {std::max(frame.max.x, p.x), std::max(frame.max.y, p.y)};
    };
    const auto addFont = [&](const std::string& name) {
        const std::string font = FontOf(name);
        if (std::find(frame.fonts.begin(), frame.fonts.end(), font) == frame.fonts.end()) {
            frame.fonts.push_back(font);
        }
    };
    // First pass: extents and fonts, so that a backend can size its page and write its
    // tables before the first entity.
    for (Long r = capture.startRow; r <= capture.endRow; ++r) {
        for (Long k = capture.startCol; k <= capture.endCol; ++k) {
            const MyCell* head = g.At(r, k);
            if (!head || (head->isMerged && (head->rowFrom != r || head->colFrom != k))) continue;
            const auto box = g.Box(r, k);
            extend(box->topLeft);
            extend({box->topLeft.x + box->width, box->topLeft.y - box->height});
            if (!head->Value.empty()) addFont(head->FontName.str());
        }
    }
    const bool shapes = !Placeholder(capture.shapes), images = !Placeholder(capture.images);
    if (shapes) {
        for (const auto& s : capture.shapes) {
            if (!s) continue;
            extend(g.Sheet(s->left, s->top));
            extend(g.Sheet(s->left + s->width, s->top + s->height));
            if (!s->text.empty()) addFont(s->FontName);
        }
    }
    if (images) {
        for (const auto& p : capture.images) {
            if (!p) continue;
            extend(g.Sheet(p->left, p->top));
            extend(g.Sheet(p->left + p->width, p->top + p->height));
        }
    }
    return frame;
}

// Whether a box lies wholly outside the part asked for, across (`across`) or only above
// or below it.
bool Outside(const Capture& capture, const CellBox& box, bool across) {
    if (!capture.only) return false;
    const auto& a = *capture.only;
    const double bottom = box.topLeft.y - box.height, right = box.topLeft.x + box.width;
    if (box.topLeft.y < a.min.y || bottom > a.max.y) return true;
    return across && (right < a.min.x || box.topLeft.x > a.max.x);
}

}  // namespace

Frame CaptureFrame(const Capture& capture, const Options& options) {
    return FrameOf(Grid(capture, options));
}

void DrawCapture(const Capture& capture, const Options& options, Sink& sink) {
    const Grid g(capture, options);
    sink.Begin(FrameOf(g));
    const bool shapes = !Placeholder(capture.shapes), images = !Placeholder(capture.images);

    // The head of the box at (r, k): the cell itself, or the first cell of a merged area.
    const auto head = [&](Long r, Long k) -> const MyCell* {
        const MyCell* p = g.At(r, k);
        return p && (!p->isMerged || (p->rowFrom == r && p->colFrom == k)) ? p : nullptr;
    };
    // All fills first, then all borders, then all texts: a text that runs into its empty
    // neighbours is never covered by their fills. Boxes meet where their records' sizes
    // (single precision) say, to a thousandth of a millimetre.
    FillRun fills(sink, 1e-3 * options.unitsPerMm);
    for (Long r = capture.startRow; r <= capture.endRow; ++r) {
        for (Long k = capture.startCol; k <= capture.endCol; ++k) {
            const MyCell* h = head(r, k);
            if (!h) continue;
            const CellBox box = *g.Box(r, k);
            if (Outside(capture, box, true)) continue;
            const auto look = g.Look(h);
            const auto recorded = ParseRgb(h->bgColor.str());
            const auto shown =
                look       ? ShownFill(look->pattern, look->patternColor, look->patternBackground)
                : recorded ? ShownFill(h->pattern.str(), recorded, std::nullopt)
                           : std::nullopt;
            if (!shown) continue;
            fills.Add(Fill{box.topLeft, box.width, box.height, *shown,
                           look ? look->pattern : h->pattern.str()});
        }
        fills.Flush();
    }
    std::deque<EdgeRun> columns;  // the vertical line at each column's left, and the last right
    for (Long k = capture.startCol; k <= capture.endCol + 1; ++k) columns.emplace_back(sink);
    for (Long r = capture.startRow; r <= capture.endRow; ++r) {
        EdgeRun top(sink), bottom(sink);
        for (Long k = capture.startCol; k <= capture.endCol; ++k) {
            const MyCell* h = head(r, k);
            if (!h) continue;
            const auto column = static_cast<std::size_t>(k - capture.startCol);
            const CellBox box = *g.Box(r, k);
            if (Outside(capture, box, true)) continue;
            DrawBoxBorders(g, *h, box, {top, bottom, columns[column], columns.back()});
        }
    }
    for (auto& run : columns) run.Flush();
    for (Long r = capture.startRow; r <= capture.endRow; ++r) {
        for (Long k = capture.startCol; k <= capture.endCol; ++k) {
            const MyCell* h = head(r, k);
            if (!h) continue;
            const CellBox box = *g.Box(r, k);
            if (!Outside(capture, box, false)) DrawBoxText(g, *h, box, sink);
        }
    }
    if (shapes) {
        for (const auto& s : capture.shapes) {
            if (s) DrawShape(g, *s, sink);
        }
    }
    if (images) {
        for (const auto& p : capture.images) {
            if (!p) continue;
            std::string path =
                capture.picturesFolder.empty() ? p->name : capture.picturesFolder + "/" + p->name;
            sink.Draw(Image{g.Sheet(p->left, p->top), PointsToUnits(p->width, options),
                            PointsToUnits(p->height, options), std::move(path)});
        }
    }
    sink.End();
}

void DrawRevisionMarks(const std::vector<CellBox>& boxes, Sink& sink) {
    Pen pen;
    pen.width = 0.35;
    pen.color = {255, 0, 0};
    for (const auto& b : boxes) {
        Path mark;
        mark.pen = pen;
        mark.closed = true;
        mark.layer = Layer::Revisions;
        const double l = b.topLeft.x, t = b.topLeft.y, r = l + b.width, bt = t - b.height;
        mark.points = {{l, t}, {r, t}, {r, bt}, {l, bt}};
        sink.Draw(mark);
    }
}

std::vector<TextRun> FormattedRuns(std::string_view s, const TextRun& start) {
    std::vector<TextRun> runs;
    TextRun style = start;
    style.text.clear();
    // Characters go to a run of the current style, a new one when the style changed.
    const auto add = [&](std::string_view chars, int script) {
        if (chars.empty()) return;
        TextRun want = style;
        want.script = script;
        if (runs.empty() || [&] {
                TextRun last = runs.back();
                last.text.clear();
                return !(last == want);
            }()) {
            runs.push_back(want);
        }
        runs.back().text += chars;
    };
    const auto skipTo = [&](std::size_t& i, char stop) {
        const auto end = s.find(stop, i);
        i = end == std::string_view::npos ? s.size() : end + 1;
    };
    for (std::size_t i = 0; i < s.size();) {
        const char ch = s[i];
        if (ch == '{' || ch == '}') {
            ++i;
            continue;
        }
        if (ch != '\\' || i + 1 >= s.size()) {
            if (static_cast<unsigned char>(ch) >= 0x20 || ch == '\n' || ch == '\t') {
                add(std::string_view(&s[i], 1), 0);
            }
            ++i;
            continue;
        }
        const char code = s[i + 1];
        i += 2;
        switch (code) {
            case 'f':
            case 'F': {
                // "\fName|b1|i0|c0|p34;": the font and its weight and slant.
                const auto end = std::min(s.find(';', i), s.size());
                const std::string_view spec = s.substr(i, end - i);
                style.font = std::string(spec.substr(0, spec.find('|')));
                for (std::size_t bar = spec.find('|'); bar != std::string_view::npos;
                     bar = spec.find('|', bar + 1)) {
                    if (bar + 2 >= spec.size()) continue;
                    if (spec[bar + 1] == 'b') style.bold = spec[bar + 2] == '1';
                    if (spec[bar + 1] == 'i') style.italic = spec[bar + 2] == '1';
                }
                i = end + 1;
                break;
            }
            case 'H': {
                // "\H0.7x;" scales the current height; "\H2.5;" sets it, which a run
                // without a height of its own cannot say: it stays as it is.
                const auto end = std::min(s.find(';', i), s.size());
                const std::string_view value = s.substr(i, end - i);
                double ratio = 0;
                const auto parsed =
                    std::from_chars(value.data(), value.data() + value.size(), ratio);
                if (parsed.ec == std::errc() && value.ends_with('x') && ratio > 0) {
                    // To two decimals: the 0.7 and 1.429 of a stacked run undo each other.
                    style.scale = std::round(style.scale * ratio * 100) / 100;
                }
                i = end + 1;
                break;
            }
            case 'A':
            case 'C':
            case 'Q':
            case 'T':
            case 'W':
                skipTo(i, ';');
                break;
            case 'P':
                add("\n", 0);
                break;
            case 'L':
            case 'l':
                style.underline = code == 'L';
                break;
            case 'S': {
                // A stacked run "top^bottom;": the top raised, the bottom lowered.
                const auto end = std::min(s.find(';', i), s.size());
                std::string top, bottom;
                bool lower = false;
                for (std::size_t j = i; j < end; ++j) {
                    if (s[j] == '^' || s[j] == '/' || s[j] == '#') {
                        lower = true;
                    } else {
                        (lower ? bottom : top) += s[j];
                    }
                }
                add(top, 1);
                add(bottom, 2);
                i = end == s.size() ? end : end + 1;
                break;
            }
            case 'U':
                if (i + 5 <= s.size() && s[i] == '+') {
                    // Control characters (a line break, a picture's place) have no glyph.
                    std::uint32_t c = 0;
                    const char* digits = s.data() + i + 1;
                    if (std::from_chars(digits, digits + 4, c, 16).ptr == digits + 4 && c >= 0x20) {
                        std::string one;
                        AppendUtf8(one, static_cast<char32_t>(c));
                        add(one, 0);
                    }
                    i += 5;
                }
                break;
            case '\\':
            case '{':
            case '}':
                add(std::string_view(&s[i - 1], 1), 0);
                break;
            default:
                break;  // \O \o and the like switch a style on or off
        }
    }
    return runs;
}

std::string PlainText(std::string_view s) {
    std::string out;
    for (const auto& run : FormattedRuns(s)) out += run.text;
    return out;
}

void PageSink::Begin(const Frame& frame) {
    Frame one = frame;
    if (frame.pageHeight > 0) {
        one.max.y = frame.max.y - (frame.pageHeight + frame.pageGap) * (page_ - 1);
        one.min.y = one.max.y - frame.pageHeight;
    }
    one.pages = 1;
    inner_.Begin(one);
}

namespace {

// The character Word draws a list's bullet with: its list string's first character, the
// "Symbol" font's private codes as their Unicode characters.
std::string BulletOf(const WordLine& line) {
    const auto chars = DecodeUtf8(line.listString);
    std::uint32_t c = chars.empty() ? static_cast<std::uint32_t>(line.bulletType) & 0xFFFF
                                    : static_cast<std::uint32_t>(chars[0]);
    if (c >= 0xF000 && c <= 0xF0FF) {
        // A character of a symbol font the "Symbol" table does not know (the fonts of
        // pictograms) is drawn as a plain bullet.
        const std::uint32_t symbol = SymbolToUnicode(c - 0xF000);
        c = symbol ? symbol : c >= 0xF021 && c < 0xF07F ? c - 0xF000 : 0x2022;
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = 0x2022;
    std::string out;
    AppendUtf8(out, static_cast<char32_t>(c));
    return out;
}

// The line's codes for the DXF: the host's codes as they are, without control characters
// (a page break) that have no place in a text.
std::string WithoutControls(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
    return out;
}

}  // namespace

void DrawWordLines(const WordLineArray& lines, Integer pages, Single pageWidth, Single pageHeight,
                   const Options& options, Sink& sink, const std::optional<Area>& only) {
    const double w = PointsToUnits(pageWidth, options), h = PointsToUnits(pageHeight, options);
    const double gap = PointsToUnits(36, options);
    const int n = std::max<int>(1, pages);
    Frame frame;
    frame.unitsPerMm = options.unitsPerMm;
    frame.pages = n;
    frame.pageHeight = h;
    frame.pageGap = gap;
    frame.min = {0, -(h + gap) * (n - 1) - h};
    frame.max = {w, 0};
    // Justified lines end at the right margin, which the records do not carry: the pages'
    // margins are taken as even, the left one where the leftmost line starts.
    double leftMargin = pageWidth;
    if (lines.IsAllocated()) {
        for (const auto& l : lines) {
            if (!l) continue;
            if (l->charLen > 0 || !l->text.empty()) leftMargin = std::min<double>(leftMargin, l->x);
            if (only) continue;
            const auto addFont = [&](const std::string& font) {
                if (std::find(frame.fonts.begin(), frame.fonts.end(), font) == frame.fonts.end()) {
                    frame.fonts.push_back(font);
                }
            };
            addFont(FontOf(l->FontName));
            for (const auto& run : FormattedRuns(l->text)) {
                if (!run.font.empty()) addFont(run.font);
            }
        }
    }
    const double rightEdge = PointsToUnits(std::max<double>(pageWidth - leftMargin, 0), options);
    sink.Begin(frame);
    int page = 1;
    const auto pageTop = [&](int p) { return -(h + gap) * (p - 1); };
    const auto drawPage = [&](int p) {
        Path outline;
        outline.closed = true;
        outline.layer = Layer::Pages;
        outline.pen.width = 0.18;
        outline.pen.color = {128, 128, 128};
        const double t = pageTop(p);
        outline.points = {{0, t}, {w, t}, {w, t - h}, {0, t - h}};
        sink.Draw(outline);
    };
    drawPage(1);
    bool startsParagraph = true;
    if (lines.IsAllocated()) {
        for (const auto& l : lines) {
            if (!l) continue;
            while (page < std::min<int>(l->pageNum, n)) {
                sink.NextPage();
                drawPage(++page);
            }
            Text t;
            const double size = PointsToUnits(l->fontsize > 0 ? l->fontsize : 11, options);
            // Word reports the top of the line; the text's box is one line high.
            t.topLeft = {PointsToUnits(l->x, options),
                         pageTop(page) - PointsToUnits(l->y, options)};
            // A line is at most three times its size high (its tallest run's scale).
            if (only && (t.topLeft.y < only->min.y || t.topLeft.y - 3.6 * size > only->max.y)) {
                startsParagraph = l->newLine;
                continue;
            }
            t.width = std::max(0.0, w - t.topLeft.x);
            t.height = size * 1.2;
            t.formatted = WithoutControls(l->text);
            t.font = FontOf(l->FontName);
            TextRun start;
            start.font = t.font;
            t.runs = FormattedRuns(t.formatted, start);
            t.plain.clear();
            for (const auto& run : t.runs) t.plain += run.text;
            // The style of the line's first run, for a sink that draws one style a line.
            if (!t.runs.empty()) {
                t.font = t.runs.front().font;
                t.bold = t.runs.front().bold;
                t.italic = t.runs.front().italic;
                t.underline = t.runs.front().underline;
            }
            t.size = size;
            // The line is as high as its tallest run.
            double tallest = 1;
            for (const auto& run : t.runs) tallest = std::max(tallest, run.scale);
            t.height = size * 1.2 * tallest;
            t.hAlign = HAlign::Left;
            t.vAlign = VAlign::Top;
            // Word's default tab stops, every half inch from the margin.
            t.tabWidth = PointsToUnits(36, options);
            if (l->justify && !l->newLine) {
                t.justifyWidth = std::max(0.0, rightEdge - t.topLeft.x);
            }
            if (l->listType == 2 && startsParagraph) {
                // The bullet sits where the line starts, over the two spaces kept for it.
                Text bullet = t;
                bullet.runs.clear();
                bullet.formatted = bullet.plain = BulletOf(*l);
                bullet.bold = bullet.italic = bullet.underline = false;
                bullet.justifyWidth = 0;
                sink.Draw(bullet);
            }
            startsParagraph = l->newLine;
            sink.Draw(t);
        }
    }
    while (page < n) {
        sink.NextPage();
        drawPage(++page);
    }
    sink.End();
}

namespace {

// A line of runs from `x` on the baseline, tabs to the next stop and `extraSpace` added
// at each space; gives where its last character other than a space ends and the number
// of spaces before it. Shown only when `show`.
std::pair<double, int> LayOutRuns(const Text& t, double scale, double x, double baseline,
                                  double extraSpace, bool show, const RunPainter& painter) {
    const double size = t.size * scale, tab = t.tabWidth * scale;
    double end = x;
    int spaces = 0, spacesBefore = 0;
    for (const auto& run : t.runs) {
        const std::string& family = run.font.empty() ? t.font : run.font;
        const double runSize = size * run.scale;
        const double shift = run.script == 1   ? -0.45 * runSize
                             : run.script == 2 ? 0.2 * runSize
                                               : 0;
        const double from = x;
        const std::string_view text = run.text;
        std::size_t i = 0;
        const auto flush = [&](std::size_t to) {
            if (to <= i) return;
            x += painter.piece(run, family, runSize, text.substr(i, to - i), x, baseline + shift,
                               show);
        };
        // Spaces and tabs are single bytes in UTF-8: splitting at them never cuts a
        // character.
        for (std::size_t k = 0; k < text.size(); ++k) {
            const char c = text[k];
            if (c == '\t') {
                flush(k);
                i = k + 1;
                x = tab > 0 ? (std::floor(x / tab + 1e-9) + 1) * tab : x + runSize;
            } else if (c == ' ') {
                flush(k + 1);
                i = k + 1;
                ++spaces;
                x += extraSpace;
            } else if (k + 1 == text.size() || text[k + 1] == ' ' || text[k + 1] == '\t') {
                flush(k + 1);
                i = k + 1;
                end = x;
                spacesBefore = spaces;
            }
        }
        flush(text.size());
        if (show && run.underline && x > from) {
            painter.underline(from, x, baseline + shift + runSize / 8, runSize);
        }
    }
    return {end, spacesBefore};
}

}  // namespace

void ShowRuns(const Text& t, double scale, double pad, double ascent, const RunPainter& painter) {
    // Below the top of the line by the ascent of its tallest run.
    double tallest = 1;
    for (const auto& run : t.runs) tallest = std::max(tallest, run.scale);
    const double baseline = pad + ascent * tallest;
    double extra = 0;
    if (t.justifyWidth > 0) {
        const auto [end, spaces] = LayOutRuns(t, scale, pad, baseline, 0, false, painter);
        const double room = t.justifyWidth * scale - end;
        if (spaces > 0 && room > 0 && room / spaces < t.size * scale * 2) extra = room / spaces;
    }
    LayOutRuns(t, scale, pad, baseline, extra, true, painter);
}

}  // namespace tbln::drawing
