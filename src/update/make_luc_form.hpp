// MakeLUCForm, the last-used-cell reset dialog: the user picks a workbook and sheet,
// clicks in Excel the cell that is to become the sheet's last used cell, and Reset
// deletes every row below it and every column right of it, then saves the workbook.
#pragma once

#include "automation/module.hpp"
#include "platform/ui.hpp"

namespace tbln {

// The sheet's last row and column in the workbook's file format: 65536 rows and 256
// columns for the legacy .xls format, 1048576 and 16384 for the newer formats.
struct SheetLimits {
    Long rows;
    Long cols;
};
SheetLimits LimitsOfWorkbook(const std::string& fileName);

class MakeLUCForm : public ui::Form {
  public:
    explicit MakeLUCForm(Module& m);

    ui::Label lbTitle{*this, "lbTitle"};
    ui::Label Label3{*this, "Label3"};
    ui::TextBox tbPath{*this, "tbPath"};
    ui::ComboBox cbSheetName{*this, "cbSheetName"};
    ui::CommandButton btnBrowse{*this, "btnBrowse"};
    ui::Label Label11{*this, "Label11"};
    ui::CommandButton btnOK{*this, "btnOK"};
    ui::CommandButton btnCancel{*this, "btnCancel"};

    // While true, mouse movement over the dialog brings Excel to the front.
    bool excelFocusOnHover = false;

    void Form_Load() override;
    void btnBrowse_Click();
    void cbSheetName_Change();
    void btnOK_Click();
    void btnCancel_Click();
    void Form_MouseMove(int button, int shift, Single x, Single y) override;

  private:
    std::function<void()> Handler(void (MakeLUCForm::*method)());
    void BringExcelForward();

    Module& m_;
};

}  // namespace tbln
