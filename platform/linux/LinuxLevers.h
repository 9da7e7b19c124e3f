#pragma once
// The levers Talvex changes on Linux, read and written through procfs and the cgroup
// file system: a thread's nice value, a thread's reset-on-fork flag, a session group's
// nice value and a CPU cgroup's weight (the group found through the process, and
// pinned by its folder's inode number).
//
// Raising needs a right Talvex itself does not hold: while talvex-levers runs (see
// LeversClient), every raise of a thread or session group, and every clearing of a
// reset-on-fork flag, goes to it; lowering and CPU cgroup weights need no right and are
// written here. Without the helper Talvex uses its own rights, which the kernel checks
// against each target's nice limit (threads) or Talvex's own (session groups).
//
// Every read and write first checks that the process still has the start time the
// change was recorded with (its stat file, field 22), and checks again after a write;
// a write also needs the thread's own credentials to be the user's. A process whose
// leader thread has ended (a zombie leader with live threads) still counts as alive,
// so its threads can be put back.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ChangeRecord.h"
#include "platform/linux/CpuTopology.h"
#include "platform/linux/LeversClient.h"
#include "platform/linux/LinuxRecordFile.h"

namespace talvex::platform {

class LinuxLevers final : public ILeverAccess {
  public:
    /// `root` is where /proc and the cgroup trees are read (empty on a live system).
    explicit LinuxLevers(std::uint32_t uid, const std::string& root = {});
    ~LinuxLevers() override;
    /// Hands the raises to a running helper (null: Talvex's own rights only).
    void UseHelper(std::unique_ptr<LeversClient> helper);
    bool HelperRunning() const { return m_helper && m_helper->Running(); }

    /// How raises are made.
    enum class Route {
        Helper,       // through talvex-levers
        OwnRight,     // Talvex holds CAP_SYS_NICE itself (an older installation)
        NiceLimit,    // within the user's nice limit (RLIMIT_NICE)
        Unavailable,  // not at all
    };
    Route RaiseRoute() const;
    /// The lowest nice value a thread of process `pid` may be given, as far as the
    /// route allows (a thread may always go back up to where it is).
    int LowestThreadNice(std::int32_t pid) const;
    /// The lowest nice value a session group may be given.
    int LowestGroupNice() const;
    /// Whether a reset-on-fork flag, once set, can be cleared again.
    bool MayClearResetOnFork() const;
    /// Whether Talvex itself holds CAP_SYS_NICE in its effective set.
    static bool HoldsNiceCapability();
    /// The soft nice limit in the text of /proc/PID/limits as the lowest nice value it
    /// allows (20 - limit); nullopt when the text has none.
    static std::optional<int> NiceLimitOf(const std::string& limitsText);
    const CpuTopology& Topology() const { return m_topology; }
    /// A group's weight now; nullopt when it cannot be read.
    static std::optional<std::int64_t> ReadWeight(const CpuGroup& group);

    std::optional<std::int64_t> ReadLever(const LeverTarget& target) override;
    Write WriteLever(const LeverTarget& target, std::int64_t value) override;

    /// What Talvex needs to know of one thread before changing it.
    struct ThreadState {
        int nice = 0;
        bool ours = false;  // real, effective and saved uid are the user's
        bool resetOnFork = false;
        bool ordinaryPolicy = false;  // a time-sharing policy (not a real-time one)
    };
    std::optional<ThreadState> ReadThread(std::int32_t pid, std::uint64_t startTime,
                                          std::int32_t tid) const;

    /// The session group of a process: its id and nice value.
    struct Group {
        long id = 0;
        int nice = 0;
    };
    static std::optional<Group> ReadGroup(std::int32_t pid);

    /// Start time of a process (clock ticks after boot); nullopt when there is none.
    static std::optional<std::uint64_t> StartTimeOf(std::int32_t pid);
    /// This boot's id (the kernel's random boot_id); empty when unknown.
    static std::string BootId();

  private:
    bool SameProcess(const LeverTarget& target) const;
    bool ThreadIsOurs(std::int32_t pid, std::int64_t tid) const;
    Write WriteThreadNice(const LeverTarget& target, std::int64_t value);
    Write WriteResetOnFork(const LeverTarget& target, std::int64_t value);
    Write WriteGroupNice(const LeverTarget& target, std::int64_t value);
    std::optional<CpuGroup> WeightGroup(const LeverTarget& target) const;
    Write WriteGroupWeight(const LeverTarget& target, std::int64_t value);

    Write AskHelper(levers::Kind kind, const LeverTarget& target, std::int64_t value,
                    std::uint64_t threadStart);

    std::uint32_t m_uid;
    CpuTopology m_topology;
    std::unique_ptr<LeversClient> m_helper;
};

}  // namespace talvex::platform
