#pragma once
// The common controls' functions this backend needs, from comctl32 loaded at run time.
// comctl32 is not one of the system's Known DLLs, so an import of it could be taken
// from the program's folder; loaded by name from System32 instead, it still comes as
// version 6 through the program's manifest, which redirects that name.

#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

/// InitCommonControlsEx; false when comctl32 is missing.
bool InitControls(const INITCOMMONCONTROLSEX& controls);
/// SetWindowSubclass, RemoveWindowSubclass and DefSubclassProc.
bool Subclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
bool Unsubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id);
LRESULT DefSubclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace talvex::platform::win32
