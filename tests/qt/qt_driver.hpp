// Drives a dialog the way a user does, on either ui:: adapter: the scripted one takes
// the steps as its script; the desktop one performs them on the real widgets (mouse
// clicks, typing, keys, answering a message box) while the dialog's event loop runs.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui.hpp"

namespace tbln {

class UiDriver {
  public:
    virtual ~UiDriver() = default;
    virtual ui::Ui& Ui() = 0;
    virtual void Type(const std::string& control, const std::string& text) = 0;
    virtual void Pick(const std::string& control, int index) = 0;
    virtual void Click(const std::string& control) = 0;
    // A click that arrives while a handler is busy and lets events run.
    virtual void ClickDuringWork(const std::string& control) = 0;
    // Lets the dialog's timers run for this long.
    virtual void Wait(int ms) = 0;
    // Something the user does outside the dialog (in the sheet window).
    virtual void Call(std::function<void()> call) = 0;
    // Answers the next message box with this button.
    virtual void Answer(int answer) = 0;
    // Cancels the next file or folder chooser.
    virtual void CancelChooser() = 0;
    // Chooses this file in the next file chooser.
    virtual void ChooseFile(const std::string& path) = 0;
    // "Escape" or "Enter", pressed on the dialog.
    virtual void Key(const std::string& key) = 0;
    // Shows the form modally and plays the steps.
    virtual void Run(ui::Form& form) = 0;
};

std::unique_ptr<UiDriver> MakeScriptedDriver();
std::unique_ptr<UiDriver> MakeQtDriver();

}  // namespace tbln
