// Routines every spreadsheet dialog shares while it floats beside Excel: bringing
// Excel's window forward, dragging the dialog by its body with the focus handed back
// to Excel, and the guard that undoes a sheet switch made with Excel's own sheet tabs.
#pragma once

#include <memory>
#include <string>

#include "core/numeric.hpp"
#include "platform/excel.hpp"
#include "platform/ui.hpp"

namespace tbln {

// The window message and hit-test code that make the window manager drag a window as
// if its caption had been pressed.
inline constexpr Long WM_NCLBUTTONDOWN = 0xA1;
inline constexpr Long HTCAPTION = 2;

// The text shown when the user switched sheets with Excel's tabs while a dialog is open.
extern const char* const kSheetSwitchMessage;

// Activates the top-level window whose title is Excel's Caption. Does nothing when no
// Excel is attached, so a dialog may call it after any action.
void BringExcelForward(ui::Ui& ui, const std::shared_ptr<excel::Application>& xlApp);

// Mouse movement over a dialog's body: with the left button down (button 1) the mouse
// capture is released and the dialog is dragged by its body; then, when Excel is
// attached and the dialog hands the focus back on hover, Excel is brought forward.
void DialogMouseMove(ui::Ui& ui, ui::Form& form, int button,
                     const std::shared_ptr<excel::Application>& xlApp, bool excelFocusOnHover);

// The sheet-switch guard of the dialogs' timer: when the sheet box's text differs from
// the name of the active workbook's active sheet, tells the user, activates the sheet
// chosen in the dialog again and brings Excel forward. Returns true when it did so.
bool GuardSheetSwitch(ui::Ui& ui, const std::shared_ptr<excel::Application>& xlApp,
                      const std::shared_ptr<excel::Worksheet>& xlSheet,
                      const std::string& sheetBoxText);

}  // namespace tbln
