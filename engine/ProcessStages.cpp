#include "engine/ProcessStages.h"

#include "engine/BkgObservation.h"
#include "engine/Engine.h"

namespace talvex {

bool ProcessStages::ProcessTableStage() {
    if (m_lRebuildCountdown <= 0) {
        m_lLastProcess = m_modProcess.BuildProcessTable(m_Processes);
        m_lRebuildCountdown = kRebuildCountdown;
        m_engine.Held().KeepOnly(m_Processes, m_lLastProcess);
        return true;
    }
    --m_lRebuildCountdown;
    for (std::int32_t i = 0; i <= m_lLastProcess; ++i) {
        if (static_cast<std::size_t>(i) >= m_Processes.size()) break;
        ProcessEntry& entry = m_Processes[static_cast<std::size_t>(i)];
        m_modProcess.OpenProcessEntry(entry);  // takes the first sample
        m_modProcess.SampleProcessCpu(entry);
        m_modProcess.CloseProcessEntry(entry);
    }
    return false;
}

void ProcessStages::ObservationStage() {
    const std::int32_t bound = m_lLastProcess;
    for (std::int32_t i = 0; i <= bound; ++i) {
        // A warning's wait lets other ticks run; one of them may have rebuilt the
        // table. The walk then stops at the new end instead of reading past it.
        if (i > m_lLastProcess || static_cast<std::size_t>(i) >= m_Processes.size()) break;
        ProcessEntry& entry = m_Processes[static_cast<std::size_t>(i)];
        if (entry.lPid == 0) continue;
        // Read afresh for every entry: the front may change during a warning's wait,
        // and the program in front must never be judged as a background process.
        if (entry.lPid == m_engine.ForegroundPid()) {
            m_hangup.Check(entry);
        } else {
            ObserveBackground(m_engine, entry);
        }
    }
}

}  // namespace talvex
