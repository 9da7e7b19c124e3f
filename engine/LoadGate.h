#pragma once
// Whether a tick needs to sample every process at all.
//
// A process's CPU time is part of the machine's: when all processors together spent no
// more than the lowest lowering threshold since every process was last sampled, no
// process can have crossed a threshold in that span. Background observation then has
// nothing to lower, and only the program in front (for hang-up observation and the
// status) and the processes Talvex holds changed (to see them go idle) need a sample.
// One read of the machine's times replaces hundreds of per-process reads on an idle
// desktop. What a process used on the quiet ticks is bounded by what the whole machine
// used then, so the first busy tick still tells how much of its time fell into it.

#include <cstdint>
#include <optional>

#include "platform/IClock.h"
#include "platform/IProcessApi.h"

namespace talvex {

class LoadGate {
  public:
    LoadGate(platform::IProcessApi& processes, platform::IClock& clock)
        : m_processes(processes), m_clock(clock) {}

    /// True when this tick must sample every process: the machine spent more than
    /// `percent` of one processor since the last whole sample, or its times cannot be
    /// read, or no whole sample was taken yet.
    bool WholeSampleNeeded(std::int16_t percent);
    /// Every process was sampled now (after WholeSampleNeeded, or by a rebuild of the
    /// table): the next span starts here.
    void WholeSampleTaken();
    /// A process skipped on quiet ticks is measured, once the machine is busy again,
    /// over the whole span since its last sample: an average that hides how much of it
    /// fell into the last tick. Given when it was sampled last (ms) and what it used
    /// since (100 ns units), this is the least it can have used in the last tick alone,
    /// in percent: exact when the quiet ticks were idle, never more than it used. 0 when
    /// nothing bounds it.
    std::int16_t LastTickUsageAtLeast(std::uint64_t since, std::uint64_t used) const;

  private:
    platform::IProcessApi& m_processes;
    platform::IClock& m_clock;
    struct Reading {
        std::uint64_t busy = 0;  // the machine's busy time, 100 ns units
        std::uint64_t tick = 0;  // monotonic milliseconds
    };
    void Read();

    std::optional<Reading> m_now;   // read by the last WholeSampleNeeded
    std::optional<Reading> m_prev;  // the reading before it (the tick before)
    std::optional<Reading> m_base;  // at the last whole sample
};

}  // namespace talvex
