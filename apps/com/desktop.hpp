// What the user of tbln.dll sees: the library's session over the real Win32 dialogs, or
// over the scripted user interface when the dialogs are answered from a file.
#pragma once

#include <memory>

#include "apps/lib/tbln.hpp"

namespace tbln::com {

// The library's session as the DLL runs it, made on the first creation of an
// Application. When TBLN_ANSWERS is set at that moment, the dialogs of the whole process
// are answered from the file it names (read afresh for each call; an empty file cancels
// every dialog), as the unattended runs and the test suite need; otherwise they are shown
// to the user as Win32 windows (the user interface registered as "win32").
std::unique_ptr<Session> MakeSession();

}  // namespace tbln::com
