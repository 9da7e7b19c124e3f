#pragma once
// The rule of a program: found by its path, or for a sandboxed application by its id.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/modMain.h"
#include "engine/modProcess.h"
#include "rules/TalvexItems.h"

namespace talvex {

/// Index of the first rule matching the path (as fFindInTalvexItems gives it), else of
/// the first matching the sandboxed application's id (a Flatpak app id, whose path
/// inside the sandbox says little); with `blockedOnly`, never-boost rules only.
inline std::int16_t FindRule(const TalvexItems& items, std::string_view path,
                             std::string_view appId, bool blockedOnly = false) {
    const auto find = [&](std::string_view item) {
        return blockedOnly ? items.fFindInBlockedItems(item) : items.fFindInTalvexItems(item);
    };
    const std::int16_t byPath = find(path);
    return byPath >= 0 || appId.empty() ? byPath : find(appId);
}

/// FindRule for a table entry, searched again only when the rule list changed since the
/// entry's last lookup.
inline std::int16_t FindEntryRule(const TalvexItems& items, ProcessEntry& entry) {
    if (entry.lRuleGeneration != items.Generation()) {
        entry.iRule = FindRule(items, entry.sExePath, entry.sAppId);
        entry.lRuleGeneration = items.Generation();
    }
    return entry.iRule;
}

/// The sandboxed application's id of process lPid; empty for others.
inline std::string AppIdOf(modMain::Queries& queries, std::int32_t lPid) {
    platform::IProcessApi& processes = queries.Processes();
    const platform::ProcessHandle handle = processes.OpenProcess(
        platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, lPid);
    if (handle == 0) return {};
    std::string id = processes.GetAppId(handle);
    processes.CloseHandle(handle);
    return id;
}

}  // namespace talvex
