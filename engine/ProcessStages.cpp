#include "engine/ProcessStages.h"

#include "engine/BkgObservation.h"
#include "engine/Engine.h"

namespace talvex {

bool ProcessStages::ProcessTableStage() {
    Engine& e = m_engine;
    if (e.m_lRebuildCountdown <= 0) {
        e.m_lLastProcess = e.m_modProcess.BuildProcessTable(e.m_Processes);
        e.m_lRebuildCountdown = kRebuildCountdown;
        e.Held().KeepOnly(e.m_Processes, e.m_lLastProcess);
        return true;
    }
    --e.m_lRebuildCountdown;
    for (std::int32_t i = 0; i <= e.m_lLastProcess; ++i) {
        if (static_cast<std::size_t>(i) >= e.m_Processes.size()) break;
        ProcessEntry& entry = e.m_Processes[static_cast<std::size_t>(i)];
        e.m_modProcess.OpenProcessEntry(entry);  // takes the first sample
        e.m_modProcess.SampleProcessCpu(entry);
        e.m_modProcess.CloseProcessEntry(entry);
    }
    return false;
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
        } else if (!e.IsLeftAlone(entry.lPid)) {
            ObserveBackground(e, entry);
        }
    }
}

}  // namespace talvex
