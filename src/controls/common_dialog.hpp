// CommonDialog: the program's own file dialog class over the ui:: port's open and
// save choosers. A few properties (owner, title, filter, initial folder, three option
// flags) and two methods that return the chosen path, or, for several files chosen
// at once, the folder and the file names separated by NUL characters.
#pragma once

#include <string>

#include "core/numeric.hpp"
#include "platform/sys.hpp"
#include "platform/ui.hpp"

namespace tbln {

class CommonDialog {
  public:
    // The owner is a top-level window titled "Open Excel File" when there is one; the
    // initial folder is the current directory.
    CommonDialog(ui::UserInterface& ui, ui::WindowManager& windows, sys::System& sys);

    void SetOwnerHwnd(ui::Hwnd hwnd) { ownerHwnd_ = hwnd; }
    ui::Hwnd OwnerHwnd() const { return ownerHwnd_; }
    // An empty title is ignored: the title stays as it was.
    void SetTitle(const std::string& title);
    const std::string& Title() const { return title_; }
    // Takes "|" as well as NUL as the separator; the stored filter ends in a NUL.
    void SetFilter(const std::string& filter);
    // The filter with "|" for NUL and one trailing "|" dropped.
    std::string Filter() const;
    // The filter as stored, NUL-separated.
    const std::string& StoredFilter() const { return filter_; }
    void SetInitialDir(const std::string& dir) { initialDir_ = dir; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetHideReadOnly(bool value) { hideReadOnly_ = value; }
    void SetMultiSelect(bool value) { multiSelect_ = value; }
    void SetFileMustExist(bool value) { fileMustExist_ = value; }

    // The chooser's option flags for ShowOpen and ShowSave.
    Long OpenFlags() const;
    Long SaveFlags() const;

    // The chosen path; with MultiSelect the path followed by a NUL, or for several
    // files the folder, a NUL, and each name followed by a NUL. "" when the user
    // cancels or the choice does not fit the 5000-character buffer. Never raises.
    std::string ShowOpen();
    std::string ShowSave();

  private:
    ui::FileDialogRequest Request(Long flags) const;
    static std::string Result(bool chosen, const std::string& fileName, Long flags);

    ui::UserInterface& ui_;
    ui::Hwnd ownerHwnd_ = 0;
    std::string title_ = "Open File";
    std::string filter_ = std::string("All Files") + '\0' + "*.*" + '\0';
    std::string initialDir_;
    bool hideReadOnly_ = false;
    bool multiSelect_ = false;
    bool fileMustExist_ = false;
};

}  // namespace tbln
