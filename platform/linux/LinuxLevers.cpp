#include "platform/linux/LinuxLevers.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/linux/ProcStat.h"

namespace talvex::platform {

using namespace linux_proc;

namespace {

std::string ProcPath(std::int32_t pid, const std::string& leaf) {
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

std::string TaskPath(std::int32_t pid, std::int64_t tid, const char* leaf) {
    return ProcPath(pid, "task/" + std::to_string(tid) + "/" + leaf);
}

bool UidsAre(std::string_view status, std::uint32_t uid) {
    const auto uids = ParseStatusUids(status);
    return uids && uids->real == uid && uids->effective == uid && uids->saved == uid;
}

ILeverAccess::Write WriteError(int error) {
    switch (error) {
        case EAGAIN:
            return ILeverAccess::Write::Busy;
        case ESRCH:
        case ENOENT:
            return ILeverAccess::Write::Gone;
        default:
            return ILeverAccess::Write::Refused;
    }
}

}  // namespace

LinuxLevers::LinuxLevers(std::uint32_t uid, const std::string& root)
    : m_uid(uid), m_topology(root, uid, static_cast<std::int32_t>(::getpid())) {}

LinuxLevers::~LinuxLevers() = default;

void LinuxLevers::UseHelper(std::unique_ptr<LeversClient> helper) {
    m_helper = std::move(helper);
}

bool LinuxLevers::HoldsNiceCapability() {
    constexpr int kCapSysNice = 23;
    const auto status = ReadProcText("/proc/self/status");
    const auto at = status ? status->find("\nCapEff:") : std::string::npos;
    if (at == std::string::npos) return false;
    const auto caps = std::strtoull(status->c_str() + at + 8, nullptr, 16);
    return ((caps >> kCapSysNice) & 1U) != 0;
}

std::optional<int> LinuxLevers::NiceLimitOf(const std::string& limitsText) {
    // "Max nice priority         0                    0"; the soft limit comes first.
    constexpr std::string_view kKey = "Max nice priority";
    const auto at = limitsText.find(kKey);
    if (at == std::string::npos) return std::nullopt;
    const char* soft = limitsText.c_str() + at + kKey.size();
    while (*soft == ' ') ++soft;
    if (std::string_view(soft).starts_with("unlimited")) return -20;
    char* end = nullptr;
    const long limit = std::strtol(soft, &end, 10);
    if (end == soft || limit < 0) return std::nullopt;
    return static_cast<int>(std::clamp(20L - limit, -20L, 20L));
}

LinuxLevers::Route LinuxLevers::RaiseRoute() const {
    if (HelperRunning()) return Route::Helper;
    if (HoldsNiceCapability()) return Route::OwnRight;
    rlimit nice{};
    const bool limit = ::getrlimit(RLIMIT_NICE, &nice) == 0 &&
                       (nice.rlim_cur == RLIM_INFINITY || nice.rlim_cur > 20);
    return limit ? Route::NiceLimit : Route::Unavailable;
}

int LinuxLevers::LowestThreadNice(std::int32_t pid) const {
    if (HelperRunning()) return m_helper->Floor();
    if (HoldsNiceCapability()) return -20;
    // setpriority() checks the target's own limit, not the caller's.
    const auto limits = ReadProcText(ProcPath(pid, "limits"));
    return limits ? NiceLimitOf(*limits).value_or(20) : 20;
}

int LinuxLevers::LowestGroupNice() const {
    if (HelperRunning()) return m_helper->Floor();
    if (HoldsNiceCapability()) return -20;
    // A session group's nice value below 0 is checked against the writer's own limit.
    rlimit nice{};
    if (::getrlimit(RLIMIT_NICE, &nice) != 0) return 0;
    if (nice.rlim_cur == RLIM_INFINITY) return -20;
    return std::min(0, static_cast<int>(20 - std::min<rlim_t>(nice.rlim_cur, 40)));
}

bool LinuxLevers::MayClearResetOnFork() const {
    return HelperRunning() || HoldsNiceCapability();
}

ILeverAccess::Write LinuxLevers::AskHelper(levers::Kind kind, const LeverTarget& target,
                                           std::int64_t value, std::uint64_t threadStart) {
    const levers::Request request{
        kind,      target.pid, static_cast<std::int32_t>(value), target.startTime,
        target.id, threadStart};
    const auto answer = m_helper->Ask(request);
    if (!answer) return Write::Refused;
    switch (answer->verdict) {
        case levers::Verdict::Done:
            return Write::Done;
        case levers::Verdict::Busy:
            return Write::Busy;
        case levers::Verdict::Gone:
            return Write::Gone;
        default:
            return Write::Refused;
    }
}

std::optional<std::uint64_t> LinuxLevers::StartTimeOf(std::int32_t pid) {
    if (pid <= 0) return std::nullopt;
    const auto text = ReadProcText(ProcPath(pid, "stat"));
    if (!text) return std::nullopt;
    const auto stat = ParseProcStat(*text);
    // A zombie leader whose threads still run keeps its place: only a process that
    // ended entirely (state X, or a stat file that is gone) is no more.
    if (!stat || stat->state == 'X' || stat->state == 'x') return std::nullopt;
    return stat->starttime;
}

std::string LinuxLevers::BootId() {
    std::string id = ReadProcText("/proc/sys/kernel/random/boot_id").value_or(std::string{});
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    return id;
}

std::optional<LinuxLevers::Group> LinuxLevers::ReadGroup(std::int32_t pid) {
    // The file reads "/autogroup-<id> nice <nice>".
    const auto text = ReadProcText(ProcPath(pid, "autogroup"));
    Group group;
    if (!text ||
        std::sscanf(text->c_str(), "/autogroup-%ld nice %d", &group.id, &group.nice) != 2) {
        return std::nullopt;
    }
    return group;
}

bool LinuxLevers::SameProcess(const LeverTarget& target) const {
    const auto start = StartTimeOf(target.pid);
    return start && *start == target.startTime;
}

bool LinuxLevers::ThreadIsOurs(std::int32_t pid, std::int64_t tid) const {
    const auto status = ReadProcText(TaskPath(pid, tid, "status"));
    return status && UidsAre(*status, m_uid);
}

std::optional<LinuxLevers::ThreadState> LinuxLevers::ReadThread(std::int32_t pid,
                                                                std::uint64_t startTime,
                                                                std::int32_t tid) const {
    const auto text = ReadProcText(TaskPath(pid, tid, "stat"));
    if (!text) return std::nullopt;
    const auto stat = ParseProcStat(*text);
    if (!stat || HasEnded(*stat)) return std::nullopt;
    ThreadState state;
    state.nice = stat->nice;
    state.ours = ThreadIsOurs(pid, tid);
    const int policy = ::sched_getscheduler(tid);
    if (policy < 0) return std::nullopt;
    state.resetOnFork = (policy & SCHED_RESET_ON_FORK) != 0;
    const int plain = policy & ~SCHED_RESET_ON_FORK;
    state.ordinaryPolicy = plain == SCHED_OTHER || plain == SCHED_BATCH || plain == SCHED_IDLE;
    // Read by thread id: only if the process is still the one asked for was it its thread.
    const auto start = StartTimeOf(pid);
    if (!start || *start != startTime) return std::nullopt;
    return state;
}

std::optional<std::int64_t> LinuxLevers::ReadLever(const LeverTarget& target) {
    if (!SameProcess(target)) return std::nullopt;
    switch (target.lever) {
        case Lever::ThreadNice: {
            const auto text = ReadProcText(TaskPath(target.pid, target.id, "stat"));
            const auto stat = text ? ParseProcStat(*text) : std::nullopt;
            if (!stat || HasEnded(*stat)) return std::nullopt;
            return stat->nice;
        }
        case Lever::ThreadResetOnFork: {
            if (::access(TaskPath(target.pid, target.id, "stat").c_str(), F_OK) != 0) {
                return std::nullopt;
            }
            const int policy = ::sched_getscheduler(static_cast<pid_t>(target.id));
            if (policy < 0) return std::nullopt;
            return (policy & SCHED_RESET_ON_FORK) != 0 ? 1 : 0;
        }
        case Lever::GroupNice: {
            const auto group = ReadGroup(target.pid);
            if (!group || group->id != target.id) return std::nullopt;
            return group->nice;
        }
        case Lever::GroupWeight: {
            const auto group = WeightGroup(target);
            return group ? ReadWeight(*group) : std::nullopt;
        }
        case Lever::PriorityClass:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::int64_t> LinuxLevers::ReadWeight(const CpuGroup& group) {
    const auto text = ReadProcText(group.weightFile);
    std::int64_t value = 0;
    if (!text) return std::nullopt;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end == text->data()) return std::nullopt;
    return value;
}

std::optional<CpuGroup> LinuxLevers::WeightGroup(const LeverTarget& target) const {
    // The group is found through the process: the one it is in now, if that is still
    // the group recorded (a process moved elsewhere no longer leads to it).
    auto group = m_topology.GroupOf(target.pid);
    if (!group || group->IsRoot() || static_cast<std::int64_t>(group->id) != target.id) {
        return std::nullopt;
    }
    return group;
}

ILeverAccess::Write LinuxLevers::WriteLever(const LeverTarget& target, std::int64_t value) {
    if (!SameProcess(target)) return Write::Gone;
    Write result = Write::Refused;
    switch (target.lever) {
        case Lever::ThreadNice:
            result = WriteThreadNice(target, value);
            break;
        case Lever::ThreadResetOnFork:
            result = WriteResetOnFork(target, value);
            break;
        case Lever::GroupNice:
            result = WriteGroupNice(target, value);
            break;
        case Lever::GroupWeight:
            result = WriteGroupWeight(target, value);
            break;
        case Lever::PriorityClass:
            break;
    }
    // The write went by thread id or through a path: it reached the process recorded
    // only if that process still lives now.
    if (result == Write::Done && !SameProcess(target)) return Write::Gone;
    return result;
}

ILeverAccess::Write LinuxLevers::WriteThreadNice(const LeverTarget& target, std::int64_t value) {
    if (value < -20 || value > 19) return Write::Refused;
    if (!ThreadIsOurs(target.pid, target.id)) {
        return ::access(TaskPath(target.pid, target.id, "stat").c_str(), F_OK) == 0 ? Write::Refused
                                                                                    : Write::Gone;
    }
    // A raise goes to the helper, with the thread's own start time: it checks that the
    // thread id still names that thread before and after it writes.
    if (HelperRunning()) {
        const auto text = ReadProcText(TaskPath(target.pid, target.id, "stat"));
        const auto stat = text ? ParseProcStat(*text) : std::nullopt;
        if (!stat || HasEnded(*stat)) return Write::Gone;
        if (value < stat->nice) {
            return AskHelper(levers::Kind::ThreadNice, target, value, stat->starttime);
        }
    }
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(target.id), static_cast<int>(value)) != 0) {
        return WriteError(errno);
    }
    return Write::Done;
}

ILeverAccess::Write LinuxLevers::WriteResetOnFork(const LeverTarget& target, std::int64_t value) {
    if (!ThreadIsOurs(target.pid, target.id)) return Write::Refused;
    const auto tid = static_cast<pid_t>(target.id);
    const int policy = ::sched_getscheduler(tid);
    if (policy < 0) return WriteError(errno);
    const int plain = policy & ~SCHED_RESET_ON_FORK;
    // Only time-sharing policies: their parameter is always 0, so the policy and the
    // thread's nice value stay exactly as they are.
    if (plain != SCHED_OTHER && plain != SCHED_BATCH && plain != SCHED_IDLE) return Write::Refused;
    // Setting the flag needs no right; clearing it does.
    if (value == 0 && (policy & SCHED_RESET_ON_FORK) != 0 && HelperRunning()) {
        const auto text = ReadProcText(TaskPath(target.pid, target.id, "stat"));
        const auto stat = text ? ParseProcStat(*text) : std::nullopt;
        if (!stat || HasEnded(*stat)) return Write::Gone;
        return AskHelper(levers::Kind::ResetOnFork, target, 0, stat->starttime);
    }
    const sched_param param{};
    if (::sched_setscheduler(tid, plain | (value != 0 ? SCHED_RESET_ON_FORK : 0), &param) != 0) {
        return WriteError(errno);
    }
    return Write::Done;
}

namespace {
// Writes a number to a lever's file and closes it.
ILeverAccess::Write WriteNumberAndClose(int fd, std::int64_t value) {
    const std::string text = std::to_string(value);
    const bool ok = ::write(fd, text.data(), text.size()) >= 0;
    const int error = errno;
    ::close(fd);
    return ok ? ILeverAccess::Write::Done : WriteError(error);
}
}  // namespace

ILeverAccess::Write LinuxLevers::WriteGroupNice(const LeverTarget& target, std::int64_t value) {
    if (value < -20 || value > 19) return Write::Refused;
    if (value < 0 && HelperRunning()) return AskHelper(levers::Kind::GroupNice, target, value, 0);
    const int fd = ::open(ProcPath(target.pid, "autogroup").c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return WriteError(errno);
    // Opened by pid: the descriptor is the recorded process's only if it still lives
    // now, and the group must still be the one recorded.
    const auto group = ReadGroup(target.pid);
    if (!SameProcess(target) || !group || group->id != target.id) {
        ::close(fd);
        return Write::Gone;
    }
    return WriteNumberAndClose(fd, value);
}

ILeverAccess::Write LinuxLevers::WriteGroupWeight(const LeverTarget& target, std::int64_t value) {
    const auto group = WeightGroup(target);
    if (!group) return Write::Gone;
    if (!CpuTopology::ValidWeight(value, group->v1)) return Write::Refused;
    const int fd = ::open(group->weightFile.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return WriteError(errno);
    // Opened by path: it was the recorded group's file only if that folder still has
    // the inode recorded now.
    struct stat info {};
    if (::stat(group->dir.c_str(), &info) != 0 ||
        static_cast<std::int64_t>(info.st_ino) != target.id) {
        ::close(fd);
        return Write::Gone;
    }
    return WriteNumberAndClose(fd, value);
}

}  // namespace talvex::platform
