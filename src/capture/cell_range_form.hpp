// CellRangeForm: the range-import dialog behind BuildCell. The user picks a workbook
// with Excel's own chooser, a sheet and the two corner cells; Start runs the reader,
// widens the range over merged areas and centre-across runs, and captures it.
#pragma once

#include <string>

#include "automation/module.hpp"
#include "capture/capture_range.hpp"
#include "controls/progress_bar.hpp"
#include "platform/ui.hpp"

namespace tbln {

class CellRangeForm : public ui::Form, public ProgressDialog {
  public:
    explicit CellRangeForm(Module& m);

    ui::Label lbTitle{*this, "lbTitle"};
    ui::Label Label3{*this, "Label3"};
    ui::TextBox tbPath{*this, "tbPath"};
    ui::CommandButton btnBrowse{*this, "btnBrowse"};
    ui::Label Label6{*this, "Label6"};
    ui::ComboBox cbSheetName{*this, "cbSheetName"};
    ui::Label Label7{*this, "Label7"};
    ui::Label Label10{*this, "Label10"};
    ui::Label Label11{*this, "Label11"};
    ui::TextBox topLeftCol{*this, "topLeftCol"};
    ui::TextBox topLeftRow{*this, "topLeftRow"};
    ui::CommandButton btnUpdateTL{*this, "btnUpdateTL"};
    ui::Label Label12{*this, "Label12"};
    ui::TextBox botRightCol{*this, "botRightCol"};
    ui::TextBox botRightRow{*this, "botRightRow"};
    ui::CommandButton btnUpdateBR{*this, "btnUpdateBR"};
    ui::CommandButton btnView{*this, "btnView"};
    ui::Label lbNote{*this, "lbNote"};
    ui::Label lbProgressTitle{*this, "lbProgressTitle"};
    ProgressBar ProgressBar1;
    ui::Label lbProgress{*this, "lbProgress"};
    ui::CommandButton btnOK{*this, "btnOK"};
    ui::CommandButton btnCancel{*this, "btnCancel"};
    ui::Timer Timer1{*this, "Timer1"};

    // True from load on; false only while the workbook chooser of Browse is up.
    bool excelFocusOnHover = false;

    void Form_Load() override;
    void Form_MouseMove(int button, int shift, Single x, Single y) override;
    void btnBrowse_Click();
    void cbSheetName_Change();
    void btnUpdateTL_Click();
    void btnUpdateBR_Click();
    void btnView_Click();
    void btnOK_Click();
    void btnCancel_Click();
    void Timer1_Timer();

    ProgressDisplay Progress() override { return {ProgressBar1, lbProgress, lbProgressTitle}; }

  private:
    bool hasSpecialCharFile(const std::string& text);
    bool hasSpecialCharSheet(const std::string& text);
    std::string CornerAddress() const;
    void Advance();
    void WidenOverMergedAreas();
    void WidenOverCentredText();
    void ResetProgressMax(bool resetPosition);

    Module& m_;
    // Set while Start runs: a second Start or Browse in its event pumping is ignored.
    bool busy_ = false;
};

// The name checks' messages, shared by the file path and the sheet name.
bool ShowSpecialCharMessage(ui::UserInterface& ui, const std::string& text, bool isFile);

}  // namespace tbln
