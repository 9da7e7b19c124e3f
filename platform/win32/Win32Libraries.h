#pragma once
// Where the program's libraries come from. The program's own folder may be writable by
// every program of the user (a per-user install is), so a library placed there must
// never be loaded: the program imports only libraries that Windows always takes from
// its own folder (the Known DLLs), and loads any other library from System32 by
// itself. Nothing here includes a Windows header.

namespace talvex::platform::win32 {

/// Makes System32 the only folder searched for libraries loaded by name from now on,
/// the program's own folder and the current folder included. Call first thing in
/// main(), before anything can load a library; false when the system refused.
bool LoadLibrariesOnlyFromSystem();

}  // namespace talvex::platform::win32
