#pragma once
// Processes through procfs and setpriority(2).
//
// A process is "opened" only when it is alive, is not a kernel thread and runs as the
// user this program runs as (real, effective and saved uid); everything else cannot be
// opened, so no other user's or system process is ever touched.
//
// Every opened process is pinned by an open descriptor of its /proc/PID/stat. Such a
// descriptor can never show another process: once the process ends, reads fail, even
// when its pid is reused. The descriptors are kept between handles (within a budget
// well below the descriptor limit), so that sampling a process on every tick costs one
// read of its stat file. A process that cannot be opened is remembered the same way
// until the next snapshot, so refusing it again costs one look at its pid descriptor
// (is it still alive?), cheaper than a read. Credentials are
// checked in full when a process is first opened and before every change; between
// snapshots reads rely on that check, and each snapshot looks at every kept process's
// owner again.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/ChangeRecord.h"
#include "platform/IProcessApi.h"
#include "platform/linux/CpuTopology.h"
#include "platform/linux/LeverPlan.h"
#include "platform/linux/ProcStat.h"

namespace talvex::platform {

class LinuxLevers;
class LinuxRecordFile;

class LinuxProcessApi final : public IProcessApi {
  public:
    /// `recordFolder` keeps the record of changes between runs (see ChangeRecord); an
    /// empty one means no folder could be made safe, and then no change is made. Only
    /// a caller without a crash to survive (a test) leaves it out: the record then lives
    /// in memory only. `leversProgram` is the helper that raises priorities: by default
    /// the one found beside this program (see FindLeversProgram); empty for none.
    explicit LinuxProcessApi(const std::optional<std::string>& recordFolder = std::nullopt,
                             std::optional<std::string> leversProgram = std::nullopt);
    ~LinuxProcessApi() override;
    LinuxProcessApi(const LinuxProcessApi&) = delete;
    LinuxProcessApi& operator=(const LinuxProcessApi&) = delete;

    ProcessHandle OpenProcess(std::uint32_t access, std::int32_t pid) override;
    bool CloseHandle(ProcessHandle handle) override;
    std::int32_t GetPriorityClass(ProcessHandle handle) override;
    bool SetPriorityClass(ProcessHandle handle, std::int32_t priorityClass) override;
    bool GetProcessTimes(ProcessHandle handle, ProcessTimes& times) override;
    bool GetSystemTimes(SystemTimes& times) override;
    std::optional<Readiness> GetReadiness(ProcessHandle handle) override;
    std::string GetModuleFileNameExA(ProcessHandle handle, std::size_t maxChars) override;
    std::optional<std::vector<ProcessInfo>> CreateToolhelp32Snapshot() override;
    std::int32_t GetCurrentProcessId() override;
    bool CanRaisePriority() override;
    bool HasRealtimeThread(ProcessHandle handle) override;
    std::string GetAppId(ProcessHandle handle) override;
    RaiseRight RaiseRightInUse() override;
    int UndoChanges(std::int32_t pid) override;
    bool UndoAllChanges(std::uint32_t waitMs) override;
    const ChangeRecord& Changes() const override { return *m_record; }
    void SetFrontProcess(std::int32_t pid) override;

    /// Descriptors kept open for processes between handles (refused ones included).
    std::size_t KeptDescriptorCount() const { return m_kept.size(); }
    /// Most descriptors kept at once; further processes are opened afresh each time.
    std::size_t KeepLimit() const { return m_keepLimit; }
    /// Sets how many descriptors may be kept (0: open every process afresh each time).
    void SetKeepLimit(std::size_t limit);
    /// Switches the group levers (session groups' nice values, CPU cgroups' weights)
    /// on or off (on by default).
    void SetAutogroupBoost(bool enabled);
    /// The lever that holds for process `pid` (see CpuTopology).
    CpuPlacement PlacementOf(std::int32_t pid) const;

  private:
    struct Tracked;
    // Handles live in reusable slots; a handle carries its slot's generation, so a
    // closed handle never reaches the process a later handle in that slot refers to.
    struct Handle {
        std::shared_ptr<Tracked> process;  // null while the slot is free
        std::uint32_t access = 0;
        std::uint32_t generation = 0;
    };

    std::shared_ptr<Tracked> Attach(std::int32_t pid);
    bool Refresh(Tracked& process);
    bool StillOurs(Tracked& process);
    static bool Fresh(const Tracked& process);
    std::vector<std::int32_t> NewThreads(Tracked& process, std::unordered_set<std::int32_t>& seen);
    std::vector<ChangeRecord::Request> ThreadRequests(const Tracked& process,
                                                      const std::vector<std::int32_t>& tids,
                                                      int nice);
    std::optional<ChangeRecord::Request> GroupRequest(const Tracked& process, int nice);
    lever_plan::Rights RightsFor(std::int32_t pid) const;
    bool HeldRaised(const LeverTarget& target) const;
    static bool IsRaise(const HeldChange& held);
    std::optional<ChangeRecord::Request> WeightRequest(const Tracked& process,
                                                       const CpuPlacement& placement, int nice);
    Tracked* Resolve(ProcessHandle handle, std::uint32_t needed);
    void Forget(const Tracked& process);
    std::uint64_t ToFiletime(std::uint64_t ticksAfterBoot) const;

    std::unordered_map<std::int32_t, std::shared_ptr<Tracked>> m_kept;
    Handle* Slot(ProcessHandle handle);

    std::vector<Handle> m_handles;
    std::vector<std::uint32_t> m_freeSlots;
    std::size_t m_keepLimit = 0;
    std::uint32_t m_uid = 0;
    std::uint64_t m_ticksPerSecond = 100;
    std::uint64_t m_bootFiletime = 0;  // boot time in 100 ns units since 1601
    bool m_kernelGroups = false;       // the kernel groups by session
    bool m_groupBoost = true;
    std::int32_t m_frontPid = 0;  // the program in front, as the engine last said
    std::string m_leversProgram;  // the helper program found (empty: none)
    std::unique_ptr<LinuxLevers> m_levers;
    std::unique_ptr<LinuxRecordFile> m_recordFile;
    std::unique_ptr<ChangeRecord> m_record;
    int m_systemStatFd = -1;  // /proc/stat, kept open: it is read every tick
};

}  // namespace talvex::platform
