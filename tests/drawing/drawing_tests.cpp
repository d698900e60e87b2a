// The drawing room: records to primitives, checked through a sink that records them.
#include <gtest/gtest.h>

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
    int pages = 1;
    void Begin(const Frame& f) override { frame = f; }
    void Draw(const Line& x) override { lines.push_back(x); }
    void Draw(const Path& x) override { paths.push_back(x); }
    void Draw(const Ellipse& x) override { ellipses.push_back(x); }
    void Draw(const Fill& x) override { fills.push_back(x); }
    void Draw(const Text& x) override { texts.push_back(x); }
    void Draw(const Image& x) override { images.push_back(x); }
    void NextPage() override { ++pages; }
    void End() override {}
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
              Options options = {}) {
    Recorder rec;
    DrawCapture({cells, shapes, images, r1, r2, c1, c2, "/pics"}, options, rec);
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
    const auto rec = Draw(cells, 1, 2, 1, 2);
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
    MyShapeArray shapes(1, 3);
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
    ASSERT_EQ(rec.paths.size(), 2u);  // the arrowhead, then the text box's frame
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
    const char* texts[] = {"{\\fArial|b1|i0|c0|p34;Title}", "{\\fArial|b0|i0|c0|p34;body}",
                           "{\\fArial|b0|i1|c0|p34;\\Lnext}"};
    for (int i = 1; i <= 3; ++i) {
        lines(i) = std::make_shared<WordLine>();
        lines(i)->text = texts[i - 1];
        lines(i)->x = 72;
        lines(i)->y = 72 + 14 * (i == 2);
        lines(i)->pageNum = static_cast<Integer>(i == 3 ? 2 : 1);
        lines(i)->fontsize = 12;
        lines(i)->simple = true;
    }
    Recorder rec;
    DrawWordLines(lines, 2, 612, 792, {}, rec);
    ASSERT_EQ(rec.texts.size(), 3u);
    EXPECT_EQ(rec.pages, 2);
    EXPECT_EQ(rec.paths.size(), 2u);  // one frame per page
    EXPECT_TRUE(rec.texts[0].bold);
    EXPECT_EQ(rec.texts[0].plain, "Title");
    EXPECT_NEAR(rec.texts[1].topLeft.y, -86 * kMm, 1e-9);
    EXPECT_NEAR(rec.texts[2].topLeft.y, -(792 + 36 + 72) * kMm, 1e-9);
    EXPECT_TRUE(rec.texts[2].italic && rec.texts[2].underline);
    EXPECT_EQ(rec.texts[2].formatted, texts[2]);
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

}  // namespace
}  // namespace tbln::drawing
