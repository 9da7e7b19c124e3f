#pragma once
// Where a Linux desktop keeps a user's files: the config folder, the runtime folder,
// the state folder and the running program's own file.

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
/// $XDG_STATE_HOME when it is an absolute path, else $HOME/.local/state (the home
/// folder from the password database when HOME is unset); empty when neither is known.
std::string StateHome(const EnvLookup& env = ProcessEnv);
/// Makes the folder `path` (missing parents with mode 0700) and checks that it is a
/// folder of this user's own and not a link; one of the user's own that others may
/// enter is closed to mode 0700. False when it cannot be made safe.
bool MakePrivateFolder(const std::string& path);
/// Where Talvex keeps what is private to the user and lasts while it runs: the record
/// of its changes and the single-instance lock. $XDG_RUNTIME_DIR when it is a folder of
/// the user's own that nobody else may write into; else $XDG_STATE_HOME/talvex, made
/// with mode 0700, in a folder another user cannot have made first. Empty when neither
/// can be used. `why` (optional) says which folder was chosen, or why none was.
std::string PrivateFolder(const EnvLookup& env = ProcessEnv, std::string* why = nullptr);
/// Full path of the running program's file; empty when the system does not say.
std::string OwnExecutablePath();
/// Creates a folder and any missing parents, each new one with `mode`; true when the
/// folder exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode = 0700);

}  // namespace talvex::platform::xdg
