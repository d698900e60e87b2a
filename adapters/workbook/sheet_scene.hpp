// The sheet window's scene: what a window standing in for the spreadsheet application
// shows of the embedded engine's active sheet, and where, worked out without a toolkit,
// so that every toolkit's window (Qt on Linux, GDI on Windows) draws the same cells and
// hit-tests a click the same way. It holds the pixel offsets of the rows and columns
// (hidden ones taking none), the scroll position, and the selection the user is making;
// it lists the cells, merged areas, selection, headers, shapes and pictures in view with
// their pixel rectangles and how each is to look (the spreadsheet's rules for running
// texts, patterns, border weights and arrowheads); it writes clicks, drags, arrow keys
// and tab clicks into the engine. A window only paints what the scene lists, so a
// million-cell sheet costs what is on screen.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "adapters/workbook/cell_format.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "drawing/drawing.hpp"
#include "platform/excel.hpp"
#include "platform/objects.hpp"

namespace tbln::workbook {

// Finds the engine's application each time it is asked (null while none runs).
using AppSource = std::function<std::shared_ptr<excel::Application>()>;
// The spreadsheet application running in `objects`: what a sheet window follows.
AppSource RunningSpreadsheet(ObjectServer& objects);

// The sheet a window shows: the workbook's active one (null without a workbook).
const SheetModel* ShownSheet(const WorkbookModel* book);

// The visible sheets' names in the workbook's order, and which of them is active (-1:
// none, the active sheet being hidden).
struct SheetTabs {
    std::vector<std::string> names;
    int current = -1;
    bool operator==(const SheetTabs&) const = default;
};

// A rectangle in the window's pixels, y growing downward.
struct PixelRect {
    double x = 0, y = 0, width = 0, height = 0;
    double Right() const { return x + width; }
    double Bottom() const { return y + height; }
    bool Empty() const { return width <= 0 || height <= 0; }
    bool Intersects(const PixelRect& o) const {
        return x < o.Right() && o.x < Right() && y < o.Bottom() && o.y < Bottom();
    }
};

using RowCol = std::pair<Long, Long>;
using drawing::Rgb;

// The grid's headers: the column letters above, the row numbers at the left.
inline constexpr int kSceneHeaderHeight = 20;
inline constexpr int kSceneHeaderWidth = 44;
// Points to the screen's pixels (96 per inch).
inline double ScenePixels(double points) {
    return points * 96.0 / 72.0;
}

// How a cell's text shows: its font, colour, alignment, turn and the box it is laid out
// in; `clip` is the box widened by the room it may run into.
struct TextLook {
    std::string font;
    double size = 11;  // points
    bool bold = false, italic = false, underline = false, strikethrough = false;
    Rgb color;
    enum class Align { Left, Center, Right, Justify } align = Align::Left;
    drawing::VAlign vAlign = drawing::VAlign::Bottom;
    bool wrap = false;
    // A number wider than its box keeps its sign and first digits: the painter, which
    // measures, aligns it left when it does not fit.
    bool number = false;
    int degrees = 0;  // counter-clockwise about the box's centre
    PixelRect box, clip;
};

// A cell or merged area in view: what it shows, where, and how far its text runs into
// the empty neighbours left and right.
struct ShownCell {
    CellView view;
    PixelRect rect;
    double spillLeft = 0, spillRight = 0;
};

// A cell's fill: none, one colour, or an 8 x 8 tile (one byte a row, a set bit the
// pattern's colour, a clear one its background).
struct FillLook {
    enum class Kind { None, Solid, Pattern } kind = Kind::None;
    Rgb color, background;
    std::array<unsigned char, 8> tile{};
};
FillLook FillLookOf(const CellView& v);

// One edge of a cell's border: shown or not, its colour, its width in pixels and dash.
struct EdgeLook {
    bool shown = false;
    Rgb color;
    int width = 1;
    drawing::Dash dash = drawing::Dash::Solid;
};
EdgeLook EdgeLookOf(const CellBorderEdge& e);

TextLook TextLookOf(const ShownCell& cell);

// A shape's outline (width 0: none) in pixels, in Excel's dash style.
struct OutlineLook {
    double width = 0;
    drawing::Dash dash = drawing::Dash::Solid;
    Rgb color{0x40, 0x40, 0x40};
};
OutlineLook OutlineLookOf(const DrawingObject& o);

// What outline a shape has: a line (with its arrowheads), an ellipse, a rounded
// rectangle, a triangle, or a rectangle for text boxes and the shapes without a drawing
// of their own here; a picture shows its image.
enum class ShapeKind { Picture, Line, Ellipse, RoundRect, Triangle, Rect };
ShapeKind ShapeKindOf(const DrawingObject& o);
// The corner radius of a rounded rectangle `width` x `height`.
double RoundCorner(const DrawingObject& o, double width, double height);
// A line's arrowheads at its begin (the frame's top-left before flipping) and end, in the
// shape's own coordinates (`own`: the frame centred on 0, 0) for a pen `lineWidth` wide
// (2 points at least).
std::vector<drawing::Arrowhead> LineArrowheads(const DrawingObject& o, const PixelRect& own,
                                               double lineWidth);
// The box of a shape's text in its own coordinates: within its insets (0.1 inch left
// and right, 0.05 inch top and bottom).
PixelRect ShapeTextBox(const PixelRect& own);
// The bytes of a picture's image file (empty when linked, missing or unreadable).
std::string PictureBytes(const WorkbookModel& book, const DrawingObject& o);

// A shape or picture in view: its frame in the window, unturned (it turns by the
// object's rotation about the frame's centre, then flips).
struct ShownObject {
    const DrawingObject* object = nullptr;
    PixelRect frame;
};

struct HeaderCell {
    Long line = 0;
    PixelRect rect;
    bool selected = false;
};

struct ShownSelection {
    PixelRect rect;
    bool shaded = false;  // more than one cell: tinted under its frame
};

// Everything a paint draws, in order: gridlines, fills, texts, borders of `cells`; the
// selections and the active cell's frame; the objects; the headers.
struct Scene {
    int width = 0, height = 0;  // the window's grid, headers included
    // The gridlines: the y of each shown row's foot, the x of each shown column's right.
    std::vector<double> rowLines, columnLines;
    std::vector<ShownCell> cells;
    std::vector<ShownSelection> selections;
    PixelRect active;
    std::vector<ShownObject> objects;
    std::vector<HeaderCell> columnHeaders, rowHeaders;
};

class SheetScene {
  public:
    explicit SheetScene(AppSource app) : app_(std::move(app)) {}

    std::shared_ptr<excel::Application> App() const { return app_(); }
    // The engine's active workbook (null while none is open).
    const WorkbookModel* Book() const;

    // Rebuilds the offsets when the shown sheet or its lines changed.
    void Measure();
    // The size of the grid, headers included, in pixels.
    void Resize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The scroll position in pixels from the sheet's top-left corner, and its range.
    int ScrollX() const { return scrollX_; }
    int ScrollY() const { return scrollY_; }
    int MaxScrollX() const;
    int MaxScrollY() const;
    void SetScroll(int x, int y);

    // The rectangle of the cells top..bottom x left..right in the window (empty when
    // hidden), and the cell under a point of the window.
    PixelRect CellRect(Long top, Long left, Long bottom, Long right) const;
    RowCol CellAt(double x, double y) const;
    // Scrolls the least that brings the cell into view.
    void EnsureVisible(Long row, Long col);
    // Shows the sheet from the cell at its top-left corner, as its saved view does.
    void ScrollTo(Long row, Long col);

    // A left click at a point of the window (with Shift: extending the selection from
    // the active cell); a click inside a merged area makes its top-left cell active.
    void Press(double x, double y, bool extend);
    // The pointer dragged, button down, to a point: the selection runs to its cell.
    void Drag(double x, double y);
    // An arrow key: moves the active cell, or with Shift the selection's far corner,
    // past merged areas and hidden lines, keeping what moved in view.
    void Arrow(int dr, int dc, bool extend);
    // A click on a sheet tab activates that sheet in the engine.
    void ActivateSheet(const std::string& name);

    // Follows the engine: what the window's caption and tabs show, and whether a
    // workbook is open; a sheet shown anew opens at its saved view, and when code moved
    // the active cell since (View Selection, a dialog's Select) it is brought into view
    // unless the user is dragging (`buttonDown`).
    struct Followed {
        std::string caption;
        SheetTabs tabs;
        bool open = false;
    };
    Followed Follow(bool buttonDown);

    // What is in view now.
    Scene View() const;

  private:
    void Select(RowCol to);
    RowCol Step(const SheetModel& sheet, RowCol from, int dr, int dc) const;

    AppSource app_;
    std::vector<double> rowTop_{0}, colLeft_{0};  // never empty: line 1 starts at 0
    std::tuple<const SheetModel*, std::size_t, std::size_t, std::size_t> key_{};
    std::vector<PixelRect> frames_;  // each drawing object's frame from the sheet's corner
    int width_ = 0, height_ = 0, scrollX_ = 0, scrollY_ = 0;
    RowCol anchor_{1, 1};  // the active cell the selection grows from
    RowCol corner_{1, 1};  // its far corner, which Shift+arrows move
    std::tuple<const void*, long, long> lastActive_{};
};

}  // namespace tbln::workbook
