// The sheet window on Qt: the embedded spreadsheet engine's active workbook as the
// spreadsheet application shows it, beside the dialogs. Its caption is the engine's
// Caption, so the dialogs find and activate it by title. What shows where, and what a
// click, drag or arrow key does, is the sheet scene's (adapters/workbook/sheet_scene);
// this window paints the scene's cells, selection, shapes, pictures and headers with
// QPainter and hands it the mouse, the keys and the sheet tabs.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "adapters/workbook/sheet_scene.hpp"

class QTabBar;
class QTimer;

namespace tbln::qt {

class QtUi;
class SheetView;

class SheetWindow : public QWidget {
  public:
    // `app` finds the engine's application (null while none runs); the window shows
    // itself the first time the engine has a workbook open.
    using AppSource = workbook::AppSource;
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
};

}  // namespace tbln::qt
