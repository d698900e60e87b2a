// Drives the Win32 dialogs the way a person does, while the dialog's own message loop
// runs: each step waits until the window it needs is there, then finds the control by
// its window identifier and sends what a person's action sends (WM_SETTEXT with the
// edit's change notification, BM_CLICK, a list's selection with the notification a real
// click sends, keys through the dialog manager), answers message boxes by their buttons
// and file choosers by their file name box.
#pragma once

#include <memory>
#include <string>

#include "adapters/win32/win32_ui.hpp"
#include "ui/ui_scenarios.hpp"

namespace tbln {

class Win32Driver : public UiDriver {
  public:
    // Drives `ui`, which must outlive the driver; without one, the driver's own.
    explicit Win32Driver(win32::Win32Ui* ui = nullptr);
    ~Win32Driver() override;

    ui::Ui& Ui() override;
    void Type(const std::string& control, const std::string& text) override;
    void Pick(const std::string& control, int index) override;
    void Click(const std::string& control) override;
    void ClickDuringWork(const std::string& control) override;
    void Wait(int ms) override;
    void Call(std::function<void()> call) override;
    void Answer(int answer) override;
    void CancelChooser() override;
    void ChooseFile(const std::string& path) override;
    void Key(const std::string& key) override;
    void Run(ui::Form& form) override;

    // Presses the close box of the dialog on top.
    void CloseBox();
    // Waits for a message box, records its title and text, answers it.
    void ReadAndAnswer(int answer, std::string& title, std::string& text);
    // Runs `act` once a dialog captioned `caption` is the one on top.
    void OnDialog(const std::string& caption, std::function<void(ui::Form&)> act);
    // Steps that never became ready, named; empty when every step ran.
    const std::string& Failures() const;

    class Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tbln
