#pragma once
// The application id of a sandboxed (Flatpak) process, so that a rule can name the
// application instead of its path inside the sandbox, which every such app shares
// in shape (/app/bin/...).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvex::platform {

/// The id in the text of a sandbox's /.flatpak-info (key "name" of group
/// "[Application]"); nullopt when there is none or it is no application id.
std::optional<std::string> AppIdFromFlatpakInfo(std::string_view text);
/// The id in the text of /proc/PID/cgroup, from a unit app-flatpak-ID-N.scope;
/// nullopt when the process runs in no such unit.
std::optional<std::string> AppIdFromCgroups(std::string_view text);
/// The application id of process `pid`: from the sandbox's /.flatpak-info, else from
/// its cgroup; empty for a process that is not a sandboxed application.
std::string FlatpakAppId(std::int32_t pid);

}  // namespace talvex::platform
