// The Application class of the automation server and the session behind it.
#pragma once

#include "apps/com/win.hpp"

#include <memory>

#include "apps/lib/tbln.hpp"

namespace tbln::com {

// The library's session as the DLL runs it: the scripted user interface, answered
// from the file TBLN_ANSWERS names when it is set (no dialog windows exist here).
std::unique_ptr<Session> MakeSession();

// A new Application object (all of them share the one session).
HRESULT CreateApplication(REFIID iid, void** out);

}  // namespace tbln::com
