#include "common/sheet_dialog.hpp"

namespace tbln {

const char* const kSheetSwitchMessage =
    "Please do NOT switch Excel sheet using Excel tab     \r\n\r\n"
    "Use Sheet drop down box in dialog box instead     ";

void BringExcelForward(ui::Ui& ui, const std::shared_ptr<excel::Application>& xlApp) {
    if (!xlApp) return;
    ui.AppActivate(xlApp->Caption());
}

void DialogMouseMove(ui::Ui& ui, ui::Form& form, int button,
                     const std::shared_ptr<excel::Application>& xlApp, bool excelFocusOnHover) {
    if (button == 1) {
        ui.ReleaseCapture();
        ui.SendMessage(form.hWnd, WM_NCLBUTTONDOWN, HTCAPTION, {0});
    }
    if (xlApp && excelFocusOnHover) BringExcelForward(ui, xlApp);
}

bool GuardSheetSwitch(ui::Ui& ui, const std::shared_ptr<excel::Application>& xlApp,
                      const std::shared_ptr<excel::Worksheet>& xlSheet,
                      const std::string& sheetBoxText) {
    if (!xlApp || !xlSheet) return false;
    auto book = xlApp->ActiveWorkbook();
    if (!book) return false;
    if (sheetBoxText == book->ActiveSheet()->Name()) return false;
    ui.MsgBox(kSheetSwitchMessage, ui::vbInformation, "Error");
    xlSheet->Activate();
    BringExcelForward(ui, xlApp);
    return true;
}

}  // namespace tbln
