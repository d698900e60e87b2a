#include <gtest/gtest.h>

#include <array>

#include "capture/capture_range.hpp"
#include "capture/shape_capture.hpp"
#include "capture_support.hpp"
#include "common/paths.hpp"
#include "fake_sheet.hpp"

namespace tbln {
namespace {

using testing::CaptureModule;
using testing::GridText;

// A module with the grid parsed and the fake sheet attached, ready for capture.
struct Capture : CaptureModule {
    explicit Capture(const GridText& grid) {
        ParseReaderOutput(m, grid.Str(), "output.txt");
        m.dgnCell.ReDim(1, grid.rows, 1, grid.cols);
        sheet = testing::MakeFakeSheet();
        m.xlSheet = sheet;
        auto& sys = p.sys;
        sys.MakeDirs(paths::ReaderFolder(sys));
        sys.WriteFile(paths::ReaderFile(sys, "flag.txt"), "Done\r\n");
        sys.WriteFile(paths::ReaderFile(sys, "output.txt"), "x");
        sys.WriteFile(paths::ReaderFile(sys, "run.bat"), "x");
    }
    void Range(Integer r1, Integer c1, Integer r2, Integer c2, bool fast = true) {
        m.startRow = r1;
        m.startCol = c1;
        m.endRow = r2;
        m.endCol = c2;
        m.fastUpdate = fast;
    }
    MyCell& Cell(Long r, Long c) {
        auto& cell = m.dgnCell(r, c);
        if (!cell)
            throw std::runtime_error("no record at " + std::to_string(r) + "," + std::to_string(c));
        return *cell;
    }
    std::shared_ptr<testing::FakeSheet> sheet;
};

TEST(Borders, StyleWordsBecomeFlagsWeightsAndLineTypes) {
    struct Case {
        const char* word;
        Integer flag;
        const char* weight;
    } cases[] = {{"none", 0, ""},      {"thin", 1, "thin"},   {"medium", 1, "bold"},
                 {"thick", 1, "bold"}, {"dashed", 1, "thin"}, {"double", 1, "thin"}};
    for (const auto& c : cases) {
        GridText grid(1, 1);
        grid.Borders(1, 1, c.word, c.word, c.word, c.word);
        Capture t(grid);
        t.Range(1, 1, 1, 1);
        Single offset = 5;
        BuildSimpleCell(t.m, offset, 1, 1);
        const MyCell& cell = t.Cell(1, 1);
        for (auto [flag, weight, lt] :
             {std::tuple{cell.bdUp, cell.bdUpWeight, cell.bdUpLT},
              std::tuple{cell.bdBottom, cell.bdBottomWeight, cell.bdBottomLT},
              std::tuple{cell.bdLeft, cell.bdLeftWeight, cell.bdLeftLT},
              std::tuple{cell.bdRight, cell.bdRightWeight, cell.bdRightLT}}) {
            EXPECT_EQ(flag, c.flag) << c.word;
            EXPECT_EQ(weight, c.weight) << c.word;
            EXPECT_EQ(lt, c.word);
        }
        EXPECT_EQ(cell.deltaX, 5);
        EXPECT_EQ(offset, 53) << "advanced by the width";
    }
}

TEST(Borders, LongTextRightBorderDependsOnTheRowHeight) {
    const std::string sixty(60, 'x');
    struct Case {
        const char* name;
        std::string text, height;
        Integer flag;
        const char* weight;
    } cases[] = {
        {"one line", sixty, "15", 0, ""},
        {"two lines tall", sixty, "20", 1, ""},
        {"needs Excel", kCellNeedsVb, "15", 1, "thin"},
        {"short text", "short", "15", 1, "thin"},
    };
    for (const auto& c : cases) {
        GridText grid(1, 1);
        grid.Text(1, 1, c.text).Borders(1, 1, "none", "none", "none", "thin");
        grid.heights[1] = c.height;
        Capture t(grid);
        t.Range(1, 1, 1, 1);
        Single offset = 0;
        BuildSimpleCell(t.m, offset, 1, 1);
        EXPECT_EQ(t.Cell(1, 1).bdRight, c.flag) << c.name;
        EXPECT_EQ(t.Cell(1, 1).bdRightWeight, c.weight) << c.name;
        EXPECT_EQ(t.Cell(1, 1).bdRightLT, "thin");
    }
}

TEST(MergedCells, AreaRecordsTotalsAndBordersFromTheTrueLastCell) {
    // B2:C3 merged with a thick outer border; a wider C, a taller row 3.
    GridText grid(4, 4);
    grid.Merge(2, 2, 3, 3).Text(2, 2, "Title");
    grid.Borders(2, 2, "thick", "none", "thick", "none");
    grid.Borders(3, 3, "none", "thick", "none", "thick");
    grid.widths[3] = "60";
    grid.heights[3] = "20";
    Capture t(grid);
    t.Range(1, 1, 4, 4);
    Single offset = 48;
    t.m.totalHeight = 15;
    BuildMergedCell(t.m, offset, 2, 2);
    const MyCell& f = t.Cell(2, 2);
    EXPECT_EQ(f.rowTo, 3);
    EXPECT_EQ(f.colTo, 3);
    EXPECT_EQ(f.bdUp + f.bdBottom + f.bdLeft + f.bdRight, 4);
    EXPECT_EQ(f.bdBottomWeight, "bold");
    EXPECT_EQ(f.mergedColWidth, 108);
    EXPECT_EQ(f.mergedRowHeight, 35);
    EXPECT_EQ(f.deltaX, 48);
    EXPECT_EQ(f.deltaY, 15);
    EXPECT_EQ(offset, 156);
    for (auto [r, c] : {std::pair{2, 3}, std::pair{3, 2}, std::pair{3, 3}}) {
        const MyCell& o = t.Cell(r, c);
        EXPECT_TRUE(o.isMerged && o.storeDone);
        EXPECT_EQ(o.rowFrom, 2);
        EXPECT_EQ(o.colFrom, 2);
        EXPECT_EQ(o.rowTo, 0);
        EXPECT_EQ(o.bdUp + o.bdBottom + o.bdLeft + o.bdRight, 0);
        EXPECT_EQ(o.mergedColWidth, 108);
        EXPECT_EQ(o.deltaX, 48);
    }

    // The same area cut by a range ending at B2: spans limited, borders still from C3.
    Capture cut(grid);
    cut.Range(1, 1, 2, 2);
    offset = 0;
    BuildMergedCell(cut.m, offset, 2, 2);
    EXPECT_EQ(cut.Cell(2, 2).rowTo, 2);
    EXPECT_EQ(cut.Cell(2, 2).colTo, 2);
    EXPECT_EQ(cut.Cell(2, 2).bdRightWeight, "bold");
    EXPECT_EQ(cut.Cell(2, 2).mergedColWidth, 48);
}

TEST(MergedCells, AreasAcrossTheExtraRowAndColumnAreStoredOnEachSide) {
    // A 6x6 grid of 48-point columns and 15-point rows; the range is A1:C3, so the walk
    // also covers row 4 and column D.
    struct Case {
        const char* what;
        std::array<int, 4> area;  // first row and column, last row and column
        // Records of the area's pieces: first cell, last cell, width, height.
        std::vector<std::tuple<int, int, int, int, Single, Single>> pieces;
    };
    const Case cases[] = {
        {"begins in the extra column, two rows inside", {2, 4, 3, 5}, {{2, 4, 3, 4, 48, 30}}},
        {"crosses the range's right edge",
         {2, 3, 3, 4},
         {{2, 3, 3, 3, 48, 30}, {2, 4, 3, 4, 48, 30}}},
        {"crosses the range's bottom edge",
         {3, 1, 5, 2},
         {{3, 1, 3, 2, 96, 15}, {4, 1, 4, 2, 96, 15}}},
        {"crosses the corner",
         {3, 3, 4, 4},
         {{3, 3, 3, 3, 48, 15}, {3, 4, 3, 4, 48, 15}, {4, 3, 4, 3, 48, 15}, {4, 4, 4, 4, 48, 15}}},
        {"begins in the extra row", {4, 2, 6, 3}, {{4, 2, 4, 3, 96, 15}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        GridText grid(6, 6);
        const auto& a = k.area;
        grid.Merge(a[0], a[1], a[2], a[3]).Text(a[0], a[1], "m");
        Capture t(grid);
        t.Range(1, 1, 3, 3);
        CaptureRange(t.m);
        EXPECT_EQ(t.m.totalWidth, 144);
        for (const auto& [r1, c1, r2, c2, w, h] : k.pieces) {
            const MyCell& f = t.Cell(r1, c1);
            EXPECT_EQ(f.rowTo, r2);
            EXPECT_EQ(f.colTo, c2);
            for (int r = r1; r <= r2; ++r) {
                for (int c = c1; c <= c2; ++c) {
                    const MyCell& o = t.Cell(r, c);
                    EXPECT_EQ(o.rowFrom, r1);
                    EXPECT_EQ(o.colFrom, c1);
                    EXPECT_EQ(o.mergedColWidth, w);
                    EXPECT_EQ(o.mergedRowHeight, h);
                    EXPECT_EQ(o.deltaX, 48 * (c1 - 1)) << r << "," << c;
                    EXPECT_EQ(o.deltaY, 15 * (r1 - 1)) << r << "," << c;
                }
            }
        }
    }
}

TEST(MergedCells, HiddenRowsAndColumnsInsideAddNothing) {
    GridText grid(3, 3);
    grid.Merge(1, 1, 3, 3);
    grid.hidden = {"R2", "C2"};
    grid.heights[2] = "0";
    grid.widths[2] = "0";
    Capture t(grid);
    t.Range(1, 1, 3, 3);
    Single offset = 0;
    BuildMergedCell(t.m, offset, 1, 1);
    EXPECT_EQ(t.Cell(1, 1).mergedColWidth, 96);
    EXPECT_EQ(t.Cell(1, 1).mergedRowHeight, 30);
}

TEST(MergedCells, CentreAcrossRunsEndAtTextAtTheRangeOrAtOtherAlignment) {
    struct Case {
        const char* name;
        Integer endCol;
        int textAt;  // a column of the run holding text, or 0
        Integer colTo;
    } cases[] = {{"B to D in a range to F", 6, 0, 4},
                 {"B to D in a range ending at D", 4, 0, 4},
                 {"text in D ends it before D", 6, 4, 3},
                 {"range ends at C", 3, 0, 3}};
    for (const auto& c : cases) {
        GridText grid(1, 6);
        for (int col = 2; col <= 4; ++col) grid.Set(1, col, 8, "7");
        grid.Text(1, 2, "Heading");
        if (c.textAt) grid.Text(1, c.textAt, "x");
        Capture t(grid);
        t.Range(1, 1, 1, c.endCol);
        Single offset = 0;
        BuildMergedCell(t.m, offset, 1, 2);
        EXPECT_EQ(t.Cell(1, 2).colTo, c.colTo) << c.name;
        EXPECT_EQ(t.Cell(1, 2).rowTo, 1);
    }
}

TEST(CaptureRange, SubRangeWalksTheFrameAndSumsItsOwnColumns) {
    GridText grid(6, 6);
    grid.Text(3, 3, "c3").Text(5, 5, "frame");
    Capture t(grid);
    t.sheet->data.colWidths = {{2, 50}, {3, 60}, {4, 70}, {5, 80}};
    t.sheet->data.rowHeights = {{1, 10}, {5, 25}};
    t.Range(2, 2, 4, 4);
    CaptureRange(t.m);
    EXPECT_TRUE(t.m.captureDone);
    EXPECT_FALSE(t.sheet->data.screenUpdating);
    EXPECT_EQ(t.m.dgnCell.RowUpper(), 5);
    EXPECT_EQ(t.m.dgnCell.ColUpper(), 5);
    EXPECT_EQ(t.m.totalWidth, 180) << "B to D only";
    // Walked rows 1 to 5; the frame row above the range keeps the reader's height.
    EXPECT_EQ(t.m.totalHeight, 15 + 15 * 3 + 25);
    // Size records of row 1 and column 1 sit under the walk's records.
    EXPECT_EQ(t.Cell(1, 1).colWidth, 48);
    EXPECT_EQ(t.Cell(3, 3).Value, "c3");
    EXPECT_EQ(t.Cell(3, 3).deltaX, 48 + 50);
    EXPECT_EQ(t.Cell(3, 3).deltaY, 15 + 15);
    EXPECT_EQ(t.m.rowHeights(1), 10);
    EXPECT_EQ(t.Cell(5, 5).Value, "frame") << "the extra row and column are captured";
    EXPECT_EQ(t.m.rowHeights(5), 25);
    EXPECT_EQ(t.m.jCells(5, 5)->width, 80);
    auto& sys = t.p.sys;
    EXPECT_FALSE(sys.FileExists(paths::ReaderFile(sys, "run.bat")));
    EXPECT_FALSE(sys.FileExists(paths::ReaderFile(sys, "output.txt")));
    EXPECT_TRUE(sys.FileExists(paths::ReaderFile(sys, "flag.txt")));
    ASSERT_EQ(t.m.xlsImage.Upper(), 1);
    EXPECT_EQ(t.m.xlsImage(1)->top, -1000);
    ASSERT_EQ(t.m.xlsShape.Upper(), 1);
    EXPECT_EQ(t.m.xlsShape(1)->top, -1000);
    EXPECT_EQ(t.Form().ProgressBar1.Position(), 15) << "3 columns for each of 5 rows";
}

TEST(CaptureRange, SizeRecordsOnlyBeforeARangeThatDoesNotStartAtA1) {
    for (bool atA1 : {true, false}) {
        GridText grid(4, 4);
        grid.hidden = {"R3"};
        Capture t(grid);
        if (atA1) {
            t.Range(1, 1, 2, 2);
        } else {
            t.Range(2, 2, 4, 4);
        }
        CaptureRange(t.m);
        EXPECT_TRUE(t.Cell(3, 1).hidden);
        if (atA1) {
            EXPECT_EQ(t.Cell(3, 1).rowHeight, 0) << "the walk's placeholder, no size record";
            EXPECT_EQ(t.m.dgnCell.RowUpper(), 3);
        } else {
            EXPECT_EQ(t.m.dgnCell.RowUpper(), 4) << "the grid's last row: no extra row";
            EXPECT_EQ(t.Cell(3, 1).rowHeight, 15) << "the size record of a hidden row";
            EXPECT_TRUE(t.Cell(3, 2).hidden);
            EXPECT_FALSE(t.m.dgnCell(3, 3)) << "hidden rows get one placeholder";
        }
    }
}

TEST(CaptureRange, WholeAreaSkipsLeadingHiddenColumnsAndRowsSubRangesDoNot) {
    GridText grid(3, 4);
    grid.hidden = {"C1", "C2", "R1"};
    grid.widths[1] = grid.widths[2] = "0";
    Capture whole(grid);
    whole.sheet->data.colWidths = {{1, 0}, {2, 0}};
    whole.sheet->data.rowHeights = {{1, 0}};
    whole.Range(1, 1, 3, 4, false);
    CaptureRange(whole.m);
    EXPECT_EQ(whole.m.startCol, 3);
    EXPECT_EQ(whole.m.startRow, 2);
    EXPECT_EQ(whole.m.totalWidth, 96);

    Capture sub(grid);
    sub.Range(1, 1, 3, 4, true);
    CaptureRange(sub.m);
    EXPECT_EQ(sub.m.startCol, 1);
    EXPECT_EQ(sub.m.startRow, 1);
    // The first column is hidden: the rows' own heights still add up.
    EXPECT_EQ(sub.m.totalHeight, 30);
}

TEST(CaptureRange, AlignmentFontsAndCellsReadFromExcel) {
    struct Case {
        Integer h;
        bool numeric;
        std::string text;
        const char* hor;
    } hor[] = {{1, true, "12", "RIGHT"},   {1, true, " 12", "LEFT"},
               {1, false, "ab", "LEFT"},   {-4131, false, "a", "LEFT"},
               {-4130, true, "1", "LEFT"}, {-4152, false, "a", "RIGHT"},
               {3, false, "a", "RIGHT"},   {5, false, "a", "MID"},
               {7, false, "a", "MID"},     {-4108, true, "1", "MID"}};
    const std::pair<Integer, const char*> ver[] = {
        {-4130, "TOP"}, {-4160, "TOP"}, {-4108, "MID"}, {-4107, "BOTTOM"}, {1, "BOTTOM"}};
    GridText grid(2, 10);
    for (int i = 0; i < 10; ++i) {
        grid.Text(1, i + 1, hor[i].text).Set(1, i + 1, 8, std::to_string(hor[i].h));
        grid.Set(1, i + 1, 22, hor[i].numeric ? "1" : "0");
    }
    for (int i = 0; i < 5; ++i)
        grid.Text(2, i + 1, "v").Set(2, i + 1, 9, std::to_string(ver[i].first));
    grid.Set(2, 6, 10, "null").Set(2, 7, 10, "ARIAL").Set(2, 8, 10, "Tahoma");
    grid.Text(2, 9, kCellNeedsVb)
        .Set(2, 10, 16, "-90")
        .Set(2, 10, 23, "FFFF00")
        .Set(2, 10, 24, "solid");
    Capture t(grid);
    t.sheet->data.texts[{2, 9}] = "line 1\nline 2";
    t.Range(1, 1, 2, 10);
    CaptureRange(t.m);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(t.Cell(1, i + 1).horAlign, hor[i].hor) << hor[i].h << " " << hor[i].text;
    }
    for (int i = 0; i < 5; ++i) EXPECT_EQ(t.Cell(2, i + 1).verAlign, ver[i].second) << ver[i].first;
    EXPECT_EQ(t.Cell(2, 9).Value, "line 1\nline 2");
    EXPECT_EQ(t.sheet->data.textReads, (std::vector<std::pair<Long, Long>>{{2, 9}}))
        << "only the marked cell is read from Excel";
    EXPECT_EQ(t.Cell(2, 10).fontOrient, -90);
    EXPECT_EQ(t.Cell(2, 10).bgColor, "FFFF00");
    EXPECT_EQ(t.Cell(2, 10).pattern, "solid");
    ASSERT_EQ(t.m.excelFonts->Count(), 2) << "Arial once (any case), Tahoma; null never";
    EXPECT_EQ(t.m.excelFonts->Item(1), "XLS  Arial");
    EXPECT_EQ(t.m.excelFonts->Item(2), "XLS  Tahoma");
}

TEST(CaptureRange, CancelStopsAtTheTopOfTheNextRow) {
    GridText grid(5, 2);
    Capture t(grid);
    t.Range(1, 1, 5, 2);
    auto& form = t.Form();
    // The second row's events deliver Cancel.
    t.p.ui.Push(scripted::Action::Wait(600));
    t.p.ui.Push(scripted::Action::Click("btnCancel", 1));
    form.onCancel = [&] { t.m.dialogCancelled = true; };
    form.onTick = [&] { CaptureRange(t.m); };
    t.p.ui.ShowModal(form);
    EXPECT_TRUE(t.m.dialogCancelled);
    EXPECT_FALSE(t.m.captureDone);
    EXPECT_TRUE(t.m.dgnCell(2, 1));
    EXPECT_FALSE(t.m.dgnCell(3, 1));
    EXPECT_EQ(t.m.totalWidth, 0) << "the steps after the walk did not run";
    EXPECT_TRUE(t.p.sys.FileExists(paths::ReaderFile(t.p.sys, "output.txt")));
}

TEST(CaptureRange, MergedAreaMetAgainAdvancesTheRowOffset) {
    GridText grid(3, 3);
    grid.Merge(1, 1, 2, 2).Text(1, 1, "m");
    Capture t(grid);
    t.Range(1, 1, 3, 3);
    CaptureRange(t.m);
    EXPECT_EQ(t.Cell(2, 3).deltaX, 96) << "the area's width is skipped on its second row";
    EXPECT_EQ(t.Cell(2, 3).deltaY, 15);
    EXPECT_EQ(t.Cell(1, 1).Value, "m");
    EXPECT_EQ(t.Cell(2, 2).Value, "") << "records inside an area get no text";
}

testing::FakeShapeData Line(Single x1, Single y1, Single x2, Single y2) {
    testing::FakeShapeData d;
    d.type = excel::msoLine;
    d.autoShapeType = -2;
    d.nodes = {{x1, y1}, {x2, y2}};
    d.beginStyle = 2;
    d.endStyle = 3;
    d.beginWidth = 1;
    d.endWidth = 3;
    return d;
}

TEST(Shapes, EachKindGetsItsFields) {
    Capture t(GridText(1, 1));
    auto add = [&](testing::FakeShapeData d) {
        t.sheet->data.shapes.push_back(std::make_shared<testing::FakeShape>(d));
    };
    add(Line(10, 50, 60, 20));  // rises to the right
    add(Line(10, 20, 60, 50));
    add(Line(10, 20, 60, 20));
    testing::FakeShapeData rounded;
    rounded.autoShapeType = excel::msoShapeRoundedRectangle;
    rounded.adjustments = {0.25};
    rounded.schemeColor = 8;
    rounded.hFlip = -1;
    add(rounded);
    testing::FakeShapeData arc;
    arc.autoShapeType = excel::msoShapeArc;
    arc.hFlip = -1;
    arc.adjustments = {0.5};
    add(arc);
    testing::FakeShapeData box;
    box.type = excel::msoTextBox;
    box.hasText = true;
    box.text = "Note";
    box.fontName = "Tahoma";
    box.fontSize = 9;
    box.rotation = 2.5;
    box.tlRow = 4;
    box.tlCol = 2;
    add(box);
    testing::FakeShapeData zero;
    zero.height = zero.width = 0;
    add(zero);
    testing::FakeShapeData picture;
    picture.type = excel::msoPicture;
    add(picture);
    CaptureShapes(t.m);
    ASSERT_EQ(t.m.xlsShape.Upper(), 6) << "no zero-size shape, no picture";
    const auto& s = t.m.xlsShape;
    EXPECT_EQ(s(1)->slope, 1);
    EXPECT_EQ(s(2)->slope, -1);
    EXPECT_EQ(s(3)->slope, -1);
    EXPECT_EQ(s(1)->startX, 10);
    EXPECT_EQ(s(1)->endY, 20);
    EXPECT_EQ(s(1)->beginStyle, 2);
    EXPECT_EQ(s(1)->endStyle, 3);
    EXPECT_EQ(s(1)->endSize, 3);
    EXPECT_EQ(s(1)->text, "");
    EXPECT_EQ(s(4)->cnrRadius, 0.25);
    EXPECT_TRUE(s(4)->fill);
    EXPECT_EQ(s(4)->hor, 0) << "only arcs carry flips";
    EXPECT_EQ(s(4)->beginStyle, 1);
    EXPECT_EQ(s(4)->beginSize, 0);
    EXPECT_EQ(s(5)->hor, -1);
    EXPECT_EQ(s(5)->ver, 0);
    EXPECT_EQ(s(5)->cnrRadius, 0) << "only rounded rectangles carry a radius";
    EXPECT_FALSE(s(5)->fill);
    EXPECT_EQ(s(6)->text, "Note");
    EXPECT_EQ(s(6)->FontName, "Tahoma");
    EXPECT_EQ(s(6)->fontsize, 9);
    EXPECT_EQ(s(6)->rotation, 2);
    EXPECT_EQ(s(6)->TLRow, 4);
    EXPECT_EQ(s(6)->shapeType, excel::msoTextBox);
    EXPECT_EQ(t.Form().ProgressBar1.Max(), 8);
    EXPECT_EQ(t.Form().ProgressBar1.Position(), 6) << "skipped shapes do not advance the bar";
}

TEST(Shapes, OnlyPicturesGiveThePlaceholderAndPicturesComeFromImageTxt) {
    Capture t(GridText(1, 1));
    testing::FakeShapeData picture;
    picture.type = excel::msoPicture;
    t.sheet->data.shapes.push_back(std::make_shared<testing::FakeShape>(picture));
    t.sheet->data.pictures.push_back(std::make_shared<testing::FakePicture>(30, 40, 50, 60, 3, 2));
    t.sheet->data.pictures.push_back(std::make_shared<testing::FakePicture>(1, 2, 3, 4, 1, 1));
    auto& sys = t.p.sys;
    sys.WriteFile(paths::ReaderFile(sys, "image.txt"), "2\n2*logo.png*extra\n1*photo.jpeg\n");
    t.Range(1, 1, 1, 1);
    CaptureRange(t.m);
    ASSERT_EQ(t.m.xlsShape.Upper(), 1);
    EXPECT_EQ(t.m.xlsShape(1)->top, -1000);
    ASSERT_EQ(t.m.xlsImage.Upper(), 2);
    EXPECT_EQ(t.m.xlsImage(1)->name, "logo.png");
    EXPECT_EQ(t.m.xlsImage(1)->top, 1);
    EXPECT_EQ(t.m.xlsImage(2)->name, "photo.jpeg");
    EXPECT_EQ(t.m.xlsImage(2)->TLRow, 3);
    EXPECT_EQ(t.m.xlsImage(2)->TLCol, 2);
    EXPECT_EQ(t.m.xlsImage(2)->width, 60);

    sys.WriteFile(paths::ReaderFile(sys, "image.txt"), "0\n");
    CapturePictures(t.m);
    ASSERT_EQ(t.m.xlsImage.Upper(), 1);
    EXPECT_EQ(t.m.xlsImage(1)->top, -1000);
    sys.WriteFile(paths::ReaderFile(sys, "image.txt"), "1\n9*gone\n");
    EXPECT_THROW(CapturePictures(t.m), RuntimeError) << "an index that names no picture";
}

}  // namespace
}  // namespace tbln
