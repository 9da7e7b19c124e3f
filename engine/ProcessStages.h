#pragma once
// The process table's two places in the refresh tick: rebuilding or sampling the
// table, and the walk that hands each process to hang-up or background observation.

#include <cstdint>
#include <vector>

#include "engine/GroupGates.h"
#include "engine/HangupObservation.h"
#include "engine/IProcessStages.h"
#include "engine/LoadGate.h"
#include "engine/modProcess.h"

namespace talvex {

class Engine;

class ProcessStages final : public IProcessStages {
  public:
    /// Ordinary ticks between two rebuilds; the rebuild itself is every 17th tick.
    static constexpr std::int32_t kRebuildCountdown = 16;

    ProcessStages(Engine& engine, HangupObservation& hangup, platform::IProcessApi& processes,
                  platform::IClock& clock)
        : m_engine(engine),
          m_hangup(hangup),
          m_processes(processes),
          m_clock(clock),
          m_modProcess(processes, clock),
          m_gate(processes, clock),
          m_groups(clock) {}

    /// Rebuilds the table when the countdown is out (ending the tick), else samples
    /// every entry; while the machine as a whole stays quieter than any lowering
    /// threshold, only those that can still matter (see LoadGate).
    bool ProcessTableStage() override;
    /// Hands the program in front to hang-up observation and every other process to
    /// background observation.
    void ObservationStage() override;

    /// The process table: entries 0 to LastProcess() (-1 after a failed build).
    const std::vector<ProcessEntry>& ProcessTable() const { return m_Processes; }
    std::int32_t LastProcess() const { return m_lLastProcess; }
    /// Ordinary ticks left before the next rebuild; 0: the next tick rebuilds.
    std::int32_t RebuildCountdown() const { return m_lRebuildCountdown; }

    /// The program in front changed to `pid`: a quiet tick may have left it unsampled,
    /// and hang-up observation measures it from its next tick on, so it gets a sample
    /// now.
    void SampleNewFront(std::int32_t pid);
    /// Where per-application CPU groups are read (null: none, the default). On a busy
    /// machine the processes of a group that stayed quiet go unsampled too.
    void SetCpuGroups(platform::ICpuGroups* groups) { m_groups.SetSource(groups); }

  private:
    /// Whether an entry needs its sample when the machine was quiet.
    bool NeedsSample(const ProcessEntry& entry) const;
    /// Samples one entry of a tick that may have skipped it before.
    void SampleEntry(ProcessEntry& entry, bool whole, std::int16_t threshold);

    Engine& m_engine;
    HangupObservation& m_hangup;
    platform::IProcessApi& m_processes;
    platform::IClock& m_clock;
    modProcess::Sampler m_modProcess;
    std::vector<ProcessEntry> m_Processes;
    std::int32_t m_lLastProcess = 0;
    std::int32_t m_lRebuildCountdown = 0;  // 0: the next tick rebuilds the table
    LoadGate m_gate;
    GroupGates m_groups;
};

}  // namespace talvex
