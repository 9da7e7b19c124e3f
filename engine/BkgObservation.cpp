#include "engine/BkgObservation.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/AccessKey.h"
#include "engine/Engine.h"
#include "engine/EntryRule.h"
#include "i18n/FormatMsg.h"

namespace talvex {

using namespace platform;

namespace {
// Sound servers: lowered, they let the sound drop out for every program that plays.
constexpr std::array<std::string_view, 5> kSoundServers{"pipewire", "pipewire-pulse", "wireplumber",
                                                        "pulseaudio", "jackd"};

// Whether lowering the process would make it miss its time: a sound server, or a
// program with a real-time thread (audio programs get one through RealtimeKit).
bool KeepsTime(Engine& engine, const ProcessEntry& entry) {
    if (std::find(kSoundServers.begin(), kSoundServers.end(), entry.sExeName) !=
        kSoundServers.end()) {
        return true;
    }
    IProcessApi& processes = engine.Queries().Processes();
    const ProcessHandle handle = processes.OpenProcess(PROCESS_QUERY_INFORMATION, entry.lPid);
    // Not opened: not lowered either.
    if (handle == 0) return true;
    const bool realtime = processes.HasRealtimeThread(handle);
    processes.CloseHandle(handle);
    return realtime;
}

// Lowers the process to `target` unless it is there already or cannot be opened.
void Lower(Engine& engine, const ProcessEntry& entry, std::int32_t target, std::int16_t threshold,
           TextId name) {
    modMain::Queries& queries = engine.Queries();
    const std::int32_t present = queries.GetWindowPriority(entry.lPid, 0);
    if (present == target || present == kCannotOpen) return;
    if (KeepsTime(engine, entry)) return;
    // Without the right to raise, a lowered process could never get its priority back.
    if (!queries.Processes().CanRaisePriority()) return;
    // A change that did not take effect gets no line (it would be tried, and logged,
    // on every tick).
    if (queries.SetProcessPriority(entry.lPid, 0, target) != target) return;
    engine.NoteHeld(entry.lPid, HeldWhy::BusyInBackground, entry.iCpuUsage);
    const StringTable& strings = engine.Strings();
    const std::string format = strings.Lang(TextId::LoweringBusy);
    engine.Log().DoLog(
        FormatMsg(format, MsgArgs{entry.sExeName, std::int64_t{threshold}, strings.Lang(name)}),
        false);
}

// The class's name as the language file has it (the boost levels with access keys).
std::string ClassCaption(const StringTable& strings, std::int32_t priorityClass) {
    switch (priorityClass) {
        case IDLE_PRIORITY_CLASS:
            return strings.Lang(TextId::Idle);
        case BELOW_NORMAL_PRIORITY_CLASS:
            return strings.Lang(TextId::BelowNormal);
        case NORMAL_PRIORITY_CLASS:
            return strings.Lang(TextId::Normal);
        case ABOVE_NORMAL_PRIORITY_CLASS:
            return strings.Lang(TextId::AboveNormal);
        case HIGH_PRIORITY_CLASS:
            return strings.Lang(TextId::High);
        case REALTIME_PRIORITY_CLASS:
            return strings.Lang(TextId::Realtime);
        default:
            return strings.Lang(TextId::Unknown);
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
    const std::string format = strings.Lang(TextId::RestoringPriority);
    const std::int32_t now = engine.Queries().GetWindowPriority(entry.lPid, 0);
    engine.Log().DoLog(FormatMsg(format, MsgArgs{entry.sExeName, ClassWord(strings, now)}), false);
}
}  // namespace

bool YieldToOtherChange(Engine& engine, std::int32_t lPid, const std::string& sExeName) {
    modMain::Queries& queries = engine.Queries();
    if (lPid == 0 || lPid == queries.Processes().GetCurrentProcessId()) return false;
    const auto held = ClassSetByTalvex(queries.Processes().Changes(), lPid);
    if (!held) return false;
    const std::int32_t present = queries.GetWindowPriority(lPid, 0);
    // A class that cannot be read says nothing about who set it.
    if (present == held->set || PriorityRank(present) < 0) return false;
    // As after "Put back now": what still has Talvex's value goes back (the change
    // record's compare-and-set passes over what the other program set).
    queries.UndoProcessChanges(lPid);
    HeldRow row;
    row.lPid = lPid;
    row.before = held->before;
    row.now = present;
    row.reason = HeldReason{HeldWhy::ChangedByOther, 0, engine.Clock().LocalDateTimeText()};
    NameRow(row, engine.ProcessTable(), engine.ForegroundPid(), engine.ForegroundExe());
    if (row.sExeName.empty()) row.sExeName = sExeName;
    const std::string name = row.sExeName.empty() ? std::to_string(lPid) : row.sExeName;
    engine.Held().LeaveAloneAfterChange(std::move(row));
    const StringTable& strings = engine.Strings();
    const std::string format = strings.Lang(TextId::LeftAloneAfterChange);
    engine.Log().DoLog(FormatMsg(format, MsgArgs{name, ClassWord(strings, present)}), false);
    return true;
}

void ObserveBackground(Engine& engine, ProcessEntry& entry) {
    const modMain::ObserverSettings& settings = engine.ObserverSettings();
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
    // Another program changed what Talvex set: its choice stands.
    if (holds && YieldToOtherChange(engine, entry.lPid, entry.sExeName)) return;
    if (usage > settings.iIdleCpuUsage) {
        Lower(engine, entry, IDLE_PRIORITY_CLASS, settings.iIdleCpuUsage, TextId::Idle);
    } else if (usage > settings.iBelowNormalCpuUsage) {
        Lower(engine, entry, BELOW_NORMAL_PRIORITY_CLASS, settings.iBelowNormalCpuUsage,
              TextId::BelowNormal);
    } else if (modProcess::IsIdle(entry)) {
        // Not merely starved: a process lowered under contention may get no processor
        // for a tick, and putting it back would only have it lowered again.
        UndoLowering(engine, entry);
    }
}

}  // namespace talvex
