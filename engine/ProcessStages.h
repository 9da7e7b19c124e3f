#pragma once
// The process table's two places in the refresh tick: rebuilding or sampling the
// table, and the walk that hands each process to hang-up or background observation.

#include <cstdint>

#include "engine/HangupObservation.h"
#include "engine/IProcessStages.h"
#include "engine/LoadGate.h"

namespace talvex {

class Engine;

class ProcessStages final : public IProcessStages {
  public:
    /// Ordinary ticks between two rebuilds; the rebuild itself is every 17th tick.
    static constexpr std::int32_t kRebuildCountdown = 16;

    explicit ProcessStages(Engine& engine);

    /// Rebuilds the table when the countdown is out (ending the tick), else samples
    /// every entry; while the machine as a whole stays quieter than any lowering
    /// threshold, only those that can still matter (see LoadGate).
    bool ProcessTableStage() override;
    /// Hands the program in front to hang-up observation and every other process to
    /// background observation.
    void ObservationStage() override;

    /// The program in front changed to `pid`: a quiet tick may have left it unsampled,
    /// and hang-up observation measures it from its next tick on, so it gets a sample
    /// now.
    void SampleNewFront(std::int32_t pid);

    const HangupObservation& Hangup() const { return m_hangup; }

  private:
    /// Whether an entry needs its sample when the machine was quiet.
    bool NeedsSample(const ProcessEntry& entry) const;

    Engine& m_engine;
    HangupObservation m_hangup;
    LoadGate m_gate;
};

}  // namespace talvex
