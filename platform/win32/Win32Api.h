#pragma once
// The Windows headers for this backend's sources, in one place. They define macros
// with the names of constants and operations of the platform interfaces (SW_SHOW,
// WM_LBUTTONDBLCLK, ShellExecute, ...); those are removed here, so the interfaces'
// own names stay usable. Include this, never <windows.h> itself.

// The interfaces that use those names come first, so the macros never reach them.
#include "platform/IShell.h"
#include "platform/UiTypes.h"
// (before the Windows headers on purpose)
#include <windows.h>
// (after windows.h, which they need)
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <windowsx.h>
#include <winhttp.h>

#undef SW_HIDE
#undef SW_SHOWNORMAL
#undef SW_SHOW
#undef SE_ERR_FNF
#undef SE_ERR_NOASSOC
#undef WM_MOUSEMOVE
#undef WM_LBUTTONDOWN
#undef WM_LBUTTONUP
#undef WM_LBUTTONDBLCLK
#undef WM_RBUTTONDOWN
#undef WM_RBUTTONUP
#undef WM_MBUTTONUP
#undef ShellExecute
#undef CreateMutex
#undef GetWindowText
