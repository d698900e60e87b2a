#include "adapters/qt/sheet_window.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/workbook/cell_format.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/embedded_shapes.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "core/a1.hpp"
#include "core/error.hpp"
#include "drawing/drawing.hpp"

namespace tbln::qt {

namespace {

using workbook::Area;
using workbook::CellView;
using workbook::DrawingObject;
using workbook::SheetModel;
using workbook::WorkbookModel;

constexpr int kHeaderHeight = 20;
constexpr int kHeaderWidth = 44;
constexpr Long kSpareLines = 60;  // rows and columns shown beyond the used area
constexpr Long kMaxLines = 1048576;

double Pixels(double points) {
    return points * 96.0 / 72.0;
}

QColor Rgb(const std::string& hex, const QColor& fallback) {
    if (hex.size() != 6) return fallback;
    return QColor(QString::fromStdString("#" + hex));
}

const SheetModel* ShownSheet(const WorkbookModel* book) {
    if (!book || book->sheets.empty()) return nullptr;
    return &book->sheets.at(std::min(book->activeTab, book->sheets.size() - 1));
}

// A cell's pattern fill as the spreadsheet draws it: an 8 x 8 tile, one byte a row, a
// set bit showing the pattern's colour and a clear one its background.
QBrush PatternBrush(const std::string& pattern, const QColor& color, const QColor& background) {
    using Tile = std::array<unsigned char, 8>;
    static const std::map<std::string, Tile> tiles = {
        {"darkGray", {0xEE, 0xBB, 0xEE, 0xBB, 0xEE, 0xBB, 0xEE, 0xBB}},
        {"mediumGray", {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55}},
        {"lightGray", {0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22}},
        {"gray125", {0x80, 0x00, 0x08, 0x00, 0x80, 0x00, 0x08, 0x00}},
        {"gray0625", {0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}},
        {"darkHorizontal", {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}},
        {"lightHorizontal", {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00}},
        {"darkVertical", {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC}},
        {"lightVertical", {0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88}},
        {"darkDown", {0xCC, 0x66, 0x33, 0x99, 0xCC, 0x66, 0x33, 0x99}},
        {"lightDown", {0x88, 0x44, 0x22, 0x11, 0x88, 0x44, 0x22, 0x11}},
        {"darkUp", {0x33, 0x66, 0xCC, 0x99, 0x33, 0x66, 0xCC, 0x99}},
        {"lightUp", {0x11, 0x22, 0x44, 0x88, 0x11, 0x22, 0x44, 0x88}},
        {"darkGrid", {0xFF, 0xFF, 0xCC, 0xCC, 0xFF, 0xFF, 0xCC, 0xCC}},
        {"lightGrid", {0xFF, 0x88, 0x88, 0x88, 0xFF, 0x88, 0x88, 0x88}},
        {"darkTrellis", {0x99, 0xFF, 0x66, 0xFF, 0x99, 0xFF, 0x66, 0xFF}},
        {"lightTrellis", {0x88, 0x55, 0x22, 0x55, 0x88, 0x55, 0x22, 0x55}}};
    const auto it = tiles.find(pattern);
    if (it == tiles.end()) return QBrush(color);  // solid, and a gradient's first colour
    QImage tile(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool on = (it->second[static_cast<std::size_t>(y)] >> (7 - x)) & 1;
            tile.setPixelColor(x, y, on ? color : background);
        }
    }
    return QBrush(tile);
}

// The pen of a shape's outline: its weight in points and Excel's dash style.
QPen OutlinePen(const DrawingObject& o) {
    if (o.lineWeight <= 0) return Qt::NoPen;
    QPen pen(QColor(0x40, 0x40, 0x40), std::max(1.0, Pixels(o.lineWeight)));
    switch (o.dashStyle) {
        case 2:  // square dots
        case 3:  // round dots
            pen.setStyle(Qt::DotLine);
            break;
        case 4:  // dashes
        case 7:  // long dashes
            pen.setStyle(Qt::DashLine);
            break;
        case 5:  // dash dot
        case 8:  // long dash dot
            pen.setStyle(Qt::DashDotLine);
            break;
        case 6:
            pen.setStyle(Qt::DashDotDotLine);
            break;
        default:
            break;
    }
    return pen;
}

// A cell or merged area in view: what it shows, where, and how far its text runs into
// the empty neighbours left and right.
struct ShownCell {
    CellView view;
    QRectF rect;
    double spillLeft = 0, spillRight = 0;
};

// What the spreadsheet's rule for running texts asks of a cell: General aligns numbers
// right, truth values and errors centred and texts left.
drawing::SpillTraits SpillTraitsOf(const CellView& v) {
    drawing::SpillTraits t;
    switch (v.horizontalAlignment) {
        case workbook::xlCenter:
        case workbook::xlCenterAcrossSelection:
            t.align = drawing::HAlign::Center;
            break;
        case workbook::xlRight:
            t.align = drawing::HAlign::Right;
            break;
        case workbook::xlGeneral:
            t.align = v.type == workbook::ValueType::Number ? drawing::HAlign::Right
                      : v.type == workbook::ValueType::Text ? drawing::HAlign::Left
                                                            : drawing::HAlign::Center;
            break;
        default:
            t.align = drawing::HAlign::Left;
    }
    t.merged = v.merged;
    t.wrapped = v.wrapText || v.horizontalAlignment == workbook::xlJustify ||
                v.horizontalAlignment == workbook::xlDistributed;
    t.turned = v.orientation != workbook::xlHorizontal && v.orientation != 0;
    t.number = v.type == workbook::ValueType::Number;
    t.fillAligned = v.horizontalAlignment == workbook::xlFill;
    t.shrinks = v.shrinkToFit;
    return t;
}

}  // namespace

// The grid: row and column offsets in pixels for the lines up to the used area and a
// margin, found by binary search when painting and hit-testing, so the cost of a
// paint is the cells in view.
class SheetView : public QAbstractScrollArea {
  public:
    explicit SheetView(SheetWindow::AppSource app) : app_(std::move(app)) {
        viewport()->setBackgroundRole(QPalette::Base);
        viewport()->setAutoFillBackground(true);
        setObjectName("grid");
        setFocusPolicy(Qt::StrongFocus);
    }

    const WorkbookModel* Book() const {
        const auto app = app_();
        return app ? workbook::ActiveWorkbookModel(*app) : nullptr;
    }

    // Rebuilds the offsets when the sheet or its lines changed.
    void Measure() {
        const WorkbookModel* book = Book();
        const SheetModel* sheet = ShownSheet(book);
        const auto key =
            std::tuple{sheet, sheet ? sheet->rows.size() : 0, sheet ? sheet->columns.size() : 0,
                       sheet ? sheet->edits.size() : 0};
        if (key == key_ && !rowTop_.empty()) return;
        key_ = key;
        rowTop_.assign(1, 0);
        colLeft_.assign(1, 0);
        frames_.clear();
        if (!sheet) return;
        const Area used = workbook::UsedArea(*sheet);
        Long rows = std::min(kMaxLines, used.bottom + kSpareLines);
        Long cols = std::min<Long>(16384, used.right + kSpareLines / 3);
        for (const auto& r : sheet->rows) rows = std::max(rows, std::min(kMaxLines, r.row + 1));
        for (Long r = 1; r <= rows; ++r) {
            rowTop_.push_back(rowTop_.back() + Pixels(workbook::RowHeightPoints(*book, *sheet, r)));
        }
        for (Long c = 1; c <= cols; ++c) {
            colLeft_.push_back(colLeft_.back() +
                               Pixels(workbook::ColumnWidthPoints(*book, *sheet, c)));
        }
        for (const auto& o : sheet->drawing.objects) {
            const workbook::ShapeFrame f = workbook::FrameOf(*book, *sheet, o);
            frames_.emplace_back(Pixels(f.left), Pixels(f.top), Pixels(f.width), Pixels(f.height));
        }
        UpdateScrollBars();
    }

    void UpdateScrollBars() {
        const int w = viewport()->width() - kHeaderWidth;
        const int h = viewport()->height() - kHeaderHeight;
        horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(colLeft_.back()) - w));
        horizontalScrollBar()->setPageStep(w);
        verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(rowTop_.back()) - h));
        verticalScrollBar()->setPageStep(h);
        verticalScrollBar()->setSingleStep(20);
        horizontalScrollBar()->setSingleStep(64);
    }

    // The line (1-based) at an offset, or 0 beyond the last one.
    static Long LineAt(const std::vector<double>& starts, double offset) {
        const auto it = std::upper_bound(starts.begin(), starts.end(), offset);
        const auto line = static_cast<Long>(it - starts.begin());
        return line >= static_cast<Long>(starts.size()) ? 0 : line;
    }

    QRectF CellRectF(Long top, Long left, Long bottom, Long right) const {
        const auto last = [](const std::vector<double>& v, Long i) {
            return v[static_cast<std::size_t>(std::min<Long>(i, static_cast<Long>(v.size()) - 1))];
        };
        const double x = kHeaderWidth + last(colLeft_, left - 1) - horizontalScrollBar()->value();
        const double y = kHeaderHeight + last(rowTop_, top - 1) - verticalScrollBar()->value();
        return QRectF(x, y, last(colLeft_, right) - last(colLeft_, left - 1),
                      last(rowTop_, bottom) - last(rowTop_, top - 1));
    }

    // The cell under a point of the viewport.
    std::pair<Long, Long> CellAt(QPoint p) const {
        const Long row = LineAt(rowTop_, p.y() - kHeaderHeight + verticalScrollBar()->value());
        const Long col = LineAt(colLeft_, p.x() - kHeaderWidth + horizontalScrollBar()->value());
        return {std::max<Long>(row, 1), std::max<Long>(col, 1)};
    }

    // Scrolls the least that brings the cell into view.
    void EnsureVisible(Long row, Long col) {
        const QRectF r = CellRectF(row, col, row, col);
        const QRect area = viewport()->rect().adjusted(kHeaderWidth, kHeaderHeight, 0, 0);
        const auto start = [](const std::vector<double>& v, Long i) {
            return static_cast<int>(v[static_cast<std::size_t>(
                std::min<Long>(i - 1, static_cast<Long>(v.size()) - 1))]);
        };
        QScrollBar* v = verticalScrollBar();
        QScrollBar* h = horizontalScrollBar();
        if (r.height() > 0 && r.top() < area.top())
            v->setValue(start(rowTop_, row));
        else if (r.height() > 0 && r.bottom() > area.bottom() + 1)
            v->setValue(
                std::min(start(rowTop_, row),
                         v->value() + static_cast<int>(std::ceil(r.bottom() - area.bottom() - 1))));
        if (r.width() > 0 && r.left() < area.left())
            h->setValue(start(colLeft_, col));
        else if (r.width() > 0 && r.right() > area.right() + 1)
            h->setValue(
                std::min(start(colLeft_, col),
                         h->value() + static_cast<int>(std::ceil(r.right() - area.right() - 1))));
    }
    // Shows the sheet from the cell at its top-left corner, as its saved view does.
    void ScrollTo(Long row, Long col) {
        const auto start = [](const std::vector<double>& v, Long i) {
            return static_cast<int>(v[static_cast<std::size_t>(
                std::clamp<Long>(i - 1, 0, static_cast<Long>(v.size()) - 1))]);
        };
        verticalScrollBar()->setValue(start(rowTop_, row));
        horizontalScrollBar()->setValue(start(colLeft_, col));
    }

  protected:
    void resizeEvent(QResizeEvent* e) override {
        QAbstractScrollArea::resizeEvent(e);
        UpdateScrollBars();
    }
    void scrollContentsBy(int, int) override { viewport()->update(); }

    void mousePressEvent(QMouseEvent* e) override {
        const SheetModel* sheet = ShownSheet(Book());
        if (e->button() != Qt::LeftButton || !sheet) return;
        setFocus(Qt::MouseFocusReason);
        // Shift+click extends the selection from the active cell; a click inside a
        // merged area makes its top-left cell active.
        if (e->modifiers() & Qt::ShiftModifier) {
            anchor_ = {sheet->activeRow, sheet->activeCol};
        } else {
            anchor_ = TopLeftOf(*sheet, CellAt(e->position().toPoint()));
        }
        Select(CellAt(e->position().toPoint()));
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!(e->buttons() & Qt::LeftButton) || !Book()) return;
        Select(CellAt(e->position().toPoint()));
    }
    // The arrow keys move the active cell, with Shift they move the selection's far
    // corner, keeping what moved in view.
    void keyPressEvent(QKeyEvent* e) override {
        const SheetModel* sheet = ShownSheet(Book());
        int dr = 0, dc = 0;
        switch (e->key()) {
            case Qt::Key_Up:
                dr = -1;
                break;
            case Qt::Key_Down:
                dr = 1;
                break;
            case Qt::Key_Left:
                dc = -1;
                break;
            case Qt::Key_Right:
                dc = 1;
                break;
            default:
                return QAbstractScrollArea::keyPressEvent(e);
        }
        if (!sheet) return;
        Measure();
        const std::pair<Long, Long> active{sheet->activeRow, sheet->activeCol};
        if (active != anchor_) anchor_ = corner_ = active;  // moved by code or a click elsewhere
        if (e->modifiers() & Qt::ShiftModifier) {
            corner_ = Step(*sheet, corner_, dr, dc);
            Select(corner_);
            EnsureVisible(corner_.first, corner_.second);
        } else {
            anchor_ = TopLeftOf(*sheet, Step(*sheet, active, dr, dc));
            Select(anchor_);
            EnsureVisible(anchor_.first, anchor_.second);
        }
    }

    void paintEvent(QPaintEvent*) override;

  private:
    // The top-left cell of the merged area holding `cell`, else the cell.
    static std::pair<Long, Long> TopLeftOf(const SheetModel& sheet, std::pair<Long, Long> cell) {
        if (const Area* m = sheet.FindMerge(cell.first, cell.second)) return {m->top, m->left};
        return cell;
    }
    // The next shown cell from `from` one step along (dr, dc), past the merged area it
    // is in, staying on the sheet.
    std::pair<Long, Long> Step(const SheetModel& sheet, std::pair<Long, Long> from, int dr,
                               int dc) const {
        const Area* m = sheet.FindMerge(from.first, from.second);
        Long r = dr > 0 && m ? m->bottom : from.first, c = dc > 0 && m ? m->right : from.second;
        if (dr < 0 && m) r = m->top;
        if (dc < 0 && m) c = m->left;
        const auto shown = [](const std::vector<double>& v, Long i) {
            return v[static_cast<std::size_t>(i)] > v[static_cast<std::size_t>(i - 1)];
        };
        const auto lines = [](const std::vector<double>& v) {
            return static_cast<Long>(v.size()) - 1;
        };
        for (Long i = r + dr; dr != 0 && i >= 1 && i <= lines(rowTop_); i += dr) {
            if (shown(rowTop_, i)) return {i, from.second};
        }
        for (Long i = c + dc; dc != 0 && i >= 1 && i <= lines(colLeft_); i += dc) {
            if (shown(colLeft_, i)) return {from.first, i};
        }
        return from;
    }

    // Selects the cells from the anchor to `to` in the engine, as a click, drag or
    // Shift+arrow in the spreadsheet does: the area grows over the merged areas it cuts,
    // and the anchor stays the active cell.
    void Select(std::pair<Long, Long> to) {
        const SheetModel* model = ShownSheet(Book());
        if (!model) return;
        corner_ = to;
        Area a{std::min(anchor_.first, to.first), std::min(anchor_.second, to.second),
               std::max(anchor_.first, to.first), std::max(anchor_.second, to.second)};
        for (bool grew = true; grew;) {
            grew = false;
            for (const Area& m : model->merges) {
                if (m.bottom < a.top || m.top > a.bottom || m.right < a.left || m.left > a.right)
                    continue;
                const Area u{std::min(a.top, m.top), std::min(a.left, m.left),
                             std::max(a.bottom, m.bottom), std::max(a.right, m.right)};
                if (u.top != a.top || u.left != a.left || u.bottom != a.bottom ||
                    u.right != a.right) {
                    a = u;
                    grew = true;
                }
            }
        }
        try {
            const auto app = app_();
            auto sheet = app ? app->ActiveSheet() : nullptr;
            if (!sheet) return;
            sheet->Range(sheet->Cells(a.top, a.left), sheet->Cells(a.bottom, a.right))->Select();
            if (anchor_ != std::pair{a.top, a.left})
                sheet->Cells(anchor_.first, anchor_.second)->Activate();
        } catch (const RuntimeError&) {
            // A sheet closed behind the window's back: nothing to select.
        }
        viewport()->update();
    }

    void PaintFill(QPainter& p, const ShownCell& cell);
    void PaintText(QPainter& p, const ShownCell& cell);
    void PaintBorders(QPainter& p, const CellView& v, const QRectF& rect);
    void PaintDrawing(QPainter& p, const WorkbookModel& book, const SheetModel& sheet);
    void PaintShape(QPainter& p, const DrawingObject& o, const QRectF& own);
    const QImage& Picture(const WorkbookModel& book, const DrawingObject& o);

    SheetWindow::AppSource app_;
    std::vector<double> rowTop_{0}, colLeft_{0};  // never empty: line 1 starts at 0
    std::tuple<const SheetModel*, std::size_t, std::size_t, std::size_t> key_{};
    std::pair<Long, Long> anchor_{1, 1};  // the active cell the selection grows from
    std::pair<Long, Long> corner_{1, 1};  // its far corner, which Shift+arrows move
    // The frame of each drawing object in pixels from the sheet's top-left corner, in
    // drawing order, measured with the lines.
    std::vector<QRectF> frames_;
    std::map<std::string, QImage> pictures_;  // decoded once per workbook file and part

    friend class SheetWindow;
};

void SheetView::paintEvent(QPaintEvent*) {
    Measure();
    QPainter p(viewport());
    const WorkbookModel* book = Book();
    const SheetModel* sheet = ShownSheet(book);
    if (!sheet) return;
    const int width = viewport()->width();
    const int height = viewport()->height();
    const double sx = horizontalScrollBar()->value();
    const double sy = verticalScrollBar()->value();
    const Long firstRow = std::max<Long>(1, LineAt(rowTop_, sy));
    Long lastRow = LineAt(rowTop_, sy + height);
    if (lastRow == 0) lastRow = static_cast<Long>(rowTop_.size()) - 1;
    const Long firstCol = std::max<Long>(1, LineAt(colLeft_, sx));
    Long lastCol = LineAt(colLeft_, sx + width);
    if (lastCol == 0) lastCol = static_cast<Long>(colLeft_.size()) - 1;

    p.save();
    p.setClipRect(QRect(kHeaderWidth, kHeaderHeight, width - kHeaderWidth, height - kHeaderHeight));
    // Gridlines under everything.
    p.setPen(QColor(0xD4, 0xD4, 0xD4));
    for (Long r = firstRow; r <= lastRow; ++r) {
        const double y = kHeaderHeight + rowTop_[static_cast<std::size_t>(r)] - sy - 0.5;
        if (rowTop_[static_cast<std::size_t>(r)] > rowTop_[static_cast<std::size_t>(r - 1)]) {
            p.drawLine(QPointF(kHeaderWidth, y), QPointF(width, y));
        }
    }
    for (Long c = firstCol; c <= lastCol; ++c) {
        const double x = kHeaderWidth + colLeft_[static_cast<std::size_t>(c)] - sx - 0.5;
        if (colLeft_[static_cast<std::size_t>(c)] > colLeft_[static_cast<std::size_t>(c - 1)]) {
            p.drawLine(QPointF(x, kHeaderHeight), QPointF(x, height));
        }
    }
    // The merged areas in view, drawn once each as one cell.
    std::vector<const Area*> merges;
    for (const auto& m : sheet->merges) {
        if (m.bottom >= firstRow && m.top <= lastRow && m.right >= firstCol && m.left <= lastCol) {
            merges.push_back(&m);
        }
    }
    const auto mergeOf = [&](Long r, Long c) -> const Area* {
        for (const auto* m : merges) {
            if (m->Contains(r, c)) return m;
        }
        return nullptr;
    };
    // The cells in view and the merged areas, each once: all fills, then all texts, then
    // all borders, so that a text running over an empty neighbour shows over its fill.
    std::vector<ShownCell> cells;
    const Long lines = static_cast<Long>(colLeft_.size()) - 1;
    const auto next = [&](Long at, int dir) {
        for (Long k = at + dir; k >= 1 && k <= lines; k += dir) {
            if (colLeft_[static_cast<std::size_t>(k)] > colLeft_[static_cast<std::size_t>(k - 1)])
                return k;
        }
        return dir > 0 ? lines + 1 : Long{0};
    };
    const auto columnWidth = [&](Long k) {
        return colLeft_[static_cast<std::size_t>(k)] - colLeft_[static_cast<std::size_t>(k - 1)];
    };
    const auto add = [&](Long r, Long c, const QRectF& rect) {
        ShownCell cell{workbook::DescribeCell(*book, *sheet, r, c), rect, 0, 0};
        if (!cell.view.text.empty()) {
            const drawing::SpillSides sides = drawing::SpillSidesOf(SpillTraitsOf(cell.view));
            const auto stops = [&](Long k) {
                if (k < 1 || k > lines) return true;
                const auto* n = sheet->Find(r, k);
                return (n && n->type != workbook::CellType::Empty) || sheet->FindMerge(r, k);
            };
            // The room beyond the view is never seen: the walk ends a column past it.
            const auto seen = [&](Long k) {
                return k < firstCol - 1 || k > lastCol + 1 || stops(k);
            };
            if (sides.right) cell.spillRight = drawing::SpillRoom(c, 1, next, seen, columnWidth);
            if (sides.left) cell.spillLeft = drawing::SpillRoom(c, -1, next, seen, columnWidth);
        }
        cells.push_back(std::move(cell));
    };
    for (Long r = firstRow; r <= lastRow; ++r) {
        if (rowTop_[static_cast<std::size_t>(r)] == rowTop_[static_cast<std::size_t>(r - 1)])
            continue;
        for (Long c = firstCol; c <= lastCol; ++c) {
            if (colLeft_[static_cast<std::size_t>(c)] == colLeft_[static_cast<std::size_t>(c - 1)])
                continue;
            if (!mergeOf(r, c)) add(r, c, CellRectF(r, c, r, c));
        }
    }
    for (const auto* m : merges)
        add(m->top, m->left, CellRectF(m->top, m->left, m->bottom, m->right));
    for (const auto& cell : cells) PaintFill(p, cell);
    for (const auto& cell : cells) PaintText(p, cell);
    for (const auto& cell : cells) PaintBorders(p, cell.view, cell.rect);
    // The selection over the cells, the active cell framed.
    const QColor selection(33, 115, 70);
    for (const auto& a : sheet->selection) {
        // A single cell inside a merged area selects the whole area.
        const Area* merged = a.Rows() * a.Columns() == 1 ? mergeOf(a.top, a.left) : nullptr;
        const Area& shown = merged ? *merged : a;
        const QRectF r = CellRectF(shown.top, shown.left, shown.bottom, shown.right);
        if (!merged && a.Rows() * a.Columns() > 1) p.fillRect(r, QColor(33, 115, 70, 40));
        p.setPen(QPen(selection, 2));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    p.setPen(QPen(selection, 2));
    const Area* activeMerge = mergeOf(sheet->activeRow, sheet->activeCol);
    p.drawRect(activeMerge ? CellRectF(activeMerge->top, activeMerge->left, activeMerge->bottom,
                                       activeMerge->right)
                           : CellRectF(sheet->activeRow, sheet->activeCol, sheet->activeRow,
                                       sheet->activeCol));
    // Shapes and pictures float over the cells and the selection.
    PaintDrawing(p, *book, *sheet);
    p.restore();

    // Headers: column letters and row numbers, the selected ones shaded.
    const QColor headerFill(0xF3, 0xF3, 0xF3), headerLine(0xC0, 0xC0, 0xC0);
    const auto selected = [&](bool isRow, Long line) {
        for (const auto& a : sheet->selection) {
            if (isRow ? (line >= a.top && line <= a.bottom) : (line >= a.left && line <= a.right))
                return true;
        }
        return false;
    };
    p.fillRect(QRect(0, 0, width, kHeaderHeight), headerFill);
    p.fillRect(QRect(0, 0, kHeaderWidth, height), headerFill);
    QFont headerFont = font();
    headerFont.setPointSizeF(8.5);
    p.setFont(headerFont);
    p.setClipRect(QRect(kHeaderWidth, 0, width - kHeaderWidth, kHeaderHeight));
    for (Long c = firstCol; c <= lastCol; ++c) {
        const QRectF r = CellRectF(1, c, 1, c);
        if (r.width() <= 0) continue;
        const QRectF h(r.left(), 0, r.width(), kHeaderHeight);
        if (selected(false, c)) p.fillRect(h, QColor(0xD2, 0xD2, 0xD2));
        p.setPen(headerLine);
        p.drawLine(h.topRight() + QPointF(-0.5, 0), h.bottomRight() + QPointF(-0.5, 0));
        p.setPen(Qt::black);
        p.drawText(h, Qt::AlignCenter, QString::fromStdString(a1::ColumnLetters(c)));
    }
    p.setClipRect(QRect(0, kHeaderHeight, kHeaderWidth, height - kHeaderHeight));
    for (Long r = firstRow; r <= lastRow; ++r) {
        const QRectF cell = CellRectF(r, 1, r, 1);
        if (cell.height() <= 0) continue;
        const QRectF h(0, cell.top(), kHeaderWidth, cell.height());
        if (selected(true, r)) p.fillRect(h, QColor(0xD2, 0xD2, 0xD2));
        p.setPen(headerLine);
        p.drawLine(h.bottomLeft() + QPointF(0, -0.5), h.bottomRight() + QPointF(0, -0.5));
        p.setPen(Qt::black);
        p.drawText(h, Qt::AlignCenter, QString::number(r));
    }
    p.setClipping(false);
    p.setPen(headerLine);
    p.drawLine(QPointF(0, kHeaderHeight - 0.5), QPointF(width, kHeaderHeight - 0.5));
    p.drawLine(QPointF(kHeaderWidth - 0.5, 0), QPointF(kHeaderWidth - 0.5, height));
}

void SheetView::PaintFill(QPainter& p, const ShownCell& cell) {
    const CellView& v = cell.view;
    const QRectF& rect = cell.rect;
    if (v.fillPattern == "solid" || v.fillPattern == "gradient") {
        if (!v.fillColor.empty()) p.fillRect(rect, Rgb(v.fillColor, Qt::white));
    } else if (v.fillPattern != "none" && !v.fillPattern.empty()) {
        // A pattern without colours of its own is black on white.
        p.fillRect(rect, PatternBrush(v.fillPattern, Rgb(v.fillColor, Qt::black),
                                      Rgb(v.patternBackground, Qt::white)));
    }
}

void SheetView::PaintText(QPainter& p, const ShownCell& cell) {
    const CellView& v = cell.view;
    const QRectF& rect = cell.rect;
    if (!v.text.empty()) {
        QFont f(QString::fromStdString(v.fontName.empty() ? "Calibri" : v.fontName));
        f.setPointSizeF(v.fontSize > 0 ? v.fontSize : 11);
        f.setBold(v.bold);
        f.setItalic(v.italic);
        f.setUnderline(v.underline);
        f.setStrikeOut(v.strikethrough);
        p.setFont(f);
        p.setPen(Rgb(v.fontColor, Qt::black));
        const bool number = v.type == workbook::ValueType::Number;
        const QString text = QString::fromStdString(v.text);
        QRectF textRect = rect.adjusted(2 + v.indent * 9, 1, -2, -1);
        int flags = 0;
        if (v.horizontalAlignment == workbook::xlJustify ||
            v.horizontalAlignment == workbook::xlDistributed) {
            flags |= Qt::AlignJustify;
        } else {
            switch (SpillTraitsOf(v).align) {
                case drawing::HAlign::Center:
                    flags |= Qt::AlignHCenter;
                    break;
                case drawing::HAlign::Right:
                    flags |= Qt::AlignRight;
                    break;
                case drawing::HAlign::Left:
                    flags |= Qt::AlignLeft;
                    break;
            }
        }
        // A number wider than its cell in this font keeps its sign and first digits:
        // it is cut on the right, never on the left.
        if (number && !v.wrapText && QFontMetricsF(f).horizontalAdvance(text) > textRect.width())
            flags = (flags & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft;
        switch (v.verticalAlignment) {
            case workbook::xlTop:
                flags |= Qt::AlignTop;
                break;
            case workbook::xlCenter:
            case workbook::xlJustify:
            case workbook::xlDistributed:
                flags |= Qt::AlignVCenter;
                break;
            default:
                flags |= Qt::AlignBottom;
        }
        if (v.wrapText) flags |= Qt::TextWordWrap;
        p.save();
        // The text is laid out in its cell and shows as far as the empty neighbours it
        // runs into.
        p.setClipRect(rect.adjusted(-cell.spillLeft, 0, cell.spillRight, 0), Qt::IntersectClip);
        int degrees = 0;
        if (v.orientation == workbook::xlUpward)
            degrees = 90;
        else if (v.orientation == workbook::xlDownward)
            degrees = -90;
        else if (v.orientation >= -90 && v.orientation <= 90)
            degrees = v.orientation;
        if (degrees != 0) {
            // Rotated text turns about the cell's centre.
            p.translate(rect.center());
            p.rotate(-degrees);
            const QRectF turned =
                std::abs(degrees) >= 45
                    ? QRectF(-rect.height() / 2, -rect.width() / 2, rect.height(), rect.width())
                    : QRectF(-rect.width() / 2, -rect.height() / 2, rect.width(), rect.height());
            p.drawText(turned, (flags & ~Qt::AlignVertical_Mask) | Qt::AlignVCenter, text);
        } else {
            p.drawText(textRect, flags, text);
        }
        p.restore();
    }
}

void SheetView::PaintBorders(QPainter& p, const CellView& v, const QRectF& rect) {
    const auto edge = [&](const workbook::CellBorderEdge& e, QPointF a, QPointF b) {
        if (e.style.empty() || e.style == "none") return;
        QPen pen(Rgb(e.color, Qt::black));
        pen.setWidthF(e.style == "medium" || e.style.rfind("medium", 0) == 0 ? 2
                      : e.style == "thick" || e.style == "double"            ? 3
                                                                             : 1);
        if (e.style.find("ashDot") != std::string::npos)
            pen.setStyle(Qt::DashDotLine);
        else if (e.style.find("ashed") != std::string::npos)
            pen.setStyle(Qt::DashLine);
        else if (e.style == "dotted" || e.style == "hair")
            pen.setStyle(Qt::DotLine);
        p.setPen(pen);
        p.drawLine(a, b);
    };
    const QRectF r = rect.adjusted(0, 0, -0.5, -0.5);
    edge(v.top, r.topLeft(), r.topRight());
    edge(v.bottom, r.bottomLeft(), r.bottomRight());
    edge(v.left, r.topLeft(), r.bottomLeft());
    edge(v.right, r.topRight(), r.bottomRight());
}

void SheetView::PaintDrawing(QPainter& p, const WorkbookModel& book, const SheetModel& sheet) {
    const auto& objects = sheet.drawing.objects;
    const QRectF view = viewport()->rect();
    const QPointF origin(kHeaderWidth - horizontalScrollBar()->value(),
                         kHeaderHeight - verticalScrollBar()->value());
    for (std::size_t i = 0; i < objects.size() && i < frames_.size(); ++i) {
        const DrawingObject& o = objects[i];
        const QRectF frame = frames_[i].translated(origin);
        // A turned object stays within the circle around its frame.
        const double reach = std::hypot(frame.width(), frame.height()) / 2;
        if (!QRectF(frame.center() - QPointF(reach, reach), QSizeF(2 * reach, 2 * reach))
                 .intersects(view))
            continue;
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(frame.center());
        p.rotate(o.rotation);
        const QRectF own(-frame.width() / 2, -frame.height() / 2, frame.width(), frame.height());
        if (o.type == excel::msoPicture || o.type == 11) {
            const QImage& image = Picture(book, o);
            if (image.isNull()) {
                // A linked, missing or unreadable picture shows as a crossed box.
                p.setPen(QPen(Qt::gray, 1));
                p.setBrush(QColor(0xF0, 0xF0, 0xF0));
                p.drawRect(own);
                p.drawLine(own.topLeft(), own.bottomRight());
                p.drawLine(own.topRight(), own.bottomLeft());
            } else {
                p.scale(o.flipH ? -1 : 1, o.flipV ? -1 : 1);
                p.setRenderHint(QPainter::SmoothPixmapTransform);
                p.drawImage(own, image);
            }
        } else {
            PaintShape(p, o, own);
        }
        p.restore();
    }
}

void SheetView::PaintShape(QPainter& p, const DrawingObject& o, const QRectF& own) {
    p.save();
    p.scale(o.flipH ? -1 : 1, o.flipV ? -1 : 1);
    p.setPen(OutlinePen(o));
    p.setBrush(o.filled ? QBrush(QColor::fromRgb(o.fillRgb)) : QBrush(Qt::NoBrush));
    const std::string& preset = o.preset;
    if (o.type == 9 || preset == "line" || preset.rfind("straightConnector", 0) == 0) {
        p.drawLine(own.topLeft(), own.bottomRight());
        // The arrowheads at its begin (top-left before flipping) and end.
        const QPen pen = p.pen();
        p.setPen(QPen(pen.color(), pen.widthF()));
        p.setBrush(pen.color());
        const auto head = [&](QPointF tip, QPointF from, Integer style, Integer size) {
            const auto a = drawing::ArrowheadOf({tip.x(), tip.y()}, {from.x(), from.y()}, style,
                                                size, std::max(pen.widthF(), 1.0));
            if (!a) return;
            if (a->oval) {
                p.drawEllipse(QPointF(a->center.x, a->center.y), a->radius, a->radius);
                return;
            }
            QPolygonF points;
            for (const auto& pt : a->points) points << QPointF(pt.x, pt.y);
            if (a->closed)
                p.drawPolygon(points);
            else
                p.drawPolyline(points);
        };
        if (o.lineWeight > 0) {
            head(own.topLeft(), own.bottomRight(), o.beginArrowStyle, o.beginArrowWidth);
            head(own.bottomRight(), own.topLeft(), o.endArrowStyle, o.endArrowWidth);
        }
    } else if (preset == "ellipse") {
        p.drawEllipse(own);
    } else if (preset == "roundRect") {
        const double corner = std::min(own.width(), own.height()) *
                              (o.adjustments.empty() ? 1.0 / 6 : o.adjustments.front());
        p.drawRoundedRect(own, corner, corner);
    } else if (preset == "triangle") {
        p.drawPolygon(
            QPolygonF({QPointF(own.center().x(), own.top()), own.bottomRight(), own.bottomLeft()}));
    } else {
        // Rectangles, text boxes and the shapes without a drawing of their own here.
        p.drawRect(own);
    }
    p.restore();
    if (!o.hasTextFrame || o.text.empty()) return;
    // The text, unflipped, inside the shape's insets (0.1 inch left and right, 0.05 inch
    // top and bottom), wrapped at the shape's width.
    QFont f(QString::fromStdString(o.fontName.empty() ? "Calibri" : o.fontName));
    f.setPointSizeF(o.fontSize > 0 ? o.fontSize : 11);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(own.adjusted(Pixels(7.2), Pixels(3.6), -Pixels(7.2), -Pixels(3.6)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(o.text));
}

const QImage& SheetView::Picture(const WorkbookModel& book, const DrawingObject& o) {
    const std::string key = book.path + '\n' + o.mediaPart;
    if (const auto it = pictures_.find(key); it != pictures_.end()) return it->second;
    QImage image;
    if (!o.mediaPart.empty() && !book.legacyBinary) {
        try {
            const std::string bytes = workbook::Package(book.path).Read(o.mediaPart);
            image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                               static_cast<int>(bytes.size()));
        } catch (const RuntimeError&) {
            // The file changed or the part is damaged: the picture shows as missing.
        }
    }
    return pictures_.emplace(key, std::move(image)).first->second;
}

SheetWindow::SheetWindow(QtUi& ui, AppSource app, QWidget* parent)
    : QWidget(parent), app_(std::move(app)) {
    setObjectName("SheetWindow");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new SheetView(app_);
    tabs_ = new QTabBar;
    tabs_->setShape(QTabBar::RoundedSouth);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    layout->addWidget(view_, 1);
    layout->addWidget(tabs_, 0, Qt::AlignLeft);
    QObject::connect(tabs_, &QTabBar::tabBarClicked, [this](int index) {
        // A click on a tab activates that sheet in the engine.
        if (index < 0) return;
        try {
            const auto excel = app_();
            if (auto book = excel ? excel->ActiveWorkbook() : nullptr) {
                book->Sheets()->Item(tabs_->tabText(index).toStdString())->Activate();
            }
        } catch (const RuntimeError&) {
            // The sheet went away behind the window's back: the next Sync shows what is.
        }
        Sync();
    });
    timer_ = new QTimer(this);
    QObject::connect(timer_, &QTimer::timeout, [this] { Sync(); });
    timer_->start(150);
    resize(900, 600);
    ui.AddWindow(this, [this] { Sync(); });
    Sync();
}

SheetWindow::~SheetWindow() = default;

SheetWindow::AppSource RunningSpreadsheet(ObjectServer& objects) {
    return [&objects]() -> std::shared_ptr<excel::Application> {
        try {
            return std::dynamic_pointer_cast<excel::Application>(
                objects.GetObject("Excel.Application"));
        } catch (const RuntimeError&) {
            return nullptr;
        }
    };
}

QWidget* SheetWindow::Grid() const {
    return view_->viewport();
}

QRect SheetWindow::CellRect(Long row, Long column) const {
    view_->Measure();
    const QRectF r = view_->CellRectF(row, column, row, column);
    return r.toAlignedRect().translated(view_->viewport()->mapTo(this, QPoint(0, 0)));
}

void SheetWindow::Follow(bool on) {
    following_ = on;
    if (on) {
        timer_->start(150);
        Sync();
        return;
    }
    timer_->stop();
    hide();
    shownOnce_ = false;
}

void SheetWindow::Sync() {
    const auto app = app_();
    const QString caption = QString::fromStdString(app ? app->Caption() : "Excel");
    if (windowTitle() != caption) setWindowTitle(caption);
    const WorkbookModel* book = view_->Book();
    if (book && !shownOnce_ && following_) {
        shownOnce_ = true;
        show();
    }
    QStringList names;
    int current = -1;
    if (book) {
        for (std::size_t i = 0; i < book->sheets.size(); ++i) {
            if (book->sheets[i].state != "visible") continue;
            if (i == book->activeTab) current = static_cast<int>(names.size());
            names << QString::fromStdString(book->sheets[i].name);
        }
    }
    QStringList now;
    for (int i = 0; i < tabs_->count(); ++i) now << tabs_->tabText(i);
    if (now != names) {
        const QSignalBlocker block(tabs_);
        while (tabs_->count() > 0) tabs_->removeTab(0);
        for (const auto& n : names) tabs_->addTab(n);
    }
    if (tabs_->currentIndex() != current) {
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(current);
    }
    // A sheet shown anew opens at its saved view; when code moved the active cell since
    // (View Selection, a dialog's Select), the window brings it into view.
    if (const SheetModel* sheet = ShownSheet(book)) {
        const auto active = std::tuple{sheet, sheet->activeRow, sheet->activeCol};
        if (std::get<0>(active) != std::get<0>(lastActive_)) {
            view_->Measure();
            view_->ScrollTo(sheet->topRow, sheet->leftCol);
        } else if (active != lastActive_ && !(QApplication::mouseButtons() & Qt::LeftButton)) {
            view_->Measure();
            view_->EnsureVisible(sheet->activeRow, sheet->activeCol);
        }
        lastActive_ = active;
    }
    view_->viewport()->update();
}

}  // namespace tbln::qt
