// The library as another program calls it: a Session builds the Module with every
// dialog registered, over the default adapters (the embedded spreadsheet and document
// engines, POSIX files and processes, a user interface chosen by name at start-up),
// and the Application whose entry points the caller uses.
//
// User interfaces are chosen from a registry by name: "scripted" (dialogs answered by
// a queued script, the default) is always there; a toolkit adapter registers itself
// under its own name with RegisterUi before the Session is built. The shared library
// also finds a user interface as a plugin beside itself (libtbln-NAME.so, which
// registers itself when loaded): "qt", the real dialogs on Qt Widgets with a window
// showing the workbook, is loaded only by a caller who chooses it, so no other caller
// loads Qt. "auto" chooses "qt" where it can show windows, else "scripted".
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/application.hpp"
#include "automation/module.hpp"
#include "platform/objects.hpp"
#include "platform/sys.hpp"
#include "platform/ui.hpp"

namespace tbln {

namespace scripted {
class ScriptedUi;
}

// Makes a user interface; it is given the session's object server, through which a
// desktop user interface finds the running spreadsheet to show beside the dialogs.
// Raises std::exception (with the reason) when it cannot run here.
using UiFactory = std::function<std::unique_ptr<ui::Ui>(ObjectServer& objects)>;

// Adds (or replaces) the user interface known by `name`.
void RegisterUi(const std::string& name, UiFactory factory);
// The names of the registered user interfaces and of the plugins beside the shared
// library, sorted.
std::vector<std::string> UiNames();

// The external reader could not be found; the message says where it was looked for.
class ReaderMissing : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Creates the reader and pictures folders under the install root of `sys` and copies
// the external reader into the reader folder when it is missing there or differs from
// the one found: TBLN_READER, else beside the running program, else the build tree's
// or the installation's reader. Raises ReaderMissing when none can be found.
void InstallReader(sys::System& sys);

// A message box the user was shown.
struct ShownMessage {
    std::string title;
    std::string text;
};

class Session {
  public:
    // `root` stands for the fixed install folder (empty: QUORVEX_ROOT, else
    // ~/.local/share/quorvex); `uiName` picks the user interface from the registry, or
    // is "auto". Raises std::invalid_argument for an unknown name and the factory's
    // error when the user interface cannot run here.
    explicit Session(const std::string& root = "", const std::string& uiName = "scripted");
    // Over the caller's own user interface, which must outlive the session; `UiName()`
    // is then empty.
    Session(const std::string& root, ui::Ui& ui);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Application& App() { return *app_; }
    Module& GetModule() { return *module_; }
    sys::System& Sys();
    ObjectServer& Objects() { return objects_; }
    ui::Ui& Ui() { return *ui_; }
    // The name of the user interface chosen ("auto" resolved).
    const std::string& UiName() const { return uiName_; }
    // Why "auto" chose the scripted interface where the real dialogs could not be loaded
    // safely (another Qt major version in the process); empty otherwise.
    const std::string& UiWarning() const { return uiWarning_; }

    // Places the external reader in the install root (see InstallReader).
    void InstallReader();

    // The scripted user interface, or nullptr when another one was chosen.
    scripted::ScriptedUi* Scripted() { return scripted_; }

    // Scripting the dialogs (scripted user interface only; else std::logic_error).
    // The next file chooser answers `path`; nullopt: the user cancels it.
    void PushFileChoice(std::optional<std::string> path);
    // The next folder chooser answers `path`; nullopt: the user cancels it.
    void PushFolderChoice(std::optional<std::string> path);
    void Click(const std::string& control);
    void SetText(const std::string& control, const std::string& text);
    void Pick(const std::string& control, int index);
    void Check(const std::string& control, int value);
    // The next message box is answered with `answer` (its default button otherwise).
    void PushAnswer(int answer);
    // The user clicks `cell` (A1 form) of Excel's active sheet beside the dialog.
    void SelectCell(const std::string& cell);
    // Chooses `file` in the file chooser opened by `browseButton`, then the sheet.
    void OpenWorkbook(const std::string& file, const std::string& sheet,
                      const std::string& browseButton);
    // The whole range-import dialog: workbook, sheet, range ("A1:H20", "B2", or empty
    // for the sheet's used area), then OK. Raises std::invalid_argument for a bad range.
    void RangeDialog(const std::string& file, const std::string& sheet, const std::string& range);
    // Answers the dialogs from the answers file at `path` (see script::UseAnswers:
    // TBLN_MESSAGES is honoured); raises std::invalid_argument naming the file, the line
    // and the problem when it cannot be read or holds a malformed line.
    void UseAnswers(const std::string& path);
    // The message boxes shown so far.
    std::vector<ShownMessage> Messages() const;

  private:
    void Build(ui::Ui& ui, const std::string& root);
    scripted::ScriptedUi& RequireScripted();

    std::string uiName_, uiWarning_;
    std::unique_ptr<ui::Ui> ownUi_;  // the one chosen by name
    ui::Ui* ui_ = nullptr;
    scripted::ScriptedUi* scripted_ = nullptr;
    std::unique_ptr<sys::System> sys_;
    ObjectServer objects_;
    std::unique_ptr<Module> module_;
    std::unique_ptr<Application> app_;
};

}  // namespace tbln
