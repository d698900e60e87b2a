#include "blocks/make_block_form.hpp"

#include <vector>

#include "common/utilities.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln {

MakeBlockForm::MakeBlockForm(Module& m) : BlockDialog("MakeBlockForm", m, "Link Block", "Link") {
    // Layout: Update beside View, under the tag list.
    btnUpdate.Move(1440, 5160, 1215, 375);
    btnUpdate.SetCaption("Update");
    btnUpdate1.Click = Handler(this, &MakeBlockForm::btnUpdate1_Click);
    btnUpdate.Click = Handler(this, &MakeBlockForm::btnUpdate_Click);
    btnMake.Click = Handler(this, &MakeBlockForm::btnMake_Click);
}

void MakeBlockForm::Form_Load() {
    m_.ReleaseExcel();
    Timer1.SetEnabled(true);
    Timer1.SetInterval(500);
    UpdateListBox();
    CenterForm(windows_, *this);
    excelFocusOnHover = true;
}

void MakeBlockForm::btnUpdate1_Click() {
    if (!m_.xlSheet) {
        Tell("Please open an Excel file for update     ");
        return;
    }
    TakeBlockIdCell();
    BringExcelForward();
}

void MakeBlockForm::btnUpdate_Click() {
    const int line = lbTags.ListIndex();
    if (line < 0) {
        Tell("No Tag is selected for update     ");
        return;
    }
    if (!m_.xlSheet) {
        Tell("Please open an Excel file for update     ");
        return;
    }
    // The line shows the record at the same position counted from the list's lower bound.
    auto& tag = m_.tagList(m_.tagList.Lower() + line);
    if (!tag) Raise(err::kObjectNotSet);
    auto cell = m_.xlSheet->Application()->ActiveCell();
    const std::string col = ColumnLetters(CheckedInteger(cell->Column()));
    const std::string row = std::to_string(cell->Row());
    const std::string value = cell->Text();
    tag->col = col;
    tag->row = row;
    tag->Value = value;
    UpdateListBox();
    BringExcelForward();
}

void MakeBlockForm::btnMake_Click() {
    if (m_.tagList.IsAllocated()) {
        for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
            const auto& tag = m_.tagList(i);
            if (!tag) Raise(err::kObjectNotSet);
            if (tag->row.empty()) {
                Tell("Tag update is not completed    ");
                return;
            }
        }
    }
    if (tbCol1.Text().empty()) {
        Tell("Block ID is not updated     ");
        return;
    }
    // Every row and column is converted before any record changes, so a value that
    // cannot be held leaves every record as it was.
    const auto rowNumber = [&](const std::string& text, const std::string& what,
                               Integer& out) -> bool {
        try {
            out = ToInteger(text);
            if (out >= 1) return true;
            Tell(what + " row \"" + text + "\" is not a row number     ");
            return false;
        } catch (const RuntimeError& e) {
            Tell(what + " row \"" + text + "\" " +
                 (e.Number() == err::kOverflow ? "lies beyond row 32767 and cannot be linked"
                                               : "is not a row number") +
                 "     ");
            return false;
        }
    };
    // Letters that give no column number: three or more letters have ColumnNumber's
    // own message, anything else that converts below 0 is named here.
    const auto columnNumber = [&](const std::string& text, const std::string& what,
                                  Integer& out) -> bool {
        std::string letters = text;  // a copy: the record keeps its letters
        try {
            out = ColumnNumber(ui_, letters);
        } catch (const RuntimeError&) {
            out = -1;
        }
        if (out >= 0) return true;
        if (CharCount(text) < 3) Tell(what + " column \"" + text + "\" is not a column     ");
        return false;
    };
    Integer blockRow = 0, blockCol = 0;
    if (!rowNumber(tbRow1.Text(), "The Block ID", blockRow)) return;
    if (!columnNumber(tbCol1.Text(), "The Block ID", blockCol)) return;
    struct Offsets {
        Integer row, col;
    };
    std::vector<Offsets> offsets;
    if (m_.tagList.IsAllocated()) {
        for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
            const auto& tag = m_.tagList(i);
            Integer row = 0, col = 0;
            const std::string what = "The tag " + tag->tagName + "'s";
            if (!rowNumber(tag->row, what, row)) return;
            if (!columnNumber(tag->col, what, col)) return;
            offsets.push_back(Offsets{SubInteger(row, blockRow), SubInteger(col, blockCol)});
        }
        for (Long i = m_.tagList.Lower(); i <= m_.tagList.Upper(); ++i) {
            const auto& o = offsets[static_cast<std::size_t>(i - m_.tagList.Lower())];
            m_.tagList(i)->offsetRow = o.row;
            m_.tagList(i)->offsetCol = o.col;
        }
    }
    m_.ReleaseExcel();
    Unload();
}

}  // namespace tbln
