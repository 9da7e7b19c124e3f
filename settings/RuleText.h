#pragma once
// The stored form of one program rule: its six fields, each followed by "|", e.g.
// "taskmgr.exe|0|True|True|False|False|". Two older forms are still read: three fields
// (name, boost level, never boost) and five (without the hang-up message flag).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rules/TalvexItem.h"

namespace talvex {

/// One rule as read back from the store.
struct StoredRule {
    std::string sItem;
    std::int16_t iBoostLevel = 0;
    bool bNeverBoost = false;
    bool bNoBkgObservation = false;
    bool bNoHangUpObservation = false;
    bool bNoHangUpObservationMsg = false;
};

/// The text a rule is stored as.
std::string RuleText(const TalvexItem& item);

/// The rule a stored text holds; nullopt for a text of fewer than four characters, an
/// unknown number of pieces, or a level or flag that does not convert. In the oldest
/// form, the task manager and this program itself (named "talvex.exe" or sOwnExeName)
/// are left alone by background observation. A name that itself contains "|" makes
/// more than seven pieces; the last six then hold the fields and the rest is the name.
std::optional<StoredRule> ParseRuleText(std::string_view sText, std::string_view sOwnExeName);

}  // namespace talvex
