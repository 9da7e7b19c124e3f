#include "engine/BkgObservation.h"

#include "engine/Engine.h"
#include "engine/EntryRule.h"
#include "i18n/FormatMsg.h"

namespace talvex {

using namespace platform;

namespace {
// Lowers the process to `target` unless it is there already or cannot be opened.
void Lower(Engine& engine, const ProcessEntry& entry, std::int32_t target, std::int16_t threshold,
           std::int16_t nameId, const char* nameDefault) {
    const std::int32_t present = engine.m_modMain.GetWindowPriority(entry.lPid, 0);
    if (present == target || present == kCannotOpen) return;
    engine.m_modMain.SetProcessPriority(entry.lPid, 0, target);
    const StringTable& strings = engine.Strings();
    const std::string format = strings.Lang(
        50, false, false, false, "Found %1 running at >%2% cpu usage. Switching to priority %3.");
    engine.Log().DoLog(
        FormatMsg(format, MsgArgs{entry.sExeName, std::int64_t{threshold},
                                  strings.Lang(nameId, false, false, false, nameDefault)}),
        false);
}

void RestoreNormal(Engine& engine, const ProcessEntry& entry) {
    const std::int32_t present = engine.m_modMain.GetWindowPriority(entry.lPid, 0);
    if (present == NORMAL_PRIORITY_CLASS || present == kCannotOpen) return;
    engine.m_modMain.SetProcessPriority(entry.lPid, 0, NORMAL_PRIORITY_CLASS);
    const StringTable& strings = engine.Strings();
    const std::string format =
        strings.Lang(51, false, false, false, "Restoring priority of %1 to %2.");
    engine.Log().DoLog(
        FormatMsg(format, MsgArgs{entry.sExeName, strings.Lang(23, false, false, false, "Normal")}),
        false);
}
}  // namespace

void ObserveBackground(Engine& engine, ProcessEntry& entry) {
    const modMain& settings = engine.m_modMain;
    // Pid 0 would make the priority queries fall back to Talvex's own process.
    if (!settings.bBkgObservation || entry.lPid == 0) return;
    const std::int16_t rule = FindEntryRule(engine.m_TalvexItems, entry);
    if (rule >= 0 && engine.m_TalvexItems[static_cast<std::size_t>(rule)].bNoBkgObservation) {
        return;
    }
    // The first case that applies decides, even when it then finds nothing to do. Usage
    // above 0 up to the Below Normal threshold changes nothing, so the class is not read.
    const std::int16_t usage = entry.iCpuUsage;
    if (usage > settings.iIdleCpuUsage) {
        Lower(engine, entry, IDLE_PRIORITY_CLASS, settings.iIdleCpuUsage, 21, "Idle");
    } else if (usage > settings.iBelowNormalCpuUsage) {
        Lower(engine, entry, BELOW_NORMAL_PRIORITY_CLASS, settings.iBelowNormalCpuUsage, 20,
              "Below Normal");
    } else if (usage <= 0) {
        RestoreNormal(engine, entry);
    }
}

}  // namespace talvex
