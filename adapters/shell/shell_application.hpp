// "Shell.Application" over the ui:: port's folder chooser.
#pragma once

#include "platform/objects.hpp"
#include "platform/ui.hpp"

namespace tbln::shell {

// Registers "Shell.Application" with the server: every CreateObject gives a new shell
// object whose BrowseForFolder is ui's folder chooser. There is no running instance
// to attach to, as on the original platform.
void RegisterShellApplication(ObjectServer& server, ui::Ui& ui);

}  // namespace tbln::shell
