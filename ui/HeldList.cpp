#include "ui/HeldList.h"

#include "engine/BkgObservation.h"
#include "i18n/FormatMsg.h"
#include "i18n/TextIds.h"
#include "platform/IProcessApi.h"

namespace talvex::held {

namespace {

// The class in words; a nice value by the class it reads back as.
std::string ValueText(const StringTable& s, platform::Lever values, std::int64_t value) {
    if (values == platform::Lever::GroupWeight) return std::to_string(value);
    const std::int32_t cls = values == platform::Lever::PriorityClass
                                 ? static_cast<std::int32_t>(value)
                                 : platform::ClassForNice(value);
    return ClassWord(s, cls);
}

std::string WhyText(const StringTable& s, const HeldReason& reason) {
    switch (reason.why) {
        case HeldWhy::ByRule:
            return s.Lang(TextId::WhyByRule);
        case HeldWhy::ByGlobalLevel:
            return s.Lang(TextId::WhyByGlobalLevel);
        case HeldWhy::BusyInBackground:
            return FormatMsg(s.Lang(TextId::WhyBusyInBackground),
                             MsgArgs{std::int64_t{reason.iCpuUsage}});
        case HeldWhy::TurnedOff:
            return s.Lang(TextId::WhyTurnedOff);
        case HeldWhy::ChangedByOther:
            return s.Lang(TextId::WhyChangedByOther);
    }
    return {};
}

// The date and time as short text; the date goes when it is today's.
std::string SinceText(const std::string& sSince, const std::string& sNow) {
    const auto space = sSince.rfind(' ');
    if (space == std::string::npos || sNow.compare(0, space + 1, sSince, 0, space + 1) != 0) {
        return sSince;
    }
    return sSince.substr(space + 1);
}

std::string LeverText(const StringTable& s, HeldLever lever) {
    switch (lever) {
        case HeldLever::SessionGroup:
            return s.Lang(TextId::LeverSessionGroup);
        case HeldLever::CpuGroup:
            return s.Lang(TextId::LeverCpuGroup);
        case HeldLever::Priority:
            break;
    }
    return s.Lang(TextId::LeverPriority);
}

}  // namespace

std::vector<std::string> RowCells(const StringTable& s, const HeldRow& row,
                                  const std::string& sNow) {
    return {row.sExeName.empty() ? std::string("?") : row.sExeName,
            std::to_string(row.lPid),
            LeverText(s, row.lever),
            ValueText(s, row.values, row.before),
            ValueText(s, row.values, row.now),
            row.reason ? WhyText(s, *row.reason) : "?",
            row.reason ? SinceText(row.reason->sSince, sNow) : "?"};
}

std::vector<platform::ReportColumn> HeldColumns(const StringTable& s) {
    // Wide enough for the English words ("Below Normal", a date and time); the user may
    // widen a column, or the window.
    return {{s.Lang(TextId::HeldColumnProgram), 1500}, {s.Lang(TextId::HeldColumnPid), 750},
            {s.Lang(TextId::HeldColumnLever), 1650},   {s.Lang(TextId::HeldColumnBefore), 1500},
            {s.Lang(TextId::HeldColumnNow), 1500},     {s.Lang(TextId::HeldColumnWhy), 3300},
            {s.Lang(TextId::HeldColumnSince), 1950}};
}

std::string RowText(const StringTable& s, const HeldRow& row, const std::string& sNow) {
    const std::vector<std::string> cells = RowCells(s, row, sNow);
    return FormatMsg(s.Lang(TextId::HeldRow), MsgArgs{cells[0], std::int64_t{row.lPid}, cells[2],
                                                      cells[3], cells[4], cells[6], cells[5]});
}

std::string CountText(const StringTable& s, const HeldCount& count) {
    if (count.boosted == 0 && count.lowered == 0) return {};
    return FormatMsg(s.Lang(TextId::HeldCount),
                     MsgArgs{std::int64_t{count.boosted}, std::int64_t{count.lowered}});
}

}  // namespace talvex::held
