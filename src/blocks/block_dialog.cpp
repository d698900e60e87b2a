#include "blocks/block_dialog.hpp"

#include "common/utilities.hpp"
#include "core/error.hpp"

namespace tbln {

BlockDialog::BlockDialog(std::string name, Module& m, const std::string& title,
                         const std::string& makeCaption)
    : SheetBoxDialog(std::move(name), m.ports,
                     ExcelRefs{m.xlApp, m.xlBook, m.xlSheet, m.sheetName}),
      m_(m) {
    // Layout: file and sheet rows, the block's cell under its column headers, the tag
    // list under headers at its tab stops, the buttons along the bottom.
    Width = 7095;
    Height = 6165;
    Label1.Move(120, 120, 6735, 375);
    Label3.Move(120, 600, 1080, 255);
    tbExcelPath.Move(1200, 570, 4320, 315);
    btnBrowseExcel.Move(5640, 555, 1215, 345);
    Label4.Move(120, 1020, 1080, 255);
    cbSheetName.Move(1200, 990, 4320, 315);
    Label9.Move(1200, 1470, 600, 255);
    Label10.Move(1920, 1470, 600, 255);
    Label11.Move(2640, 1470, 1200, 255);
    Label2.Move(120, 1800, 1080, 255);
    tbCol1.Move(1200, 1770, 600, 315);
    tbRow1.Move(1920, 1770, 600, 315);
    tbBlockName.Move(2640, 1770, 2880, 315);
    btnUpdate1.Move(5640, 1755, 1215, 345);
    Label5.Move(180, 2310, 1200, 255);
    Label6.Move(1680, 2310, 450, 255);
    Label7.Move(2130, 2310, 450, 255);
    Label8.Move(2580, 2310, 1200, 255);
    lbTags.Move(120, 2580, 6735, 2400);
    btnView.Move(120, 5160, 1215, 375);
    btnMake.Move(4320, 5160, 1215, 375);
    btnCancel.Move(5640, 5160, 1215, 375);
    Caption = title;
    Label1.SetCaption(title);
    Label3.SetCaption("Excel File");
    btnBrowseExcel.SetCaption("Browse");
    Label4.SetCaption("Sheet");
    Label9.SetCaption("Col");
    Label10.SetCaption("Row");
    Label11.SetCaption("Value");
    Label2.SetCaption("Block ID");
    btnUpdate1.SetCaption("Update");
    Label5.SetCaption("Tag");
    Label6.SetCaption("Col");
    Label7.SetCaption("Row");
    Label8.SetCaption("Value");
    btnView.SetCaption("View");
    btnCancel.SetCaption("Cancel");
    btnCancel.SetCancel(true);
    btnMake.SetCaption(makeCaption);
    btnBrowseExcel.Click = Handler(this, &BlockDialog::btnBrowseExcel_Click);
    btnView.Click = Handler(this, &BlockDialog::btnView_Click);
    btnCancel.Click = Handler(this, &BlockDialog::btnCancel_Click);
}

void BlockDialog::Tell(const std::string& text) {
    ui_.MsgBox(text, ui::vbInformation, "Error");
    BringExcelForward();
}

void BlockDialog::btnBrowseExcel_Click() {
    TopMost(false);
    excelFocusOnHover = false;
    ErrorTrap trap;  // from here on a failing step is skipped
    m_.xlApp = AttachExcel(ui_, ports_.objects);
    if (!m_.xlApp) return;
    auto& app = *m_.xlApp;
    trap.Run([&] { app.SetVisible(true); });
    BringExcelForward();
    trap.Run([&] { MaximizeWindow(windows_, app.Caption()); });
    std::string text;
    bool chosen = false;
    trap.Run([&] {
        text = app.GetOpenFilename("Excel Files (*.xls), *.xls");
        chosen = true;
    });
    // Excel answers a cancelled choice with the text "False": the dialog then keeps the
    // workbook, sheet and path it had.
    const bool cancelled = !chosen || text == "False";
    if (maximiseAfterChooser_) {
        BringExcelForward();
        trap.Run([&] { MaximizeWindow(windows_, app.Caption()); });
        TopMost(true);
        excelFocusOnHover = true;
    }
    if (!cancelled) {
        tbExcelPath.SetText(text);
        cbSheetName.Clear();
        // The emptied sheet box no longer names an open sheet.
        m_.xlSheet.reset();
    }
    if (!maximiseAfterChooser_) {
        BringExcelForward();
        TopMost(true);
        excelFocusOnHover = true;
    }
    if (!cancelled && !text.empty() && OpenExcelFile(ports_, text, true, m_.xlApp, m_.xlBook)) {
        m_.fileName = text;
        BringExcelForward();
        trap.Run([&] { FillSheetBox(); });
    }
    TopMost(true);
    excelFocusOnHover = true;
    BringExcelForward();
}

void BlockDialog::TakeBlockIdCell() {
    auto cell = m_.xlSheet->Application()->ActiveCell();
    tbCol1.SetText(ColumnLetters(CheckedInteger(cell->Column())));
    tbRow1.SetText(std::to_string(cell->Row()));
    tbBlockName.SetText(cell->Text());
}

void BlockDialog::btnView_Click() {
    if (!m_.xlSheet) {
        Tell("Please open an Excel file for viewing     ");
        return;
    }
    std::string reference;
    if (m_.tagList.IsAllocated()) {
        for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
            const auto& tag = m_.tagList(i);
            if (!tag) Raise(err::kObjectNotSet);
            if (!tag->col.empty()) reference += tag->col + tag->row + ",";
        }
    }
    if (reference.empty()) {
        Tell("No Tag is updated for viewing     ");
        return;
    }
    reference.pop_back();
    try {
        m_.xlSheet->Range(reference)->Select();
    } catch (const RuntimeError&) {
        ui_.MsgBox("The col and row entries are invalid or incomplete", ui::vbInformation, "Error");
    }
    BringExcelForward();
}

void BlockDialog::btnCancel_Click() {
    m_.ReleaseExcel();
    m_.dialogCancelled = true;
    Unload();
}

void BlockDialog::UpdateListBox() {
    std::vector<std::string> lines;
    if (m_.tagList.IsAllocated()) {
        for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
            const auto& tag = m_.tagList(i);
            if (!tag) Raise(err::kObjectNotSet);
            lines.push_back(Truncate(tag->tagName) + "\t" + tag->col + "\t" + tag->row + "\t" +
                            tag->Value);
        }
    }
    FillTabbedList(ports_.ui, lbTags, lines);
}

}  // namespace tbln
