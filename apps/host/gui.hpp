// The desktop: `tbln gui [--file BOOK]` opens the host window with the system's menu,
// and `tbln --gui COMMAND ...` runs one command with its dialogs shown for real. Only
// the gui unit sees the toolkit; the rest of the host talks to these functions.
#pragma once

#include <nlohmann/json.hpp>

#include "apps/host/host.hpp"
#include "platform/ui.hpp"

namespace tbln::host {

// The desktop user interface of this process, created (with its application object)
// on first use.
ui::Ui& DesktopUi();

// Shows the sheet window following the host's spreadsheet engine, once it runs.
void FollowEngines(Host& host);

// `tbln gui [--file BOOK]`: the host window; returns when the user closes it.
nlohmann::ordered_json GuiCommand(Host& host, const Options& options);

}  // namespace tbln::host
