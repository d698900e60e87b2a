// The drawing room: turns the records of an import (cells, shapes, pictures, Word lines)
// into drawing primitives in drawing units, the way a careful host macro places them.
// Millimetres by default, y grows upward as in CAD, the range's top-left corner is the
// origin. The primitives go one by one to a Sink (a DXF file, a picture), so drawing a
// large range needs no memory beyond the records. Nothing here knows a file format or a
// toolkit; the library itself never draws.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/module.hpp"

namespace tbln::drawing {

struct Point {
    double x = 0;
    double y = 0;
};

struct Rgb {
    unsigned char r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// One layer per kind of thing, so a drafter can switch them on and off.
enum class Layer { Borders, Fills, Texts, Shapes, Pictures, Pages, Revisions };
inline constexpr Layer kLayers[] = {Layer::Borders,  Layer::Fills, Layer::Texts,    Layer::Shapes,
                                    Layer::Pictures, Layer::Pages, Layer::Revisions};
std::string_view LayerName(Layer layer);

enum class Dash { Solid, Dashed, Dotted, DashDot, DashDotDot };
inline constexpr Dash kDashes[] = {Dash::Solid, Dash::Dashed, Dash::Dotted, Dash::DashDot,
                                   Dash::DashDotDot};
std::string_view DashName(Dash dash);

struct Pen {
    double width = 0;  // millimetres on paper, whatever the drawing unit
    Dash dash = Dash::Solid;
    bool doubled = false;  // two thin parallel lines
    Rgb color;
    bool operator==(const Pen&) const = default;
};

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Middle, Bottom };

struct Line {
    Point from, to;
    Pen pen;
    Layer layer = Layer::Borders;
};

// An open or closed polyline; a closed one may be filled.
struct Path {
    std::vector<Point> points;
    bool closed = false;
    Pen pen;
    std::optional<Rgb> fill;
    Layer layer = Layer::Shapes;
};

// An ellipse or an elliptic arc: radii along its own axes, the first turned by
// `rotation`; the arc runs counter-clockwise between parametric angles in degrees.
struct Ellipse {
    Point center;
    double rx = 0, ry = 0, rotation = 0;
    double startAngle = 0, endAngle = 360;
    Pen pen;
    Layer layer = Layer::Shapes;
};

// A filled rectangle: a cell's background.
struct Fill {
    Point topLeft;
    double width = 0, height = 0;
    Rgb color;            // as shown: a pattern's colour mixed into its background
    std::string pattern;  // "solid" or the name of the pattern
    Layer layer = Layer::Fills;
};

// A run of a text in one style, as its formatted-text codes switch styles.
struct TextRun {
    std::string text;
    std::string font;  // empty: the text's own font
    bool bold = false, italic = false, underline = false;
    double scale = 1;  // height relative to the text's size
    int script = 0;    // 0 normal, 1 superscript, 2 subscript
    bool operator==(const TextRun&) const = default;
};

// Text placed inside a box by its alignments.
struct Text {
    Point topLeft;  // of the box
    double width = 0, height = 0;
    std::string plain;      // the characters, lines separated by "\n"
    std::string formatted;  // the same in the host's formatted-text codes
    std::string font;
    double size = 0;   // em height in drawing units
    double inset = 0;  // kept free between the box's edges and the text
    bool bold = false, italic = false, underline = false, wrap = false;
    Rgb color;
    double rotation = 0;  // degrees, counter-clockwise
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Bottom;
    Layer layer = Layer::Texts;
    // How far an unturned text may run past the box's left and right edges into empty
    // neighbours; beyond that it is cut off.
    double spillLeft = 0, spillRight = 0;
    // A one-line text drawn run by run in the runs' styles (a Word line); empty: the
    // whole text in the text's style.
    std::vector<TextRun> runs;
    double tabWidth = 0;      // tab stops every this many drawing units from the left
    double justifyWidth = 0;  // the line's spaces stretched to fill this width
};

struct Image {
    Point topLeft;
    double width = 0, height = 0;
    std::string path;
    Layer layer = Layer::Pictures;
};

// What a backend needs before the first primitive: the extents and the fonts used.
struct Frame {
    Point min, max;
    std::vector<std::string> fonts;
    double unitsPerMm = 1;
    int pages = 1;
    // Drawings of pages (Word documents): each page this high, stacked top to bottom
    // with this gap; a backend with pages gives each one a page of its own.
    double pageHeight = 0, pageGap = 0;
};

class Sink {
  public:
    virtual ~Sink() = default;
    virtual void Begin(const Frame& frame) = 0;
    virtual void Draw(const Line& line) = 0;
    virtual void Draw(const Path& path) = 0;
    virtual void Draw(const Ellipse& ellipse) = 0;
    virtual void Draw(const Fill& fill) = 0;
    virtual void Draw(const Text& text) = 0;
    virtual void Draw(const Image& image) = 0;
    // Pictures with several pages (Word documents) start each further page here.
    virtual void NextPage() {}
    virtual void End() = 0;
    // A sink that knows its fonts says how wide a run of a text's font is and how far
    // apart the text's lines are, in drawing units: the drawing room then breaks wrapped
    // texts into lines itself, and cuts texts to what fits for a sink that cannot clip.
    virtual std::optional<double> TextWidth(const Text& style, std::string_view run) {
        (void)style;
        (void)run;
        return std::nullopt;
    }
    virtual double LineHeight(const Text& style) { return style.size * 1.2; }
    virtual bool Clips() const { return true; }
};

// Where a backend finds the font file of a family, weight and slant (the document
// engine's lookup, so pictures use the fonts the layout measured).
struct FontFile {
    std::string path;  // empty when no font was found
    int index = 0;     // the face in a collection file
};
using FindFont = std::function<FontFile(const std::string& family, bool bold, bool italic)>;
// The advance width in points of a run of text in a family, weight and slant at a size in
// points (the metrics the layout uses).
using MeasureRun = std::function<double(const std::string& family, bool bold, bool italic,
                                        double points, std::string_view run)>;

struct Options {
    double unitsPerMm = 1;  // drawing units per millimetre
};

// The part of a drawing a backend shows (a window panned over it), in drawing units:
// what lies wholly outside it may be left out.
struct Area {
    Point min, max;
};

// What the spreadsheet shows of a cell that its record does not say, read from the
// workbook by a host that has it. Colours are as the workbook resolves them (theme
// colours with their tints); nullopt is automatic.
struct CellLook {
    std::string pattern;  // "none", "solid", "gray125", "lightUp", ...
    std::optional<Rgb> patternColor, patternBackground;
    std::optional<Rgb> fontColor;
    std::array<std::optional<Rgb>, 4> borderColors;  // top, bottom, left, right
    bool content = false;      // holds a value: a neighbour's text stops before it
    bool number = false;       // a number or date: shows "#" rather than running over
    bool fillAligned = false;  // repeats its text within its own cell
    bool shrinks = false;      // shrinks its text into its own cell
};
// The look of the cell at a sheet row and column, or nullopt where the host has none.
using LookOf = std::function<std::optional<CellLook>(Integer row, Integer col)>;

// The records of a BuildCell or DeepUpdate, as the entry point handed them back, and the
// looks of their cells where the host can read them.
struct Capture {
    const MyCellArray& cells;
    const MyShapeArray& shapes;
    const MyImageArray& images;
    Integer startRow = 0, endRow = 0, startCol = 0, endCol = 0;
    std::string picturesFolder;
    LookOf looks = {};
    // Only this part need be drawn (see Area): fills and borders of boxes wholly outside
    // it are left out, and texts of rows wholly above or below it (a text may run
    // sideways into view).
    std::optional<Area> only = {};
};

// A cell or merged area as drawn: its sheet range and its box in drawing units.
struct CellBox {
    Integer row = 0, col = 0, rowTo = 0, colTo = 0;
    Point topLeft;
    double width = 0, height = 0;
};

// The extents and fonts of the drawing of the range, as DrawCapture begins it.
Frame CaptureFrame(const Capture& capture, const Options& options);

// Draws the range: all fills, then all borders (each shared edge once), then all texts
// (running into empty neighbours as the spreadsheet shows them), then shapes and
// pictures at their frames, so that nothing of a cell covers its neighbour's text.
void DrawCapture(const Capture& capture, const Options& options, Sink& sink);

// The boxes of the visible cells or merged areas that hold the given (row, col) cells.
std::vector<CellBox> BoxesOf(const Capture& capture, const Options& options,
                             const std::vector<std::pair<Integer, Integer>>& cells);

// A revision mark around each box (a closed path on the revision layer).
void DrawRevisionMarks(const std::vector<CellBox>& boxes, Sink& sink);

// The Word lines of a ParseWord, page by page, each page below the one before.
// With `only`, the lines wholly above or below it are left out, and the frame lists no
// fonts.
void DrawWordLines(const WordLineArray& lines, Integer pages, Single pageWidth, Single pageHeight,
                   const Options& options, Sink& sink, const std::optional<Area>& only = {});

// The characters of a text in the host's formatted-text codes, without the codes.
std::string PlainText(std::string_view formatted);
// The same characters in runs of one style each: font switches (with their bold and
// italic flags), underline, relative heights and stacked super- and subscripts. A run
// before the first font switch has `start`'s style.
std::vector<TextRun> FormattedRuns(std::string_view formatted, const TextRun& start = {});

// How a picture backend shows a line of runs: `piece` gives the advance of a stretch of
// one run's text in a family at a size, drawn with its baseline start at (x, y) when
// `show`; `underline` strokes an underline from x0 to x1 at y for a run of that size.
struct RunPainter {
    std::function<double(const TextRun& run, const std::string& family, double size,
                         std::string_view text, double x, double y, bool show)>
        piece;
    std::function<void(double x0, double x1, double y, double size)> underline;
};
// Shows the line of runs of `t` (units: the backend's, `scale` of them a drawing unit),
// starting `pad` from the box's left and below its top by `ascent` times the tallest
// run: tabs go to the next stop, super- and subscripts are raised and lowered, and a
// justified line has its spaces stretched to fill its width.
void ShowRuns(const Text& t, double scale, double pad, double ascent, const RunPainter& painter);

// One page of a drawing of pages: forwards the primitives of page `page` (from 1) only,
// framed as a drawing of that one page.
class PageSink : public Sink {
  public:
    PageSink(Sink& inner, int page) : inner_(inner), page_(page) {}
    void Begin(const Frame& frame) override;
    void Draw(const Line& x) override {
        if (current_ == page_) inner_.Draw(x);
    }
    void Draw(const Path& x) override {
        if (current_ == page_) inner_.Draw(x);
    }
    void Draw(const Ellipse& x) override {
        if (current_ == page_) inner_.Draw(x);
    }
    void Draw(const Fill& x) override {
        if (current_ == page_) inner_.Draw(x);
    }
    void Draw(const Text& x) override {
        if (current_ == page_) inner_.Draw(x);
    }
    void Draw(const Image& x) override {
        if (current_ == page_) inner_.Draw(x);
    }
    void NextPage() override { ++current_; }
    void End() override { inner_.End(); }
    std::optional<double> TextWidth(const Text& style, std::string_view run) override {
        return inner_.TextWidth(style, run);
    }
    double LineHeight(const Text& style) override { return inner_.LineHeight(style); }
    bool Clips() const override { return inner_.Clips(); }

  private:
    Sink& inner_;
    int page_, current_ = 1;
};

// Forwards everything to another sink; the sinks below change one thing each.
class ForwardingSink : public Sink {
  public:
    explicit ForwardingSink(Sink& inner) : inner_(inner) {}
    void Begin(const Frame& f) override { inner_.Begin(f); }
    void Draw(const Line& x) override { inner_.Draw(x); }
    void Draw(const Path& x) override { inner_.Draw(x); }
    void Draw(const Ellipse& x) override { inner_.Draw(x); }
    void Draw(const Fill& x) override { inner_.Draw(x); }
    void Draw(const Text& x) override { inner_.Draw(x); }
    void Draw(const Image& x) override { inner_.Draw(x); }
    void NextPage() override { inner_.NextPage(); }
    void End() override { inner_.End(); }
    std::optional<double> TextWidth(const Text& style, std::string_view run) override {
        return inner_.TextWidth(style, run);
    }
    double LineHeight(const Text& style) override { return inner_.LineHeight(style); }
    bool Clips() const override { return inner_.Clips(); }

  protected:
    Sink& inner_;
};

// Marks the boxes of changed cells just before the drawing ends, so the marks lie over
// everything else.
class RevisionSink : public ForwardingSink {
  public:
    RevisionSink(Sink& inner, std::vector<CellBox> marks)
        : ForwardingSink(inner), marks_(std::move(marks)) {}
    void End() override {
        DrawRevisionMarks(marks_, inner_);
        inner_.End();
    }

  private:
    std::vector<CellBox> marks_;
};

// Says it cannot clip, so the drawing room cuts each text to the room it may use: for a
// picture shown by a viewer that ignores clip paths (Qt's SVG renderer in FreeCAD draws
// a wrapped text's hidden lines over the rows below otherwise).
class UnclippedSink : public ForwardingSink {
  public:
    using ForwardingSink::ForwardingSink;
    bool Clips() const override { return false; }
};

// "RRGGBB" (or "AARRGGBB") as a colour; nullopt for anything else ("auto", "none").
std::optional<Rgb> ParseRgb(const std::string& text);

// A cell's fill as it shows: the pattern's colour (automatic: black) over its background
// (automatic: white), mixed at the share of the pattern's tile it covers; nullopt for
// no fill.
std::optional<Rgb> ShownFill(std::string_view pattern, std::optional<Rgb> color,
                             std::optional<Rgb> background);

// The spreadsheet's rule for a cell's text running past its box into empty neighbours:
// a wrapped, turned, merged, repeated or shrunk text stays in its box, as does a number
// (which shows "#" instead); any other runs right when aligned left, left when aligned
// right and both ways when centred.
struct SpillTraits {
    HAlign align = HAlign::Left;
    bool merged = false, wrapped = false, turned = false, number = false;
    bool fillAligned = false, shrinks = false;
};
struct SpillSides {
    bool left = false, right = false;
};
SpillSides SpillSidesOf(const SpillTraits& traits);

// How far a text may run from column `from` in direction `dir` (1 right, -1 left): the
// summed widths of the neighbours `next(column, dir)` steps to, up to the first one that
// `stops` (holds a value, is part of a merged area or lies beyond the sheet).
double SpillRoom(Long from, int dir, const std::function<Long(Long, int)>& next,
                 const std::function<bool(Long)>& stops, const std::function<double(Long)>& width);

// The width of a run of a text's characters, in the caller's units.
using RunWidth = std::function<double(std::string_view run)>;
// How many whole characters from the start (or, `fromEnd`, the end) of `s` are no wider
// than `room`, and those first (or last) `count` characters.
std::size_t Fitting(std::string_view s, double room, bool fromEnd, const RunWidth& width);
std::string_view Characters(std::string_view s, std::size_t count, bool fromEnd);
// A text's lines as the spreadsheet shows them: its own lines ("\n", a "\r" before it
// dropped), and with a `room`, each broken into lines no wider than it as a wrapped
// cell or a shape's text is, at spaces, and a word wider than the room between its
// characters (one at least a line). The drawings and the GDI sheet window break here.
std::vector<std::string> WrapLines(std::string_view text, std::optional<double> room,
                                   const RunWidth& width);

// An arrowhead of Excel's style (2 triangle, 3 open, 4 stealth, 5 diamond, 6 oval) and
// size (1 small, 2 medium, 3 large) at `tip`, pointing away from `from`, for a line
// `lineWidth` wide, in the caller's units: an oval of `radius` about `center`, else a
// polyline (closed and filled with the line's colour unless open).
struct Arrowhead {
    bool oval = false;
    Point center;
    double radius = 0;
    std::vector<Point> points;
    bool closed = false;
};
std::optional<Arrowhead> ArrowheadOf(Point tip, Point from, Integer style, Integer size,
                                     double lineWidth);

// Points (Excel's and Word's unit) to drawing units.
inline double PointsToUnits(double points, const Options& options) {
    return points * 25.4 / 72.0 * options.unitsPerMm;
}

}  // namespace tbln::drawing
