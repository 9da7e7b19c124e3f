#include "platform/linux/AutogroupBoost.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/linux/ProcStat.h"

namespace talvex::platform {

namespace {

std::string ProcPath(std::int32_t pid, const char* leaf) {
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

std::string ReadText(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "re")) {
        char buffer[4096];
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        text.assign(buffer, n);
        std::fclose(file);
    }
    return text;
}

}  // namespace

AutogroupBoost::AutogroupBoost(std::uint32_t uid) : m_uid(uid) {
    m_kernelGroups = ReadText("/proc/sys/kernel/sched_autogroup_enabled").starts_with("1");
}

AutogroupBoost::~AutogroupBoost() {
    // Groups still raised get their former value back, as a restore would do.
    // The kernel's rate limit may turn the first attempt away; one more after it passes.
    for (auto& [id, group] : m_groups) group.boosts.clear();
    m_pending = true;
    WritePending();
    if (m_pending) {
        ::usleep(110'000);
        WritePending();
    }
    for (auto& [id, group] : m_groups) {
        if (group.writeFd >= 0) ::close(group.writeFd);
    }
}

bool AutogroupBoost::ReadGroup(std::int32_t pid, long& id, int& nice) {
    // The file reads "/autogroup-<id> nice <nice>".
    return std::sscanf(ReadText(ProcPath(pid, "autogroup")).c_str(), "/autogroup-%ld nice %d", &id,
                       &nice) == 2;
}

int AutogroupBoost::Wanted(const Group& group) {
    int wanted = group.original;
    for (const auto& [pid, nice] : group.boosts) wanted = std::min(wanted, nice);
    return wanted;
}

void AutogroupBoost::Apply(std::int32_t pid, std::int32_t session, int nice) {
    if (!Active() || pid == static_cast<std::int32_t>(::getpid())) return;
    long id = 0;
    int current = 0;
    if (!ReadGroup(pid, id, current)) return;
    auto it = m_groups.find(id);
    if (nice < 0) {
        const auto uids = linux_proc::ParseStatusUids(ReadText(ProcPath(session, "status")));
        if (session <= 0 || !uids || uids->real != m_uid || uids->effective != m_uid) return;
        if (it == m_groups.end()) {
            it = m_groups.emplace(id, Group{current, current, {}, -1}).first;
        }
        it->second.boosts[pid] = nice;
    } else {
        if (it == m_groups.end()) return;
        it->second.boosts.erase(pid);
    }
    // Writes go through a descriptor of a member that is alive now, so they can
    // never reach the group of a process that takes over the pid later.
    const int fd = ::open(ProcPath(pid, "autogroup").c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (it->second.writeFd >= 0) ::close(it->second.writeFd);
        it->second.writeFd = fd;
    }
    m_pending = true;
    WritePending();
}

void AutogroupBoost::WritePending() {
    m_pending = false;
    for (auto it = m_groups.begin(); it != m_groups.end();) {
        Group& group = it->second;
        const int wanted = Wanted(group);
        if (wanted != group.applied && group.writeFd >= 0) {
            const std::string text = std::to_string(wanted);
            if (::write(group.writeFd, text.data(), text.size()) >= 0) {
                group.applied = wanted;
            } else if (errno == EAGAIN) {
                m_pending = true;  // the kernel's rate limit: try again later
            } else {
                group.boosts.clear();  // gone, or not ours to raise: leave it alone
                group.applied = group.original;
            }
        }
        if (group.boosts.empty() && group.applied == Wanted(group)) {
            if (group.writeFd >= 0) ::close(group.writeFd);
            it = m_groups.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace talvex::platform
