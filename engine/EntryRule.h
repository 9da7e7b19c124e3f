#pragma once
// The rule of a table entry, found once per change of the rule list.

#include <cstdint>

#include "engine/modProcess.h"
#include "rules/TalvexItems.h"

namespace talvex {

/// Index of the first rule matching the entry's path (as fFindInTalvexItems gives it),
/// searched again only when the rule list changed since the entry's last lookup.
inline std::int16_t FindEntryRule(const TalvexItems& items, ProcessEntry& entry) {
    if (entry.lRuleGeneration != items.Generation()) {
        entry.iRule = items.fFindInTalvexItems(entry.sExePath);
        entry.lRuleGeneration = items.Generation();
    }
    return entry.iRule;
}

}  // namespace talvex
