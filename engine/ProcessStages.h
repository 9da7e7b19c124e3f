#pragma once
// The process table's two places in the refresh tick: rebuilding or sampling the
// table, and the walk that hands each process to hang-up or background observation.

#include <cstdint>
#include <vector>

#include "engine/HangupObservation.h"
#include "engine/IProcessStages.h"
#include "engine/modProcess.h"

namespace talvex {

class Engine;

class ProcessStages final : public IProcessStages {
  public:
    /// Ordinary ticks between two rebuilds; the rebuild itself is every 17th tick.
    static constexpr std::int32_t kRebuildCountdown = 16;

    ProcessStages(Engine& engine, HangupObservation& hangup, platform::IProcessApi& processes,
                  platform::IClock& clock)
        : m_engine(engine), m_hangup(hangup), m_modProcess(processes, clock) {}

    /// Rebuilds the table when the countdown is out (ending the tick), else samples
    /// every entry.
    bool ProcessTableStage() override;
    /// Hands the program in front to hang-up observation and every other process to
    /// background observation.
    void ObservationStage() override;

    /// The process table: entries 0 to LastProcess() (-1 after a failed build).
    const std::vector<ProcessEntry>& ProcessTable() const { return m_Processes; }
    std::int32_t LastProcess() const { return m_lLastProcess; }
    /// Ordinary ticks left before the next rebuild; 0: the next tick rebuilds.
    std::int32_t RebuildCountdown() const { return m_lRebuildCountdown; }

  private:
    Engine& m_engine;
    HangupObservation& m_hangup;
    modProcess::Sampler m_modProcess;
    std::vector<ProcessEntry> m_Processes;
    std::int32_t m_lLastProcess = 0;
    std::int32_t m_lRebuildCountdown = 0;  // 0: the next tick rebuilds the table
};

}  // namespace talvex
