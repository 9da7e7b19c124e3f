#pragma once
// Where a Linux desktop keeps a user's files: the config folder, the runtime folder
// and the running program's own file.

#include <functional>
#include <string>

namespace talvex::platform::xdg {

/// Looks up an environment variable; null when unset. Tests pass their own.
using EnvLookup = std::function<const char*(const char*)>;
/// The process environment.
const char* ProcessEnv(const char* name);

/// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config (the home folder
/// from the password database when HOME is unset); empty when neither is known.
std::string ConfigHome(const EnvLookup& env = ProcessEnv);
/// $XDG_RUNTIME_DIR when it is an absolute path; empty otherwise.
std::string RuntimeDir(const EnvLookup& env = ProcessEnv);
/// A folder only this user can use, for when there is no runtime folder:
/// "<tmp>/talvex-<uid>", created with mode 0700. Empty when it cannot be made safe
/// (it exists but is not a folder of this user, or others may write into it).
std::string PrivateFallbackDir(const std::string& tmpDir = "/tmp");
/// Full path of the running program's file; empty when the system does not say.
std::string OwnExecutablePath();
/// Creates a folder and any missing parents, each new one with `mode`; true when the
/// folder exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode = 0700);

}  // namespace talvex::platform::xdg
