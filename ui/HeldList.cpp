#include "ui/HeldList.h"

#include "engine/BkgObservation.h"
#include "i18n/FormatMsg.h"
#include "i18n/TextIds.h"
#include "platform/IProcessApi.h"
#include "platform/UiControl.h"

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

}  // namespace

std::string RowText(const StringTable& s, const HeldRow& row, const std::string& sNow) {
    const std::string lever = row.lever == HeldLever::SessionGroup
                                  ? s.Lang(TextId::LeverSessionGroup)
                              : row.lever == HeldLever::CpuGroup ? s.Lang(TextId::LeverCpuGroup)
                                                                 : s.Lang(TextId::LeverPriority);
    const std::string since = row.reason ? SinceText(row.reason->sSince, sNow) : "?";
    const std::string why = row.reason ? WhyText(s, *row.reason) : "?";
    const std::string format = s.Lang(TextId::HeldRow);
    return FormatMsg(format,
                     MsgArgs{row.sExeName.empty() ? std::string("?") : row.sExeName,
                             std::int64_t{row.lPid}, lever, ValueText(s, row.values, row.before),
                             ValueText(s, row.values, row.now), since, why});
}

std::string CountText(const StringTable& s, const HeldCount& count) {
    if (count.boosted == 0 && count.lowered == 0) return {};
    return FormatMsg(s.Lang(TextId::HeldCount),
                     MsgArgs{std::int64_t{count.boosted}, std::int64_t{count.lowered}});
}

}  // namespace talvex::held
