// The adapters behind every port the library uses, handed around as one bundle.
#pragma once

#include "platform/objects.hpp"
#include "platform/sys.hpp"
#include "platform/ui.hpp"

namespace tbln {

struct Ports {
    ui::Ui& ui;
    sys::System& sys;
    ObjectServer& objects;
};

}  // namespace tbln
