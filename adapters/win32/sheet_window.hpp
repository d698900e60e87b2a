// The sheet window on Windows: the embedded spreadsheet engine's active workbook as the
// spreadsheet application shows it, beside the dialogs, as a top-level Win32 window
// whose caption is the engine's Caption (the dialogs find and activate it by title).
// What shows where, and what a click, drag or arrow key does, is the sheet scene's
// (adapters/workbook/sheet_scene); this window paints the scene with GDI into a memory
// bitmap (fonts by family, size, weight and slant, pens for the border styles, pattern
// brushes, pictures decoded by the system's imaging codecs), scrolls with its scroll
// bars and the wheel, and shows the visible sheets in a tab strip along its foot.
#pragma once

#include <memory>

#include "adapters/workbook/sheet_scene.hpp"

struct HWND__;
struct HDC__;

namespace tbln::win32 {

class SheetWindow {
  public:
    // The height of the tab strip under the grid, in pixels.
    static constexpr int kTabStripHeight = 24;
    // The window's class name.
    static constexpr const wchar_t* kClassName = L"tblnSheetWindow";

    // `app` finds the engine's application (null while none runs). The window is made
    // hidden and shows itself the first time the engine has a workbook open; a timer
    // keeps it following the engine while messages are dispatched (a dialog's modal
    // loop, "let pending events run").
    explicit SheetWindow(workbook::AppSource app);
    ~SheetWindow();
    SheetWindow(const SheetWindow&) = delete;
    SheetWindow& operator=(const SheetWindow&) = delete;

    // Follows the engine: caption, sheet tabs, the active sheet, scrolling, the drawing.
    void Sync();
    // Whether the window follows the engine. Off, it is hidden and stays so; on again, it
    // shows itself as soon as the engine has a workbook open (the library's dialogs turn
    // it on for the length of one entry point's call, while messages are dispatched).
    void Follow(bool on);
    HWND__* Handle() const;
    // Paints the grid and the tab strip as they show now into a device context the
    // size of the window's client area.
    void PaintTo(HDC__* dc);

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tbln::win32
