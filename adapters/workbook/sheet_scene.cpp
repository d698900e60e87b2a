#include "adapters/workbook/sheet_scene.hpp"

#include <algorithm>
#include <cmath>
#include <map>

#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/embedded_shapes.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

constexpr Long kSpareLines = 60;  // rows and columns shown beyond the used area
constexpr Long kMaxLines = 1048576;

Rgb ColorOr(const std::string& hex, Rgb fallback) {
    return hex.size() == 6 ? drawing::ParseRgb(hex).value_or(fallback) : fallback;
}

// What the spreadsheet's rule for running texts asks of a cell: General aligns numbers
// right, truth values and errors centred and texts left.
drawing::SpillTraits SpillTraitsOf(const CellView& v) {
    drawing::SpillTraits t;
    switch (v.horizontalAlignment) {
        case xlCenter:
        case xlCenterAcrossSelection:
            t.align = drawing::HAlign::Center;
            break;
        case xlRight:
            t.align = drawing::HAlign::Right;
            break;
        case xlGeneral:
            t.align = v.type == ValueType::Number ? drawing::HAlign::Right
                      : v.type == ValueType::Text ? drawing::HAlign::Left
                                                  : drawing::HAlign::Center;
            break;
        default:
            t.align = drawing::HAlign::Left;
    }
    t.merged = v.merged;
    t.wrapped =
        v.wrapText || v.horizontalAlignment == xlJustify || v.horizontalAlignment == xlDistributed;
    t.turned = v.orientation != xlHorizontal && v.orientation != 0;
    t.number = v.type == ValueType::Number;
    t.fillAligned = v.horizontalAlignment == xlFill;
    t.shrinks = v.shrinkToFit;
    return t;
}

// The line (1-based) at an offset, or 0 beyond the last one.
Long LineAt(const std::vector<double>& starts, double offset) {
    const auto it = std::upper_bound(starts.begin(), starts.end(), offset);
    const auto line = static_cast<Long>(it - starts.begin());
    return line >= static_cast<Long>(starts.size()) ? 0 : line;
}

// The offset where line `i` starts (the last one's end beyond them), in whole pixels.
int StartOf(const std::vector<double>& v, Long i) {
    return static_cast<int>(
        v[static_cast<std::size_t>(std::clamp<Long>(i - 1, 0, static_cast<Long>(v.size()) - 1))]);
}

bool Shown(const std::vector<double>& v, Long i) {
    return v[static_cast<std::size_t>(i)] > v[static_cast<std::size_t>(i - 1)];
}

// The top-left cell of the merged area holding `cell`, else the cell.
RowCol TopLeftOf(const SheetModel& sheet, RowCol cell) {
    if (const Area* m = sheet.FindMerge(cell.first, cell.second)) return {m->top, m->left};
    return cell;
}

}  // namespace

AppSource RunningSpreadsheet(ObjectServer& objects) {
    return [&objects]() -> std::shared_ptr<excel::Application> {
        try {
            return std::dynamic_pointer_cast<excel::Application>(
                objects.GetObject("Excel.Application"));
        } catch (const RuntimeError&) {
            return nullptr;
        }
    };
}

const SheetModel* ShownSheet(const WorkbookModel* book) {
    if (!book || book->sheets.empty()) return nullptr;
    return &book->sheets.at(std::min(book->activeTab, book->sheets.size() - 1));
}

FillLook FillLookOf(const CellView& v) {
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
    FillLook look;
    if (v.fillPattern == "solid" || v.fillPattern == "gradient") {
        // A gradient shows its first colour.
        if (v.fillColor.empty()) return look;
        look.kind = FillLook::Kind::Solid;
        look.color = ColorOr(v.fillColor, {255, 255, 255});
    } else if (v.fillPattern != "none" && !v.fillPattern.empty()) {
        // A pattern without colours of its own is black on white.
        look.color = ColorOr(v.fillColor, {0, 0, 0});
        look.background = ColorOr(v.patternBackground, {255, 255, 255});
        const auto it = tiles.find(v.fillPattern);
        look.kind = it == tiles.end() ? FillLook::Kind::Solid : FillLook::Kind::Pattern;
        if (it != tiles.end()) look.tile = it->second;
    }
    return look;
}

EdgeLook EdgeLookOf(const CellBorderEdge& e) {
    EdgeLook look;
    if (e.style.empty() || e.style == "none") return look;
    look.shown = true;
    look.color = ColorOr(e.color, {0, 0, 0});
    look.width = e.style.rfind("medium", 0) == 0             ? 2
                 : e.style == "thick" || e.style == "double" ? 3
                                                             : 1;
    if (e.style.find("ashDotDot") != std::string::npos)
        look.dash = drawing::Dash::DashDotDot;
    else if (e.style.find("ashDot") != std::string::npos)
        look.dash = drawing::Dash::DashDot;
    else if (e.style.find("ashed") != std::string::npos)
        look.dash = drawing::Dash::Dashed;
    else if (e.style == "dotted" || e.style == "hair")
        look.dash = drawing::Dash::Dotted;
    return look;
}

TextLook TextLookOf(const ShownCell& cell) {
    const CellView& v = cell.view;
    TextLook t;
    t.font = v.fontName.empty() ? "Calibri" : v.fontName;
    t.size = v.fontSize > 0 ? v.fontSize : 11;
    t.bold = v.bold;
    t.italic = v.italic;
    t.underline = v.underline;
    t.strikethrough = v.strikethrough;
    t.color = ColorOr(v.fontColor, {0, 0, 0});
    t.number = v.type == ValueType::Number && !v.wrapText;
    if (v.horizontalAlignment == xlJustify || v.horizontalAlignment == xlDistributed) {
        t.align = TextLook::Align::Justify;
    } else {
        switch (SpillTraitsOf(v).align) {
            case drawing::HAlign::Center:
                t.align = TextLook::Align::Center;
                break;
            case drawing::HAlign::Right:
                t.align = TextLook::Align::Right;
                break;
            case drawing::HAlign::Left:
                t.align = TextLook::Align::Left;
                break;
        }
    }
    switch (v.verticalAlignment) {
        case xlTop:
            t.vAlign = drawing::VAlign::Top;
            break;
        case xlCenter:
        case xlJustify:
        case xlDistributed:
            t.vAlign = drawing::VAlign::Middle;
            break;
        default:
            t.vAlign = drawing::VAlign::Bottom;
    }
    t.wrap = v.wrapText;
    if (v.orientation == xlUpward)
        t.degrees = 90;
    else if (v.orientation == xlDownward)
        t.degrees = -90;
    else if (v.orientation >= -90 && v.orientation <= 90)
        t.degrees = v.orientation;
    const PixelRect& r = cell.rect;
    const double indent = 2 + v.indent * 9;
    if (t.degrees == 0) {
        t.box = {r.x + indent, r.y + 1, r.width - indent - 2, r.height - 2};
    } else {
        // A turned text is laid out in the cell turned with it, about its centre.
        t.box = std::abs(t.degrees) >= 45
                    ? PixelRect{-r.height / 2, -r.width / 2, r.height, r.width}
                    : PixelRect{-r.width / 2, -r.height / 2, r.width, r.height};
        t.vAlign = drawing::VAlign::Middle;
    }
    t.clip = {r.x - cell.spillLeft, r.y, r.width + cell.spillLeft + cell.spillRight, r.height};
    return t;
}

OutlineLook OutlineLookOf(const DrawingObject& o) {
    OutlineLook look;
    if (o.lineWeight <= 0) return look;
    look.width = std::max(1.0, ScenePixels(o.lineWeight));
    switch (o.dashStyle) {
        case 2:  // square dots
        case 3:  // round dots
            look.dash = drawing::Dash::Dotted;
            break;
        case 4:  // dashes
        case 7:  // long dashes
            look.dash = drawing::Dash::Dashed;
            break;
        case 5:  // dash dot
        case 8:  // long dash dot
            look.dash = drawing::Dash::DashDot;
            break;
        case 6:
            look.dash = drawing::Dash::DashDotDot;
            break;
        default:
            break;
    }
    return look;
}

ShapeKind ShapeKindOf(const DrawingObject& o) {
    if (o.type == excel::msoPicture || o.type == 11) return ShapeKind::Picture;
    if (o.type == 9 || o.preset == "line" || o.preset.rfind("straightConnector", 0) == 0)
        return ShapeKind::Line;
    if (o.preset == "ellipse") return ShapeKind::Ellipse;
    if (o.preset == "roundRect") return ShapeKind::RoundRect;
    if (o.preset == "triangle") return ShapeKind::Triangle;
    return ShapeKind::Rect;
}

double RoundCorner(const DrawingObject& o, double width, double height) {
    return std::min(width, height) * (o.adjustments.empty() ? 1.0 / 6 : o.adjustments.front());
}

std::vector<drawing::Arrowhead> LineArrowheads(const DrawingObject& o, const PixelRect& own,
                                               double lineWidth) {
    std::vector<drawing::Arrowhead> heads;
    if (o.lineWeight <= 0) return heads;
    const drawing::Point topLeft{own.x, own.y}, bottomRight{own.Right(), own.Bottom()};
    // A thin line's heads are sized as for a line of 2 points, so that they show.
    const double width = std::max(lineWidth, ScenePixels(2));
    if (auto a =
            drawing::ArrowheadOf(topLeft, bottomRight, o.beginArrowStyle, o.beginArrowWidth, width))
        heads.push_back(std::move(*a));
    if (auto a =
            drawing::ArrowheadOf(bottomRight, topLeft, o.endArrowStyle, o.endArrowWidth, width))
        heads.push_back(std::move(*a));
    return heads;
}

PixelRect ShapeTextBox(const PixelRect& own) {
    const double dx = ScenePixels(7.2), dy = ScenePixels(3.6);
    return {own.x + dx, own.y + dy, own.width - 2 * dx, own.height - 2 * dy};
}

std::string PictureBytes(const WorkbookModel& book, const DrawingObject& o) {
    if (o.mediaBytes) return *o.mediaBytes;
    if (o.mediaPart.empty() || book.legacyBinary) return {};
    try {
        return Package(book.path).Read(o.mediaPart);
    } catch (const RuntimeError&) {
        // The file changed or the part is damaged: the picture shows as missing.
        return {};
    }
}

const WorkbookModel* SheetScene::Book() const {
    const auto app = app_();
    return app ? ActiveWorkbookModel(*app) : nullptr;
}

void SheetScene::Measure() {
    const WorkbookModel* book = Book();
    const SheetModel* sheet = ShownSheet(book);
    const auto key = std::tuple{sheet, sheet ? sheet->rows.size() : 0,
                                sheet ? sheet->columns.size() : 0, sheet ? sheet->edits.size() : 0};
    if (key == key_ && rowTop_.size() > 1) return;
    key_ = key;
    rowTop_.assign(1, 0);
    colLeft_.assign(1, 0);
    frames_.clear();
    if (!sheet) return;
    const Area used = UsedArea(*sheet);
    Long rows = std::min(kMaxLines, used.bottom + kSpareLines);
    Long cols = std::min<Long>(16384, used.right + kSpareLines / 3);
    for (const auto& r : sheet->rows) rows = std::max(rows, std::min(kMaxLines, r.row + 1));
    rowTop_.reserve(static_cast<std::size_t>(rows) + 1);
    for (Long r = 1; r <= rows; ++r)
        rowTop_.push_back(rowTop_.back() + ScenePixels(RowHeightPoints(*book, *sheet, r)));
    for (Long c = 1; c <= cols; ++c)
        colLeft_.push_back(colLeft_.back() + ScenePixels(ColumnWidthPoints(*book, *sheet, c)));
    for (const auto& o : sheet->drawing.objects) {
        const ShapeFrame f = FrameOf(*book, *sheet, o);
        frames_.push_back(
            {ScenePixels(f.left), ScenePixels(f.top), ScenePixels(f.width), ScenePixels(f.height)});
    }
    SetScroll(scrollX_, scrollY_);
}

void SheetScene::Resize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    SetScroll(scrollX_, scrollY_);
}

int SheetScene::MaxScrollX() const {
    return std::max(0, static_cast<int>(colLeft_.back()) - (width_ - kSceneHeaderWidth));
}
int SheetScene::MaxScrollY() const {
    return std::max(0, static_cast<int>(rowTop_.back()) - (height_ - kSceneHeaderHeight));
}

void SheetScene::SetScroll(int x, int y) {
    scrollX_ = std::clamp(x, 0, MaxScrollX());
    scrollY_ = std::clamp(y, 0, MaxScrollY());
}

PixelRect SheetScene::CellRect(Long top, Long left, Long bottom, Long right) const {
    const auto at = [](const std::vector<double>& v, Long i) {
        return v[static_cast<std::size_t>(std::clamp<Long>(i, 0, static_cast<Long>(v.size()) - 1))];
    };
    const double x = kSceneHeaderWidth + at(colLeft_, left - 1) - scrollX_;
    const double y = kSceneHeaderHeight + at(rowTop_, top - 1) - scrollY_;
    return {x, y, at(colLeft_, right) - at(colLeft_, left - 1),
            at(rowTop_, bottom) - at(rowTop_, top - 1)};
}

RowCol SheetScene::CellAt(double x, double y) const {
    const Long row = LineAt(rowTop_, y - kSceneHeaderHeight + scrollY_);
    const Long col = LineAt(colLeft_, x - kSceneHeaderWidth + scrollX_);
    return {std::max<Long>(row, 1), std::max<Long>(col, 1)};
}

void SheetScene::EnsureVisible(Long row, Long col) {
    const PixelRect r = CellRect(row, col, row, col);
    int x = scrollX_, y = scrollY_;
    if (r.height > 0 && r.y < kSceneHeaderHeight)
        y = StartOf(rowTop_, row);
    else if (r.height > 0 && r.Bottom() > height_)
        y = std::min(StartOf(rowTop_, row), y + static_cast<int>(std::ceil(r.Bottom() - height_)));
    if (r.width > 0 && r.x < kSceneHeaderWidth)
        x = StartOf(colLeft_, col);
    else if (r.width > 0 && r.Right() > width_)
        x = std::min(StartOf(colLeft_, col), x + static_cast<int>(std::ceil(r.Right() - width_)));
    SetScroll(x, y);
}

void SheetScene::ScrollTo(Long row, Long col) {
    SetScroll(StartOf(colLeft_, col), StartOf(rowTop_, row));
}

void SheetScene::Press(double x, double y, bool extend) {
    const SheetModel* sheet = ShownSheet(Book());
    if (!sheet) return;
    Measure();
    anchor_ = extend ? RowCol{sheet->activeRow, sheet->activeCol} : TopLeftOf(*sheet, CellAt(x, y));
    Select(CellAt(x, y));
}

void SheetScene::Drag(double x, double y) {
    if (!Book()) return;
    Select(CellAt(x, y));
}

RowCol SheetScene::Step(const SheetModel& sheet, RowCol from, int dr, int dc) const {
    const Area* m = sheet.FindMerge(from.first, from.second);
    Long r = dr > 0 && m ? m->bottom : from.first, c = dc > 0 && m ? m->right : from.second;
    if (dr < 0 && m) r = m->top;
    if (dc < 0 && m) c = m->left;
    const auto lines = [](const std::vector<double>& v) { return static_cast<Long>(v.size()) - 1; };
    for (Long i = r + dr; dr != 0 && i >= 1 && i <= lines(rowTop_); i += dr) {
        if (Shown(rowTop_, i)) return {i, from.second};
    }
    for (Long i = c + dc; dc != 0 && i >= 1 && i <= lines(colLeft_); i += dc) {
        if (Shown(colLeft_, i)) return {from.first, i};
    }
    return from;
}

void SheetScene::Arrow(int dr, int dc, bool extend) {
    const SheetModel* sheet = ShownSheet(Book());
    if (!sheet) return;
    Measure();
    const RowCol active{sheet->activeRow, sheet->activeCol};
    if (active != anchor_) anchor_ = corner_ = active;  // moved by code or a click elsewhere
    if (extend) {
        corner_ = Step(*sheet, corner_, dr, dc);
        Select(corner_);
        EnsureVisible(corner_.first, corner_.second);
    } else {
        anchor_ = TopLeftOf(*sheet, Step(*sheet, active, dr, dc));
        Select(anchor_);
        EnsureVisible(anchor_.first, anchor_.second);
    }
}

// Selects the cells from the anchor to `to` in the engine, as a click, drag or
// Shift+arrow in the spreadsheet does: the area grows over the merged areas it cuts, and
// the anchor stays the active cell.
void SheetScene::Select(RowCol to) {
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
            if (u.top != a.top || u.left != a.left || u.bottom != a.bottom || u.right != a.right) {
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
        if (anchor_ != RowCol{a.top, a.left})
            sheet->Cells(anchor_.first, anchor_.second)->Activate();
    } catch (const RuntimeError&) {
        // A sheet closed behind the window's back: nothing to select.
    }
}

void SheetScene::ActivateSheet(const std::string& name) {
    try {
        const auto excel = app_();
        if (auto book = excel ? excel->ActiveWorkbook() : nullptr)
            book->Sheets()->Item(name)->Activate();
    } catch (const RuntimeError&) {
        // The sheet went away behind the window's back: the next Follow shows what is.
    }
}

SheetScene::Followed SheetScene::Follow(bool buttonDown) {
    Followed f;
    const auto app = app_();
    f.caption = app ? app->Caption() : "Excel";
    const WorkbookModel* book = app ? ActiveWorkbookModel(*app) : nullptr;
    f.open = book != nullptr;
    if (book) {
        for (std::size_t i = 0; i < book->sheets.size(); ++i) {
            if (book->sheets[i].state != "visible") continue;
            if (i == book->activeTab) f.tabs.current = static_cast<int>(f.tabs.names.size());
            f.tabs.names.push_back(book->sheets[i].name);
        }
    }
    if (const SheetModel* sheet = ShownSheet(book)) {
        const auto active =
            std::tuple<const void*, long, long>{sheet, sheet->activeRow, sheet->activeCol};
        if (std::get<0>(active) != std::get<0>(lastActive_)) {
            Measure();
            ScrollTo(sheet->topRow, sheet->leftCol);
        } else if (active != lastActive_ && !buttonDown) {
            Measure();
            EnsureVisible(sheet->activeRow, sheet->activeCol);
        }
        lastActive_ = active;
    }
    return f;
}

Scene SheetScene::View() const {
    Scene s;
    s.width = width_;
    s.height = height_;
    const WorkbookModel* book = Book();
    const SheetModel* sheet = ShownSheet(book);
    if (!sheet || rowTop_.size() < 2) return s;
    const double sx = scrollX_, sy = scrollY_;
    const Long firstRow = std::max<Long>(1, LineAt(rowTop_, sy));
    Long lastRow = LineAt(rowTop_, sy + height_);
    if (lastRow == 0) lastRow = static_cast<Long>(rowTop_.size()) - 1;
    const Long firstCol = std::max<Long>(1, LineAt(colLeft_, sx));
    Long lastCol = LineAt(colLeft_, sx + width_);
    if (lastCol == 0) lastCol = static_cast<Long>(colLeft_.size()) - 1;

    for (Long r = firstRow; r <= lastRow; ++r) {
        if (Shown(rowTop_, r))
            s.rowLines.push_back(kSceneHeaderHeight + rowTop_[static_cast<std::size_t>(r)] - sy);
    }
    for (Long c = firstCol; c <= lastCol; ++c) {
        if (Shown(colLeft_, c))
            s.columnLines.push_back(kSceneHeaderWidth + colLeft_[static_cast<std::size_t>(c)] - sx);
    }
    // The merged areas in view, listed once each as one cell.
    std::vector<const Area*> merges;
    for (const auto& m : sheet->merges) {
        if (m.bottom >= firstRow && m.top <= lastRow && m.right >= firstCol && m.left <= lastCol)
            merges.push_back(&m);
    }
    const auto mergeOf = [&](Long r, Long c) -> const Area* {
        for (const auto* m : merges) {
            if (m->Contains(r, c)) return m;
        }
        return nullptr;
    };
    const Long lines = static_cast<Long>(colLeft_.size()) - 1;
    const auto next = [&](Long at, int dir) {
        for (Long k = at + dir; k >= 1 && k <= lines; k += dir) {
            if (Shown(colLeft_, k)) return k;
        }
        return dir > 0 ? lines + 1 : Long{0};
    };
    const auto columnWidth = [&](Long k) {
        return colLeft_[static_cast<std::size_t>(k)] - colLeft_[static_cast<std::size_t>(k - 1)];
    };
    const auto add = [&](Long r, Long c, const PixelRect& rect) {
        ShownCell cell{DescribeCell(*book, *sheet, r, c), rect, 0, 0};
        if (!cell.view.text.empty()) {
            const drawing::SpillSides sides = drawing::SpillSidesOf(SpillTraitsOf(cell.view));
            const auto stops = [&](Long k) {
                if (k < 1 || k > lines) return true;
                const auto* n = sheet->Find(r, k);
                return (n && n->type != CellType::Empty) || sheet->FindMerge(r, k);
            };
            // The room beyond the view is never seen: the walk ends a column past it.
            const auto seen = [&](Long k) {
                return k < firstCol - 1 || k > lastCol + 1 || stops(k);
            };
            if (sides.right) cell.spillRight = drawing::SpillRoom(c, 1, next, seen, columnWidth);
            if (sides.left) cell.spillLeft = drawing::SpillRoom(c, -1, next, seen, columnWidth);
        }
        s.cells.push_back(std::move(cell));
    };
    for (Long r = firstRow; r <= lastRow; ++r) {
        if (!Shown(rowTop_, r)) continue;
        for (Long c = firstCol; c <= lastCol; ++c) {
            if (Shown(colLeft_, c) && !mergeOf(r, c)) add(r, c, CellRect(r, c, r, c));
        }
    }
    for (const auto* m : merges)
        add(m->top, m->left, CellRect(m->top, m->left, m->bottom, m->right));

    for (const auto& a : sheet->selection) {
        // A single cell inside a merged area selects the whole area.
        const Area* merged = a.Rows() * a.Columns() == 1 ? mergeOf(a.top, a.left) : nullptr;
        const Area& shown = merged ? *merged : a;
        s.selections.push_back({CellRect(shown.top, shown.left, shown.bottom, shown.right),
                                !merged && a.Rows() * a.Columns() > 1});
    }
    const Area* activeMerge = mergeOf(sheet->activeRow, sheet->activeCol);
    s.active =
        activeMerge
            ? CellRect(activeMerge->top, activeMerge->left, activeMerge->bottom, activeMerge->right)
            : CellRect(sheet->activeRow, sheet->activeCol, sheet->activeRow, sheet->activeCol);

    const PixelRect view{0, 0, static_cast<double>(width_), static_cast<double>(height_)};
    const auto& objects = sheet->drawing.objects;
    for (std::size_t i = 0; i < objects.size() && i < frames_.size(); ++i) {
        PixelRect frame = frames_[i];
        frame.x += kSceneHeaderWidth - sx;
        frame.y += kSceneHeaderHeight - sy;
        // A turned object stays within the circle around its frame.
        const double reach = std::hypot(frame.width, frame.height) / 2;
        const double cx = frame.x + frame.width / 2, cy = frame.y + frame.height / 2;
        if (!PixelRect{cx - reach, cy - reach, 2 * reach, 2 * reach}.Intersects(view)) continue;
        s.objects.push_back({&objects[i], frame});
    }

    const auto selected = [&](bool isRow, Long line) {
        for (const auto& a : sheet->selection) {
            if (isRow ? (line >= a.top && line <= a.bottom) : (line >= a.left && line <= a.right))
                return true;
        }
        return false;
    };
    for (Long c = firstCol; c <= lastCol; ++c) {
        const PixelRect r = CellRect(1, c, 1, c);
        if (r.width > 0)
            s.columnHeaders.push_back(
                {c, {r.x, 0, r.width, kSceneHeaderHeight}, selected(false, c)});
    }
    for (Long r = firstRow; r <= lastRow; ++r) {
        const PixelRect cell = CellRect(r, 1, r, 1);
        if (cell.height > 0)
            s.rowHeaders.push_back(
                {r, {0, cell.y, kSceneHeaderWidth, cell.height}, selected(true, r)});
    }
    return s;
}

}  // namespace tbln::workbook
