#pragma once
// The process table's two places in the refresh tick: rebuilding or sampling the
// table, and the walk that hands each process to hang-up or background observation.

#include <cstdint>

#include "engine/HangupObservation.h"
#include "engine/IProcessStages.h"

namespace talvex {

class Engine;

class ProcessStages final : public IProcessStages {
  public:
    /// Ordinary ticks between two rebuilds; the rebuild itself is every 17th tick.
    static constexpr std::int32_t kRebuildCountdown = 16;

    explicit ProcessStages(Engine& engine) : m_engine(engine), m_hangup(engine) {}

    /// Rebuilds the table when the countdown is out (ending the tick), else samples
    /// every entry.
    bool ProcessTableStage() override;
    /// Hands the program in front to hang-up observation and every other process to
    /// background observation.
    void ObservationStage() override;

    const HangupObservation& Hangup() const { return m_hangup; }

  private:
    Engine& m_engine;
    HangupObservation m_hangup;
};

}  // namespace talvex
