#pragma once
// The words of the held-changes list and of the tray tooltip's count, in the language
// loaded now.

#include <string>
#include <vector>

#include "engine/HeldChanges.h"
#include "i18n/StringTable.h"

namespace talvex::held {

/// One line of the list: program, pid, lever, before and now, since when and why.
/// `sNow` is the local date and time now: a change of today shows only its time.
std::string RowText(const StringTable& strings, const HeldRow& row, const std::string& sNow);
/// "1 boosted, 2 lowered"; empty when nothing is boosted or lowered.
std::string CountText(const StringTable& strings, const HeldCount& count);

}  // namespace talvex::held
