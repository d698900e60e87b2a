#include "batch/multi_dgns_form.hpp"

#include <algorithm>

#include "common/utilities.hpp"
#include "controls/common_dialog.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln {

namespace {
constexpr const char* kStartCellInvalid = "Start cell's row or col entries are invalid";
}  // namespace

std::vector<std::string> FormatMultiReturn(const std::string& result) {
    std::vector<std::string> pieces;
    if (result.empty()) return pieces;
    std::size_t start = 0;
    while (true) {
        const auto nul = result.find('\0', start);
        if (nul == std::string::npos) break;  // text after the last NUL is not a piece
        if (nul == start) break;              // an empty piece ends the cutting
        pieces.push_back(result.substr(start, nul - start));
        start = nul + 1;
    }
    if (pieces.size() >= 2) pieces.erase(pieces.begin());
    return pieces;
}

MultiDGNsForm::MultiDGNsForm(Module& m) : BatchDialog("MultiDGNsForm", m) {
    // Layout: the frame of the drawing list with its buttons at the right, the
    // destination frame under it (file, sheet, the start cell under its Column and Row
    // heads), Export and Cancel bottom right.
    Width = 7095;
    Height = 6225;
    lbTitle.Move(120, 120, 6735, 375);
    Frame2.Move(120, 540, 6735, 2640);
    lbDGNNames.Move(240, 840, 5160, 2160);
    btnAdd.Move(5520, 840, 1215, 375);
    btnRemove.Move(5520, 1320, 1215, 375);
    btnRemoveAll.Move(5520, 1800, 1215, 375);
    Frame1.Move(120, 3240, 6735, 1860);
    Label1.Move(240, 3600, 600, 255);
    tbExcelPath.Move(840, 3570, 4560, 315);
    btnBrowseExcel.Move(5520, 3555, 1215, 345);
    Label2.Move(240, 4020, 600, 255);
    cbSheetName.Move(840, 3990, 4560, 315);
    Label3.Move(2400, 4380, 840, 255);
    Label4.Move(3360, 4380, 840, 255);
    Label5.Move(240, 4695, 2100, 255);
    tbCol1.Move(2400, 4665, 840, 315);
    tbRow1.Move(3360, 4665, 840, 315);
    btnUpdate1.Move(4320, 4650, 1095, 345);
    btnExport.Move(4320, 5220, 1215, 375);
    btnCancel.Move(5640, 5220, 1215, 375);
    Caption = " Export Drawing Names to Excel";
    lbTitle.SetCaption(" Export Drawing Names to Excel");
    Frame2.SetCaption("Selected Drawing Names");
    Label1.SetCaption("File : ");
    Label2.SetCaption("Sheet:");
    Label3.SetCaption("Column");
    Label4.SetCaption("Row");
    Label5.SetCaption("Start Cell");
    btnAdd.SetCaption("Add");
    btnRemove.SetCaption("Remove");
    btnRemoveAll.SetCaption("Remove All");
    Frame1.SetCaption("Export to Excel Destination");
    btnUpdate1.SetCaption("Update");
    btnExport.SetCaption("Export");
    btnCancel.SetCaption("Cancel");
    btnCancel.SetCancel(true);
    btnAdd.Click = Handler(this, &MultiDGNsForm::btnAdd_Click);
    btnRemove.Click = Handler(this, &MultiDGNsForm::btnRemove_Click);
    btnRemoveAll.Click = Handler(this, &MultiDGNsForm::btnRemoveAll_Click);
    btnUpdate1.Click = Handler(this, &MultiDGNsForm::btnUpdate1_Click);
    btnExport.Click = Handler(this, &MultiDGNsForm::btnExport_Click);
    btnCancel.Click = Handler(this, &MultiDGNsForm::btnCancel_Click);
}

void MultiDGNsForm::Form_Load() {
    Timer1.SetEnabled(true);
    Timer1.SetInterval(500);
    CenterForm(windows_, *this);
    excelFocusOnHover = true;
    TopMost(true);
    lbDGNNames.Clear();
    cbSheetName.Clear();
    saveError_.clear();
    DisableCloseButton(windows_, windows_.FindWindow("", Caption));
}

void MultiDGNsForm::btnAdd_Click() {
    CommonDialog chooser(ui_, windows_, ports_.sys);
    chooser.SetMultiSelect(true);
    chooser.SetFileMustExist(true);
    chooser.SetFilter(DrawingFilter());
    LeaveTopMost();
    ErrorTrap trap;  // a failure while appending ends the appending
    trap.Run([&] {
        for (auto& name : FormatMultiReturn(chooser.ShowOpen())) lbDGNNames.AddItem(name);
    });
    ReturnTopMost();
}

void MultiDGNsForm::btnRemove_Click() {
    bool removed = false;
    for (int i = lbDGNNames.ListCount() - 1; i >= 0; --i) {
        if (lbDGNNames.ListIndex() == i) {
            lbDGNNames.RemoveItem(i);
            removed = true;
        }
    }
    if (!removed) ui_.MsgBox("No removed item is selected", ui::vbCritical, "Error");
}

void MultiDGNsForm::btnRemoveAll_Click() {
    for (int i = lbDGNNames.ListCount() - 1; i >= 0; --i) lbDGNNames.RemoveItem(i);
}

void MultiDGNsForm::btnUpdate1_Click() {
    if (!m_.xlSheet) return;
    auto cell = m_.xlSheet->Application()->ActiveCell();
    tbCol1.SetText(ColumnLetters(CheckedInteger(cell->Column())));
    tbRow1.SetText(std::to_string(cell->Row()));
}

bool MultiDGNsForm::SaveActiveWorkbook() {
    if (!m_.xlApp) return true;
    try {
        if (auto book = m_.xlApp->ActiveWorkbook()) book->Save();
        saveError_.clear();
        return true;
    } catch (const RuntimeError& e) {
        if (e.Description() != saveError_) {
            ui_.MsgBox("The Excel file could not be saved: " + e.Description() + "     ",
                       ui::vbInformation, "Error");
        }
        saveError_ = e.Description();
        return false;
    }
}

void MultiDGNsForm::Close() {
    if (m_.xlSheet) {
        ErrorTrap trap;
        trap.Run([&] { m_.xlSheet->Application()->SetScreenUpdating(true); });
    }
    m_.ReleaseExcel();
    Unload();
}

void MultiDGNsForm::btnExport_Click() {
    const auto fail = [&] {
        ui_.MsgBox(kStartCellInvalid, ui::vbInformation, "Error");
        if (excelFocusOnHover) BringExcelForward();
    };
    Integer col = 0, row = 0;
    const Long count = lbDGNNames.ListCount();
    try {
        std::string letters = tbCol1.Text();
        col = ColumnNumber(ui_, letters);
        row = ToInteger(tbRow1.Text());
        // Every name must have a cell inside the 16-bit rows before any is written, so a
        // failed export leaves the sheet as it was.
        if (col < 1 || row < 1 || row + count - 1 > 32767) Raise(err::kOverflow);
    } catch (const RuntimeError&) {
        fail();
        return;
    }
    if (m_.xlSheet) {
        try {
            std::size_t longest = 0;
            bool any = false;
            for (Long i = 0; i < count; ++i) {
                const std::string& name = lbDGNNames.List(static_cast<int>(i));
                longest = std::max(longest, Utf16Length(name));
                any = true;
                m_.xlSheet->Cells(row + i, col)->SetValue(name);
            }
            const double wanted = any ? static_cast<double>(longest) + 3 : 2;
            auto column = m_.xlSheet->Columns(col);
            if (column->ColumnWidth() < wanted) column->SetColumnWidth(wanted);
        } catch (const RuntimeError&) {
            fail();
            return;
        }
    }
    if (!SaveActiveWorkbook()) {
        if (excelFocusOnHover) BringExcelForward();
        return;
    }
    Close();
}

void MultiDGNsForm::btnCancel_Click() {
    SaveActiveWorkbook();
    Close();
}

}  // namespace tbln
