// The sheet window on a real workbook: pixels at known cells (a fill, a border, a
// merged area, a hidden column), and clicks, drags and tab switches reaching the engine.
#include <gtest/gtest.h>

#include <QImage>
#include <QTabBar>
#include <QTest>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/qt/sheet_window.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/workbook_model.hpp"

namespace tbln {
namespace {

const std::string kBook = std::string(TBLN_FIXTURES) + "/gui_sheets.xlsx";

struct Shown {
    qt::QtUi ui;
    std::shared_ptr<excel::Application> app = workbook::CreateEmbeddedExcel(ui);
    qt::SheetWindow window{ui, [this] { return app; }};

    Shown() {
        app->Workbooks()->Open(kBook);
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
    ASSERT_EQ(s.window.Tabs()->count(), 2);
    QTest::mouseClick(s.window.Tabs(), Qt::LeftButton, {}, s.window.Tabs()->tabRect(1).center());
    EXPECT_EQ(s.app->ActiveSheet()->Name(), "Notes");
    // The engine's own activation moves the tab back.
    s.app->ActiveWorkbook()->Sheets()->Item("Plan")->Activate();
    s.window.Sync();
    EXPECT_EQ(s.window.Tabs()->currentIndex(), 0);
}

}  // namespace
}  // namespace tbln
