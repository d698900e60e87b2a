// Routines every spreadsheet dialog shares while it floats beside Excel: bringing
// Excel's window forward, dragging the dialog by its body with the focus handed back
// to Excel, and the guard that undoes a sheet switch made with Excel's own sheet tabs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/numeric.hpp"
#include "platform/excel.hpp"
#include "platform/ports.hpp"
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
void BringExcelForward(ui::WindowManager& ui, const std::shared_ptr<excel::Application>& xlApp);

// Mouse movement over a dialog's body: with the left button down (button 1) the mouse
// capture is released and the dialog is dragged by its body; then, when Excel is
// attached and the dialog hands the focus back on hover, Excel is brought forward.
void DialogMouseMove(ui::WindowManager& ui, ui::Form& form, int button,
                     const std::shared_ptr<excel::Application>& xlApp, bool excelFocusOnHover);

// The sheet-switch guard of the dialogs' timer: when the sheet box's text differs from
// the name of the active workbook's active sheet, tells the user, activates the sheet
// chosen in the dialog again and brings Excel forward. Returns true when it did so.
bool GuardSheetSwitch(ui::Ui& ui, const std::shared_ptr<excel::Application>& xlApp,
                      const std::shared_ptr<excel::Worksheet>& xlSheet,
                      const std::string& sheetBoxText);

// The sheet of `book` named `name`, or nullptr when no sheet has that name: a dialog
// whose sheet box names no sheet holds no sheet, rather than the one chosen before.
std::shared_ptr<excel::Worksheet> FindSheet(excel::Workbook& book, const std::string& name);

// Tells the user that the sheet box names no sheet of the workbook (a button that acts
// on the sheet then does nothing).
void ShowNoSuchSheet(ui::UserInterface& ui, const std::string& name);

// Routines the block and batch dialogs share beyond these: the sheet box with its
// guard timer, the error report of a handler, and the tabbed tag list.

// Runs a dialog handler; a run-time error that escapes it (a sheet or workbook closed
// behind the dialog's back, Excel gone) is reported with its description and the
// dialog stays open.
void RunHandler(ui::UserInterface& ui, const std::function<void()>& handler);

// The references a sheet dialog shares with the library's module state.
struct ExcelRefs {
    std::shared_ptr<excel::Application>& xlApp;
    std::shared_ptr<excel::Workbook>& xlBook;
    std::shared_ptr<excel::Worksheet>& xlSheet;
    std::string& sheetName;
};

// Base of the dialogs with a sheet box and a sheet-switch guard timer. The box's
// change selects the named sheet of Excel's active workbook; the timer (500 ms once
// the dialog enables it) keeps Excel's active sheet equal to the one in the box.
class SheetBoxDialog : public ui::Form {
  public:
    SheetBoxDialog(std::string name, Ports ports, ExcelRefs refs);

    ui::ComboBox cbSheetName{*this, "cbSheetName"};
    ui::Timer Timer1{*this, "Timer1"};

    // While true, mouse movement over the dialog brings Excel to the front.
    bool excelFocusOnHover = false;

    virtual void cbSheetName_Change();
    void Timer1_Timer();
    void Form_MouseMove(int button, int shift, Single x, Single y) override;

  protected:
    void BringExcelForward() { tbln::BringExcelForward(windows_, x_.xlApp); }
    // After a workbook was opened: the active workbook's active sheet goes into the
    // box (selecting it), xlSheet and sheetName follow, and every sheet name is listed.
    void FillSheetBox();
    // Puts the dialog into the top-most band or takes it out.
    void TopMost(bool topmost);
    // A control event's handler: the method run through RunHandler.
    template <class D>
    std::function<void()> Handler(D* self, void (D::*method)()) {
        return [this, self, method] { RunHandler(ui_, [&] { (self->*method)(); }); };
    }

    Ports ports_;
    // The parts of the user interface the sheet dialogs use: message boxes, modal
    // forms and choosers; the window calls (placement, top-most band, activation).
    ui::UserInterface& ui_;
    ui::WindowManager& windows_;
    ExcelRefs x_;
};

// A tag name as the tag list shows it: 18 or more characters become the first 9, "~"
// and the last 7.
std::string Truncate(const std::string& tagName);

// Empties the list, sets its three tab stops (980, 1260 and 1540 twips in pixels) and
// adds the lines.
void FillTabbedList(ui::Ui& ui, ui::ListBox& list, const std::vector<std::string>& lines);

}  // namespace tbln
