#pragma once
// Which lever ranks a process against the others on the CPU, read from what the kernel
// says: the process's CPU cgroup (cgroup v2, or the v1 hierarchy that holds the cpu
// controller) and whether the kernel groups the root CPU group by session.
//
// The scheduler first shares the CPU between groups and applies nice values only
// inside one group:
//   - in the root CPU group with kernel.sched_autogroup_enabled at 1, each session is a
//     group of its own (the autogroup), and its nice value is the lever across sessions;
//   - a process in a CPU cgroup of its own is ranked against other groups by the
//     group's weight (cpu.weight on v2, cpu.shares on v1), which the user can set only
//     where the group was delegated to the user; nice and the autogroup do nothing there;
//   - everywhere else only a thread's nice value counts.
// A group's weight is Talvex's to change only when the group is a leaf inside the
// user's delegated subtree (the user owns it, its weight file and its parent, so never
// the subtree's top), holds only the user's processes, is not a slice and does not
// hold Talvex itself.
//
// All paths are read under a root folder, so tests can lay out a fake /proc and
// cgroup tree; on a live system the root is empty.

#include <cstdint>
#include <optional>
#include <string>

namespace talvex::platform {

enum class CpuLever : std::uint8_t {
    ThreadNice,     // only the threads' nice values count
    AutogroupNice,  // the session group's nice value (with the threads' nice values)
    GroupWeight,    // the CPU cgroup's weight (with the threads' nice values)
};

/// The CPU group a process is scheduled in.
struct CpuGroup {
    std::string dir;         // its folder (under the root folder); empty for the root group
    std::string weightFile;  // cpu.weight (v2) or cpu.shares (v1) in that folder
    bool v1 = false;         // a v1 cpu hierarchy: weights are shares (2..262144)
    std::uint64_t id = 0;    // the folder's inode number: the group's key in the record
    bool IsRoot() const { return dir.empty(); }
};

/// What Talvex may change for a process.
struct CpuPlacement {
    CpuLever lever = CpuLever::ThreadNice;
    CpuGroup group;
};

class CpuTopology {
  public:
    /// `root`: prefixed to every path ("" on a live system). `uid`: the user Talvex runs
    /// as. `ownPid`: Talvex's own process, whose group is never changed.
    CpuTopology(std::string root, std::uint32_t uid, std::int32_t ownPid);

    /// The CPU group process `pid` is in; nullopt when its cgroup file cannot be read.
    std::optional<CpuGroup> GroupOf(std::int32_t pid) const;
    /// The lever that holds for process `pid`.
    CpuPlacement Place(std::int32_t pid) const;

    /// The weight a lever set to nice value `nice` gives a group whose weight is `base`:
    /// the base scaled as the kernel weighs that nice value against 0, within the range
    /// the group's version allows.
    static std::int64_t WeightForNice(std::int64_t base, int nice, bool v1);
    /// Whether `value` is a weight the group's version accepts.
    static bool ValidWeight(std::int64_t value, bool v1);

  private:
    struct Hierarchy {
        std::string mountPoint;  // under the root folder; empty when there is none
        std::string mountRoot;   // the hierarchy path the mount shows at its top
    };
    bool Eligible(const CpuGroup& group) const;
    bool OwnedWritable(const std::string& path) const;
    bool OnlyUsersProcesses(const std::string& dir, int depth) const;
    bool HasChildGroup(const std::string& dir, const std::string& weightName) const;

    std::string m_root;
    std::uint32_t m_uid;
    Hierarchy m_v1;  // the v1 hierarchy with the cpu controller
    Hierarchy m_v2;  // the unified hierarchy
    bool m_autogroup = false;
    std::optional<CpuGroup> m_own;
};

}  // namespace talvex::platform
