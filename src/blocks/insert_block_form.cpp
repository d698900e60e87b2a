#include "blocks/insert_block_form.hpp"

#include <vector>

#include "common/utilities.hpp"
#include "core/error.hpp"

namespace tbln {

namespace {
constexpr Long LB_SETHORIZONTALEXTENT = 404;
}  // namespace

const char* const kInconsistentBlockIdMessage =
    "Block ID to attributes relative position is not consistent     \r\n\r\n"
    "with what you defined when linking this block. You may     \r\n\r\n"
    "update Block ID to a correct cell or re-link this block using     \r\n\r\n"
    "*Link Block to Excel* menu     ";

InsertBlockForm::InsertBlockForm(Module& m)
    : BlockDialog("InsertBlockForm", m, "Insert Block", "Insert") {
    maximiseAfterChooser_ = false;
    btnUpdate1.Click = Handler(this, &InsertBlockForm::btnUpdate1_Click);
    btnMake.Click = Handler(this, &InsertBlockForm::btnMake_Click);
}

void InsertBlockForm::Form_Load() {
    cbSheetName.Clear();
    if (!m_.fileName.empty() && OpenExcelFile(ports_, m_.fileName, true, m_.xlApp, m_.xlBook)) {
        tbExcelPath.SetText(m_.fileName);
        BringExcelForward();
        RunHandler(ui_, [&] { FillSheetBox(); });
    }
    Timer1.SetEnabled(true);
    Timer1.SetInterval(500);
    UpdateListBox();
    TopMost(true);
    CenterForm(windows_, *this);
    excelFocusOnHover = true;
    windows_.SendMessage(lbTags.hWnd, LB_SETHORIZONTALEXTENT, 300, {0});
}

void InsertBlockForm::btnUpdate1_Click() {
    if (!m_.xlSheet) {
        Tell("Please open an Excel file for update     ");
        return;
    }
    TakeBlockIdCell();
    BringExcelForward();
    Integer blockRow = 0;
    try {
        blockRow = ToInteger(tbRow1.Text());
    } catch (const RuntimeError&) {
        // A Block ID below row 32767 cannot be held in the link's 16-bit rows.
        Inconsistent("The Block ID cell lies beyond row 32767 and cannot be used     ");
        return;
    }
    std::string blockColText = tbCol1.Text();
    const Integer blockCol = ColumnNumber(ui_, blockColText);
    if (!m_.tagList.IsAllocated()) {
        UpdateListBox();
        BringExcelForward();
        return;
    }
    // Every value is looked up first and the records written only when all fit, so a
    // Block ID that does not fit leaves no record half filled before it is cleared.
    struct Found {
        std::string row, col, value;
    };
    std::vector<Found> found;
    for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
        const auto& tag = m_.tagList(i);
        if (!tag) Raise(err::kObjectNotSet);
        Integer r = 0, c = 0;
        std::string value;
        try {
            r = AddInteger(blockRow, tag->offsetRow);
            c = AddInteger(blockCol, tag->offsetCol);
            if (r < 1 || c < 1) {
                Inconsistent(kInconsistentBlockIdMessage);
                return;
            }
            value = m_.xlSheet->Cells(r, c)->Text();
        } catch (const RuntimeError&) {
            // Beyond the 16-bit rows and columns, or beyond the sheet's last column.
            Inconsistent(kInconsistentBlockIdMessage);
            return;
        }
        found.push_back(Found{std::to_string(r), ColumnLetters(c), value});
    }
    for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
        auto& f = found[static_cast<std::size_t>(i - m_.tagList.Lower())];
        m_.tagList(i)->row = std::move(f.row);
        m_.tagList(i)->col = std::move(f.col);
        m_.tagList(i)->Value = std::move(f.value);
    }
    UpdateListBox();
    BringExcelForward();
}

void InsertBlockForm::Inconsistent(const std::string& message) {
    ui_.MsgBox(message, ui::vbInformation, "Error");
    tbRow1.SetText("");
    tbCol1.SetText("");
    tbBlockName.SetText("");
    if (m_.tagList.IsAllocated()) {
        for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
            if (const auto& tag = m_.tagList(i)) {
                tag->col.clear();
                tag->row.clear();
                tag->Value.clear();
            }
        }
    }
    UpdateListBox();
    ui_.DoEvents();
    BringExcelForward();
}

void InsertBlockForm::btnMake_Click() {
    if (tbCol1.Text().empty()) {
        Tell("Block ID is not updated     ");
        return;
    }
    m_.ReleaseExcel();
    Unload();
}

}  // namespace tbln
