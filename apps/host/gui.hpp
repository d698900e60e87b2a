// The desktop: `tbln gui [--file BOOK]` opens the host window with the system's menu,
// and `tbln --gui COMMAND ...` runs one command with its dialogs shown for real. Only
// the gui unit sees the toolkit; the rest of the host talks to these functions.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>

#include "apps/host/host.hpp"
#include "platform/ui.hpp"

namespace tbln::host {

// The desktop of this process while the one DesktopScope lives: the application
// object, the dialogs' user interface and the sheet window. The program makes the
// scope before the host that shows dialogs through it and destroys it after the host,
// before it returns from main: every window goes before the application object, and
// all of it before the toolkit's own objects go at exit. When the toolkit ends the
// process itself (its display went away), the scope is left as it is, never torn
// down out of order.
class DesktopScope {
  public:
    // Raises UsageError with one line saying why when no window can be shown here
    // (nothing of the toolkit has started then), or in a build without the desktop.
    DesktopScope();
    ~DesktopScope();
    DesktopScope(const DesktopScope&) = delete;
    DesktopScope& operator=(const DesktopScope&) = delete;

    ui::Ui& Ui();
    // Shows the sheet window following the host's spreadsheet engine, once it runs.
    void FollowEngines(Host& host);

    struct Desktop;

  private:
    std::unique_ptr<Desktop> desktop_;
};

// `tbln gui [--file BOOK]`: the host window; returns when the user closes it.
nlohmann::ordered_json GuiCommand(Host& host, const Options& options);

}  // namespace tbln::host
