// Block attribute linking: the Link Block and Insert Block dialogs. Both show a
// block's tags beside the workbook the user works in; this base holds what they
// share: the controls, the workbook Browse, View, Cancel and the tag list.
#pragma once

#include "automation/module.hpp"
#include "common/sheet_dialog.hpp"

namespace tbln {

class BlockDialog : public SheetBoxDialog {
  public:
    BlockDialog(std::string name, Module& m, const std::string& title,
                const std::string& makeCaption);

    ui::Label Label1{*this, "Label1"};
    ui::Label Label3{*this, "Label3"};
    ui::TextBox tbExcelPath{*this, "tbExcelPath"};
    ui::CommandButton btnBrowseExcel{*this, "btnBrowseExcel"};
    ui::Label Label4{*this, "Label4"};
    ui::Label Label9{*this, "Label9"};
    ui::Label Label10{*this, "Label10"};
    ui::Label Label11{*this, "Label11"};
    ui::Label Label2{*this, "Label2"};
    ui::TextBox tbCol1{*this, "tbCol1"};
    ui::TextBox tbRow1{*this, "tbRow1"};
    ui::TextBox tbBlockName{*this, "tbBlockName"};
    ui::CommandButton btnUpdate1{*this, "btnUpdate1"};
    ui::Label Label5{*this, "Label5"};
    ui::Label Label6{*this, "Label6"};
    ui::Label Label7{*this, "Label7"};
    ui::Label Label8{*this, "Label8"};
    ui::ListBox lbTags{*this, "lbTags"};
    ui::CommandButton btnView{*this, "btnView"};
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::CommandButton btnMake{*this, "btnMake"};

    void btnBrowseExcel_Click();
    void btnView_Click();
    void btnCancel_Click();
    // Refills lbTags from tagList: the shortened tag name, col, row and Value, tabbed.
    void UpdateListBox();

  protected:
    // Puts the Block ID cell (Excel's active cell) into the three Block ID boxes.
    void TakeBlockIdCell();
    // Shows an error message (information icon, title "Error"), then brings Excel forward.
    void Tell(const std::string& text);
    // Link Block maximises Excel again right after its file chooser; Insert Block shows
    // the path first and only brings Excel forward.
    bool maximiseAfterChooser_ = true;

    Module& m_;
};

}  // namespace tbln
