#include "engine/GroupGates.h"

#include <unordered_set>

#include "engine/modProcess.h"

namespace talvex {

void GroupGates::SetSource(platform::ICpuGroups* groups) {
    m_source = groups;
    m_gates.clear();
}

std::string GroupGates::GroupOf(std::int32_t pid) const {
    return m_source ? m_source->GroupOf(pid) : std::string{};
}

void GroupGates::ReadTimes(bool rescan, const UsageSpan& machine) {
    if (!m_source) return;
    const std::uint64_t now = m_clock.GetTickCount64();
    // The machine's reading of this very tick, if there is one.
    const auto& machineNow = machine.Now();
    const std::uint64_t busy = machineNow && machineNow->tick == now ? machineNow->busy : 0;
    std::unordered_set<std::string> read;
    for (const platform::CpuGroupTime& time : m_source->ReadGroupTimes(rescan)) {
        m_gates[time.group].span.Read(UsageSpan::Reading{time.used, now, busy});
        read.insert(time.group);
    }
    // A group that was not read has no reading for this tick: its processes are
    // sampled (and a group that is gone is forgotten at the next rescan).
    for (auto it = m_gates.begin(); it != m_gates.end();) {
        if (read.contains(it->first)) {
            ++it;
        } else if (rescan) {
            it = m_gates.erase(it);
        } else {
            it->second.span.Read(std::nullopt);
            ++it;
        }
    }
}

void GroupGates::AllSampled(const UsageSpan& machine) {
    ReadTimes(true, machine);
    for (auto& [name, gate] : m_gates) gate.span.Taken();
}

void GroupGates::Read(std::int16_t percent, const UsageSpan& machine) {
    ReadTimes(false, machine);
    // Groups are read on busy ticks only: a group's time since its reading before (an
    // older tick, perhaps) counts as the last tick's, which never takes a busy group for
    // a quiet one.
    const auto& now = machine.Now();
    const auto& before = machine.Previous();
    const std::uint64_t tickMs =
        now && before && now->tick > before->tick ? now->tick - before->tick : 0;
    for (auto& [name, gate] : m_gates)
        gate.quiet = tickMs != 0 && !gate.span.Needed(percent, tickMs);
}

bool GroupGates::Quiet(const std::string& group) const {
    if (group.empty()) return false;
    const auto it = m_gates.find(group);
    return it != m_gates.end() && it->second.quiet;
}

void GroupGates::BusySampled() {
    for (auto& [name, gate] : m_gates) {
        if (!gate.quiet) gate.span.Taken();
    }
}

std::int16_t GroupGates::LastTickUsageAtLeast(const std::string& group, std::uint64_t since,
                                              std::uint64_t used, const UsageSpan& machine) const {
    if (group.empty()) return 0;
    const auto it = m_gates.find(group);
    if (it == m_gates.end()) return 0;
    const UsageSpan& span = it->second.span;
    const auto& base = span.Base();
    const auto& now = span.Now();
    if (!base || !now || since != base->tick) return 0;
    // What the group can have used before the last tick: its own time up to its latest
    // reading before this tick, and at most the whole machine's after that reading.
    const UsageSpan::Reading& last = span.Previous() ? *span.Previous() : *base;
    const auto& tickBefore = machine.Previous();
    if (last.tick < since || last.busy < base->busy || !tickBefore || last.machine == 0 ||
        tickBefore->tick < last.tick || tickBefore->busy < last.machine ||
        now->tick <= tickBefore->tick) {
        return 0;
    }
    const std::uint64_t quiet = (last.busy - base->busy) + (tickBefore->busy - last.machine);
    if (used <= quiet) return 0;
    return modProcess::CpuPercent(quiet, used, now->tick - tickBefore->tick);
}

}  // namespace talvex
