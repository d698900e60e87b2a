// The desktop in a build without the toolkit: every use says so.
#include "apps/host/gui.hpp"

namespace tbln::host {

struct DesktopScope::Desktop {};

DesktopScope::DesktopScope() {
    throw UsageError("this tbln was built without the desktop user interface");
}

DesktopScope::~DesktopScope() = default;

ui::Ui& DesktopScope::Ui() {
    throw UsageError("this tbln was built without the desktop user interface");
}

void DesktopScope::FollowEngines(Host&) {}

nlohmann::ordered_json GuiCommand(Host&, const Options&) {
    throw UsageError("this tbln was built without the desktop user interface");
}

}  // namespace tbln::host
