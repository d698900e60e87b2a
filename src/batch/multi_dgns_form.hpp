// MultiDGNsForm, the drawing-name export dialog: the user picks drawing files, and
// Export writes their names down a column from a start cell, widens the column and
// saves the workbook.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_dialog.hpp"

namespace tbln {

// The file dialog's result as a list: one chosen file with its full path, or, for
// several, the bare file names after the folder. Nothing for an empty result.
std::vector<std::string> FormatMultiReturn(const std::string& result);

class MultiDGNsForm : public BatchDialog {
  public:
    explicit MultiDGNsForm(Module& m);

    ui::Label lbTitle{*this, "lbTitle"};
    ui::Frame Frame2{*this, "Frame2"};
    ui::ListBox lbDGNNames{*this, "lbDGNNames"};
    ui::CommandButton btnAdd{*this, "btnAdd"};
    ui::CommandButton btnRemove{*this, "btnRemove"};
    ui::CommandButton btnRemoveAll{*this, "btnRemoveAll"};
    ui::Frame Frame1{*this, "Frame1"};
    ui::Label Label1{*this, "Label1"};  // "File : "
    ui::Label Label2{*this, "Label2"};  // "Sheet:"
    ui::Label Label3{*this, "Label3"};  // "Column"
    ui::Label Label4{*this, "Label4"};  // "Row"
    ui::Label Label5{*this, "Label5"};  // "Start Cell"
    ui::TextBox tbCol1{*this, "tbCol1"};
    ui::TextBox tbRow1{*this, "tbRow1"};
    ui::CommandButton btnUpdate1{*this, "btnUpdate1"};
    ui::CommandButton btnExport{*this, "btnExport"};
    ui::CommandButton btnCancel{*this, "btnCancel"};

    void Form_Load() override;
    void btnAdd_Click();
    void btnRemove_Click();
    void btnRemoveAll_Click();
    void btnUpdate1_Click();
    void btnExport_Click();
    void btnCancel_Click();

  private:
    // Saves Excel's active workbook, when there is one; false (and the user told) when
    // the save fails.
    bool SaveActiveWorkbook();
    void Close();
    // Why the last save failed: Cancel saves again after a failed Export, and the user
    // is not told the same reason twice.
    std::string saveError_;
};

}  // namespace tbln
