#include "common/sheet_dialog.hpp"

#include "common/utilities.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln {

const char* const kSheetSwitchMessage =
    "Please do NOT switch Excel sheet using Excel tab     \r\n\r\n"
    "Use Sheet drop down box in dialog box instead     ";

void BringExcelForward(ui::WindowManager& ui, const std::shared_ptr<excel::Application>& xlApp) {
    if (!xlApp) return;
    ui.AppActivate(xlApp->Caption());
}

void DialogMouseMove(ui::WindowManager& ui, ui::Form& form, int button,
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

std::shared_ptr<excel::Worksheet> FindSheet(excel::Workbook& book, const std::string& name) {
    if (name.empty()) return nullptr;
    try {
        return book.Sheets(name);
    } catch (const RuntimeError&) {
        return nullptr;
    }
}

void ShowNoSuchSheet(ui::UserInterface& ui, const std::string& name) {
    ui.MsgBox("The workbook has no sheet named \"" + name + "\"     ", ui::vbInformation, "Error");
}

void RunHandler(ui::UserInterface& ui, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RuntimeError& e) {
        ui.MsgBox("Excel reported an error: " + e.Description() + "     ", ui::vbInformation,
                  "Error");
    }
}

SheetBoxDialog::SheetBoxDialog(std::string name, Ports ports, ExcelRefs refs)
    : ui::Form(std::move(name)), ports_(ports), ui_(ports.ui), windows_(ports.ui), x_(refs) {
    cbSheetName.Change = [this] { RunHandler(ui_, [this] { cbSheetName_Change(); }); };
    Timer1.Tick = [this] { RunHandler(ui_, [this] { Timer1_Timer(); }); };
}

void SheetBoxDialog::cbSheetName_Change() {
    const std::string name = cbSheetName.Text();
    if (name.empty()) return;
    x_.xlSheet.reset();
    if (!x_.xlApp) Raise(err::kObjectNotSet);
    auto book = x_.xlApp->ActiveWorkbook();
    if (!book) Raise(err::kObjectNotSet);
    auto sheet = FindSheet(*book, name);
    if (!sheet) {
        ShowNoSuchSheet(ui_, name);
        return;
    }
    sheet->Select();
    x_.xlSheet = sheet;
    x_.sheetName = name;
    BringExcelForward();
}

void SheetBoxDialog::Timer1_Timer() {
    if (!x_.xlSheet) return;
    if (cbSheetName.Text() != x_.sheetName) cbSheetName_Change();
    GuardSheetSwitch(ports_.ui, x_.xlApp, x_.xlSheet, cbSheetName.Text());
}

void SheetBoxDialog::Form_MouseMove(int button, int /*shift*/, Single /*x*/, Single /*y*/) {
    DialogMouseMove(windows_, *this, button, x_.xlApp, excelFocusOnHover);
}

void SheetBoxDialog::FillSheetBox() {
    auto book = x_.xlApp->ActiveWorkbook();
    cbSheetName.SetText(book->ActiveSheet()->Name());
    book = x_.xlApp->ActiveWorkbook();
    x_.xlSheet = book->Sheets(cbSheetName.Text());
    x_.sheetName = book->ActiveSheet()->Name();
    auto sheets = book->Sheets();
    const Long count = sheets->Count();
    for (Long i = 1; i <= count; ++i) cbSheetName.AddItem(sheets->Item(i)->Name());
}

void SheetBoxDialog::TopMost(bool topmost) {
    SetWindowTopMost(windows_, hWnd, ToBoolean(topmost));
}

std::string Truncate(const std::string& tagName) {
    const std::size_t count = CharCount(tagName);
    if (count < 18) return tagName;
    const std::string_view name(tagName);
    return std::string(CharLeft(name, 9)) + "~" +
           std::string(name.substr(CharLeft(name, count - 7).size()));
}

void FillTabbedList(ui::Ui& ui, ui::ListBox& list, const std::vector<std::string>& lines) {
    const double twipsPerPixel = ui.TwipsPerPixelX();
    const std::vector<Long> stops{ToLong(980 / twipsPerPixel), ToLong(1260 / twipsPerPixel),
                                  ToLong(1540 / twipsPerPixel)};
    list.Clear();
    ui.SendMessage(list.hWnd, ui::LB_SETTABSTOPS, static_cast<Long>(stops.size()), stops);
    for (const auto& line : lines) list.AddItem(line);
}

}  // namespace tbln
