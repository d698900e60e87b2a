// The Application class of the automation server and the session behind it.
#pragma once

#include "apps/com/win.hpp"

#include <memory>

#include "apps/lib/tbln.hpp"

namespace tbln::com {

// A new Application object (all of them share the one session).
HRESULT CreateApplication(REFIID iid, void** out);

}  // namespace tbln::com
