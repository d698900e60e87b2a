// DistributeForm, the Populate dialog: the workbook and sheet, the first, second and
// last drawing-name cells (one column or one row, a fixed step), the template drawing
// and the output folder for producing a batch of drawings.
#pragma once

#include <string>

#include "batch/batch_dialog.hpp"

namespace tbln {

// The outcome of getRange: on success the reference text of every drawing-name cell
// (joined by " ,"); otherwise the message that says why not.
struct NameRange {
    bool ok = false;
    std::string reference;
    std::string message;
};

// The drawing-name cells from the first, second and last cell's column letters and
// row texts. Column letters of three or more characters are reported by ColumnNumber.
NameRange getRange(ui::UserInterface& ui, std::string col1, const std::string& row1Text,
                   std::string col2, const std::string& row2Text, std::string coln,
                   const std::string& rownText);

class DistributeForm : public BatchDialog {
  public:
    explicit DistributeForm(Module& m);

    ui::Label lbTitle{*this, "lbTitle"};
    ui::Frame Frame1{*this, "Frame1"};
    ui::Label Label1{*this, "Label1"};  // "File : "
    ui::Label Label2{*this, "Label2"};  // "Sheet:"
    ui::Label Label3{*this, "Label3"};  // "Column"
    ui::Label Label4{*this, "Label4"};  // "Row"
    ui::Label Label5{*this, "Label5"};  // the three name cells' lines
    ui::Label Label6{*this, "Label6"};
    ui::Label Label7{*this, "Label7"};
    ui::TextBox tbCol1{*this, "tbCol1"};
    ui::TextBox tbRow1{*this, "tbRow1"};
    ui::CommandButton btnUpdate1{*this, "btnUpdate1"};
    ui::TextBox tbCol2{*this, "tbCol2"};
    ui::TextBox tbRow2{*this, "tbRow2"};
    ui::CommandButton btnUpdate2{*this, "btnUpdate2"};
    ui::TextBox tbColn{*this, "tbColn"};
    ui::TextBox tbRown{*this, "tbRown"};
    ui::CommandButton btnUpdaten{*this, "btnUpdaten"};
    ui::Frame Frame2{*this, "Frame2"};
    ui::Label Label8{*this, "Label8"};  // "Template Drawing"
    ui::Label Label9{*this, "Label9"};  // "Output Directory"
    ui::TextBox tbDGNPath{*this, "tbDGNPath"};
    ui::CommandButton btnBrowseDGN{*this, "btnBrowseDGN"};
    ui::TextBox tbOutputPath{*this, "tbOutputPath"};
    ui::CommandButton btnBrowseOutput{*this, "btnBrowseOutput"};
    ui::CommandButton btnView{*this, "btnView"};
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::CommandButton btnPopulate{*this, "btnPopulate"};

    void Form_Load() override;
    void btnBrowseDGN_Click();
    void btnBrowseOutput_Click();
    void btnUpdate1_Click() { TakeCell(tbCol1, tbRow1); }
    void btnUpdate2_Click() { TakeCell(tbCol2, tbRow2); }
    void btnUpdaten_Click() { TakeCell(tbColn, tbRown); }
    bool CheckAndSelectRange();
    void btnView_Click();
    void btnPopulate_Click();
    void btnCancel_Click();

  private:
    void TakeCell(ui::TextBox& col, ui::TextBox& row);
    void Tell(const std::string& text);
};

}  // namespace tbln
