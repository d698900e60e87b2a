// windows.h for the adapters' sources, without the macros that would rename the ports'
// own members (DeleteFile and CopyFile of the system port) in the sources that see it.
#pragma once

#include <windows.h>

#undef DeleteFile
#undef CopyFile
