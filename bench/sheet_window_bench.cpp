// The sheet window on a large workbook: `sheet_window_bench WORKBOOK` prints the
// engine's load time, the time to open the window and draw it first, and the mean
// time to draw after scrolling one screen down (only the cells in view are drawn).
#include <QAbstractScrollArea>
#include <QApplication>
#include <QScrollBar>
#include <chrono>
#include <cstdio>

#include "adapters/qt/qt_ui.hpp"
#include "adapters/qt/sheet_window.hpp"
#include "adapters/workbook/embedded_excel.hpp"

namespace {
double Ms(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from)
        .count();
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: sheet_window_bench WORKBOOK\n");
        return 2;
    }
    using namespace tbln;
    qt::QtUi ui;
    auto excel = workbook::CreateEmbeddedExcel(ui);
    auto start = std::chrono::steady_clock::now();
    excel->Workbooks()->Open(argv[1]);
    const double load = Ms(start);

    start = std::chrono::steady_clock::now();
    qt::SheetWindow window(ui, [&] { return excel; });
    window.resize(1280, 800);
    window.show();
    window.grab();  // the first complete drawing
    const double open = Ms(start);

    auto* area = window.findChild<QAbstractScrollArea*>("grid");
    constexpr int kScreens = 50;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kScreens; ++i) {
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() +
                                            area->viewport()->height());
        area->viewport()->grab();
    }
    const double scroll = Ms(start) / kScreens;
    std::printf(
        "engine load %.0f ms\nwindow open and first drawing %.0f ms (%.2fx the load)\n"
        "one screen scrolled and drawn %.1f ms (mean of %d)\n",
        load, open, open / load, scroll, kScreens);
    return 0;
}
