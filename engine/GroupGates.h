#pragma once
// Per-application CPU groups as a finer gate than the machine's: when the machine was
// busy, a group whose processes together spent no more than the lowest lowering
// threshold since they were all last sampled holds no process that can have crossed
// it, so its processes need no sample either. Processes in no such group are sampled as
// the machine's gate says.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/LoadGate.h"
#include "platform/IClock.h"
#include "platform/ICpuGroups.h"

namespace talvex {

class GroupGates {
  public:
    explicit GroupGates(platform::IClock& clock) : m_clock(clock) {}

    /// Where the groups are read; null (the default) for none.
    void SetSource(platform::ICpuGroups* groups);
    /// The group process `pid` is in, as the last rescan found it; "" for none.
    std::string GroupOf(std::int32_t pid) const;

    /// Every process was sampled now (a rebuild of the table): the groups are looked
    /// for afresh, and every group's span starts here. `machine`: the machine's times.
    void AllSampled(const UsageSpan& machine);
    /// Reads every group's time for a tick on which the machine was busy, and decides
    /// which groups need their processes sampled: those that spent more than `percent`.
    void Read(std::int16_t percent, const UsageSpan& machine);
    /// Whether the processes of `group` may go unsampled this tick (after Read).
    bool Quiet(const std::string& group) const;
    /// The processes of every group that was not quiet were sampled this tick.
    void BusySampled();
    /// See UsageSpan::LastTickUsageAtLeast, for the process's group; 0 for none. Groups
    /// are read only on busy ticks: since the group's last reading before this tick, the
    /// whole machine's time (`machine`) bounds what the group used.
    std::int16_t LastTickUsageAtLeast(const std::string& group, std::uint64_t since,
                                      std::uint64_t used, const UsageSpan& machine) const;

  private:
    struct Gate {
        UsageSpan span;
        bool quiet = false;
    };
    void ReadTimes(bool rescan, const UsageSpan& machine);

    platform::IClock& m_clock;
    platform::ICpuGroups* m_source = nullptr;
    std::unordered_map<std::string, Gate> m_gates;
};

}  // namespace talvex
