#include "engine/ProcessStages.h"

#include <algorithm>

#include "engine/BkgObservation.h"
#include "engine/Engine.h"

namespace talvex {

namespace {
// The lowest usage background observation lowers at: a sample below it changes nothing.
std::int16_t LowestThreshold(const modMain::Queries& settings) {
    return std::min(settings.iBelowNormalCpuUsage, settings.iIdleCpuUsage);
}
}  // namespace

ProcessStages::ProcessStages(Engine& engine)
    : m_engine(engine), m_hangup(engine), m_gate(engine.Queries().Processes(), engine.Clock()) {}

bool ProcessStages::NeedsSample(const ProcessEntry& entry) const {
    Engine& e = m_engine;
    // The program in front for hang-up observation and the status; a process Talvex
    // holds changed to see it go idle; a new entry for its first sample.
    return entry.lPid == e.m_lForegroundPid || entry.lTick == 0 ||
           e.Queries().Processes().Changes().Holds(entry.lPid);
}

bool ProcessStages::ProcessTableStage() {
    Engine& e = m_engine;
    if (e.m_lRebuildCountdown <= 0) {
        e.m_lLastProcess = e.m_modProcess.BuildProcessTable(e.m_Processes);
        e.m_lRebuildCountdown = kRebuildCountdown;
        e.Held().KeepOnly(e.m_Processes, e.m_lLastProcess);
        m_gate.WholeSampleTaken();
        return true;
    }
    --e.m_lRebuildCountdown;
    const modMain::Queries& settings = e.Queries();
    const std::int16_t threshold = LowestThreshold(settings);
    // With background observation off, only the front and the held processes matter.
    const bool whole = settings.bBkgObservation && m_gate.WholeSampleNeeded(threshold);
    for (std::int32_t i = 0; i <= e.m_lLastProcess; ++i) {
        if (static_cast<std::size_t>(i) >= e.m_Processes.size()) break;
        ProcessEntry& entry = e.m_Processes[static_cast<std::size_t>(i)];
        if (!whole && !NeedsSample(entry)) {
            // It used at most the threshold: no lowering, and nothing held to put back.
            entry.iCpuUsage = 0;
            continue;
        }
        e.m_modProcess.OpenProcessEntry(entry);  // takes the first sample
        e.m_modProcess.SampleProcessCpu(entry);
        // Whether it waited to run matters for a process about to be lowered or held
        // lowered (is it idle, or starved?): few, so the extra reads cost little.
        if (entry.iCpuUsage > threshold || e.Queries().Processes().Changes().Holds(entry.lPid)) {
            e.m_modProcess.SampleReadiness(entry);
        }
        e.m_modProcess.CloseProcessEntry(entry);
    }
    if (whole) m_gate.WholeSampleTaken();
    return false;
}

void ProcessStages::SampleNewFront(std::int32_t pid) {
    Engine& e = m_engine;
    for (std::int32_t i = 0; i <= e.m_lLastProcess; ++i) {
        if (static_cast<std::size_t>(i) >= e.m_Processes.size()) break;
        ProcessEntry& entry = e.m_Processes[static_cast<std::size_t>(i)];
        if (entry.lPid != pid) continue;
        if (entry.lTick != e.Clock().GetTickCount64()) {
            e.m_modProcess.OpenProcessEntry(entry);
            e.m_modProcess.CloseProcessEntry(entry);
        }
        return;
    }
}

void ProcessStages::ObservationStage() {
    Engine& e = m_engine;
    const std::int32_t bound = e.m_lLastProcess;
    for (std::int32_t i = 0; i <= bound; ++i) {
        // A warning's wait lets other ticks run; one of them may have rebuilt the
        // table. The walk then stops at the new end instead of reading past it.
        if (i > e.m_lLastProcess || static_cast<std::size_t>(i) >= e.m_Processes.size()) break;
        ProcessEntry& entry = e.m_Processes[static_cast<std::size_t>(i)];
        if (entry.lPid == 0) continue;
        // Read afresh for every entry: the front may change during a warning's wait,
        // and the program in front must never be judged as a background process.
        if (entry.lPid == e.m_lForegroundPid) {
            m_hangup.Check(entry);
        } else {
            ObserveBackground(e, entry);
        }
    }
}

}  // namespace talvex
