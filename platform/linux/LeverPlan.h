#pragma once
// What Talvex asks of the levers when it sets a process to a nice value, decided from
// facts alone: LinuxProcessApi gathers the facts (threads, the session group, the
// program in front, the changes held, the rights there are) and carries the requests
// out through the change record; the decisions themselves read nothing.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ChangeRecord.h"

namespace talvex::platform::lever_plan {

/// What the route to raise allows (see LinuxLevers::LowestThreadNice and friends).
struct Rights {
    int lowestThreadNice = 20;  // the lowest nice value a thread of the process may get
    int lowestGroupNice = 0;    // the lowest nice value a session group may get
    bool mayClearResetOnFork = false;
};

/// One thread of the process as read now.
struct ThreadFacts {
    std::int32_t tid = 0;
    int nice = 0;
    bool ours = false;  // every uid is the user's
    bool resetOnFork = false;
    bool ordinaryPolicy = false;  // a time-sharing policy
};

/// The thread changes that set a process to `nice`: as far as the rights allow, never a
/// lowering that could not be raised back, and with reset-on-fork for a raised thread
/// where that flag can be cleared again.
std::vector<ChangeRecord::Request> Threads(std::int32_t pid, std::uint64_t start,
                                           const std::vector<ThreadFacts>& threads, int nice,
                                           const Rights& rights);

/// The session group of the process and what surrounds it.
struct GroupFacts {
    std::optional<std::int64_t> id;     // the process's session group; none when unread
    int nice = 0;                       // that group's nice value
    std::optional<std::int64_t> ownId;  // Talvex's own session group
    bool leaderIsUsers = false;         // the session leader runs as the user
    bool frontShares = false;           // the program in front is in this group
    bool heldRaised = false;            // Talvex holds a raise of this group
    bool sessionAllUsers = false;       // every process of the session is the user's
};

/// The group change that goes with setting a process to `nice`, if any.
std::optional<ChangeRecord::Request> Group(std::int32_t pid, std::uint64_t start,
                                           const GroupFacts& group, int nice, const Rights& rights);

/// A CPU cgroup of the process's own (see CpuTopology) and what surrounds it.
struct WeightFacts {
    std::int64_t id = 0;                     // the group's inode number
    std::optional<std::int64_t> now;         // its weight now; none when unread
    std::optional<std::int64_t> heldBefore;  // its weight before Talvex's first change
    bool v1 = false;                         // cpu.shares rather than cpu.weight
    bool frontShares = false;                // the program in front is in this group
    bool heldRaised = false;                 // Talvex holds a raise of this group
};

/// The weight change that goes with setting a process to `nice`, if any: scaled from
/// the weight before Talvex's first change, so that changes made through several of
/// the group's processes never compound.
std::optional<ChangeRecord::Request> Weight(std::int32_t pid, std::uint64_t start,
                                            const WeightFacts& group, int nice);

}  // namespace talvex::platform::lever_plan
