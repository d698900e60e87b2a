// The "qt" user interface as a plugin of the shared library (libtbln-qt.so): the real
// dialogs on Qt Widgets, with the sheet window showing the running spreadsheet beside
// them so that the Update buttons read the cells the user clicks. The library loads
// the plugin only for a caller who asks for "qt" (or "auto" where windows can be
// shown), so no other caller loads Qt. Loading it registers the user interface.
#include <QApplication>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "adapters/qt/display_probe.hpp"
#include "adapters/qt/qt_ui.hpp"
#include "adapters/qt/sheet_window.hpp"
#include "tbln.hpp"

namespace tbln {
namespace {

// Qt can show windows: on an X or Wayland display, or on the platform the caller names
// (QT_QPA_PLATFORM=offscreen for windows that are never seen).
bool CanShowWindows() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// The process's widget application: the caller's own, else one made here that lives as
// long as the process (the dialogs of every session share it).
void EnsureApplication() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    if (QCoreApplication::instance())
        throw std::runtime_error(
            "the qt user interface needs a widget application, and another Qt application runs");
    if (!CanShowWindows())
        throw std::runtime_error(
            "the qt user interface needs a display: set DISPLAY or WAYLAND_DISPLAY, or "
            "QT_QPA_PLATFORM (offscreen shows no windows)");
    // Qt ends the process when its platform cannot start: asked first, the caller hears why.
    if (const std::string problem = qt::DisplayProblem(); !problem.empty())
        throw std::runtime_error("the qt user interface cannot run: " + problem);
    static int argc = 1;
    static char name[] = "tbln";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// The dialogs, and the sheet window that follows the session's spreadsheet while an
// entry point's dialog is up. The caller's window is the dialogs' opener (they are modal
// to it); when the outermost dialog closes the call returns, and the sheet window closes
// with it rather than stay on the caller's screen with no one to answer it.
class LibraryDesktop : public qt::QtUi {
  public:
    explicit LibraryDesktop(ObjectServer& objects)
        : sheet_(*this, workbook::RunningSpreadsheet(objects)) {
        sheet_.Follow(false);
    }

    void ShowModal(ui::Form& form) override {
        struct Depth {
            LibraryDesktop& d;
            explicit Depth(LibraryDesktop& desk) : d(desk) {
                if (d.depth_++ == 0) d.sheet_.Follow(true);
            }
            ~Depth() {
                if (--d.depth_ == 0) d.sheet_.Follow(false);
            }
        } depth(*this);
        qt::QtUi::ShowModal(form);
    }

  private:
    qt::SheetWindow sheet_;
    int depth_ = 0;
};

const bool registered = [] {
    RegisterUi("qt", [](ObjectServer& objects) -> std::unique_ptr<ui::Ui> {
        EnsureApplication();
        return std::make_unique<LibraryDesktop>(objects);
    });
    return true;
}();

}  // namespace
}  // namespace tbln
