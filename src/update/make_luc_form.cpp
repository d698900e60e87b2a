#include "update/make_luc_form.hpp"

#include "common/sheet_dialog.hpp"
#include "common/utilities.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln {

namespace {

constexpr const char* kInstruction =
    "Please point your mouse to the Excel cell intended to be last used cell and click on Reset "
    "button to continue";
constexpr const char* kWarning =
    "Current Excel file will be overwritten with modified last used cell. All contents beyond     "
    "\r\rnew last used cell will be deleted. Please backup this Excel file if it is necessary     ";

}  // namespace

SheetLimits LimitsOfWorkbook(const std::string& fileName) {
    const std::string_view name(fileName);
    if (name.size() >= 4 && EqualIgnoringCase(name.substr(name.size() - 4), ".xls")) {
        return SheetLimits{65536, 256};
    }
    return SheetLimits{1048576, 16384};
}

MakeLUCForm::MakeLUCForm(Module& m) : ui::Form("MakeLUCForm"), m_(m) {
    // Layout: the file row and the sheet box under it, the instruction, then Reset and
    // Cancel bottom right.
    Width = 7095;
    Height = 3315;
    lbTitle.Move(120, 120, 6735, 375);
    Label3.Move(120, 600, 900, 255);
    tbPath.Move(1080, 570, 4440, 315);
    btnBrowse.Move(5640, 555, 1215, 345);
    cbSheetName.Move(1080, 990, 4440, 315);
    Label11.Move(120, 1470, 6735, 615);
    btnOK.Move(4320, 2310, 1215, 375);
    btnCancel.Move(5640, 2310, 1215, 375);
    Caption = "Reset Last Used Cell";
    lbTitle.SetCaption("Reset Last Used Cell");
    Label3.SetCaption("File : ");
    btnBrowse.SetCaption("Browse");
    Label11.SetCaption(kInstruction);
    btnOK.SetCaption("Reset");
    btnCancel.SetCaption("Cancel");
    btnCancel.SetCancel(true);
    btnBrowse.Click = Handler(&MakeLUCForm::btnBrowse_Click);
    cbSheetName.Change = Handler(&MakeLUCForm::cbSheetName_Change);
    btnOK.Click = Handler(&MakeLUCForm::btnOK_Click);
    btnCancel.Click = Handler(&MakeLUCForm::btnCancel_Click);
}

std::function<void()> MakeLUCForm::Handler(void (MakeLUCForm::*method)()) {
    return [this, method] { RunHandler(m_.ports.ui, [&] { (this->*method)(); }); };
}

void MakeLUCForm::BringExcelForward() {
    tbln::BringExcelForward(m_.ports.ui, m_.xlApp);
}

void MakeLUCForm::Form_Load() {
    m_.ReleaseExcel();
    CenterForm(m_.ports.ui, *this);
    excelFocusOnHover = true;
}

void MakeLUCForm::btnBrowse_Click() {
    auto& ui = m_.ports.ui;
    SetWindowTopMost(ui, hWnd, False);
    excelFocusOnHover = false;
    ErrorTrap trap;
    trap.Run([&] {
        m_.xlApp = AttachExcel(ui, m_.ports.objects);
        if (!m_.xlApp) return;
        auto& app = *m_.xlApp;
        app.SetVisible(true);
        BringExcelForward();
        MaximizeWindow(ui, app.Caption());
        m_.fileName = app.GetOpenFilename("Excel Files (*.xls), *.xls");
        if (m_.fileName != "False" &&
            OpenExcelFile(m_.ports, m_.fileName, true, m_.xlApp, m_.xlBook)) {
            auto book = m_.xlApp->ActiveWorkbook();
            m_.sheetName = book->ActiveSheet()->Name();
            cbSheetName.Clear();
            auto sheets = book->Sheets();
            for (Long i = 1; i <= sheets->Count(); ++i)
                cbSheetName.AddItem(sheets->Item(i)->Name());
            cbSheetName.SetText(m_.sheetName);
            tbPath.SetText(m_.fileName);
            ui.DoEvents();
            BringExcelForward();
            MaximizeWindow(ui, m_.xlApp->Caption());
        }
    });
    SetWindowTopMost(ui, hWnd, True);
    excelFocusOnHover = true;
}

void MakeLUCForm::cbSheetName_Change() {
    if (!m_.xlBook) return;
    // A name that names no sheet leaves no sheet chosen: Reset must never act on the
    // sheet chosen before.
    m_.xlSheet = FindSheet(*m_.xlBook, cbSheetName.Text());
    if (!m_.xlSheet) return;
    m_.xlSheet->Activate();
    m_.sheetName = cbSheetName.Text();
    BringExcelForward();
}

void MakeLUCForm::btnOK_Click() {
    ui::UserInterface& ui = m_.ports.ui;
    if (!m_.xlApp || !m_.xlBook || CharCount(tbPath.Text()) < 6) {
        ui.MsgBox("Please select an Excel file for processing", ui::vbInformation, "Error");
        return;
    }
    if (!m_.xlSheet) {
        ShowNoSuchSheet(ui, cbSheetName.Text());
        return;
    }
    if (ui.MsgBox(kWarning, ui::vbOKCancel | ui::vbInformation, "Warning") != ui::vbOK) return;
    auto app = m_.xlSheet->Application();
    auto cell = app->ActiveCell();
    const Long r = AddLong(cell->Row(), 1);
    const Long c = AddLong(cell->Column(), 1);
    // Rows and columns are deleted up to the last ones of the workbook's format; an
    // active cell on the last row or column leaves nothing to delete on that side.
    const SheetLimits limits = LimitsOfWorkbook(m_.xlBook ? m_.xlBook->FullName() : m_.fileName);
    if (r <= limits.rows) {
        app->Range(std::to_string(r) + ":" + std::to_string(limits.rows))->Delete();
    }
    if (c <= limits.cols) {
        app->Range(app->Cells(1, c), app->Cells(limits.rows, limits.cols))->Delete();
    }
    if (m_.xlBook) {
        try {
            m_.xlBook->Save();
        } catch (const RuntimeError& e) {
            // The workbook on disk is left as it was; the dialog stays open.
            ui.MsgBox("The Excel file could not be saved: " + e.Description() + "     ",
                      ui::vbInformation, "Error");
            return;
        }
    }
    ui.MsgBox("The last used cell has been reset to Row " + std::to_string(r - 1) + ", Col " +
                  ColumnLetters(CheckedInteger(c - 1)) + "     ",
              ui::vbInformation, "Reset Excel Sheet Last Used Cell");
    m_.ReleaseExcel();
    Unload();
}

void MakeLUCForm::btnCancel_Click() {
    m_.dialogCancelled = true;
    Unload();
}

void MakeLUCForm::Form_MouseMove(int button, int /*shift*/, Single /*x*/, Single /*y*/) {
    DialogMouseMove(m_.ports.ui, *this, button, m_.xlApp, excelFocusOnHover);
}

}  // namespace tbln
