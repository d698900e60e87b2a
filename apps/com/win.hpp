// Windows' headers for the automation server. Their macros for a few window constants
// share names with the product's own constants of the same meaning (HWND_TOPMOST,
// SWP_NOSIZE...), so they are removed here, whichever headers come first.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ole2.h>
#include <oleauto.h>

#undef HWND_TOPMOST
#undef HWND_NOTOPMOST
#undef SWP_NOSIZE
#undef SWP_NOMOVE
#undef SW_SHOWMAXIMIZED
#undef MF_BYPOSITION
#undef LB_SETTABSTOPS
