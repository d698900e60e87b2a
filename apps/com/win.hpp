// Windows' headers for the automation server: windows.h as the Windows adapters take it
// (without the macros that share names with the ports' own constants), and automation's.
#pragma once

#include "adapters/win32/windows_api.hpp"

#include <oaidl.h>
#include <ole2.h>
#include <oleauto.h>
