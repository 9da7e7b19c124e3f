#pragma once
// Session groups ("autogroups") and the boost of the program in front.
//
// With kernel.sched_autogroup_enabled at 1 the scheduler first shares the CPU between
// sessions and applies nice values only inside a session. A program raised to High
// therefore still gets no more than an equal share against a busy process that runs
// in a session of its own (a terminal, a service). To make the boost count across
// sessions, the group of a raised process gets the same nice value as the process for
// as long as the raise lasts, and its former value back afterwards.
//
// Only groups whose session leader runs as our user are changed, never the group of
// this program itself, and lowering a process never lowers its group (the group may
// hold the program in front). The kernel takes one group change per 100 ms; a change
// it turns away is retried on a later call.

#include <cstdint>
#include <map>
#include <memory>

namespace talvex::platform {

class AutogroupBoost {
  public:
    explicit AutogroupBoost(std::uint32_t uid);
    ~AutogroupBoost();
    AutogroupBoost(const AutogroupBoost&) = delete;
    AutogroupBoost& operator=(const AutogroupBoost&) = delete;

    /// Whether the kernel groups by session and the boost is switched on.
    bool Active() const { return m_enabled && m_kernelGroups; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    /// Process `pid` (ours, alive) of session `session` was just set to `nice`.
    void Apply(std::int32_t pid, std::int32_t session, int nice);
    /// Retries group changes the kernel turned away; costs nothing when none waits.
    void Retry() {
        if (m_pending) WritePending();
    }
    /// Drops the raises of processes that are no longer in `alive`, restoring groups.
    template <typename PidSet>
    void KeepOnly(const PidSet& alive) {
        for (auto& [id, group] : m_groups) {
            std::erase_if(group.boosts, [&](const auto& b) { return !alive.contains(b.first); });
        }
        m_pending = true;
        WritePending();
    }
    /// Reads the id and nice value of `pid`'s group; false when there is none.
    static bool ReadGroup(std::int32_t pid, long& id, int& nice);

  private:
    struct Group {
        int original = 0;                    // the group's nice before the first boost
        int applied = 0;                     // what the group has now, as far as we know
        std::map<std::int32_t, int> boosts;  // raised processes in the group and their nice
        int writeFd = -1;                    // /proc/PID/autogroup of a member, pinned
    };
    void WritePending();
    static int Wanted(const Group& group);

    std::uint32_t m_uid;
    bool m_kernelGroups = false;
    bool m_enabled = true;
    bool m_pending = false;
    std::map<long, Group> m_groups;
};

}  // namespace talvex::platform
