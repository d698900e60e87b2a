// The desktop user interface: the ui:: adapter on Qt Widgets.
//
// Each form becomes a dialog window and each control its widget at the designer's
// position (twips at 15 per pixel): labels, line edits, push buttons (Enter presses the
// default button, Esc the cancel button), editable combo boxes, list boxes drawn with
// their tab stops, check boxes, timers, and a plain frame for any other control, into
// which child windows (the progress bar's bar) are created. A user's action raises the
// model's event; after every event the widgets are brought up to date with the model,
// so a handler that changes a caption or disables a button is seen at once.
//
// ShowModal runs its own event loop until the form unloads; DoEvents processes the
// pending events. An error escaping a handler closes the dialog and is raised again
// from ShowModal, as the runtime does. Window handles are small numbers the adapter
// hands out for the top-level windows it knows (the forms and any window registered
// with AddWindow, such as the sheet window) and for the controls.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui.hpp"

class QWidget;

namespace tbln::qt {

class QtUi : public ui::Ui {
  public:
    QtUi();
    ~QtUi() override;
    QtUi(const QtUi&) = delete;
    QtUi& operator=(const QtUi&) = delete;

    // A top-level window the dialogs may find and activate by its title. `update`, when
    // given, brings the window's title up to date before every search by title.
    ui::Hwnd AddWindow(QWidget* window, std::function<void()> update = {});
    // The widget behind a handle (a form's window, a control, a child window), or null.
    QWidget* Widget(ui::Hwnd hwnd) const;
    // The dialog window of a form while it is shown, or null.
    QWidget* FormWindow(const ui::Form& form) const;
    // Called whenever a form has been shown and laid out (tests and screenshots).
    std::function<void(ui::Form&)> onShown;
    // Told of every message box with its title and text.
    std::function<void(const std::string& title, const std::string& prompt)> onMessage;

    // ui::UserInterface
    int MsgBox(const std::string& prompt, int style, const std::string& title) override;
    void ShowModal(ui::Form& form) override;
    void DoEvents() override;
    bool GetOpenFileName(ui::FileDialogRequest& request) override;
    bool GetSaveFileName(ui::FileDialogRequest& request) override;
    std::string BrowseForFolder(ui::Hwnd owner, const std::string& title) override;

    // ui::WindowManager
    Long SetWindowPos(ui::Hwnd hwnd, ui::Hwnd insertAfter, Long x, Long y, Long cx, Long cy,
                      Long flags) override;
    ui::Hwnd FindWindow(const std::string& className, const std::string& title) override;
    bool GetWindowPlacement(ui::Hwnd hwnd, ui::WindowPlacement& placement) override;
    bool SetWindowPlacement(ui::Hwnd hwnd, const ui::WindowPlacement& placement) override;
    Long GetSystemMenu(ui::Hwnd hwnd, bool revert) override;
    bool RemoveMenu(Long menu, Long position, Long flags) override;
    Long SendMessage(ui::Hwnd hwnd, Long message, Long wParam,
                     const std::vector<Long>& lParam) override;
    bool ReleaseCapture() override;
    void AppActivate(const std::string& title) override;
    Long ScreenWidth() override;
    Long ScreenHeight() override;

    // ui::ChildWindows
    ui::Hwnd CreateWindowEx(Long exStyle, const std::string& className, const std::string& title,
                            Long style, Long x, Long y, Long width, Long height,
                            ui::Hwnd parent) override;
    bool DestroyWindow(ui::Hwnd hwnd) override;
    ui::Hwnd SetParent(ui::Hwnd child, ui::Hwnd parent) override;
    bool ShowWindow(ui::Hwnd hwnd, Long command) override;
    bool MoveWindow(ui::Hwnd hwnd, Long x, Long y, Long width, Long height, bool repaint) override;
    Long GetWindowLong(ui::Hwnd hwnd, Long index) override;
    Long SetWindowLong(ui::Hwnd hwnd, Long index, Long value) override;
    Long TwipsPerPixelX() override { return 15; }
    Long TwipsPerPixelY() override { return 15; }

    class Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// The filter of a file dialog request ("Text|*.txt|All|*.*") as Qt's name filters.
std::vector<std::string> NameFilters(const std::string& filter);

}  // namespace tbln::qt
