#include "update/deep_update_form.hpp"

#include "capture/reader_exchange.hpp"
#include "common/utilities.hpp"
#include "core/error.hpp"

namespace tbln {

DeepUpdateForm::DeepUpdateForm(Module& m)
    : ui::Form("DeepUpdateForm"), ProgressBar1(*this, "ProgressBar1", m.ports.ui), m_(m) {
    // Layout: the title, the note under it, then the progress row.
    Width = 5400;
    Height = 1800;
    lbTitle.Move(120, 120, 5040, 375);
    lbNote.Move(120, 510, 5040, 255);
    lbProgressTitle.Move(120, 870, 900, 255);
    ProgressBar1.Move(1080, 840, 3240, 315);
    lbProgress.Move(4440, 870, 720, 255);
    Caption = "Processing Excel Data";
    lbTitle.SetCaption("  Processing Excel Data ...");
    lbProgressTitle.SetCaption("Progress :");
    lbProgressTitle.Visible = false;
    ProgressBar1.Visible = false;
    lbProgress.Visible = false;
    Timer1.SetInterval(500);
    PropertyBag design;
    ProgressBar1.ReadProperties(design);
    Timer1.Tick = [this] { Timer1_Timer(); };
}

void DeepUpdateForm::Form_Load() {
    ui::WindowManager& ui = m_.ports.ui;
    m_.captureDone = false;
    updatePending = true;
    Timer1.SetEnabled(true);
    Timer1.SetInterval(500);
    m_.ReleaseExcel();
    ErrorTrap trap;
    bool opened = false;
    trap.Run([&] { opened = OpenExcelFile(m_.ports, m_.fileName, true, m_.xlApp, m_.xlBook); });
    if (!opened || trap.Number() != 0) {
        Unload();
        return;
    }
    trap.Run([&] { m_.xlSheet = m_.xlBook->Sheets(m_.sheetName); });
    if (!m_.xlSheet || trap.Number() != 0) {
        Unload();
        return;
    }
    trap.Run([&] { m_.xlSheet->Activate(); });
    CenterForm(ui, *this);
    SetWindowTopMost(ui, hWnd, True);
}

void DeepUpdateForm::Form_Unload() {
    if (!m_.captureDone) m_.dialogCancelled = true;
}

void DeepUpdateForm::Timer1_Timer() {
    ui::UserInterface& ui = m_.ports.ui;
    if (updatePending) {
        updatePending = false;
        RunUpdate();
    }
    if (m_.captureDone && IsLoaded()) {
        ProgressBar1.SetPosition(ProgressBar1.Max());
        lbProgress.SetCaption("100%");
        ui.DoEvents();
        ErrorTrap trap;
        trap.Run([&] { m_.xlApp->SetVisible(true); });
        Unload();
    }
}

void DeepUpdateForm::RunUpdate() {
    ui::UserInterface& ui = m_.ports.ui;
    // The update has no Cancel; a reader that fails or dies closes the dialog as a
    // cancelled update, so DeepUpdate reports it instead of handing back old records.
    if (!RunReaderAndWait(m_, Progress())) {
        m_.dialogCancelled = true;
        Unload();
        return;
    }
    ErrorTrap trap;
    // A recorded range wholly outside the grid the reader found leaves nothing to
    // capture: the user is told why and the update ends as a failed one.
    if (m_.startRow != -1) {
        trap.Run([&] {
            RefuseRangeOutsideGrid(m_,
                                   ColumnLetters(m_.startCol) + std::to_string(m_.startRow) + ":" +
                                       ColumnLetters(m_.endCol) + std::to_string(m_.endRow),
                                   m_.startRow, m_.endRow, m_.startCol, m_.endCol);
        });
        if (trap.Number() != 0) {
            EndReaderExchange(m_);
            ui.MsgBox(trap.Description(), ui::vbInformation, "Error");
            m_.dialogCancelled = true;
            Unload();
            return;
        }
    }
    trap.Run([&] {
        if (m_.startRow == -1) {
            m_.startRow = 1;
            m_.startCol = 1;
            m_.endRow = CheckedInteger(m_.rowHeights.Upper());
            m_.endCol = CheckedInteger(m_.colWidths.Upper());
            m_.fastUpdate = false;
        } else {
            if (m_.endRow > m_.rowHeights.Upper())
                m_.endRow = CheckedInteger(m_.rowHeights.Upper());
            if (m_.endCol > m_.colWidths.Upper()) m_.endCol = CheckedInteger(m_.colWidths.Upper());
            m_.fastUpdate = true;
        }
    });
    trap.Run([&] {
        const double rows = static_cast<double>(m_.endRow) - m_.startRow + 1;
        const double cols = static_cast<double>(m_.endCol) - m_.startCol + 1;
        ProgressBar1.SetMax(ToLong(rows * cols + 2 * (rows + cols)));
        ProgressBar1.SetMin(0);
        ProgressBar1.SetPosition(0);
        lbProgress.SetCaption("0%");
        ui.DoEvents();
    });
    m_.dialogCancelled = false;
    trap.Run([&] { CaptureRange(m_); });
    EndReaderExchange(m_);
    if (!m_.captureDone && IsLoaded()) {
        // A capture stopped by an error leaves nothing to wait for: say why and close.
        ui.MsgBox("The update of " + m_.fileName +
                      " could not be completed: " + trap.Description() + "     ",
                  ui::vbInformation, "Error");
        m_.dialogCancelled = true;
        Unload();
    }
}

}  // namespace tbln
