#pragma once
// Per-application CPU groups of a systemd user manager: each application runs in a unit
// (a scope or a service) under the user's app.slice, perhaps in a sub-slice. On cgroup v2
// a unit's cpu.stat tells its processes' processor time (usage_usec); on v1 the cpuacct
// hierarchy's cpuacct.usage does (in ns). A rescan walks app.slice and reads each
// unit's cgroup.procs to learn which process runs where; between rescans only the kept
// descriptors of the usage files are read again.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ICpuGroups.h"

namespace talvex::platform {

class LinuxCpuGroups final : public ICpuGroups {
  public:
    /// `root` is prefixed to /sys/fs/cgroup ("" on a live system); `uid` is the user
    /// whose applications count.
    LinuxCpuGroups(std::string root, uid_t uid);
    ~LinuxCpuGroups() override;
    LinuxCpuGroups(const LinuxCpuGroups&) = delete;
    LinuxCpuGroups& operator=(const LinuxCpuGroups&) = delete;

    std::vector<CpuGroupTime> ReadGroupTimes(bool rescan) override;
    std::string GroupOf(std::int32_t pid) const override;

    /// The usage a cpu.stat text (v2, usage_usec) or a cpuacct.usage text (v1, ns)
    /// gives, in 100 ns units; false for a damaged text.
    static bool ParseUsage(const std::string& text, bool v1, std::uint64_t& used);

  private:
    struct Group {
        std::string name;  // folder below app.slice
        int fd = -1;       // its usage file
    };
    void Rescan();
    void Walk(const std::string& dir, const std::string& name, int depth);
    void Close();

    std::string m_root;
    uid_t m_uid;
    bool m_v1 = false;
    std::vector<Group> m_groups;
    std::unordered_map<std::int32_t, std::string> m_groupOf;
};

}  // namespace talvex::platform
