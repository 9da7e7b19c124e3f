#include "engine/ProcessStages.h"

#include <algorithm>

#include "engine/BkgObservation.h"
#include "engine/Engine.h"

namespace talvex {

namespace {
// The lowest usage background observation lowers at: a sample below it changes nothing.
std::int16_t LowestThreshold(const modMain::ObserverSettings& settings) {
    return std::min(settings.iBelowNormalCpuUsage, settings.iIdleCpuUsage);
}
}  // namespace

bool ProcessStages::NeedsSample(const ProcessEntry& entry) const {
    // The program in front for hang-up observation and the status; a process Talvex
    // holds changed to see it go idle; a new entry for its first sample.
    return entry.lPid == m_engine.ForegroundPid() || entry.lTick == 0 ||
           m_processes.Changes().Holds(entry.lPid);
}

bool ProcessStages::ProcessTableStage() {
    if (m_lRebuildCountdown <= 0) {
        m_lLastProcess = m_modProcess.BuildProcessTable(m_Processes);
        m_lRebuildCountdown = kRebuildCountdown;
        m_engine.Held().KeepOnly(m_Processes, m_lLastProcess);
        m_gate.WholeSampleTaken();
        m_groups.AllSampled(m_gate.Span());
        for (ProcessEntry& entry : m_Processes) entry.sCpuGroup = m_groups.GroupOf(entry.lPid);
        return true;
    }
    --m_lRebuildCountdown;
    const modMain::ObserverSettings& settings = m_engine.ObserverSettings();
    const std::int16_t threshold = LowestThreshold(settings);
    // With background observation off, only the front and the held processes matter.
    const bool whole = settings.bBkgObservation && m_gate.WholeSampleNeeded(threshold);
    if (whole) m_groups.Read(threshold, m_gate.Span());
    for (std::int32_t i = 0; i <= m_lLastProcess; ++i) {
        if (static_cast<std::size_t>(i) >= m_Processes.size()) break;
        ProcessEntry& entry = m_Processes[static_cast<std::size_t>(i)];
        const bool quiet = !whole || m_groups.Quiet(entry.sCpuGroup);
        if (quiet && !NeedsSample(entry)) {
            // It used at most the threshold: no lowering, and nothing held to put back.
            entry.iCpuUsage = 0;
            continue;
        }
        SampleEntry(entry, whole, threshold);
    }
    if (whole) {
        m_gate.WholeSampleTaken();
        m_groups.BusySampled();
    }
    return false;
}

void ProcessStages::SampleEntry(ProcessEntry& entry, bool whole, std::int16_t threshold) {
    const std::uint64_t since = entry.lTick;
    const std::uint64_t before = entry.ftKernel + entry.ftUser;
    m_modProcess.OpenProcessEntry(entry);  // takes the first sample
    m_modProcess.SampleProcessCpu(entry);
    if (whole && since != 0 && entry.ftKernel + entry.ftUser > before) {
        // Skipped while the machine or its group was quiet: what fell into the last tick.
        const std::uint64_t used = entry.ftKernel + entry.ftUser - before;
        const std::int16_t least =
            std::max(m_gate.LastTickUsageAtLeast(since, used),
                     m_groups.LastTickUsageAtLeast(entry.sCpuGroup, since, used, m_gate.Span()));
        entry.iCpuUsage = std::max(entry.iCpuUsage, least);
    }
    // Whether it waited to run matters for a process about to be lowered or held
    // lowered (is it idle, or starved?): few, so the extra reads cost little. Never for
    // Talvex itself or the program in front, which background observation leaves alone
    // (the one it raised, every tick).
    const bool observed =
        entry.lPid != m_processes.GetCurrentProcessId() && entry.lPid != m_engine.ForegroundPid();
    if (observed && (entry.iCpuUsage > threshold || m_processes.Changes().Holds(entry.lPid))) {
        m_modProcess.SampleReadiness(entry);
    }
    m_modProcess.CloseProcessEntry(entry);
}

void ProcessStages::SampleNewFront(std::int32_t pid) {
    for (std::int32_t i = 0; i <= m_lLastProcess; ++i) {
        if (static_cast<std::size_t>(i) >= m_Processes.size()) break;
        ProcessEntry& entry = m_Processes[static_cast<std::size_t>(i)];
        if (entry.lPid != pid) continue;
        if (entry.lTick != m_clock.GetTickCount64()) {
            m_modProcess.OpenProcessEntry(entry);
            m_modProcess.CloseProcessEntry(entry);
        }
        return;
    }
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
        } else if (!m_hangup.IsLeftAlone(entry.lPid)) {
            ObserveBackground(m_engine, entry);
        }
    }
}

}  // namespace talvex
