#include "platform/win32/Win32SystemLibrary.h"

#include "platform/win32/Win32Libraries.h"

namespace talvex::platform::win32 {

bool LoadLibrariesOnlyFromSystem() {
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

HMODULE SystemLibrary(const wchar_t* name) {
    // The flag holds for this load and the libraries it brings along, whatever the
    // process-wide setting is (test programs do not change that one).
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace talvex::platform::win32
