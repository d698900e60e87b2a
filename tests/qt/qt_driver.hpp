// The drivers of the scripted and the Qt adapters: the scripted one takes the steps as
// its script; the Qt one performs them on the real widgets (mouse clicks, typing, keys,
// answering a message box) while the dialog's event loop runs.
#pragma once

#include <memory>

#include "ui/ui_scenarios.hpp"

namespace tbln {

std::unique_ptr<UiDriver> MakeScriptedDriver();
std::unique_ptr<UiDriver> MakeQtDriver();

}  // namespace tbln
