#pragma once
// The process table's part of the refresh tick, apart from the engine so that tests can
// put other stages in.

namespace talvex {

/// The two places of a tick where the process table does its work.
class IProcessStages {
  public:
    virtual ~IProcessStages() = default;

    /// Runs after the end-request check; returns true when it ends the tick.
    virtual bool ProcessTableStage() = 0;
    /// Runs on ticks on which the program in front has not changed.
    virtual void ObservationStage() = 0;
};

}  // namespace talvex
