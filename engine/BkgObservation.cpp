#include "engine/BkgObservation.h"

#include "base/AccessKey.h"
#include "engine/Engine.h"
#include "engine/EntryRule.h"
#include "i18n/FormatMsg.h"

namespace talvex {

using namespace platform;

namespace {
// Lowers the process to `target` unless it is there already or cannot be opened.
void Lower(Engine& engine, const ProcessEntry& entry, std::int32_t target, std::int16_t threshold,
           std::int16_t nameId, const char* nameDefault) {
    modMain::Queries& queries = engine.Queries();
    const std::int32_t present = queries.GetWindowPriority(entry.lPid, 0);
    if (present == target || present == kCannotOpen) return;
    // Without the right to raise, a lowered process could never get its priority back.
    if (!queries.Processes().CanRaisePriority()) return;
    // A change that did not take effect gets no line (it would be tried, and logged,
    // on every tick).
    if (queries.SetProcessPriority(entry.lPid, 0, target) != target) return;
    engine.NoteHeld(entry.lPid, HeldWhy::BusyInBackground, entry.iCpuUsage);
    const StringTable& strings = engine.Strings();
    const std::string format = strings.Lang(
        50, false, false, false, "Found %1 running at >%2% cpu usage. Switching to priority %3.");
    engine.Log().DoLog(
        FormatMsg(format, MsgArgs{entry.sExeName, std::int64_t{threshold},
                                  strings.Lang(nameId, false, false, false, nameDefault)}),
        false);
}

// The class's name as the language file has it (the boost levels with access keys).
std::string ClassCaption(const StringTable& strings, std::int32_t priorityClass) {
    switch (priorityClass) {
        case IDLE_PRIORITY_CLASS:
            return strings.Lang(21, false, false, false, "Idle");
        case BELOW_NORMAL_PRIORITY_CLASS:
            return strings.Lang(20, false, false, false, "Below Normal");
        case NORMAL_PRIORITY_CLASS:
            return strings.Lang(23, false, false, false, "Normal");
        case ABOVE_NORMAL_PRIORITY_CLASS:
            return strings.Lang(5, false, false, false, "Above Normal");
        case HIGH_PRIORITY_CLASS:
            return strings.Lang(6, false, false, false, "High");
        case REALTIME_PRIORITY_CLASS:
            return strings.Lang(7, false, false, false, "Realtime");
        default:
            return strings.Lang(22, false, false, false, "Unknown");
    }
}
}  // namespace

// Name of a class in the log's words. The boost levels' names are the main window's
// captions: their access keys do not belong in a sentence.
std::string ClassWord(const StringTable& strings, std::int32_t priorityClass) {
    return WithoutAccessKey(ClassCaption(strings, priorityClass));
}

namespace {
// An idle process that Talvex lowered gets back exactly what it had. A priority that
// somebody else chose (a job started with nice, a sound server kept high) is left alone.
void UndoLowering(Engine& engine, const ProcessEntry& entry) {
    if (engine.Queries().UndoProcessChanges(entry.lPid) == 0) return;
    engine.Held().Forget(entry.lPid);
    const StringTable& strings = engine.Strings();
    const std::string format =
        strings.Lang(51, false, false, false, "Restoring priority of %1 to %2.");
    const std::int32_t now = engine.Queries().GetWindowPriority(entry.lPid, 0);
    engine.Log().DoLog(FormatMsg(format, MsgArgs{entry.sExeName, ClassWord(strings, now)}), false);
}
}  // namespace

void ObserveBackground(Engine& engine, ProcessEntry& entry) {
    const modMain::Queries& settings = engine.Queries();
    // Pid 0 would make the priority queries fall back to Talvex's own process.
    if (!settings.bBkgObservation || entry.lPid == 0) return;
    // Talvex itself is never observed, whatever its file is called: it runs at High by
    // its own choice, and lowering or "restoring" it would undo that.
    if (entry.lPid == engine.Queries().Processes().GetCurrentProcessId()) return;
    // The user put this program back by hand: it stays as it is until it comes to the front.
    if (engine.Held().LeftAlone(entry.lPid)) return;
    // The first case that applies decides, even when it then finds nothing to do. Usage
    // above 0 up to the Below Normal threshold changes nothing, and an idle process that
    // holds no change of Talvex's has nothing to put back: most processes on most ticks,
    // so for them neither the rules nor the class are looked at.
    const std::int16_t usage = entry.iCpuUsage;
    const bool lowers = usage > settings.iIdleCpuUsage || usage > settings.iBelowNormalCpuUsage;
    const bool holds = engine.Queries().Processes().Changes().Holds(entry.lPid);
    if (!lowers && (usage > 0 || !holds)) return;
    const std::int16_t rule = FindEntryRule(engine.Items(), entry);
    if (rule >= 0 && engine.Items()[static_cast<std::size_t>(rule)].bNoBkgObservation) {
        return;
    }
    if (usage > settings.iIdleCpuUsage) {
        Lower(engine, entry, IDLE_PRIORITY_CLASS, settings.iIdleCpuUsage, 21, "Idle");
    } else if (usage > settings.iBelowNormalCpuUsage) {
        Lower(engine, entry, BELOW_NORMAL_PRIORITY_CLASS, settings.iBelowNormalCpuUsage, 20,
              "Below Normal");
    } else if (modProcess::IsIdle(entry)) {
        // Not merely starved: a process lowered under contention may get no processor
        // for a tick, and putting it back would only have it lowered again.
        UndoLowering(engine, entry);
    }
}

}  // namespace talvex
