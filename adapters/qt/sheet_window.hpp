// The sheet window: the embedded spreadsheet engine's active workbook as the
// spreadsheet application shows it, beside the dialogs. Its caption is the engine's
// Caption, so the dialogs find and activate it by title. The grid draws the cells in
// view only (column widths and row heights with hidden ones hidden, merged areas,
// displayed texts in their fonts and alignment, fills with their patterns, borders),
// and the sheet's shapes and pictures over the cells at their anchors; clicking and
// dragging selects cells in the engine, and the sheet tabs activate sheets, so the
// dialogs' Update buttons and sheet-switch guards see what the user did.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <tuple>

#include "platform/excel.hpp"
#include "platform/objects.hpp"

class QTabBar;
class QTimer;

namespace tbln::qt {

class QtUi;
class SheetView;

class SheetWindow : public QWidget {
  public:
    // `app` finds the engine's application (null while none runs); the window shows
    // itself the first time the engine has a workbook open.
    using AppSource = std::function<std::shared_ptr<excel::Application>()>;
    SheetWindow(QtUi& ui, AppSource app, QWidget* parent = nullptr);
    ~SheetWindow() override;

    // Follows the engine: caption, sheet tabs, the active sheet and the drawing.
    void Sync();
    // Whether the window follows the engine. Off, it is hidden and stays so; on again, it
    // shows itself as soon as the engine has a workbook open (the library's dialogs turn
    // it on for the length of one entry point's call).
    void Follow(bool on);
    // The rectangle of a cell of the shown sheet in the window's coordinates (empty
    // when the cell is out of view).
    QRect CellRect(Long row, Long column) const;
    // The sheet tab bar and the grid, for tests that click on them.
    QTabBar* Tabs() const { return tabs_; }
    QWidget* Grid() const;

  private:
    AppSource app_;
    bool shownOnce_ = false;
    bool following_ = true;
    SheetView* view_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QTimer* timer_ = nullptr;
    std::tuple<const void*, long, long> lastActive_{};
};

// The spreadsheet application running in `objects`, found each time it is asked for
// (null while none runs): what a sheet window beside the dialogs follows.
SheetWindow::AppSource RunningSpreadsheet(ObjectServer& objects);

}  // namespace tbln::qt
