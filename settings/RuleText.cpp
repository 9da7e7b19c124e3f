#include "settings/RuleText.h"

#include <vector>

#include "rules/TalvexItems.h"
#include "settings/SettingText.h"

namespace talvex {

namespace {

std::vector<std::string_view> SplitAtBars(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto bar = text.find('|');
        pieces.push_back(text.substr(0, bar));
        if (bar == std::string_view::npos) return pieces;
        text.remove_prefix(bar + 1);
    }
}

bool ReadFlag(std::string_view piece, bool& flag) {
    const auto value = ParseStoredBool(piece);
    if (value) flag = *value;
    return value.has_value();
}

// Name, level and never-boost from the first three fields, starting at `first`.
bool ReadCommonFields(const std::vector<std::string_view>& pieces, std::size_t first,
                      StoredRule& rule) {
    const auto level = ParseStoredInt16(pieces[first + 1]);
    if (!level) return false;
    rule.iBoostLevel = *level;
    return ReadFlag(pieces[first + 2], rule.bNeverBoost);
}

bool IsLeftAloneInOldForm(std::string_view name, std::string_view ownExeName) {
    const std::string lower = TalvexItems::ToLower(name);
    return lower == "talvex.exe" || lower == "taskmgr.exe" ||
           (!ownExeName.empty() && lower == TalvexItems::ToLower(ownExeName));
}

}  // namespace

std::string RuleText(const TalvexItem& item) {
    return item.sItem + "|" + std::to_string(item.iBoostLevel) + "|" +
           StoredBoolText(item.bNeverBoost) + "|" + StoredBoolText(item.bNoBkgObservation) + "|" +
           StoredBoolText(item.bNoHangUpObservation) + "|" +
           StoredBoolText(item.bNoHangUpObservationMsg) + "|";
}

std::optional<StoredRule> ParseRuleText(std::string_view sText, std::string_view sOwnExeName) {
    if (sText.size() < 4) return std::nullopt;
    const std::vector<std::string_view> pieces = SplitAtBars(sText);
    StoredRule rule;
    if (pieces.size() == 4) {
        rule.sItem = pieces[0];
        if (!ReadCommonFields(pieces, 0, rule)) return std::nullopt;
        rule.bNoBkgObservation = IsLeftAloneInOldForm(rule.sItem, sOwnExeName);
        return rule;
    }
    if (pieces.size() != 6 && pieces.size() < 7) return std::nullopt;
    // The fields are counted from the end, so a name with "|" in it stays whole.
    const std::size_t fields = pieces.size() == 6 ? 5 : 6;
    const std::size_t first = pieces.size() == 6 ? 0 : pieces.size() - 7;
    for (std::size_t i = 0; i <= first; ++i) {
        if (i > 0) rule.sItem += '|';
        rule.sItem += pieces[i];
    }
    if (!ReadCommonFields(pieces, first, rule) ||
        !ReadFlag(pieces[first + 3], rule.bNoBkgObservation) ||
        !ReadFlag(pieces[first + 4], rule.bNoHangUpObservation)) {
        return std::nullopt;
    }
    if (fields == 6 && !ReadFlag(pieces[first + 5], rule.bNoHangUpObservationMsg)) {
        return std::nullopt;
    }
    return rule;
}

}  // namespace talvex
