// The sheet window on real workbooks: pixels at known cells (a fill, a pattern, a
// border, a merged area, hidden columns and rows, a shape, a picture), and clicks, drags
// and tab switches reaching the engine.
#include <gtest/gtest.h>

#include <QImage>
#include <QTabBar>
#include <QTest>
#include <functional>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/qt/sheet_window.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/workbook_model.hpp"

namespace tbln {
namespace {

const std::string kBook = std::string(TBLN_FIXTURES) + "/gui_sheets.xlsx";
const std::string kDrawingBook = std::string(TBLN_FIXTURES) + "/sheet_drawing.xlsx";

struct Shown {
    qt::QtUi ui;
    std::shared_ptr<excel::Application> app = workbook::CreateEmbeddedExcel(ui);
    qt::SheetWindow window{ui, [this] { return app; }};

    explicit Shown(const std::string& book = kBook) {
        app->Workbooks()->Open(book);
        window.Sync();
        window.resize(900, 560);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QImage Grab() { return window.grab().toImage(); }
    QPoint InGrid(QPoint p) const { return window.Grid()->mapFrom(&window, p); }
};

bool Near(QColor got, QColor want) {
    return std::abs(got.red() - want.red()) < 40 && std::abs(got.green() - want.green()) < 40 &&
           std::abs(got.blue() - want.blue()) < 40;
}

TEST(SheetWindow, DrawsFillsBordersMergedAreasAndHidesHiddenColumns) {
    Shown s;
    EXPECT_EQ(s.window.windowTitle().toStdString(), s.app->Caption()) << "found by its title";
    const QImage image = s.Grab();
    const QRect b2 = s.window.CellRect(2, 2);
    ASSERT_GT(b2.width(), 20);
    EXPECT_TRUE(Near(image.pixelColor(b2.right() - 3, b2.top() + 3), Qt::red)) << "B2's fill";
    const QRect c3 = s.window.CellRect(3, 3);
    EXPECT_TRUE(Near(image.pixelColor(c3.center().x(), c3.bottom()), Qt::blue))
        << "C3's thick bottom";
    EXPECT_TRUE(Near(image.pixelColor(c3.center().x(), c3.bottom() - 1), Qt::blue));
    EXPECT_TRUE(Near(image.pixelColor(c3.center().x(), c3.top() + 3), Qt::white));
    // D is hidden: E starts where C ends.
    EXPECT_EQ(s.window.CellRect(2, 4).width(), 0);
    EXPECT_EQ(s.window.CellRect(2, 5).left(), s.window.CellRect(2, 3).right() + 1);
    // B5:C6 is one green cell: no gridline between its columns or rows.
    const QRect b5 = s.window.CellRect(5, 2), c6 = s.window.CellRect(6, 3);
    EXPECT_TRUE(Near(image.pixelColor(b5.right(), b5.top() + 3), Qt::green))
        << "no gridline inside";
    EXPECT_TRUE(Near(image.pixelColor(c6.right() - 3, c6.top()), Qt::green));
    EXPECT_TRUE(Near(image.pixelColor(c6.right() - 3, c6.bottom() - 3), Qt::green));
}

// The share of the pixels of `area` near `color`.
double Share(const QImage& image, const QRect& area, QColor color) {
    int near = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            near += Near(image.pixelColor(x, y), color);
    }
    return area.isEmpty() ? 0 : static_cast<double>(near) / (area.width() * area.height());
}

TEST(SheetWindow, DrawsHiddenRowsPatternsShapesAndPicturesAtTheirCells) {
    Shown s(kDrawingBook);
    const QImage image = s.Grab();
    // Rows 3 and 4 are hidden: row 5 starts where row 2 ends, and B3's red shows nowhere.
    EXPECT_EQ(s.window.CellRect(3, 2).height(), 0);
    EXPECT_EQ(s.window.CellRect(4, 2).height(), 0);
    EXPECT_EQ(s.window.CellRect(5, 2).top(), s.window.CellRect(2, 2).bottom() + 1);
    EXPECT_EQ(Share(image, image.rect(), Qt::red), 0) << "the hidden row's fill";
    // B6: blue stripes on yellow, not one colour.
    const QRect b6 = s.window.CellRect(6, 2).adjusted(2, 2, -2, -2);
    ASSERT_GT(b6.width(), 20);
    EXPECT_GT(Share(image, b6, Qt::blue), 0.25) << "the pattern's stripes";
    EXPECT_GT(Share(image, b6, Qt::yellow), 0.25) << "the pattern's background";
    // The orange text box, 128 x 60 pixels from C8's corner, over the cells and the
    // gridline between C8 and D8.
    const QColor orange(0xFF, 0x80, 0x00);
    const QPoint c8 = s.window.CellRect(8, 3).topLeft();
    EXPECT_TRUE(Near(image.pixelColor(c8 + QPoint(64, 40)), orange)) << "inside the box";
    EXPECT_TRUE(Near(image.pixelColor(s.window.CellRect(9, 3).right(), c8.y() + 40), orange))
        << "over the gridline";
    EXPECT_FALSE(Near(image.pixelColor(c8 + QPoint(-5, 40)), orange)) << "left of the box";
    EXPECT_FALSE(Near(image.pixelColor(c8 + QPoint(134, 40)), orange)) << "right of the box";
    EXPECT_FALSE(Near(image.pixelColor(c8 + QPoint(64, 66)), orange)) << "under the box";
    // The blue picture, 64 x 40 pixels from F2's corner.
    const QPoint f2 = s.window.CellRect(2, 6).topLeft();
    EXPECT_TRUE(Near(image.pixelColor(f2 + QPoint(32, 10)), Qt::blue)) << "inside the picture";
    EXPECT_TRUE(Near(image.pixelColor(f2 + QPoint(60, 36)), Qt::blue));
    EXPECT_FALSE(Near(image.pixelColor(f2 + QPoint(70, 10)), Qt::blue)) << "right of it";
}

TEST(SheetWindow, ClicksDragsAndTabsReachTheEngine) {
    Shown s;
    QTest::mouseClick(s.window.Grid(), Qt::LeftButton, {},
                      s.InGrid(s.window.CellRect(3, 2).center()));
    EXPECT_EQ(s.app->ActiveCell()->Row(), 3);
    EXPECT_EQ(s.app->ActiveCell()->Column(), 2);
    QTest::mousePress(s.window.Grid(), Qt::LeftButton, {},
                      s.InGrid(s.window.CellRect(2, 1).center()));
    QTest::mouseMove(s.window.Grid(), s.InGrid(s.window.CellRect(4, 3).center()));
    QTest::mouseRelease(s.window.Grid(), Qt::LeftButton, {},
                        s.InGrid(s.window.CellRect(4, 3).center()));
    const auto& sheet = workbook::ActiveWorkbookModel(*s.app)->sheets.at(0);
    ASSERT_EQ(sheet.selection.size(), 1u);
    EXPECT_EQ(sheet.selection[0].top, 2);
    EXPECT_EQ(sheet.selection[0].left, 1);
    EXPECT_EQ(sheet.selection[0].bottom, 4);
    EXPECT_EQ(sheet.selection[0].right, 3);
    // A click inside a merged area makes its top-left cell active and selects it whole;
    // Shift+click and Shift+arrows grow the selection from the active cell, arrows move it.
    struct Step {
        const char* what;
        std::function<void()> act;
        Long row, col, top, left, bottom, right;
    };
    const auto click = [&](Long r, Long c, Qt::KeyboardModifiers m = {}) {
        return [&s, r, c, m] {
            QTest::mouseClick(s.window.Grid(), Qt::LeftButton, m,
                              s.InGrid(s.window.CellRect(r, c).center()));
        };
    };
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) {
        return [&s, k, m] { QTest::keyClick(s.window.Grid()->parentWidget(), k, m); };
    };
    const Step steps[] = {
        {"click C6 in B5:C6", click(6, 3), 5, 2, 5, 2, 6, 3},
        {"Down leaves the merged area", key(Qt::Key_Down), 7, 2, 7, 2, 7, 2},
        {"Right", key(Qt::Key_Right), 7, 3, 7, 3, 7, 3},
        {"Right skips the hidden column", key(Qt::Key_Right), 7, 5, 7, 5, 7, 5},
        {"Shift+Up", key(Qt::Key_Up, Qt::ShiftModifier), 7, 5, 6, 5, 7, 5},
        {"Shift+Left grows over B5:C6", key(Qt::Key_Left, Qt::ShiftModifier), 7, 5, 5, 2, 7, 5},
        {"click A2", click(2, 1), 2, 1, 2, 1, 2, 1},
        {"Shift+click C3", click(3, 3, Qt::ShiftModifier), 2, 1, 2, 1, 3, 3},
    };
    for (const Step& step : steps) {
        step.act();
        const auto& model = workbook::ActiveWorkbookModel(*s.app)->sheets.at(0);
        ASSERT_EQ(model.selection.size(), 1u) << step.what;
        const workbook::Area& a = model.selection[0];
        EXPECT_EQ(std::tuple(model.activeRow, model.activeCol, a.top, a.left, a.bottom, a.right),
                  std::tuple(step.row, step.col, step.top, step.left, step.bottom, step.right))
            << step.what;
    }
    ASSERT_EQ(s.window.Tabs()->count(), 2);
    QTest::mouseClick(s.window.Tabs(), Qt::LeftButton, {}, s.window.Tabs()->tabRect(1).center());
    EXPECT_EQ(s.app->ActiveSheet()->Name(), "Notes");
    EXPECT_EQ(s.InGrid(s.window.CellRect(5, 3).topLeft()), QPoint(44, 20))
        << "the sheet shows from its saved top-left cell C5, not from its active cell A1";
    // The engine's own activation moves the tab back.
    s.app->ActiveWorkbook()->Sheets()->Item("Plan")->Activate();
    s.window.Sync();
    EXPECT_EQ(s.window.Tabs()->currentIndex(), 0);
}

}  // namespace
}  // namespace tbln
