#pragma once
// Whether a tick needs to sample every process at all.
//
// A process's CPU time is part of the machine's: when all processors together spent no
// more than the lowest lowering threshold in the last tick, no process can have crossed
// a threshold in it. Background observation then has
// nothing to lower, and only the program in front (for hang-up observation and the
// status) and the processes Talvex holds changed (to see them go idle) need a sample.
// One read of the machine's times replaces hundreds of per-process reads on an idle
// desktop. What a process used on the quiet ticks is bounded by what the whole machine
// used then, so the first busy tick still tells how much of its time fell into it.
//
// The same holds for any set of processes whose time together can be read at once (a
// per-application CPU group): UsageSpan is that reasoning for one such set.

#include <cstdint>
#include <optional>

#include "platform/IClock.h"
#include "platform/IProcessApi.h"

namespace talvex {

/// The processor time of a set of processes, followed over the span since all of them
/// were last sampled.
class UsageSpan {
  public:
    struct Reading {
        std::uint64_t busy = 0;     // time used, 100 ns units
        std::uint64_t tick = 0;     // monotonic milliseconds
        std::uint64_t machine = 0;  // a group's reading: the machine's busy time then
        std::uint64_t own = 0;      // the machine's reading: how much of `busy` is Talvex's
    };
    /// This tick's reading; nullopt when it could not be read.
    void Read(std::optional<Reading> now);
    /// Whether the set, Talvex aside, may have used more than `percent` of one processor
    /// in the last tick: since the reading before (also when unread, or never sampled
    /// whole). Talvex's own time does not count: it never lowers itself. A tick
    /// of `tickMs` (0: the span between the two readings) where the reading before may be
    /// older than the last tick: the time since then all counts as the last tick's.
    bool Needed(std::int16_t percent, std::uint64_t tickMs = 0) const;
    /// All its processes were sampled at this tick's reading.
    void Taken() { m_base = m_now; }
    /// A process sampled at the last whole sample and skipped since, measured now over
    /// that whole span, used `used` (100 ns units) since `since` (ms): the least of it that
    /// fell into the last tick, in percent. Exact when the set was idle between, never
    /// more than it used; 0 when nothing bounds it.
    std::int16_t LastTickUsageAtLeast(std::uint64_t since, std::uint64_t used) const;
    /// The tick of the latest reading; 0 for none.
    std::uint64_t ReadAt() const { return m_now ? m_now->tick : 0; }
    /// The latest reading, the one before it, and the one at the last whole sample.
    const std::optional<Reading>& Now() const { return m_now; }
    const std::optional<Reading>& Previous() const { return m_prev; }
    const std::optional<Reading>& Base() const { return m_base; }

  private:
    std::optional<Reading> m_now;   // the latest reading
    std::optional<Reading> m_prev;  // the reading before it
    std::optional<Reading> m_base;  // at the last whole sample
};

class LoadGate {
  public:
    LoadGate(platform::IProcessApi& processes, platform::IClock& clock)
        : m_processes(processes), m_clock(clock) {}

    /// True when this tick must sample every process: the machine spent more than
    /// `percent` of one processor in the last tick, or its times cannot be read, or no
    /// whole sample was taken yet.
    bool WholeSampleNeeded(std::int16_t percent);
    /// Every process was sampled now (after WholeSampleNeeded, or by a rebuild of the
    /// table): the next span starts here.
    void WholeSampleTaken();
    /// See UsageSpan::LastTickUsageAtLeast, for the whole machine.
    std::int16_t LastTickUsageAtLeast(std::uint64_t since, std::uint64_t used) const {
        return m_span.LastTickUsageAtLeast(since, used);
    }
    /// The machine's times as read this tick and the tick before.
    const UsageSpan& Span() const { return m_span; }

  private:
    void Read();
    /// Talvex's own processor time so far (100 ns units); 0 when it cannot be read.
    std::uint64_t OwnBusy();

    platform::IProcessApi& m_processes;
    platform::IClock& m_clock;
    UsageSpan m_span;
};

}  // namespace talvex
