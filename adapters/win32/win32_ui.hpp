// The dialogs as Win32 windows: the ui:: adapter on the platform's own controls.
//
// Each form becomes a top-level dialog window sized from the designer's twips (the
// controls sit in the inner area) at the system's DPI, and each control a real control
// at its designer's position: BUTTON (push buttons, check boxes, group boxes for frames),
// EDIT, COMBOBOX (an editable drop-down), LISTBOX with tab stops, STATIC labels, and a
// plain child window for any other control, into which the control's child window (the
// progress bar's msctls_progress32) is placed. Every control gets the window identifier
// ui::ControlId gives it and the forms' Tahoma font scaled for the DPI.
//
// A user's action raises the model's event; after every event the controls are brought
// up to date with the model, so a handler that changes a caption or disables a button is
// seen at once. ShowModal disables the window that opened the dialog and runs its own
// message loop (Enter and Esc through the dialog manager press the default and the cancel
// button) until the form unloads; the close box takes the Cancel path; the timers are the
// system's, restarted whenever the model's timer restarts its count, and wait while a
// message box or chooser is up. An error escaping a handler closes the dialog and is
// raised again from ShowModal, as the runtime does.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "adapters/win32/win32_windows.hpp"

namespace tbln::win32 {

class Win32Ui : public Win32Windows {
  public:
    Win32Ui();
    ~Win32Ui() override;
    Win32Ui(const Win32Ui&) = delete;
    Win32Ui& operator=(const Win32Ui&) = delete;

    // A top-level window the dialogs read from (the sheet window): a dialog never
    // disables it, so the user can keep clicking in it while the dialog is up. `update`,
    // when given, brings the window's title up to date before every search by title.
    void AddWindow(HWND window, std::function<void()> update = {});
    // The dialog window of a form while it is shown, or null.
    HWND FormWindow(const ui::Form& form) const;
    // Called whenever a form has been shown and laid out (tests and screenshots).
    std::function<void(ui::Form&)> onShown;
    // Told of every message box with its title and text.
    std::function<void(const std::string& title, const std::string& prompt)> onMessage;

    int MsgBox(const std::string& prompt, int style, const std::string& title) override;
    void ShowModal(ui::Form& form) override;
    void DoEvents() override;
    bool GetOpenFileName(ui::FileDialogRequest& request) override;
    bool GetSaveFileName(ui::FileDialogRequest& request) override;
    std::string BrowseForFolder(ui::Hwnd owner, const std::string& title) override;
    ui::Hwnd FindWindow(const std::string& className, const std::string& title) override;
    void AppActivate(const std::string& title) override;
    Long SendMessage(ui::Hwnd hwnd, Long message, Long wParam,
                     const std::vector<Long>& lParam) override;
    // A child window asked for before its control has a window (the progress bar makes
    // its bar when the form is built) waits in a hidden window until the form is shown.
    ui::Hwnd CreateWindowEx(Long exStyle, const std::string& className, const std::string& title,
                            Long style, Long x, Long y, Long width, Long height,
                            ui::Hwnd parent) override;

    class Impl;

  protected:
    HWND DialogOwner() override;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tbln::win32
