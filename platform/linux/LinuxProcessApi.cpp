#include "platform/linux/LinuxProcessApi.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <functional>
#include <set>
#include <thread>
#include <unordered_set>

#include "base/Trace.h"
#include "platform/linux/FlatpakApp.h"
#include "platform/linux/LeverPlan.h"
#include "platform/linux/LinuxLevers.h"
#include "platform/linux/Utf8.h"

namespace talvex::platform {

using namespace linux_proc;

namespace {

// The kernel reports process times in clock ticks of 10 ms, so a read of the stat file
// from the same scheduler tick (the coarse clock's step, at most a few milliseconds) is
// as good as a new one. The engine opens each process and samples it twice within
// microseconds; all three share one read that way.
constexpr std::uint64_t kFreshReadNs = 1'000'000;
// Seconds between 1601-01-01 and 1970-01-01, in 100 ns units.
constexpr std::uint64_t kUnixEpochAsFiletime = 116444736000000000ULL;
constexpr const char* kInstalledLeversProgram = TALVEX_LEVERS_INSTALLED;
// A handle is its slot's generation in the upper half and slot + 1 in the lower half,
// halves of whatever width a handle has on this target (32 bits on 64-bit targets).
constexpr unsigned kSlotBits = sizeof(ProcessHandle) * 4;
constexpr ProcessHandle kSlotMask = (ProcessHandle{1} << kSlotBits) - 1U;
constexpr ProcessHandle kGenerationMask = ~ProcessHandle{0} >> kSlotBits;

std::uint64_t NowNs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000ULL +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

std::string ProcPath(std::int32_t pid, const char* leaf) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), leaf);
    return path;
}

std::optional<std::int32_t> PidFromName(const char* name) {
    std::int32_t pid = 0;
    const char* end = name + std::char_traits<char>::length(name);
    const auto [ptr, ec] = std::from_chars(name, end, pid);
    if (ec != std::errc() || ptr != end || pid <= 0) return std::nullopt;
    return pid;
}

// Target of /proc/PID/exe. When the executable was deleted or replaced (an update
// installed a new file under the same name) the kernel appends " (deleted)"; the name
// the user knows the program by is the path without it.
std::string ExecutablePath(std::int32_t pid) {
    const std::string link = ProcPath(pid, "exe");
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) {
        // A file whose name really ends that way is the same file as the link's target.
        struct stat viaLink {
        }, viaName{};
        const bool sameFile = ::stat(link.c_str(), &viaLink) == 0 &&
                              ::stat(path.c_str(), &viaName) == 0 &&
                              viaLink.st_dev == viaName.st_dev && viaLink.st_ino == viaName.st_ino;
        if (!sameFile) path.resize(path.size() - kDeleted.size());
    }
    return path;
}

// File name the enumeration reports: the executable's, else the kernel's command name.
std::string ExecutableName(std::int32_t pid) {
    const std::string path = ExecutablePath(pid);
    if (!path.empty()) return path.substr(path.rfind('/') + 1);
    std::string comm = ReadProcText(ProcPath(pid, "comm")).value_or(std::string{});
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm;
}

// A descriptor that becomes readable once the process has ended (zombies included), or
// -1 where the kernel has none (before 5.3); a cached read is then never trusted.
int OpenPidFd(std::int32_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0U));
#else
    (void)pid;
    return -1;
#endif
}

bool PidFdSaysEnded(int pidFd) {
    pollfd entry{pidFd, POLLIN, 0};
    return ::poll(&entry, 1, 0) != 0;  // readable (ended) or an error: no longer trusted
}

}  // namespace

struct LinuxProcessApi::Tracked {
    explicit Tracked(std::int32_t id) : pid(id) {}
    ~Tracked() {
        if (statFd >= 0) ::close(statFd);
        if (pidFd >= 0) ::close(pidFd);
    }
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

    std::int32_t pid;
    int statFd = -1;
    int pidFd = -1;  // tells whether the process has ended without a read of its stat
    ProcStat last;
    std::uint64_t lastReadNs = 0;  // when `last` was read; 0 = must read again
    bool refused = false;          // a kernel thread or another user's: cannot be opened
};

LinuxProcessApi::LinuxProcessApi(const std::optional<std::string>& recordFolder,
                                 std::optional<std::string> leversProgram)
    : m_uid(::geteuid()),
      m_levers(std::make_unique<LinuxLevers>(m_uid)),
      m_recordFile(recordFolder ? std::make_unique<LinuxRecordFile>(*recordFolder) : nullptr),
      m_record(
          std::make_unique<ChangeRecord>(*m_levers, LinuxLevers::BootId(), m_recordFile.get())) {
    // Raises go through the helper, unless this program holds the right itself (run as
    // root, or an older installation that gave it the capability).
    m_leversProgram = leversProgram ? *leversProgram : DefaultLeversProgram();
    m_levers->UseHelper(StartLeversHelper(m_leversProgram));
    if (trace::Enabled(trace::Level::Info)) {
        static constexpr const char* kRoutes[] = {"through the helper", "by its own right",
                                                  "within the user's nice limit", "not at all"};
        trace::Write(
            trace::Level::Info, "LinuxProcessApi",
            std::string("raises priorities ") + kRoutes[static_cast<int>(m_levers->RaiseRoute())]);
    }
    m_kernelGroups = ReadProcText("/proc/sys/kernel/sched_autogroup_enabled")
                         .value_or(std::string{})
                         .starts_with("1");
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (ticks > 0) m_ticksPerSecond = static_cast<std::uint64_t>(ticks);
    const std::uint64_t bootNs = NowNs(CLOCK_REALTIME) - NowNs(CLOCK_BOOTTIME);
    m_bootFiletime = bootNs / 100 + kUnixEpochAsFiletime;

    // Keeping descriptors for each process needs room: raise the soft limit a little
    // (not to the hard limit, which children would inherit) and use at most half of it.
    constexpr rlim_t kWanted = 8192;
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        if (files.rlim_cur < kWanted) {
            rlimit raised = files;
            raised.rlim_cur = std::min<rlim_t>(kWanted, files.rlim_max);
            if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) files = raised;
        }
        // Each kept process holds two descriptors (its stat file and its pid).
        m_keepLimit = files.rlim_cur == RLIM_INFINITY ? kWanted / 4 : files.rlim_cur / 4;
    }
}

LinuxProcessApi::~LinuxProcessApi() {
    if (m_systemStatFd >= 0) ::close(m_systemStatFd);
}

void LinuxProcessApi::SetKeepLimit(std::size_t limit) {
    m_keepLimit = limit;
    while (m_kept.size() > m_keepLimit) m_kept.erase(m_kept.begin());
}

void LinuxProcessApi::SetAutogroupBoost(bool enabled) {
    m_groupBoost = enabled;
}

bool LinuxProcessApi::Refresh(Tracked& process) {
    char buffer[1024];
    const ssize_t n = ::pread(process.statFd, buffer, sizeof buffer - 1, 0);
    // A failed read ends the cache for good: the process has ended, and no later call on
    // a handle to it may answer from what was read before.
    process.lastReadNs = 0;
    if (n <= 0) return false;
    const auto stat = ParseProcStat(std::string_view(buffer, static_cast<std::size_t>(n)));
    if (!stat || HasEnded(*stat)) return false;
    process.last = *stat;
    process.lastReadNs = NowNs(CLOCK_MONOTONIC_COARSE);
    return true;
}

bool LinuxProcessApi::StillOurs(Tracked& process) {
    // The status file is opened by path; a successful read of the pinned stat file
    // afterwards shows that the path still named this very process.
    const auto status = ReadProcText(ProcPath(process.pid, "status"));
    if (!status) return false;
    const auto uids = ParseStatusUids(*status);
    if (!uids || uids->real != m_uid || uids->effective != m_uid || uids->saved != m_uid) {
        return false;
    }
    return Refresh(process);
}

std::shared_ptr<LinuxProcessApi::Tracked> LinuxProcessApi::Attach(std::int32_t pid) {
    auto process = std::make_shared<Tracked>(pid);
    process->statFd = ::open(ProcPath(pid, "stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (process->statFd < 0 || !Refresh(*process)) return nullptr;
    // A refusal is kept too, so the next tick refuses without a new
    // look at the process (see CreateToolhelp32Snapshot for how long it holds).
    process->refused = IsKernelThread(process->last) || !StillOurs(*process);
    // The stat descriptor is pinned to the process; a good read after the pid descriptor
    // was opened shows that both name the same one. A refused process keeps one too: it
    // tells, without a read of the stat file, that the refusal still holds.
    process->pidFd = OpenPidFd(pid);
    if (process->pidFd >= 0 && !Refresh(*process)) return nullptr;
    if (m_kept.size() < m_keepLimit) m_kept[pid] = process;
    return process->refused ? nullptr : process;
}

void LinuxProcessApi::Forget(const Tracked& process) {
    auto it = m_kept.find(process.pid);
    if (it != m_kept.end() && it->second.get() == &process) m_kept.erase(it);
}

ProcessHandle LinuxProcessApi::OpenProcess(std::uint32_t access, std::int32_t pid) {
    m_record->RetryWaiting();
    if (pid <= 0) return 0;
    std::shared_ptr<Tracked> process;
    if (auto it = m_kept.find(pid); it != m_kept.end()) {
        process = it->second;
        // Refused while it lives: asked on every tick, so the cheapest look answers.
        if (process->refused && process->pidFd >= 0 && !PidFdSaysEnded(process->pidFd)) return 0;
        if (!Refresh(*process)) {
            // That process has ended; the pid may belong to a new one by now.
            m_kept.erase(it);
            process.reset();
        } else if (process->refused) {
            return 0;
        }
    }
    if (!process) process = Attach(pid);
    // slot + 1 must fit in its half of the handle.
    if (!process || (m_freeSlots.empty() && m_handles.size() >= kSlotMask)) return 0;
    std::uint32_t slot = 0;
    if (m_freeSlots.empty()) {
        slot = static_cast<std::uint32_t>(m_handles.size());
        m_handles.emplace_back();
    } else {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
    }
    Handle& entry = m_handles[slot];
    entry.process = std::move(process);
    entry.access = access;
    ++entry.generation;
    return (static_cast<ProcessHandle>(entry.generation) << kSlotBits) | (slot + 1U);
}

LinuxProcessApi::Handle* LinuxProcessApi::Slot(ProcessHandle handle) {
    const std::uint64_t slot = std::uint64_t{handle & kSlotMask} - 1U;
    if (slot >= m_handles.size()) return nullptr;
    Handle& entry = m_handles[slot];
    if (!entry.process || (entry.generation & kGenerationMask) != (handle >> kSlotBits)) {
        return nullptr;
    }
    return &entry;
}

bool LinuxProcessApi::CloseHandle(ProcessHandle handle) {
    Handle* entry = Slot(handle);
    if (!entry) return false;
    entry->process.reset();
    m_freeSlots.push_back(static_cast<std::uint32_t>(entry - m_handles.data()));
    return true;
}

LinuxProcessApi::Tracked* LinuxProcessApi::Resolve(ProcessHandle handle, std::uint32_t needed) {
    const Handle* entry = Slot(handle);
    if (!entry || (entry->access & needed) != needed) return nullptr;
    return entry->process.get();
}

std::int32_t LinuxProcessApi::GetPriorityClass(ProcessHandle handle) {
    Tracked* process = Resolve(handle, PROCESS_QUERY_INFORMATION);
    if (!process) return 0;
    // Ownership was checked when the process was first opened and is looked at again
    // at every snapshot (a set-user-id program changes it); a change checks it afresh.
    // A read of the class needs no more: the observers ask for it every tick.
    if (!Fresh(*process) && !Refresh(*process)) {
        Forget(*process);
        return 0;
    }
    return ClassForNice(process->last.nice);
}

std::vector<std::int32_t> LinuxProcessApi::NewThreads(Tracked& process,
                                                      std::unordered_set<std::int32_t>& seen) {
    std::vector<std::int32_t> fresh;
    DIR* tasks = ::opendir(ProcPath(process.pid, "task").c_str());
    if (!tasks) return fresh;
    while (const dirent* entry = ::readdir(tasks)) {
        const auto tid = PidFromName(entry->d_name);
        if (tid && seen.insert(*tid).second) fresh.push_back(*tid);
    }
    ::closedir(tasks);
    return fresh;
}

bool LinuxProcessApi::HasRealtimeThread(ProcessHandle handle) {
    Tracked* process = Resolve(handle, PROCESS_QUERY_INFORMATION);
    if (!process) return false;
    std::unordered_set<std::int32_t> seen;
    bool realtime = false;
    for (const std::int32_t tid : NewThreads(*process, seen)) {
        const int policy = ::sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK;
        if (policy == SCHED_FIFO || policy == SCHED_RR || policy == SCHED_DEADLINE) {
            realtime = true;
            break;
        }
    }
    // Asked by thread id: only while the pinned process lives were they its threads.
    return realtime && Refresh(*process);
}

std::string LinuxProcessApi::GetAppId(ProcessHandle handle) {
    Tracked* process = Resolve(handle, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!process) return {};
    std::string id = FlatpakAppId(process->pid);
    // Read by pid: only if the pinned process still lives was it its own.
    return !id.empty() && Refresh(*process) ? id : std::string{};
}

lever_plan::Rights LinuxProcessApi::RightsFor(std::int32_t pid) const {
    return {m_levers->LowestThreadNice(pid), m_levers->LowestGroupNice(),
            m_levers->MayClearResetOnFork()};
}

std::vector<ChangeRecord::Request> LinuxProcessApi::ThreadRequests(
    const Tracked& process, const std::vector<std::int32_t>& tids, int nice) {
    const std::uint64_t start = process.last.starttime;
    std::vector<lever_plan::ThreadFacts> threads;
    for (const std::int32_t tid : tids) {
        if (const auto thread = m_levers->ReadThread(process.pid, start, tid)) {
            threads.push_back(
                {tid, thread->nice, thread->ours, thread->resetOnFork, thread->ordinaryPolicy});
        }
    }
    return lever_plan::Threads(process.pid, start, threads, nice, RightsFor(process.pid));
}

std::optional<ChangeRecord::Request> LinuxProcessApi::GroupRequest(const Tracked& process,
                                                                   int nice) {
    // With kernel.sched_autogroup_enabled at 1 the scheduler first shares the CPU
    // between sessions and applies nice values only inside one. For a raise to count
    // against busy programs of other sessions, the raised process's session group gets
    // the same value for as long as the raise lasts; a busy program's session group is
    // lowered with it (LeverPlan decides; here the facts are read).
    if (!m_groupBoost || !m_kernelGroups || nice == 0) return std::nullopt;
    const auto group = LinuxLevers::ReadGroup(process.pid);
    if (!group) return std::nullopt;
    lever_plan::GroupFacts facts;
    facts.id = group->id;
    facts.nice = group->nice;
    if (const auto own = LinuxLevers::ReadGroup(static_cast<std::int32_t>(::getpid()))) {
        facts.ownId = own->id;
    }
    const std::int32_t leader = process.last.session;
    const auto status = leader > 0 ? ReadProcText(ProcPath(leader, "status")) : std::nullopt;
    const auto uids = status ? ParseStatusUids(*status) : std::nullopt;
    facts.leaderIsUsers = uids && uids->real == m_uid && uids->effective == m_uid;
    if (nice > 0) {
        const LeverTarget target{process.pid, process.last.starttime, group->id, Lever::GroupNice};
        facts.frontShares = m_frontPid > 0 && [&] {
            const auto of = LinuxLevers::ReadGroup(m_frontPid);
            return of && of->id == group->id;
        }();
        facts.heldRaised = HeldRaised(target);
        // A lowering reaches every process of the session: only when all are the user's
        // (as far as the descriptors kept from the last tick tell; with too many to
        // keep, never).
        facts.sessionAllUsers =
            m_kept.size() < m_keepLimit &&
            std::none_of(m_kept.begin(), m_kept.end(), [&](const auto& kept) {
                const Tracked& other = *kept.second;
                return other.refused && !IsKernelThread(other.last) && other.last.session == leader;
            });
    }
    return lever_plan::Group(process.pid, process.last.starttime, facts, nice,
                             RightsFor(process.pid));
}

bool LinuxProcessApi::HeldRaised(const LeverTarget& target) const {
    return std::any_of(
        m_record->Held().begin(), m_record->Held().end(),
        [&](const HeldChange& held) { return held.target.SameAs(target) && IsRaise(held); });
}

bool LinuxProcessApi::IsRaise(const HeldChange& held) {
    // A weight raises as it grows; a nice value as it falls.
    return held.target.lever == Lever::GroupWeight ? held.set > held.before
                                                   : held.set < held.before;
}

void LinuxProcessApi::SetFrontProcess(std::int32_t pid) {
    m_frontPid = pid;
    if (pid <= 0) return;
    // A group lowered for a busy program that the program now in front shares.
    std::vector<LeverTarget> lowered;
    for (const HeldChange& held : m_record->Held()) {
        const Lever lever = held.target.lever;
        if ((lever == Lever::GroupNice || lever == Lever::GroupWeight) && !IsRaise(held)) {
            lowered.push_back(held.target);
        }
    }
    if (lowered.empty()) return;
    const auto session = LinuxLevers::ReadGroup(pid);
    const auto cpuGroup = m_levers->Topology().GroupOf(pid);
    for (const LeverTarget& target : lowered) {
        const bool shared = target.lever == Lever::GroupNice
                                ? session && session->id == target.id
                                : cpuGroup && static_cast<std::int64_t>(cpuGroup->id) == target.id;
        if (shared) m_record->UndoTarget(target);
    }
}

CpuPlacement LinuxProcessApi::PlacementOf(std::int32_t pid) const {
    return m_levers->Topology().Place(pid);
}

std::optional<ChangeRecord::Request> LinuxProcessApi::WeightRequest(const Tracked& process,
                                                                    const CpuPlacement& placement,
                                                                    int nice) {
    // A process in a CPU cgroup of its own competes by the group's weight: the group is
    // raised while its program is in front and lowered while it keeps the CPU busy in
    // the background (CpuTopology says which groups are the user's to change).
    if (!m_groupBoost || nice == 0 || placement.lever != CpuLever::GroupWeight) {
        return std::nullopt;
    }
    lever_plan::WeightFacts facts;
    facts.id = static_cast<std::int64_t>(placement.group.id);
    facts.now = LinuxLevers::ReadWeight(placement.group);
    facts.v1 = placement.group.v1;
    const LeverTarget target{process.pid, process.last.starttime, facts.id, Lever::GroupWeight};
    for (const HeldChange& held : m_record->Held()) {
        if (held.target.SameAs(target)) facts.heldBefore = held.before;
    }
    if (nice > 0) {
        facts.heldRaised = HeldRaised(target);
        facts.frontShares = m_frontPid > 0 && [&] {
            const auto of = m_levers->Topology().GroupOf(m_frontPid);
            return of && of->id == placement.group.id;
        }();
    }
    return lever_plan::Weight(process.pid, process.last.starttime, facts, nice);
}

bool LinuxProcessApi::SetPriorityClass(ProcessHandle handle, std::int32_t priorityClass) {
    Tracked* process = Resolve(handle, PROCESS_SET_INFORMATION);
    const auto nice = NiceForClass(priorityClass);
    if (!process || !nice || !StillOurs(*process)) return false;
    // A class applies to every thread (nice is per thread on Linux). A thread started
    // while the first pass runs may have copied the old value; the second pass catches it.
    std::unordered_set<std::int32_t> seen;
    bool allSet = true;
    for (int pass = 0; pass < 2; ++pass) {
        const auto tids = NewThreads(*process, seen);
        if (tids.empty()) break;
        allSet = m_record->Change(ThreadRequests(*process, tids, *nice)) && allSet;
    }
    // Nice ranks threads only inside one CPU group; across groups the group's own
    // lever carries the change.
    const CpuPlacement placement = PlacementOf(process->pid);
    const auto group =
        placement.lever == CpuLever::AutogroupNice ? GroupRequest(*process, *nice) : std::nullopt;
    if (group) {
        m_record->Change({*group});
    } else if (*nice >= 0) {
        m_record->UndoProcess(process->pid, Lever::GroupNice);  // no raise left to carry
    }
    if (const auto weight = WeightRequest(*process, placement, *nice)) {
        m_record->Change({*weight});
    } else if (*nice == 0) {
        m_record->UndoProcess(process->pid, Lever::GroupWeight);  // Normal again
    }
    process->lastReadNs = 0;
    return allSet && Refresh(*process);
}

int LinuxProcessApi::UndoChanges(std::int32_t pid) {
    const int undone = m_record->UndoProcess(pid);
    if (undone == 0) return 0;  // the common case: asked for every idle process
    if (auto it = m_kept.find(pid); it != m_kept.end()) it->second->lastReadNs = 0;
    return undone;
}

bool LinuxProcessApi::UndoAllChanges(std::uint32_t waitMs) {
    m_record->UndoAll();
    // The kernel takes one session-group change per 100 ms: wait that out, bounded.
    for (std::uint32_t waited = 0; m_record->Waiting() && waited < waitMs; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_record->RetryWaiting();
    }
    return m_record->Held().empty();
}

bool LinuxProcessApi::Fresh(const Tracked& process) {
    // A read from the same tick stands only while the process lives: every call on a
    // handle fails once its process has ended, however recent the last read.
    return process.lastReadNs != 0 && process.pidFd >= 0 &&
           NowNs(CLOCK_MONOTONIC_COARSE) - process.lastReadNs < kFreshReadNs &&
           !PidFdSaysEnded(process.pidFd);
}

bool LinuxProcessApi::GetProcessTimes(ProcessHandle handle, ProcessTimes& times) {
    Tracked* process = Resolve(handle, PROCESS_QUERY_INFORMATION);
    if (!process) return false;
    if (!Fresh(*process) && !Refresh(*process)) {
        Forget(*process);
        return false;
    }
    const std::uint64_t unit = 10'000'000ULL / m_ticksPerSecond;  // 100 ns units per tick
    times.creation = ToFiletime(process->last.starttime);
    times.exit = 0;
    times.kernel = process->last.stime * unit;
    times.user = process->last.utime * unit;
    return true;
}

bool LinuxProcessApi::GetSystemTimes(SystemTimes& times) {
    if (m_systemStatFd < 0) m_systemStatFd = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
    if (m_systemStatFd < 0) return false;
    // Only the first line counts; the rest (every processor, every interrupt) is long.
    char buffer[512];
    const ssize_t n = ::pread(m_systemStatFd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    const auto totals = ParseCpuTotals(std::string_view(buffer, static_cast<std::size_t>(n)));
    if (!totals) return false;
    const std::uint64_t unit = 10'000'000ULL / m_ticksPerSecond;
    times.busy = totals->busy * unit;
    times.total = totals->total * unit;
    return true;
}

std::optional<Readiness> LinuxProcessApi::GetReadiness(ProcessHandle handle) {
    Tracked* process = Resolve(handle, PROCESS_QUERY_INFORMATION);
    if (!process) return std::nullopt;
    // Each thread keeps its own state and count (the process's own files tell of the
    // first thread only). A kernel built without scheduler statistics has no schedstat
    // files: then the state alone tells, which catches a starved busy loop (always
    // ready to run) but not a process that waited and then slept.
    DIR* tasks = ::opendir(ProcPath(process->pid, "task").c_str());
    if (!tasks) return std::nullopt;
    Readiness ready;
    bool any = false;
    while (const dirent* entry = ::readdir(tasks)) {
        const auto tid = PidFromName(entry->d_name);
        if (!tid) continue;
        char path[80];
        std::snprintf(path, sizeof path, "/proc/%d/task/%d/stat", static_cast<int>(process->pid),
                      static_cast<int>(*tid));
        const auto stat = ReadProcText(path);
        const auto fields = stat ? ParseProcStat(*stat) : std::nullopt;
        if (!fields) continue;  // a thread that ended meanwhile
        any = true;
        ready.readyNow = ready.readyNow || fields->state == 'R';
        std::snprintf(path, sizeof path, "/proc/%d/task/%d/schedstat",
                      static_cast<int>(process->pid), static_cast<int>(*tid));
        const auto text = ReadProcText(path);
        if (const auto wait = text ? ParseSchedstatWait(*text) : std::nullopt) {
            ready.waitedNs += *wait;
        }
    }
    ::closedir(tasks);
    // The folder was found by pid: it was this process's only if it still lives now.
    if (!any || !Refresh(*process)) return std::nullopt;
    return ready;
}

std::uint64_t LinuxProcessApi::ToFiletime(std::uint64_t ticksAfterBoot) const {
    return m_bootFiletime + ticksAfterBoot * (10'000'000ULL / m_ticksPerSecond);
}

std::string LinuxProcessApi::GetModuleFileNameExA(ProcessHandle handle, std::size_t maxChars) {
    Tracked* process = Resolve(handle, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!process || maxChars == 0) return {};
    std::string path = ExecutablePath(process->pid);
    // The link was read by pid: only if the pinned process still lives was it its own.
    if (path.empty() || !Refresh(*process)) return {};
    return CutUtf8(std::move(path), maxChars);
}

std::optional<std::vector<ProcessInfo>> LinuxProcessApi::CreateToolhelp32Snapshot() {
    DIR* proc = ::opendir("/proc");
    if (!proc) return std::nullopt;
    std::vector<ProcessInfo> list;
    std::unordered_set<std::int32_t> seen;
    while (const dirent* entry = ::readdir(proc)) {
        const auto pid = PidFromName(entry->d_name);
        if (!pid) continue;
        list.push_back(ProcessInfo{*pid, ExecutableName(*pid)});
        seen.insert(*pid);
    }
    ::closedir(proc);
    // Descriptors of processes that have gone are given back. The owner as procfs shows
    // it (by path, which renews it; the kept descriptor's would not) decides the rest:
    // a process that is no longer the user's, and a refusal of a process that may have
    // become the user's, are looked at afresh, so the next open checks its credentials
    // in full. A refusal of a kernel thread, or of a process still another user's,
    // stands: looking again would read its status file at every snapshot.
    std::erase_if(m_kept, [&](const auto& kept) {
        const Tracked& process = *kept.second;
        if (!seen.contains(kept.first)) return true;
        if (process.refused && IsKernelThread(process.last)) return false;
        struct stat info {};
        const bool readable = ::stat(ProcPath(kept.first, "stat").c_str(), &info) == 0;
        if (process.refused) return !readable || info.st_uid == m_uid;
        return !readable || info.st_uid != m_uid;
    });
    if (!m_record->Held().empty()) m_record->ForgetGone();
    return list;
}

std::int32_t LinuxProcessApi::GetCurrentProcessId() {
    // Asked for every process on every tick; the program never forks without exec.
    static const auto own = static_cast<std::int32_t>(::getpid());
    return own;
}

bool LinuxProcessApi::CanRaisePriority() {
    return m_levers->RaiseRoute() != LinuxLevers::Route::Unavailable;
}

RaiseRight LinuxProcessApi::RaiseRightInUse() {
    switch (m_levers->RaiseRoute()) {
        case LinuxLevers::Route::Helper:
            return {RaiseRoute::Helper, m_leversProgram};
        case LinuxLevers::Route::OwnRight:
            return {RaiseRoute::OwnRight, {}};
        case LinuxLevers::Route::NiceLimit:
            return {RaiseRoute::NiceLimit, m_leversProgram};
        case LinuxLevers::Route::Unavailable:
            break;
    }
    // Where the helper would be when it is not there: where the package installs it.
    return {RaiseRoute::Unavailable,
            m_leversProgram.empty() ? std::string(kInstalledLeversProgram) : m_leversProgram};
}

}  // namespace talvex::platform
