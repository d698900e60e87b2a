// The window calls of the user-interface port on real windows: placement, the top-most
// band, the system menu, list box messages, activation by title, the screen size and
// child windows (the progress bar's common control), and the system's choosers for files
// (the common open and save dialogs) and folders (the shell's folder chooser), message
// boxes and "let pending events run". The modal forms are not here: the adapter that
// shows the dialogs as windows derives from Win32Windows and adds ShowModal.
#pragma once

#include <string>
#include <vector>

#include "platform/ui.hpp"

struct HWND__;
using HWND = HWND__*;

namespace tbln::win32 {

class Win32Windows : public ui::Ui {
  public:
    Win32Windows();

    int MsgBox(const std::string& prompt, int style, const std::string& title) override;
    void DoEvents() override;

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
    // Activates the top-level window whose title is `title` or, failing that, begins
    // with it; raises 5 when there is none.
    void AppActivate(const std::string& title) override;
    Long ScreenWidth() override;
    Long ScreenHeight() override;

    ui::Hwnd CreateWindowEx(Long exStyle, const std::string& className, const std::string& title,
                            Long style, Long x, Long y, Long width, Long height,
                            ui::Hwnd parent) override;
    bool DestroyWindow(ui::Hwnd hwnd) override;
    ui::Hwnd SetParent(ui::Hwnd child, ui::Hwnd parent) override;
    bool ShowWindow(ui::Hwnd hwnd, Long command) override;
    bool MoveWindow(ui::Hwnd hwnd, Long x, Long y, Long width, Long height, bool repaint) override;
    Long GetWindowLong(ui::Hwnd hwnd, Long index) override;
    Long SetWindowLong(ui::Hwnd hwnd, Long index, Long value) override;
    Long TwipsPerPixelX() override;
    Long TwipsPerPixelY() override;

    bool GetOpenFileName(ui::FileDialogRequest& request) override;
    bool GetSaveFileName(ui::FileDialogRequest& request) override;
    std::string BrowseForFolder(ui::Hwnd owner, const std::string& title) override;

  protected:
    // The window a chooser or message box is modal to when the caller names none.
    virtual HWND DialogOwner();

  private:
    bool FileDialog(ui::FileDialogRequest& request, bool save);
    ui::ChooserFolders folders_;
};

}  // namespace tbln::win32
