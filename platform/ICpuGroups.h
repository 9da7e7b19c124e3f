#pragma once
// Per-application CPU groups: where the system runs each application in a control group
// of its own (a systemd user manager makes a unit under the user's app.slice for each),
// one read of the group's processor time tells whether any of its processes can have
// been busy, instead of a read per process.

#include <cstdint>
#include <string>
#include <vector>

namespace talvex::platform {

/// One group and the processor time its processes used since it was made.
struct CpuGroupTime {
    std::string group;       // the group's name: its folder below the user's app.slice
    std::uint64_t used = 0;  // in units of 100 ns
};

class ICpuGroups {
  public:
    virtual ~ICpuGroups() = default;

    /// Every known group's processor time now, with `rescan` after looking for groups
    /// and their processes afresh (as when the process table is rebuilt). Empty where
    /// there are no such groups; a group that cannot be read is left out.
    virtual std::vector<CpuGroupTime> ReadGroupTimes(bool rescan) = 0;
    /// The group process `pid` ran in at the last rescan; "" for none.
    virtual std::string GroupOf(std::int32_t pid) const = 0;
};

}  // namespace talvex::platform
