// The drawing room: records to primitives, checked through a sink that records them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "drawing/drawing.hpp"

namespace tbln::drawing {
namespace {

constexpr double kMm = 25.4 / 72;  // millimetres per point

struct Recorder : Sink {
    Frame frame;
    std::vector<Line> lines;
    std::vector<Path> paths;
    std::vector<Ellipse> ellipses;
    std::vector<Fill> fills;
    std::vector<Text> texts;
    std::vector<Image> images;
    std::string order;  // one letter a primitive: Fill, Line, Text, ...
    int pages = 1;
    // With a character width (drawing units), the recorder measures every character
    // alike and sets lines one unit apart; `clips` false stands for a DXF.
    double charWidth = 0;
    bool clips = true;
    void Begin(const Frame& f) override { frame = f; }
    void Draw(const Line& x) override { lines.push_back(x), order += 'L'; }
    void Draw(const Path& x) override { paths.push_back(x), order += 'P'; }
    void Draw(const Ellipse& x) override { ellipses.push_back(x), order += 'E'; }
    void Draw(const Fill& x) override { fills.push_back(x), order += 'F'; }
    void Draw(const Text& x) override { texts.push_back(x), order += 'T'; }
    void Draw(const Image& x) override { images.push_back(x), order += 'I'; }
    void NextPage() override { ++pages; }
    void End() override {}
    std::optional<double> TextWidth(const Text&, std::string_view run) override {
        if (charWidth == 0) return std::nullopt;
        return charWidth * static_cast<double>(run.size());
    }
    double LineHeight(const Text&) override { return 1; }
    bool Clips() const override { return clips; }
};

// A grid of plain 10 x 20 point cells, rows and columns 1..n, every record filled the
// way capture fills a whole-sheet range.
MyCellArray Grid(int rows, int cols) {
    MyCellArray a(1, rows, 1, cols);
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            auto cell = std::make_shared<MyCell>();
            cell->row = static_cast<Integer>(r);
            cell->col = static_cast<Integer>(c);
            cell->rowHeight = 10;
            cell->colWidth = 20;
            cell->deltaX = static_cast<Single>(20 * (c - 1));
            cell->deltaY = static_cast<Single>(10 * (r - 1));
            a(r, c) = cell;
        }
    }
    return a;
}

void Box(MyCell& cell, const char* style) {
    cell.bdUp = cell.bdBottom = cell.bdLeft = cell.bdRight = 1;
    cell.bdUpLT = cell.bdBottomLT = cell.bdLeftLT = cell.bdRightLT = style;
}

Recorder Draw(const MyCellArray& cells, Integer r1, Integer r2, Integer c1, Integer c2,
              const MyShapeArray& shapes = {}, const MyImageArray& images = {},
              Options options = {}, Recorder rec = {}, LookOf looks = {}) {
    DrawCapture({cells, shapes, images, r1, r2, c1, c2, "/pics", std::move(looks)}, options, rec);
    return rec;
}

template <class F>
void EachCell(MyCellArray& a, F&& f) {
    for (Long r = a.RowLower(); r <= a.RowUpper(); ++r) {
        for (Long c = a.ColLower(); c <= a.ColUpper(); ++c) f(*a(r, c));
    }
}

double Length(const std::vector<Line>& lines) {
    double sum = 0;
    for (const auto& l : lines) sum += std::hypot(l.to.x - l.from.x, l.to.y - l.from.y);
    return sum;
}

TEST(DrawCapture, SharedEdgesAreDrawnOnceInRunsOfEqualPens) {
    // Two rows of two boxed cells: 3 horizontal lines of 40 points and 3 vertical lines
    // of 20, each drawn once, as one line per run.
    auto cells = Grid(2, 2);
    EachCell(cells, [](MyCell& c) { Box(c, "thin"); });
    const auto rec = Draw(cells, 1, 2, 1, 2);
    EXPECT_NEAR(Length(rec.lines), (3 * 40 + 3 * 20) * kMm, 1e-9);
    EXPECT_EQ(rec.lines.size(), 6u);
    EXPECT_DOUBLE_EQ(rec.lines[0].pen.width, 0.25);
}

TEST(DrawCapture, AnEdgeTakesTheHeavierOfItsTwoSidesAndTheNeighbourOutsideTheRange) {
    // Only the cell below the range has a top border: the range's bottom edge shows it.
    auto cells = Grid(2, 1);
    cells(2, 1)->bdUp = 1;
    cells(2, 1)->bdUpLT = "thick";
    auto rec = Draw(cells, 1, 1, 1, 1);
    ASSERT_EQ(rec.lines.size(), 1u);
    EXPECT_NEAR(rec.lines[0].from.y, -10 * kMm, 1e-9);
    EXPECT_DOUBLE_EQ(rec.lines[0].pen.width, 0.7);
    // A thin bottom of the upper cell and a medium top of the lower one: medium wins.
    cells(1, 1)->bdBottom = 1;
    cells(1, 1)->bdBottomLT = "thin";
    cells(2, 1)->bdUpLT = "mediumDashed";
    rec = Draw(cells, 1, 2, 1, 1);
    ASSERT_EQ(rec.lines.size(), 1u);
    EXPECT_DOUBLE_EQ(rec.lines[0].pen.width, 0.5);
    EXPECT_EQ(rec.lines[0].pen.dash, Dash::Dashed);
}

TEST(DrawCapture, BorderStyleWords) {
    struct Case {
        const char* word;
        double width;
        Dash dash;
        bool doubled;
    } cases[] = {{"thin", 0.25, Dash::Solid, false},
                 {"hair", 0.13, Dash::Solid, false},
                 {"medium", 0.5, Dash::Solid, false},
                 {"thick", 0.7, Dash::Solid, false},
                 {"dashed", 0.25, Dash::Dashed, false},
                 {"dotted", 0.25, Dash::Dotted, false},
                 {"dashDot", 0.25, Dash::DashDot, false},
                 {"double", 0.25, Dash::Solid, true},
                 {"mediumDashDotDot", 0.5, Dash::DashDotDot, false}};
    for (const auto& c : cases) {
        auto cells = Grid(1, 1);
        cells(1, 1)->bdLeft = 1;
        cells(1, 1)->bdLeftLT = c.word;
        const auto rec = Draw(cells, 1, 1, 1, 1);
        ASSERT_EQ(rec.lines.size(), 1u) << c.word;
        EXPECT_DOUBLE_EQ(rec.lines[0].pen.width, c.width) << c.word;
        EXPECT_EQ(rec.lines[0].pen.dash, c.dash) << c.word;
        EXPECT_EQ(rec.lines[0].pen.doubled, c.doubled) << c.word;
    }
}

TEST(DrawCapture, HiddenRowsAndColumnsAreLeftOut) {
    auto cells = Grid(3, 3);
    for (int c = 1; c <= 3; ++c) {  // row 2 hidden: placeholders, and the rows below move up
        cells(2, c) = std::make_shared<MyCell>();
        cells(2, c)->hidden = true;
        cells(3, c)->deltaY = 10;
    }
    for (int r = 1; r <= 3; ++r) {  // column 2 hidden
        if (r != 2) {
            cells(r, 2) = std::make_shared<MyCell>();
            cells(r, 2)->hidden = true;
            cells(r, 3)->deltaX = 20;
        }
    }
    EachCell(cells, [](MyCell& c) {
        if (!c.hidden) {
            Box(c, "thin");
            c.Value = "x";
        }
    });
    const auto rec = Draw(cells, 1, 3, 1, 3);
    EXPECT_EQ(rec.texts.size(), 4u);
    EXPECT_NEAR(Length(rec.lines), (3 * 40 + 3 * 20) * kMm, 1e-9);
    EXPECT_NEAR(rec.frame.min.y, -20 * kMm, 1e-9);
    EXPECT_NEAR(rec.frame.max.x, 40 * kMm, 1e-9);
}

TEST(DrawCapture, TheLastVisibleRowAndColumnCloseTheTableBeforeHiddenOnes) {
    // Row 2 and column 2, the range's last, are hidden: the cell's bottom and right
    // sides are the table's last edges and are drawn.
    auto cells = Grid(2, 2);
    cells(2, 1) = std::make_shared<MyCell>();
    cells(2, 1)->hidden = true;
    cells(1, 2) = std::make_shared<MyCell>();
    cells(1, 2)->hidden = true;
    cells(2, 2) = std::make_shared<MyCell>();
    cells(2, 2)->hidden = true;
    Box(*cells(1, 1), "thin");
    const auto rec = Draw(cells, 1, 2, 1, 2);
    EXPECT_EQ(rec.lines.size(), 4u);
    EXPECT_NEAR(Length(rec.lines), (2 * 20 + 2 * 10) * kMm, 1e-9);
}

TEST(DrawCapture, AMergedAreaIsOneBoxWithOneTextAndNoInnerEdges) {
    auto cells = Grid(2, 2);
    EachCell(cells, [](MyCell& c) {
        c.isMerged = c.storeDone = true;
        c.rowFrom = c.colFrom = 1;
        c.mergedRowHeight = 20;
        c.mergedColWidth = c.mergedCharNum = 40;
        c.deltaX = c.deltaY = 0;
    });
    auto& head = *cells(1, 1);
    head.rowTo = head.colTo = 2;
    Box(head, "medium");
    head.Value = "Title";
    head.horAlign = "MID";
    head.verAlign = "MID";
    head.bgColor = "D9E1F2";
    head.pattern = "solid";
    // The colours of the outer edges are those of the cells along them.
    const auto rec = Draw(cells, 1, 2, 1, 2, {}, {}, {}, {}, [](Integer, Integer col) {
        CellLook l;
        l.pattern = "solid";
        l.patternColor = Rgb{0xD9, 0xE1, 0xF2};
        if (col == 2) l.borderColors[3] = Rgb{255, 255, 255};
        return std::optional(l);
    });
    for (const auto& l : rec.lines) {
        const bool right = l.from.x > 39 * kMm && l.to.x > 39 * kMm;
        EXPECT_EQ(l.pen.color, (right ? Rgb{255, 255, 255} : Rgb{})) << l.from.x << "," << l.from.y;
    }
    ASSERT_EQ(rec.texts.size(), 1u);
    EXPECT_NEAR(rec.texts[0].width, 40 * kMm, 1e-9);
    EXPECT_NEAR(rec.texts[0].height, 20 * kMm, 1e-9);
    EXPECT_EQ(rec.texts[0].hAlign, HAlign::Center);
    EXPECT_EQ(rec.texts[0].formatted, "{\\fArial|b0|i0|c0|p34;Title}");
    EXPECT_NEAR(Length(rec.lines), (2 * 40 + 2 * 20) * kMm, 1e-9);
    ASSERT_EQ(rec.fills.size(), 1u);
    EXPECT_EQ(rec.fills[0].color, (Rgb{0xD9, 0xE1, 0xF2}));
    const auto boxes = BoxesOf({cells, {}, {}, 1, 2, 1, 2, ""}, {}, {{2, 2}});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].row, 1);
    EXPECT_EQ(boxes[0].colTo, 2);
}

TEST(DrawCapture, CellTextEncodingAlignmentAndRotation) {
    struct Case {
        std::string value;
        double orient;
        const char* hor;
        const char* ver;
        std::string formatted;
        double rotation;
        HAlign h;
        VAlign v;
    } cases[] = {
        {"a\nb", 0, "LEFT", "TOP", "{\\fArial|b1|i0|c0|p34;a\\Pb}", 0, HAlign::Left, VAlign::Top},
        {"45\xC2\xB0", 90, "RIGHT", "BOTTOM", "{\\fArial|b1|i0|c0|p34;45\\U+00B0}", 90,
         HAlign::Right, VAlign::Bottom},
        {"up", -4171, "MID", "MID", "{\\fArial|b1|i0|c0|p34;up}", 90, HAlign::Center,
         VAlign::Middle},
        {"stacked", 255, "MID", "", "{\\fArial|b1|i0|c0|p34;stacked}", 0, HAlign::Center,
         VAlign::Bottom},
    };
    for (const auto& c : cases) {
        auto cells = Grid(1, 1);
        auto& cell = *cells(1, 1);
        cell.Value = c.value;
        cell.fontOrient = c.orient;
        cell.horAlign = c.hor;
        cell.verAlign = c.ver;
        cell.FontName = "null";  // the reader's word for no font: the default one
        cell.fontBold = true;
        const auto rec = Draw(cells, 1, 1, 1, 1);
        ASSERT_EQ(rec.texts.size(), 1u);
        EXPECT_EQ(rec.texts[0].formatted, c.formatted) << c.value;
        EXPECT_EQ(rec.texts[0].rotation, c.rotation) << c.value;
        EXPECT_EQ(rec.texts[0].hAlign, c.h) << c.value;
        EXPECT_EQ(rec.texts[0].vAlign, c.v) << c.value;
        EXPECT_EQ(rec.frame.fonts, std::vector<std::string>{"Arial"});
    }
}

TEST(DrawCapture, FillsThenBordersThenTextsInTheColoursTheWorkbookGives) {
    // A label running into its filled neighbours is never covered: every fill comes
    // first, then every border, then every text. The colours are the workbook's.
    auto cells = Grid(1, 3);
    EachCell(cells, [](MyCell& c) {
        Box(c, "thin");
        c.bgColor = "FFFFFF";
        c.pattern = "solid";
    });
    cells(1, 1)->Value = "A long label";
    CellLook look;
    look.pattern = "gray125";  // automatic colours: black over white
    look.fontColor = Rgb{0, 0, 255};
    look.borderColors = {Rgb{255, 255, 255}, std::nullopt, Rgb{0, 128, 0}, std::nullopt};
    const auto rec = Draw(cells, 1, 1, 1, 3, {}, {}, {}, {}, [&](Integer, Integer col) {
        CellLook l = look;
        l.content = col == 1;
        return std::optional(l);
    });
    // The three cells of one fill side by side are one fill.
    EXPECT_EQ(rec.order, "FLLLLLLT");
    EXPECT_EQ(rec.fills[0].color, (Rgb{223, 223, 223}));
    EXPECT_NEAR(rec.fills[0].width, 60 * kMm, 1e-9);
    EXPECT_EQ(rec.texts[0].color, (Rgb{0, 0, 255}));
    const auto at = [&](Point from, Point to) {
        const auto l = std::find_if(rec.lines.begin(), rec.lines.end(), [&](const Line& x) {
            return std::hypot(x.from.x - from.x, x.from.y - from.y) < 1e-9 &&
                   std::hypot(x.to.x - to.x, x.to.y - to.y) < 1e-9;
        });
        return l == rec.lines.end() ? Rgb{1, 1, 1} : l->pen.color;
    };
    const double w = 60 * kMm, h = -10 * kMm;
    EXPECT_EQ(at({0, 0}, {w, 0}), (Rgb{255, 255, 255})) << "the top edge";
    EXPECT_EQ(at({0, 0}, {0, h}), (Rgb{0, 128, 0})) << "the left edge";
    EXPECT_EQ(at({0, h}, {w, h}), (Rgb{})) << "automatic: black";
}

TEST(ShownFill, APatternMixesItsColourIntoItsBackgroundAtItsDensity) {
    // The shades LibreOffice prints for the patterns of a black-on-white fill (within one
    // step: it rounds up), and automatic colours (black pattern, white background).
    const std::optional<Rgb> black = Rgb{0, 0, 0}, white = Rgb{255, 255, 255};
    const struct {
        const char* pattern;
        std::optional<Rgb> color, background;
        std::optional<Rgb> shown;
    } cases[] = {
        {"solid", Rgb{10, 20, 30}, white, Rgb{10, 20, 30}},
        {"solid", std::nullopt, std::nullopt, Rgb{0, 0, 0}},
        {"darkGray", black, white, Rgb{64, 64, 64}},
        {"mediumGray", black, white, Rgb{128, 128, 128}},
        {"gray125", black, white, Rgb{223, 223, 223}},
        {"gray0625", std::nullopt, std::nullopt, Rgb{239, 239, 239}},
        {"darkTrellis", black, white, Rgb{64, 64, 64}},
        {"lightUp", std::nullopt, std::nullopt, Rgb{191, 191, 191}},
        {"lightGrid", black, white, Rgb{143, 143, 143}},
        {"lightTrellis", black, white, Rgb{159, 159, 159}},
        {"lightHorizontal", Rgb{255, 0, 0}, Rgb{0, 0, 255}, Rgb{64, 0, 191}},
        {"none", black, white, std::nullopt},
        {"", black, white, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShownFill(c.pattern, c.color, c.background), c.shown) << c.pattern;
    }
}

TEST(DrawCapture, ATextRunsIntoEmptyNeighboursAndIsCutWhereTheSinkCannotClip) {
    // Four 20-point cells; the text sits in the second. Each character is 0.9 mm wide
    // and lines are 1 mm apart: the cell (7.06 mm, 1.5 points kept free at its edges)
    // holds 7 characters from its inset to its far edge, 6 wrapped, 2 lines.
    const double col = 20 * kMm;
    const struct {
        const char* value;
        const char* hor;
        bool wrap, clips;
        const char* left;   // column 1's value
        const char* right;  // column 3's value
        const char* look;   // "number": the text's cell holds a number; "formula": column 3
                            // holds an empty text; "merged": column 3 is a merged area;
                            // "edge": the range ends at column 2; "shrink": the text's
                            // cell shrinks its text to fit (to 6 / 10.8 of its size)
        double spillLeft, spillRight;  // in columns
        const char* shown;
    } cases[] = {
        {"abcdefghijkl", "LEFT", false, true, "", "", "", 0, 2, "abcdefghijkl"},
        {"abcdefghijkl", "RIGHT", false, true, "", "", "", 1, 0, "abcdefghijkl"},
        {"abcdefghijkl", "MID", false, true, "", "", "", 1, 2, "abcdefghijkl"},
        {"abcdefghijkl", "MID", false, true, "", "x", "", 1, 0, "abcdefghijkl"},
        {"abcdefghijkl", "LEFT", false, true, "", "x", "", 0, 0, "abcdefghijkl"},
        {"abcdefghijkl", "LEFT", false, false, "", "x", "", 0, 0, "abcdefg"},
        {"abcdefghijkl", "LEFT", false, false, "", "", "", 0, 2, "abcdefghijkl"},
        {"abcdefghijkl", "RIGHT", false, false, "x", "", "", 0, 0, "fghijkl"},
        {"abcdefghijkl", "MID", false, false, "", "x", "", 1, 0, "abcdefghi"},
        {"abcdefghijkl", "LEFT", true, true, "", "", "", 0, 0, "abcdef\nghijkl"},
        {"abcdef ghijkl mn", "LEFT", true, false, "", "", "", 0, 0, "ghijkl\nmn"},
        {"abcdefghijkl", "LEFT", false, true, "", "", "number", 0, 0, "abcdefghijkl"},
        {"####", "RIGHT", false, true, "", "", "number", 0, 0, "######"},
        {"##########", "RIGHT", false, false, "", "", "number", 0, 0, "######"},
        {"abcdefghijkl", "LEFT", false, true, "", "", "shrink", 0, 0, "abcdefghijkl"},
        {"abcdefghijkl", "LEFT", false, true, "", "", "formula", 0, 0, "abcdefghijkl"},
        {"abcdefghijkl", "LEFT", false, true, "", "", "merged", 0, 0, "abcdefghijkl"},
        {"abcdefghijkl", "LEFT", false, true, "", "", "edge", 0, 0, "abcdefghijkl"},
    };
    for (const auto& c : cases) {
        auto cells = Grid(1, 4);
        cells(1, 1)->Value = c.left;
        auto& cell = *cells(1, 2);
        cell.Value = c.value;
        cell.horAlign = c.hor;
        cell.isWrapCell = c.wrap;
        cells(1, 3)->Value = c.right;
        const std::string look = c.look;
        if (look == "merged") {
            cells(1, 3)->isMerged = true;
            cells(1, 3)->rowFrom = 1;
            cells(1, 3)->colFrom = 3;
        }
        LookOf looks;
        if (look == "number" || look == "formula" || look == "shrink") {
            looks = [&](Integer, Integer k) {
                CellLook l;
                l.content = !cells(1, k)->Value.empty() || (look == "formula" && k == 3);
                l.number = look == "number" && k == 2;
                l.shrinks = look == "shrink" && k == 2;
                return std::optional(l);
            };
        }
        Recorder sink;
        sink.charWidth = 0.9;
        sink.clips = c.clips;
        const auto rec =
            Draw(cells, 1, 1, 1, look == "edge" ? 2 : 4, {}, {}, {}, sink, std::move(looks));
        const auto text = std::find_if(rec.texts.begin(), rec.texts.end(), [&](const Text& t) {
            return t.width == col && t.plain != "x";
        });
        ASSERT_NE(text, rec.texts.end()) << c.value;
        EXPECT_NEAR(text->spillLeft, c.spillLeft * col, 1e-9) << c.hor << " " << c.left << c.right;
        EXPECT_NEAR(text->spillRight, c.spillRight * col, 1e-9)
            << c.hor << " " << c.left << c.right;
        EXPECT_EQ(text->plain, c.shown) << c.hor << " " << c.left << c.right << " " << c.look;
        EXPECT_NEAR(text->size, 11 * kMm * (look == "shrink" ? (col - 3 * kMm) / 10.8 : 1), 1e-9);
    }
}

TEST(DrawCapture, ShapesAndPicturesSitAtTheirFramesFromTheSheetCorner) {
    // A sub-range walk starting at B2: row 1 and column A are size records only, so
    // the sheet's corner lies one row and one column before the walk's.
    MyCellArray cells(1, 3, 1, 3);
    for (int r = 1; r <= 3; ++r) {
        for (int c = 1; c <= 3; ++c) {
            auto cell = std::make_shared<MyCell>();
            cell->rowHeight = 10;
            cell->colWidth = 20;
            if (r >= 2 && c >= 2) {
                cell->row = static_cast<Integer>(r);
                cell->col = static_cast<Integer>(c);
                cell->deltaX = static_cast<Single>(20 * (c - 2));
                cell->deltaY = static_cast<Single>(10 * (r - 2));
            }
            cells(r, c) = cell;
        }
    }
    MyShapeArray shapes(1, 4);
    shapes(1) = std::make_shared<MyShape>();
    *shapes(1) = MyShape{};
    shapes(1)->shapeType = 1;
    shapes(1)->autoShapeType = 25;  // an arc flipped horizontally
    shapes(1)->hor = -1;
    shapes(1)->left = 20;
    shapes(1)->top = 10;
    shapes(1)->width = 40;
    shapes(1)->height = 20;
    shapes(2) = std::make_shared<MyShape>();
    shapes(2)->shapeType = 9;  // a line with an open arrowhead at its end
    shapes(2)->startX = 20;
    shapes(2)->startY = 10;
    shapes(2)->endX = 60;
    shapes(2)->endY = 10;
    shapes(2)->beginStyle = 1;
    shapes(2)->endStyle = 3;
    shapes(3) = std::make_shared<MyShape>();
    shapes(3)->shapeType = 17;  // a text box turned by 90 degrees
    shapes(3)->rotation = 90;
    shapes(3)->left = 20;
    shapes(3)->top = 10;
    shapes(3)->width = 40;
    shapes(3)->height = 20;
    shapes(3)->text = "note\nsecond";
    shapes(4) = std::make_shared<MyShape>(*shapes(3));  // no room: its text does not show
    shapes(4)->height = 0;
    shapes(4)->text = "hidden";
    MyImageArray images(1, 1);
    images(1) = std::make_shared<MyImage>();
    images(1)->name = "image1.png";
    images(1)->left = 40;
    images(1)->top = 20;
    images(1)->width = 10;
    images(1)->height = 5;
    const auto rec = Draw(cells, 2, 3, 2, 3, shapes, images);
    ASSERT_EQ(rec.ellipses.size(), 1u);
    const auto& arc = rec.ellipses[0];
    EXPECT_NEAR(arc.center.x, 40 * kMm, 1e-9);   // the frame's right edge
    EXPECT_NEAR(arc.center.y, -20 * kMm, 1e-9);  // and its bottom
    EXPECT_EQ(arc.startAngle, 90);
    EXPECT_EQ(arc.endAngle, 180);
    ASSERT_EQ(rec.lines.size(), 1u);
    EXPECT_NEAR(rec.lines[0].from.x, 0, 1e-9);
    EXPECT_NEAR(rec.lines[0].to.x, 40 * kMm, 1e-9);
    ASSERT_EQ(rec.paths.size(), 3u);  // the arrowhead, then the text boxes' frames
    EXPECT_FALSE(rec.paths[0].closed);
    EXPECT_NEAR(rec.paths[0].points[1].x, 40 * kMm, 1e-9);  // its tip
    const auto& frame = rec.paths[1].points;
    EXPECT_NEAR(frame[0].x, 30 * kMm, 1e-9);  // turned about its centre (20, -10)
    EXPECT_NEAR(frame[0].y, 10 * kMm, 1e-9);
    ASSERT_EQ(rec.texts.size(), 1u);
    EXPECT_EQ(rec.texts[0].rotation, -90);
    EXPECT_EQ(rec.texts[0].formatted, "{\\fArial|b0|i0|c0|p34;note\\Psecond}");
    ASSERT_EQ(rec.images.size(), 1u);
    EXPECT_NEAR(rec.images[0].topLeft.x, 20 * kMm, 1e-9);
    EXPECT_NEAR(rec.images[0].topLeft.y, -10 * kMm, 1e-9);
    EXPECT_EQ(rec.images[0].path, "/pics/image1.png");
}

TEST(DrawCapture, PlaceholderRecordsDrawNothingAndTheScaleChangesTheUnits) {
    auto cells = Grid(1, 1);
    MyShapeArray shapes(1, 1);
    shapes(1) = std::make_shared<MyShape>();
    shapes(1)->top = -1000;
    MyImageArray images(1, 1);
    images(1) = std::make_shared<MyImage>();
    images(1)->top = -1000;
    Options metres;
    metres.unitsPerMm = 0.001;
    const auto rec = Draw(cells, 1, 1, 1, 1, shapes, images, metres);
    EXPECT_TRUE(rec.paths.empty() && rec.lines.empty() && rec.images.empty());
    EXPECT_NEAR(rec.frame.max.x, 20 * kMm / 1000, 1e-12);
    EXPECT_NEAR(rec.frame.min.y, -10 * kMm / 1000, 1e-12);
}

TEST(DrawWordLines, LinesGoPageByPageAtTheirPositions) {
    WordLineArray lines(1, 3);
    // The second line is a justified bullet item that runs on and ends in a page break.
    const char* texts[] = {"{\\fArial|b1|i0|c0|p34;Title}", "{\\fArial|b0|i0|c0|p34;  body\f}",
                           "{\\fArial|b0|i1|c0|p34;\\Lnext}"};
    for (int i = 1; i <= 3; ++i) {
        lines(i) = std::make_shared<WordLine>();
        lines(i)->text = texts[i - 1];
        lines(i)->x = 72;
        lines(i)->y = 72 + 14 * (i == 2);
        lines(i)->pageNum = static_cast<Integer>(i == 3 ? 2 : 1);
        lines(i)->fontsize = 12;
        lines(i)->simple = true;
        lines(i)->newLine = i != 2;
    }
    lines(2)->listType = 2;
    lines(2)->listString = "\xEF\x82\xB7";  // U+F0B7, the "Symbol" font's bullet
    lines(2)->justify = true;
    Recorder rec;
    DrawWordLines(lines, 2, 612, 792, {}, rec);
    ASSERT_EQ(rec.texts.size(), 4u);
    EXPECT_EQ(rec.texts[1].plain, "\xE2\x80\xA2");  // the bullet, where the line starts
    EXPECT_NEAR(rec.texts[1].topLeft.x, 72 * kMm, 1e-9);
    rec.texts.erase(rec.texts.begin() + 1);
    EXPECT_EQ(rec.texts[1].formatted, "{\\fArial|b0|i0|c0|p34;  body}");
    EXPECT_NEAR(rec.texts[1].justifyWidth, (612 - 72 - 72) * kMm, 1e-9);
    EXPECT_EQ(rec.texts[2].justifyWidth, 0);  // a paragraph's last line is not stretched
    EXPECT_NEAR(rec.frame.pageHeight, 792 * kMm, 1e-9);
    EXPECT_EQ(rec.pages, 2);
    EXPECT_EQ(rec.paths.size(), 2u);  // one frame per page
    EXPECT_TRUE(rec.texts[0].bold);
    EXPECT_EQ(rec.texts[0].plain, "Title");
    EXPECT_NEAR(rec.texts[1].topLeft.y, -86 * kMm, 1e-9);
    EXPECT_NEAR(rec.texts[2].topLeft.y, -(792 + 36 + 72) * kMm, 1e-9);
    EXPECT_TRUE(rec.texts[2].italic && rec.texts[2].underline);
    EXPECT_EQ(rec.texts[2].formatted, texts[2]);

    // A window over the second page only: its line as before, the first page's left out,
    // both pages' frames kept.
    Recorder part;
    DrawWordLines(lines, 2, 612, 792, {}, part, Area{{0, -2000 * kMm}, {612 * kMm, -800 * kMm}});
    ASSERT_EQ(part.texts.size(), 1u);
    EXPECT_EQ(part.texts[0].formatted, texts[2]);
    EXPECT_NEAR(part.texts[0].topLeft.y, rec.texts[2].topLeft.y, 1e-9);
    EXPECT_EQ(part.paths.size(), 2u);
}

TEST(PlainText, DropsTheCodesAndKeepsTheCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"{\\fArial|b1|i0|c0|p34;GENERAL NOTES}", "GENERAL NOTES"},
        {"\\A1;{\\fArial|b0|i0|c0|p34;m\\H0.7x;\\S2^;\\H1.429x;}", "m2"},
        {"{\\fArial|b0|i0|c0|p34;\\Lunder\\l, 45\\U+00B0}", "under, 45\xC2\xB0"},
        {"a\\Pb \\\\ \\{x\\}", "a\nb \\ {x}"},
        // A line break or a picture's place in a Word line has no glyph to draw; a code
        // that is not hexadecimal is left out.
        {"{\\fArial|b0|i0|c0|p24;(14:30)\\U+000B}", "(14:30)"},
        {"\\U+0001\rx\\U+zz12y", "xy"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(PlainText(in), out) << in;
}

// Each run as "text/font/b i u/scale/script", runs joined by " + ".
TEST(FormattedRuns, SplitsALineIntoItsStyles) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\A1;{\\fArial|b0|i0|c0|p34;x\\H0.7x;\\S2^;\\H1.429x;\\fArial|b0|i0|c0|p34; CO "
         "\\H0.7x;\\S^2;\\H1.429x;}",
         "x/Arial/000/1/0 + 2/Arial/000/0.7/1 + ( CO )/Arial/000/1/0 + 2/Arial/000/0.7/2"},
        {"{\\fArial|b0|i0|c0|p34;a\\fCourier New|b0|i1|c0|p49;b\\fArial|b1|i0|c0|p34;\\Lc\\l.}",
         "a/Arial/000/1/0 + b/Courier New/010/1/0 + c/Arial/101/1/0 + ./Arial/100/1/0"},
        {"{\\fTimes New Roman|b0|i0|c0|p18;Big\\H2x;ger\tx}",
         "Big/Times New Roman/000/1/0 + (ger\tx)/Times New Roman/000/2/0"},
    };
    for (const auto& [in, out] : cases) {
        std::string got;
        for (const auto& r : FormattedRuns(in)) {
            char scale[16];
            std::snprintf(scale, sizeof scale, "%g", r.scale);
            const std::string text =
                r.text.find(' ') != std::string::npos || r.text.find('\t') != std::string::npos
                    ? "(" + r.text + ")"
                    : r.text;
            got += (got.empty() ? "" : " + ") + text + "/" + r.font + "/" + (r.bold ? "1" : "0") +
                   (r.italic ? "1" : "0") + (r.underline ? "1" : "0") + "/" + scale + "/" +
                   std::to_string(r.script);
        }
        EXPECT_EQ(got, out) << in;
    }
}

}  // namespace
}  // namespace tbln::drawing
