// windows.h for the sources that call Win32, without the macros that clash with the
// ports' own names: DeleteFile and CopyFile (members of the system port), and the
// numbers the ports declare as constants of their own (ui::HWND_TOPMOST, registry::REG_SZ,
// ...), so that those names mean the ports' constants in every source, whichever header
// it includes first.
#pragma once

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#undef DeleteFile
#undef CopyFile
#undef FindWindow
#undef SendMessage
#undef GetWindowLong
#undef SetWindowLong
#undef CreateWindowEx
#undef GetOpenFileName
#undef GetSaveFileName

#undef BIF_EDITBOX
#undef BIF_NEWDIALOGSTYLE
#undef BIF_RETURNONLYFSDIRS
#undef GWL_EXSTYLE
#undef HTCAPTION
#undef HWND_NOTOPMOST
#undef HWND_TOPMOST
#undef LB_SETTABSTOPS
#undef MF_BYPOSITION
#undef PBM_GETRANGE
#undef PBM_SETBARCOLOR
#undef PBM_SETBKCOLOR
#undef PBM_SETPOS
#undef PBM_SETRANGE
#undef PBM_SETRANGE32
#undef PBM_SETSTEP
#undef PBM_STEPIT
#undef PBS_SMOOTH
#undef PBS_VERTICAL
#undef REG_BINARY
#undef REG_DWORD
#undef REG_EXPAND_SZ
#undef REG_SZ
#undef SWP_NOMOVE
#undef SWP_NOSIZE
#undef SW_SHOWMAXIMIZED
#undef WM_NCLBUTTONDOWN
#undef WS_EX_CLIENTEDGE
#undef WS_EX_STATICEDGE
