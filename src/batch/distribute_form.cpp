#include "batch/distribute_form.hpp"

#include <algorithm>
#include <cctype>

#include "common/utilities.hpp"
#include "controls/common_dialog.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"
#include "platform/shell.hpp"

namespace tbln {

namespace {

constexpr const char* kInvalidCells = "The cell range entries are invalid or incomplete";
constexpr const char* kOutputTitle = "Select a folder to output drawing files";

// The values from `first` towards `last` by `step` (first included; last included when
// the step reaches it); nothing for a step of 0.
std::vector<Integer> Walk(Integer first, Integer last, Integer step) {
    std::vector<Integer> values;
    if (step == 0) return values;
    for (int v = first; step > 0 ? v <= last : v >= last; v += step) {
        values.push_back(static_cast<Integer>(v));
    }
    return values;
}

}  // namespace

NameRange getRange(ui::UserInterface& ui, std::string col1, const std::string& row1Text,
                   std::string col2, const std::string& row2Text, std::string coln,
                   const std::string& rownText) {
    NameRange out;
    try {
        const Integer c1 = ColumnNumber(ui, col1);
        const Integer c2 = ColumnNumber(ui, col2);
        const Integer cn = ColumnNumber(ui, coln);
        const Integer r1 = ToInteger(row1Text);
        const Integer r2 = ToInteger(row2Text);
        const Integer rn = ToInteger(rownText);
        const bool sameCol = c1 == c2 && c2 == cn;
        const bool sameRow = r1 == r2 && r2 == rn;
        if (!sameCol && !sameRow) {
            out.message = "The 1st, 2nd and last cell must be in same row or column";
            return out;
        }
        const auto join = [&](const std::string& ref) {
            if (!out.reference.empty()) out.reference += " ,";
            out.reference += ref;
        };
        if (!sameCol) {
            const Integer step = SubInteger(c2, c1);
            if (step == 0) Raise(err::kInvalidCall);  // division by zero
            if (SubInteger(cn, c1) % step != 0) {
                out.message = "Using step = (2nd-1st) cell cannot reach last cell";
                return out;
            }
            for (Integer c : Walk(c1, cn, step)) join(ColumnLetters(c) + std::to_string(r1));
        } else {
            const Integer step = SubInteger(r2, r1);
            if (step == 0) Raise(err::kInvalidCall);
            if (SubInteger(rn, r1) % step != 0) {
                out.message = "Using step =(2nd-1st) cell cannot reach last cell";
                return out;
            }
            const std::string letters = ColumnLetters(c1);
            for (Integer r : Walk(r1, rn, step)) join(letters + std::to_string(r));
        }
        out.ok = true;
    } catch (const RuntimeError&) {
        out = NameRange{false, {}, kInvalidCells};
    }
    return out;
}

DistributeForm::DistributeForm(Module& m) : BatchDialog("DistributeForm", m) {
    // Layout: the workbook frame (file, sheet, the three name cells under their Column
    // and Row heads, each with its Update button), the drawing frame (template and
    // output folder), Start and Cancel bottom right.
    Width = 7095;
    Height = 5565;
    lbTitle.Move(120, 120, 6735, 375);
    Frame1.Move(120, 540, 6735, 2700);
    Label1.Move(240, 900, 600, 255);
    tbExcelPath.Move(840, 870, 4560, 315);
    btnBrowseExcel.Move(5520, 855, 1215, 345);
    Label2.Move(240, 1320, 600, 255);
    cbSheetName.Move(840, 1290, 4560, 315);
    Label3.Move(2400, 1680, 840, 255);
    Label4.Move(3360, 1680, 840, 255);
    Label5.Move(240, 1995, 2100, 255);
    tbCol1.Move(2400, 1965, 840, 315);
    tbRow1.Move(3360, 1965, 840, 315);
    btnUpdate1.Move(4320, 1950, 1095, 345);
    Label6.Move(240, 2385, 2100, 255);
    tbCol2.Move(2400, 2355, 840, 315);
    tbRow2.Move(3360, 2355, 840, 315);
    btnUpdate2.Move(4320, 2340, 1095, 345);
    Label7.Move(240, 2775, 2100, 255);
    tbColn.Move(2400, 2745, 840, 315);
    tbRown.Move(3360, 2745, 840, 315);
    btnUpdaten.Move(4320, 2730, 1095, 345);
    btnView.Move(5520, 2730, 1215, 345);
    Frame2.Move(120, 3300, 6735, 1140);
    Label8.Move(240, 3660, 1500, 255);
    tbDGNPath.Move(1800, 3630, 3600, 315);
    btnBrowseDGN.Move(5520, 3615, 1215, 345);
    Label9.Move(240, 4050, 1500, 255);
    tbOutputPath.Move(1800, 4020, 3600, 315);
    btnBrowseOutput.Move(5520, 4005, 1215, 345);
    btnPopulate.Move(4320, 4560, 1215, 375);
    btnCancel.Move(5640, 4560, 1215, 375);
    Caption = "Populate Excel Data";
    lbTitle.SetCaption("Populate Excel Data");
    Frame1.SetCaption("Excel Data");
    Label1.SetCaption("File : ");
    Label2.SetCaption("Sheet:");
    Label3.SetCaption("Column");
    Label4.SetCaption("Row");
    Label5.SetCaption("First Drawing Name");
    Label6.SetCaption("Second  Drawing Name");
    Label7.SetCaption("Last Drawing Name");
    Frame2.SetCaption("Drawing Data");
    Label8.SetCaption("Template Drawing");
    Label9.SetCaption("Output Directory");
    for (auto* b : {&btnUpdate1, &btnUpdate2, &btnUpdaten}) b->SetCaption("Update");
    btnBrowseDGN.SetCaption("Browse");
    btnBrowseOutput.SetCaption("Browse");
    btnView.SetCaption("View Selction");
    btnCancel.SetCaption("Cancel");
    btnCancel.SetCancel(true);
    btnPopulate.SetCaption("Start");
    btnBrowseDGN.Click = Handler(this, &DistributeForm::btnBrowseDGN_Click);
    btnBrowseOutput.Click = Handler(this, &DistributeForm::btnBrowseOutput_Click);
    btnUpdate1.Click = Handler(this, &DistributeForm::btnUpdate1_Click);
    btnUpdate2.Click = Handler(this, &DistributeForm::btnUpdate2_Click);
    btnUpdaten.Click = Handler(this, &DistributeForm::btnUpdaten_Click);
    btnView.Click = Handler(this, &DistributeForm::btnView_Click);
    btnPopulate.Click = Handler(this, &DistributeForm::btnPopulate_Click);
    btnCancel.Click = Handler(this, &DistributeForm::btnCancel_Click);
}

void DistributeForm::Tell(const std::string& text) {
    ui_.MsgBox(text, ui::vbInformation, "Error");
    BringExcelForward();
}

void DistributeForm::Form_Load() {
    m_.ReleaseExcel();
    Timer1.SetEnabled(true);
    Timer1.SetInterval(500);
    CenterForm(windows_, *this);
    excelFocusOnHover = true;
}

void DistributeForm::btnBrowseDGN_Click() {
    CommonDialog chooser(ui_, windows_, ports_.sys);
    chooser.SetMultiSelect(false);
    chooser.SetTitle("Open a DGN file");
    chooser.SetFilter(DrawingFilter());
    LeaveTopMost();
    tbDGNPath.SetText(chooser.ShowOpen());
    ReturnTopMost();
    BringExcelForward();
}

void DistributeForm::btnBrowseOutput_Click() {
    auto shell = As<shell::Shell>(ports_.objects.CreateObject("Shell.Application"));
    LeaveTopMost();
    const ui::Hwnd owner = windows_.FindWindow("", kOutputTitle);
    const Long options =
        shell::BIF_RETURNONLYFSDIRS | shell::BIF_EDITBOX | shell::BIF_NEWDIALOGSTYLE;
    ErrorTrap trap;
    trap.Run([&] {
        if (auto folder = shell->BrowseForFolder(owner, kOutputTitle, options, 0)) {
            tbOutputPath.SetText(folder->Items()->Item()->Path());
        }
    });
    ReturnTopMost();
    shell.reset();
    BringExcelForward();
}

void DistributeForm::TakeCell(ui::TextBox& col, ui::TextBox& row) {
    if (!m_.xlSheet) {
        ui_.MsgBox("Please select an Excel file for update", ui::vbInformation, "Error");
        return;
    }
    auto cell = m_.xlSheet->Application()->ActiveCell();
    col.SetText(ColumnLetters(CheckedInteger(cell->Column())));
    row.SetText(std::to_string(cell->Row()));
    BringExcelForward();
}

bool DistributeForm::CheckAndSelectRange() {
    const NameRange range = getRange(ui_, tbCol1.Text(), tbRow1.Text(), tbCol2.Text(),
                                     tbRow2.Text(), tbColn.Text(), tbRown.Text());
    if (!range.ok) {
        Tell(range.message);
        return false;
    }
    if (!m_.xlSheet) return true;
    try {
        m_.xlSheet->Range(range.reference)->Select();
    } catch (const RuntimeError&) {
        Tell(kInvalidCells);
        return false;
    }
    return true;
}

void DistributeForm::btnView_Click() {
    CheckAndSelectRange();
    BringExcelForward();
}

void DistributeForm::btnPopulate_Click() {
    if (!CheckAndSelectRange()) return;
    // getRange has converted these texts already.
    std::string c1 = tbCol1.Text(), c2 = tbCol2.Text(), cn = tbColn.Text();
    m_.row1 = ToInteger(tbRow1.Text());
    m_.row2 = ToInteger(tbRow2.Text());
    m_.rown = ToInteger(tbRown.Text());
    m_.col1 = ColumnNumber(ui_, c1);
    m_.col2 = ColumnNumber(ui_, c2);
    m_.coln = ColumnNumber(ui_, cn);
    if (CharCount(tbOutputPath.Text()) < 3) {
        Tell("The output directory path is invalid");
        return;
    }
    const auto templateName = LastPathPiece(tbDGNPath.Text());
    if (!templateName || CharCount(*templateName) < 5) {
        Tell("The template drawing file path is invalid");
        return;
    }
    // Without a sheet there are no drawing names to search.
    if (!m_.xlSheet) {
        Tell("Please select an Excel file for processing");
        return;
    }
    std::vector<std::pair<Integer, Integer>> cells;
    if (m_.col1 == m_.col2) {
        for (Integer r : Walk(m_.row1, m_.rown, SubInteger(m_.row2, m_.row1)))
            cells.emplace_back(r, m_.col1);
    } else if (m_.row1 == m_.row2) {
        for (Integer c : Walk(m_.col1, m_.coln, SubInteger(m_.col2, m_.col1)))
            cells.emplace_back(m_.row1, c);
    }
    bool found = false;
    ErrorTrap trap;  // a cell that cannot be read is passed over
    for (const auto& [r, c] : cells) {
        trap.Run([&] {
            const std::string t = m_.xlSheet->Cells(r, c)->Text();
            if (EqualIgnoringCase(*templateName, t) ||
                EqualIgnoringCase(*templateName, t + ".dgn") ||
                EqualIgnoringCase(*templateName, t + ".dwg")) {
                found = true;
            }
        });
    }
    if (!found) {
        Tell("The template file " + *templateName + " is not in the Excel drawing name list");
        return;
    }
    m_.templatePath = tbDGNPath.Text();
    m_.outputPath = tbOutputPath.Text();
    m_.excelPath = tbExcelPath.Text();
    Unload();
}

void DistributeForm::btnCancel_Click() {
    m_.ReleaseExcel();
    m_.dialogCancelled = true;
    Unload();
}

}  // namespace tbln
