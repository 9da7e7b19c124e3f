#pragma once
// The words of the held-changes list and of the tray tooltip's count, in the language
// loaded now.

#include <string>
#include <vector>

#include "engine/HeldChanges.h"
#include "i18n/StringTable.h"
#include "platform/UiControl.h"

namespace talvex::held {

/// One line of the list: program, pid, lever, before and now, since when and why.
/// `sNow` is the local date and time now: a change of today shows only its time.
std::string RowText(const StringTable& strings, const HeldRow& row, const std::string& sNow);
/// The cells of the row in the Advanced window's table, in the order of HeldColumns:
/// program, pid, lever, before, now, why, since.
std::vector<std::string> RowCells(const StringTable& strings, const HeldRow& row,
                                  const std::string& sNow);
/// The table's column headers and their widths in twips.
std::vector<platform::ReportColumn> HeldColumns(const StringTable& strings);
/// "1 boosted, 2 lowered"; empty when nothing is boosted or lowered.
std::string CountText(const StringTable& strings, const HeldCount& count);

}  // namespace talvex::held
