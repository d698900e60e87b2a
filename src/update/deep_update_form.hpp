// Update of imported data and sheet maintenance. DeepUpdateForm is the progress
// dialog behind DeepUpdate: it reopens the recorded workbook and sheet, runs the
// reader and captures the recorded range again, without asking the user anything.
#pragma once

#include "automation/module.hpp"
#include "capture/capture_range.hpp"
#include "controls/progress_bar.hpp"
#include "platform/ui.hpp"

namespace tbln {

class DeepUpdateForm : public ui::Form, public ProgressDialog {
  public:
    explicit DeepUpdateForm(Module& m);

    ui::Label lbTitle{*this, "lbTitle"};
    ui::Label lbNote{*this, "lbNote"};
    ui::Label lbProgressTitle{*this, "lbProgressTitle"};
    ProgressBar ProgressBar1;
    ui::Label lbProgress{*this, "lbProgress"};
    ui::Timer Timer1{*this, "Timer1"};

    // True from load until the first timer tick starts the update.
    bool updatePending = false;

    void Form_Load() override;
    // Closed before its capture has finished (its window's close box), the update is a
    // failed one: DeepUpdate reports it instead of handing back earlier records, and a
    // capture under way stops.
    void Form_Unload() override;
    void Timer1_Timer();

    ProgressDisplay Progress() override { return {ProgressBar1, lbProgress, lbProgressTitle}; }

  private:
    void RunUpdate();
    Module& m_;
};

}  // namespace tbln
