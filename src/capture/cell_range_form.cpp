#include "capture/cell_range_form.hpp"

#include "common/sheet_dialog.hpp"
#include "common/utilities.hpp"
#include "core/error.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln {

namespace {

constexpr Integer kCentreAcrossSelection = 7;
const char* const kNameCheckTitle = "Excel File and Sheet Name Checking";

}  // namespace

bool ShowSpecialCharMessage(ui::UserInterface& ui, const std::string& text, bool isFile) {
    const std::string what = isFile ? "Excel file path/name" : "Excel sheet name";
    const std::string rename = isFile ? "Excel file path/name" : "Excel sheet name";
    const std::string sep = "\r\r";
    for (std::size_t i = 0, n = 0; i < text.size(); i += n) {
        const char32_t code = DecodeUtf8At(text, i, n);
        // The character as the message shows it (an invalid byte as U+FFFD).
        const std::string shown = ValidUtf8(std::string_view(text).substr(i, n));
        if (code > 127) {
            ui.MsgBox(
                "The " + what + " contains a special character  " + shown + sep +
                    "There is NO limitation on Excel sheet content for import, however,     " +
                    sep + what + " can only use characters on US keyboard.     " + sep +
                    "Please cancel this dialog box, rename your " + rename + "     " + sep +
                    "and try the import again.     ",
                ui::vbCritical, kNameCheckTitle);
            return true;
        }
        if (code == 34 || code == 39) {
            ui.MsgBox(
                "The " + what + " contains single/double quote character  " + shown + sep +
                    "There is NO limitation on Excel sheet content for import, however,     " +
                    sep + what + " can NOT contain any single/double quote character.    " + sep +
                    "Please cancel this dialog box, rename your " + rename + " and try     " + sep +
                    "the import again.     ",
                ui::vbCritical, kNameCheckTitle);
            return true;
        }
    }
    return false;
}

CellRangeForm::CellRangeForm(Module& m)
    : ui::Form("CellRangeForm"), ProgressBar1(*this, "ProgressBar1", m.ports.ui), m_(m) {
    // Layout: labels in the left column, boxes from 1080 (corner boxes by column and
    // row from 2280), the row buttons at the right edge, Start and Cancel bottom right.
    Width = 6975;
    Height = 5220;
    lbTitle.Move(120, 120, 6615, 375);
    Label3.Move(120, 600, 900, 255);
    tbPath.Move(1080, 570, 4440, 315);
    btnBrowse.Move(5640, 555, 1095, 345);
    Label6.Move(120, 1020, 900, 255);
    cbSheetName.Move(1080, 990, 4440, 315);
    Label7.Move(2280, 1470, 1080, 255);
    Label10.Move(3480, 1470, 1080, 255);
    Label11.Move(120, 1800, 2040, 255);
    topLeftCol.Move(2280, 1770, 1080, 315);
    topLeftRow.Move(3480, 1770, 1080, 315);
    btnUpdateTL.Move(5640, 1755, 1095, 345);
    Label12.Move(120, 2250, 2040, 255);
    botRightCol.Move(2280, 2220, 1080, 315);
    botRightRow.Move(3480, 2220, 1080, 315);
    btnUpdateBR.Move(5640, 2205, 1095, 345);
    btnView.Move(2280, 2670, 2280, 345);
    lbNote.Move(120, 3150, 6615, 435);
    lbProgressTitle.Move(120, 3690, 900, 255);
    ProgressBar1.Move(1080, 3660, 4440, 315);
    lbProgress.Move(5640, 3690, 1095, 255);
    btnOK.Move(4200, 4215, 1215, 375);
    btnCancel.Move(5520, 4215, 1215, 375);
    Caption = "Import Excel Data";
    lbTitle.SetCaption("  Import Excel Data");
    Label3.SetCaption("File : ");
    btnBrowse.SetCaption("Browse");
    Label6.SetCaption("Sheet:");
    Label7.SetCaption("Column");
    Label10.SetCaption("Row");
    Label11.SetCaption("Top Left Cell:");
    btnUpdateTL.SetCaption("Update");
    Label12.SetCaption("Bot. Right Cell:");
    btnUpdateBR.SetCaption("Update");
    btnView.SetCaption("View Selection");
    lbProgressTitle.SetCaption("Progress :");
    btnOK.SetCaption("Start");
    btnOK.SetDefault(true);
    btnCancel.SetCaption("Cancel");
    btnCancel.SetCancel(true);
    Timer1.SetInterval(500);
    PropertyBag design;
    ProgressBar1.ReadProperties(design);

    btnBrowse.Click = [this] { btnBrowse_Click(); };
    cbSheetName.Change = [this] { cbSheetName_Change(); };
    cbSheetName.Click = [this] { cbSheetName_Change(); };
    btnUpdateTL.Click = [this] { btnUpdateTL_Click(); };
    btnUpdateBR.Click = [this] { btnUpdateBR_Click(); };
    btnView.Click = [this] { btnView_Click(); };
    btnOK.Click = [this] { btnOK_Click(); };
    btnCancel.Click = [this] { btnCancel_Click(); };
    Timer1.Tick = [this] { Timer1_Timer(); };
}

void CellRangeForm::Form_Load() {
    ui::WindowManager& ui = m_.ports.ui;
    m_.captureDone = false;
    m_.ReleaseExcel();
    Timer1.SetEnabled(true);
    Timer1.SetInterval(500);
    lbProgress.SetCaption("");
    lbProgress.Visible = false;
    ProgressBar1.Visible = false;
    lbProgressTitle.Visible = false;
    tbPath.Enabled = false;
    CenterForm(ui, *this);
    excelFocusOnHover = true;
    busy_ = false;
}

void CellRangeForm::Form_MouseMove(int button, int /*shift*/, Single /*x*/, Single /*y*/) {
    DialogMouseMove(m_.ports.ui, *this, button, m_.xlApp, excelFocusOnHover);
}

void CellRangeForm::btnBrowse_Click() {
    if (busy_) return;
    auto& ui = m_.ports.ui;
    excelFocusOnHover = false;
    SetWindowTopMost(ui, hWnd, False);
    const auto app = AttachExcel(ui, m_.ports.objects);
    if (!app) return;
    m_.xlApp = app;
    app->SetVisible(true);
    BringExcelForward(ui, app);
    MaximizeWindow(ui, app->Caption());
    // Our engine reads the newer workbook format too, so the chooser offers both.
    const std::string path = app->GetOpenFilename("Excel Files (*.xls;*.xlsx), *.xls;*.xlsx");
    if (path != "False") {
        auto book = m_.xlBook;
        if (OpenExcelFile(m_.ports, path, true, m_.xlApp, book)) {
            m_.xlBook = book;
            m_.fileName = path;
            auto active = m_.xlApp->ActiveWorkbook();
            m_.sheetName = active->ActiveSheet()->Name();
            cbSheetName.Clear();
            auto sheets = active->Sheets();
            for (Long i = 1, n = sheets->Count(); i <= n; ++i) {
                cbSheetName.AddItem(sheets->Item(i)->Name());
            }
            cbSheetName.SetText(m_.sheetName);
            tbPath.SetText(m_.fileName);
            ui.DoEvents();
            BringExcelForward(ui, m_.xlApp);
            MaximizeWindow(ui, m_.xlApp->Caption());
        } else if (!m_.xlApp) {
            m_.xlApp = app;
        }
    }
    SetWindowTopMost(ui, hWnd, True);
    excelFocusOnHover = true;
}

void CellRangeForm::cbSheetName_Change() {
    if (!m_.xlBook) return;
    // A typed name that names no sheet (yet) leaves no sheet chosen, so Start never
    // imports the sheet chosen before.
    m_.xlSheet = FindSheet(*m_.xlBook, cbSheetName.Text());
    if (!m_.xlSheet) return;
    m_.xlSheet->Activate();
    m_.sheetName = cbSheetName.Text();
    BringExcelForward(m_.ports.ui, m_.xlApp);
}

void CellRangeForm::btnUpdateTL_Click() {
    auto& ui = m_.ports.ui;
    if (!m_.xlSheet) {
        ui.MsgBox("Please select an Excel file for update", ui::vbInformation, "Error");
        return;
    }
    auto cell = m_.xlSheet->Application()->ActiveCell();
    topLeftCol.SetText(ColumnLetters(CheckedInteger(cell->Column())));
    topLeftRow.SetText(std::to_string(cell->Row()));
    BringExcelForward(ui, m_.xlApp);
}

void CellRangeForm::btnUpdateBR_Click() {
    auto& ui = m_.ports.ui;
    if (!m_.xlSheet) {
        ui.MsgBox("Please select an Excel file for update", ui::vbInformation, "Error");
        return;
    }
    auto cell = m_.xlSheet->Application()->ActiveCell();
    Long lastRow = cell->Row();
    Long lastCol = cell->Column();
    if (cell->MergeCells()) {
        auto area = cell->MergeArea();
        lastRow = cell->Row() + area->Rows()->Count() - 1;
        lastCol = cell->Column() + area->Columns()->Count() - 1;
    }
    botRightCol.SetText(ColumnLetters(CheckedInteger(lastCol)));
    botRightRow.SetText(std::to_string(lastRow));
    BringExcelForward(ui, m_.xlApp);
}

std::string CellRangeForm::CornerAddress() const {
    return topLeftCol.Text() + topLeftRow.Text() + ":" + botRightCol.Text() + botRightRow.Text();
}

void CellRangeForm::btnView_Click() {
    auto& ui = m_.ports.ui;
    if (!m_.xlSheet) {
        ui.MsgBox("Please select an Excel file for viewing", ui::vbInformation, "Error");
        return;
    }
    try {
        m_.xlSheet->Range(CornerAddress())->Select();
        BringExcelForward(ui, m_.xlApp);
    } catch (const RuntimeError&) {
        ui.MsgBox(
            "The cell range entries are invalid or incomplete\r\nThe selection cannot be viewd",
            ui::vbInformation, "Error");
    }
}

bool CellRangeForm::hasSpecialCharFile(const std::string& text) {
    return ShowSpecialCharMessage(m_.ports.ui, text, true);
}

bool CellRangeForm::hasSpecialCharSheet(const std::string& text) {
    return ShowSpecialCharMessage(m_.ports.ui, text, false);
}

void CellRangeForm::Advance() {
    ProgressBar1.SetPosition(AddLong(ProgressBar1.Position(), 1));
    Progress().Refresh();
    m_.ports.ui.DoEvents();
}

void CellRangeForm::ResetProgressMax(bool resetPosition) {
    const double rows = static_cast<double>(m_.endRow) - m_.startRow + 1;
    const double cols = static_cast<double>(m_.endCol) - m_.startCol + 1;
    ProgressBar1.SetMax(ToLong(rows * cols + 2 * (rows + cols)));
    if (resetPosition) {
        ProgressBar1.SetMin(0);
        ProgressBar1.SetPosition(0);
        lbProgress.SetCaption("0%");
    } else {
        Progress().Refresh();
    }
    m_.ports.ui.DoEvents();
}

void CellRangeForm::WidenOverMergedAreas() {
    auto& m = m_;
    const auto cell = [&](Long r, Long c) -> JCell& {
        auto& j = m.jCells(r, c);
        if (!j) Raise(err::kObjectNotSet);
        return *j;
    };
    // Each edge is scanned again from its first cell after every widening, until a
    // full scan forces nothing.
    const auto scan = [&](auto&& cells, auto&& forces, auto&& widen) {
        for (bool again = true; again && !m.dialogCancelled;) {
            again = false;
            for (auto [r, c] : cells()) {
                const JCell& j = cell(r, c);
                if (j.MergeCells && forces(j)) {
                    widen();
                    again = true;
                    break;
                }
                Advance();
            }
        }
    };
    using Cells = std::vector<std::pair<Long, Long>>;
    const auto rowCells = [&](Long r) {
        Cells out;
        for (Long c = m.startCol; c <= m.endCol; ++c) out.push_back({r, c});
        return out;
    };
    const auto colCells = [&](Long c) {
        Cells out;
        for (Long r = m.startRow; r <= m.endRow; ++r) out.push_back({r, c});
        return out;
    };
    scan([&] { return rowCells(m.startRow); },
         [&](const JCell& j) { return j.startRow < m.startRow; },
         [&] { m.startRow = SubInteger(m.startRow, 1); });
    scan([&] { return colCells(m.startCol); },
         [&](const JCell& j) { return j.startCol < m.startCol; },
         [&] { m.startCol = SubInteger(m.startCol, 1); });
    scan([&] { return rowCells(m.endRow); }, [&](const JCell& j) { return j.endRow > m.endRow; },
         [&] { m.endRow = AddInteger(m.endRow, 1); });
    scan([&] { return colCells(m.endCol); }, [&](const JCell& j) { return j.endCol > m.endCol; },
         [&] { m.endCol = AddInteger(m.endCol, 1); });
}

void CellRangeForm::WidenOverCentredText() {
    auto& m = m_;
    const Long lastCol = m.colWidths.Upper();
    for (Long r = m.startRow; r <= m.endRow && !m.dialogCancelled; ++r) {
        const auto& j = m.jCells(r, m.endCol);
        if (!j || j->HorizontalAlignment != kCentreAcrossSelection) continue;
        Integer count = 0;
        for (Long c = m.endCol + 1; c <= lastCol; ++c) {
            const auto& next = m.jCells(r, c);
            if (!next || next->HorizontalAlignment != kCentreAcrossSelection || !next->IsEmpty)
                break;
            ++count;
            Advance();
        }
        const Integer reach = AddInteger(j->column, count);
        if (reach > m.endCol) m.endCol = reach;
    }
}

void CellRangeForm::btnOK_Click() {
    if (busy_) return;
    ui::UserInterface& ui = m_.ports.ui;
    if (!m_.xlApp || CharCount(tbPath.Text()) < 6) {
        ui.MsgBox("Please select an Excel file for importing", ui::vbInformation, "Error");
        return;
    }
    if (hasSpecialCharFile(tbPath.Text())) return;
    if (hasSpecialCharSheet(cbSheetName.Text())) return;
    if (!m_.xlSheet) {
        ShowNoSuchSheet(ui, cbSheetName.Text());
        return;
    }
    busy_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{busy_};

    if (!RunReaderAndWait(m_, Progress())) return;
    struct EndExchange {
        Module& m;
        ~EndExchange() { EndReaderExchange(m); }
    } endExchange{m_};

    ErrorTrap trap;
    bool refused = false;
    trap.Run([&] {
        bool selected = false;
        try {
            m_.xlSheet->Range(CornerAddress())->Select();
            selected = true;
        } catch (const RuntimeError&) {
        }
        if (!selected) {
            lbNote.SetCaption("No range specified and the whole sheet is imported");
            m_.startRow = 1;
            m_.startCol = 1;
            m_.endRow = CheckedInteger(m_.rowHeights.Upper());
            m_.endCol = CheckedInteger(m_.colWidths.Upper());
            m_.fastUpdate = false;
            return;
        }
        std::string tlCol = topLeftCol.Text(), brCol = botRightCol.Text();
        try {
            m_.startRow = ToInteger(topLeftRow.Text());
            m_.startCol = ColumnNumber(ui, tlCol);
            m_.endRow = ToInteger(botRightRow.Text());
            m_.endCol = ColumnNumber(ui, brCol);
        } catch (const RuntimeError&) {
            Raise(err::kOverflow, "The cell range " + CornerAddress() +
                                      " reaches beyond row 32767, the last row of an import     ");
        }
        // Column letters ColumnNumber refused (it has said so) leave nothing to import.
        refused = m_.startCol < 0 || m_.endCol < 0;
        if (refused) return;
        RefuseRangeOutsideGrid(m_, CornerAddress(), m_.startRow, m_.endRow, m_.startCol, m_.endCol);
        if (m_.endRow > m_.rowHeights.Upper()) m_.endRow = CheckedInteger(m_.rowHeights.Upper());
        if (m_.endCol > m_.colWidths.Upper()) m_.endCol = CheckedInteger(m_.colWidths.Upper());
        m_.fastUpdate = true;
    });
    // A range the capture could only fail on is not imported: the user is told why.
    if (refused) return;
    if (trap.Number() != 0) {
        ui.MsgBox(trap.Description(), ui::vbInformation, "Error");
        return;
    }
    trap.Run([&] {
        if (m_.startRow > m_.endRow) std::swap(m_.startRow, m_.endRow);
        if (m_.startCol > m_.endCol) std::swap(m_.startCol, m_.endCol);
        // Corners typed in reverse order are clamped to the grid once they are in order.
        if (m_.endRow > m_.rowHeights.Upper()) m_.endRow = CheckedInteger(m_.rowHeights.Upper());
        if (m_.endCol > m_.colWidths.Upper()) m_.endCol = CheckedInteger(m_.colWidths.Upper());
    });
    trap.Run([&] { ResetProgressMax(true); });
    if (m_.dialogCancelled) return;
    trap.Run([&] { WidenOverMergedAreas(); });
    if (m_.dialogCancelled) return;
    trap.Run([&] { WidenOverCentredText(); });
    if (m_.dialogCancelled) return;
    trap.Run([&] { ResetProgressMax(false); });
    m_.captureDone = false;
    trap.Run([&] { CaptureRange(m_); });
    if (!m_.captureDone && !m_.dialogCancelled && trap.Number() != 0) {
        ui.MsgBox("The import of " + m_.fileName +
                      " could not be completed: " + trap.Description() + "     ",
                  ui::vbInformation, "Error");
    }
}

void CellRangeForm::btnCancel_Click() {
    m_.dialogCancelled = true;
    Unload();
}

void CellRangeForm::Timer1_Timer() {
    ui::UserInterface& ui = m_.ports.ui;
    if (m_.xlSheet) {
        if (cbSheetName.Text() != m_.sheetName) cbSheetName_Change();
        // The guard runs only for a sheet the box names, so a half-typed name does not
        // bring up the message on every tick.
        if (cbSheetName.Text() == m_.sheetName) {
            GuardSheetSwitch(m_.ports.ui, m_.xlApp, m_.xlSheet, cbSheetName.Text());
        }
    }
    if (m_.captureDone) {
        ProgressBar1.SetPosition(ProgressBar1.Max());
        lbProgress.SetCaption("100%");
        ui.DoEvents();
        if (IsLoaded()) Unload();
    }
}

}  // namespace tbln
