// Routines shared by the spreadsheet dialogs that float beside Excel: bringing Excel
// to the front, dragging a dialog by its body with the focus handed back to Excel,
// the sheet box with its sheet-switch guard timer, and the tabbed tag list.
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

// Activates the top-level window whose title is the Caption of Excel's Application,
// when xlApp is set. A window that cannot be activated is left as it is.
void BringExcelForward(ui::Ui& ui, const std::shared_ptr<excel::Application>& xlApp);

// Mouse movement over a dialog's body: with the left button down the dialog is dragged
// (the capture released and a caption press sent to the dialog); then Excel is
// brought to the front when xlApp is set and focusOnHover is true.
void DragAndHandBack(ui::Ui& ui, ui::Form& form, int button,
                     const std::shared_ptr<excel::Application>& xlApp, bool focusOnHover);

// The message shown when the user switched Excel's sheet with its own sheet tabs.
extern const char* const kSheetSwitchMessage;

// Runs a dialog handler; a run-time error that escapes it (a sheet or workbook closed
// behind the dialog's back, Excel gone) is reported with its description and the
// dialog stays open.
void RunHandler(ui::Ui& ui, const std::function<void()>& handler);

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
    void BringExcelForward() { tbln::BringExcelForward(ui_, x_.xlApp); }
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
    ui::Ui& ui_;
    ExcelRefs x_;
};

// A tag name as the tag list shows it: 18 or more characters become the first 9, "~"
// and the last 7.
std::string Truncate(const std::string& tagName);

// Empties the list, sets its three tab stops (980, 1260 and 1540 twips in pixels) and
// adds the lines.
void FillTabbedList(ui::Ui& ui, ui::ListBox& list, const std::vector<std::string>& lines);

}  // namespace tbln
