// Stored rules and setting values, which the user may edit by hand: any text is read,
// and a rule or number that was read is written so that it reads back the same.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "settings/RuleText.h"
#include "settings/SettingText.h"

using namespace talvex;

namespace {

void CheckRule(std::string_view text) {
    const auto rule = ParseRuleText(text, "talvex");
    if (!rule) return;
    TalvexItem item;
    item.sItem = rule->sItem;
    item.iBoostLevel = rule->iBoostLevel;
    item.bNeverBoost = rule->bNeverBoost;
    item.bNoBkgObservation = rule->bNoBkgObservation;
    item.bNoHangUpObservation = rule->bNoHangUpObservation;
    item.bNoHangUpObservationMsg = rule->bNoHangUpObservationMsg;
    const auto again = ParseRuleText(RuleText(item), "talvex");
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->sItem == rule->sItem);
    FUZZ_CHECK(again->iBoostLevel == rule->iBoostLevel);
    FUZZ_CHECK(again->bNeverBoost == rule->bNeverBoost);
    FUZZ_CHECK(again->bNoBkgObservation == rule->bNoBkgObservation);
    FUZZ_CHECK(again->bNoHangUpObservation == rule->bNoHangUpObservation);
    FUZZ_CHECK(again->bNoHangUpObservationMsg == rule->bNoHangUpObservationMsg);
}

void CheckValues(std::string_view text) {
    if (const auto value = ParseStoredInteger(text)) {
        FUZZ_CHECK(ParseStoredInteger(std::to_string(*value)) == value);
    }
    if (const auto value = ParseStoredInt16(text)) {
        FUZZ_CHECK(ParseStoredInt32(text) == *value);
    }
    if (const auto value = ParseStoredTwips(text)) {
        FUZZ_CHECK(ParseStoredTwips(std::to_string(*value)) == value);
    }
    if (const auto value = ParseStoredBool(text)) {
        FUZZ_CHECK(ParseStoredBool(StoredBoolText(*value)) == value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::AsText(data, size);
    CheckRule(text);
    CheckValues(text);
    return 0;
}
