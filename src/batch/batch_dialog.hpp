// Batch drawings: the Populate dialog (template, output folder and the drawing-name
// cells for producing many drawings) and the drawing-name export dialog. This base
// holds what both share: the workbook chooser through the program's own file dialog.
#pragma once

#include "automation/module.hpp"
#include "common/sheet_dialog.hpp"

namespace tbln {

class BatchDialog : public SheetBoxDialog {
  public:
    BatchDialog(std::string name, Module& m);

    ui::TextBox tbExcelPath{*this, "tbExcelPath"};
    ui::CommandButton btnBrowseExcel{*this, "btnBrowseExcel"};

    // Chooses a workbook with the file dialog titled "Open an Excel file", opens it and
    // fills the sheet box.
    void btnBrowseExcel_Click();

  protected:
    // The drawing filter of the file dialog after the host's drawing type.
    std::string DrawingFilter() const;
    // Out of the top-most band while a chooser is open, and back.
    void LeaveTopMost();
    void ReturnTopMost();

    Module& m_;
};

}  // namespace tbln
