#pragma once
// A library of the system, loaded at run time from System32 and never from the
// program's folder, and the functions it exports.

#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

/// The library `name` from System32 (loaded once, kept for the program's life), or
/// null when it is not there.
HMODULE SystemLibrary(const wchar_t* name);

/// The address of `function` in `library` as a pointer of the declared type `F`, or null.
template <typename F>
F SystemFunction(HMODULE library, const char* function) {
    if (!library) return nullptr;
    // (through void(*)(), the one function type that converts to every other silently)
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, function)));
}

}  // namespace talvex::platform::win32
