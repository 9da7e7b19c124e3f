// talvex-levers: the only part of Talvex that holds the right to raise priorities
// (cap_sys_nice, set on this file by the package). Talvex starts it with one end of a
// SOCK_SEQPACKET socket pair as descriptor 3 and an empty environment, and asks it to
// set a thread's nice value, a thread's reset-on-fork flag or a session group's nice
// value. It serves only the user it runs as, only that user's own unprivileged
// threads, only within [floor, 19], and ends when the socket closes. It reads nothing
// it is handed but numbers: every path it opens is built from them or fixed.

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>

#include "levers/LeverProtocol.h"
#include "levers/LeverRules.h"

namespace {

using namespace talvex::levers;

constexpr int kSocket = 3;
constexpr const char* kConfig = "/etc/talvex/levers.conf";
constexpr std::size_t kMaxRaised = 4096;

// A small file whole, or nullopt. Links are not followed for the configuration.
std::optional<std::string> ReadText(const std::string& path, int extraFlags = 0) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (n < 0) return std::nullopt;
    return text;
}

// The floor from the configuration, which counts only when root owns it and nobody
// else may write it; otherwise the default.
int ReadFloor() {
    const int fd = ::open(kConfig, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return kDefaultFloor;
    struct stat info {};
    const bool trusted = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == 0 &&
                         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && info.st_size <= 65536;
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while (trusted && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return trusted && n == 0 ? ParseFloor(text) : kDefaultFloor;
}

std::string ProcPath(const Request& request, const char* leaf, bool ofThread) {
    std::string path = "/proc/" + std::to_string(request.pid);
    if (ofThread) path += "/task/" + std::to_string(request.id);
    return path + "/" + leaf;
}

bool IsThreadLever(Kind kind) {
    return kind != Kind::GroupNice;
}

bool Alive(int pidfd) {
    pollfd poll{pidfd, POLLIN, 0};
    return pidfd >= 0 && ::poll(&poll, 1, 0) == 0;
}

Facts Gather(const Request& request, int pidfd) {
    Facts facts;
    facts.caller = ::getuid();
    const bool thread = IsThreadLever(request.kind);
    if (const auto text = ReadText(ProcPath(request, "stat", false))) {
        if (const auto stat = ParseTaskStat(*text)) facts.processStart = stat->startTime;
    }
    struct stat info {};
    const std::string dir = "/proc/" + std::to_string(request.pid);
    if (::stat(dir.c_str(), &info) == 0) facts.procOwner = info.st_uid;
    if (const auto text = ReadText(ProcPath(request, "status", thread))) {
        facts.credentials = ParseTaskStatus(*text);
    }
    if (thread) {
        if (const auto text = ReadText(ProcPath(request, "stat", true))) {
            facts.thread = ParseTaskStat(*text);
        }
        const int policy = ::sched_getscheduler(static_cast<pid_t>(request.id));
        if (policy >= 0) facts.policy = policy & ~SCHED_RESET_ON_FORK;
    } else if (const auto text = ReadText(ProcPath(request, "autogroup", false))) {
        facts.group = ParseAutogroup(*text);
    }
    // Read by pid: they were the pinned process's only if it still lives now.
    facts.pinned = Alive(pidfd);
    return facts;
}

// The lever's value now, as the facts read it.
std::optional<int> Current(const Request& request, const Facts& facts) {
    switch (request.kind) {
        case Kind::ThreadNice:
            return facts.thread ? std::optional<int>(facts.thread->nice) : std::nullopt;
        case Kind::ResetOnFork: {
            const int policy = ::sched_getscheduler(static_cast<pid_t>(request.id));
            return policy < 0 ? std::nullopt
                              : std::optional<int>((policy & SCHED_RESET_ON_FORK) != 0);
        }
        case Kind::GroupNice:
            return facts.group ? std::optional<int>(facts.group->nice) : std::nullopt;
    }
    return std::nullopt;
}

// Writes the lever; 0 or the error.
int Write(const Request& request, const Facts& facts, int value) {
    const auto tid = static_cast<pid_t>(request.id);
    switch (request.kind) {
        case Kind::ThreadNice:
            return ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), value) == 0 ? 0 : errno;
        case Kind::ResetOnFork: {
            const sched_param param{};
            const int policy = facts.policy.value_or(SCHED_OTHER);
            return ::sched_setscheduler(tid, policy | (value != 0 ? SCHED_RESET_ON_FORK : 0),
                                        &param) == 0
                       ? 0
                       : errno;
        }
        case Kind::GroupNice: {
            const int fd = ::open(ProcPath(request, "autogroup", false).c_str(),
                                  O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0) return errno;
            const std::string text = std::to_string(value);
            const int error = ::write(fd, text.data(), text.size()) >= 0 ? 0 : errno;
            ::close(fd);
            return error;
        }
    }
    return EINVAL;
}

std::uint64_t NowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
}

class Server {
  public:
    explicit Server(int floor) : m_floor(floor) {}
    Answer Handle(const Request& request);

  private:
    using Key = std::tuple<Kind, std::int32_t, std::uint64_t, std::int64_t>;
    Answer Apply(const Request& request, int pidfd);
    void ForgetEnded();

    int m_floor;
    TokenBucket m_bucket{1000, 500};
    std::set<Key> m_raised;  // targets held below nice 0
};

Answer Server::Handle(const Request& request) {
    if (!m_bucket.Take(NowNs())) return {Verdict::Busy, 0};
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, request.pid, 0));
    if (pidfd < 0) return {Verdict::Gone, errno};
    const Answer answer = Apply(request, pidfd);
    ::close(pidfd);
    return answer;
}

Answer Server::Apply(const Request& request, int pidfd) {
    const Facts before = Gather(request, pidfd);
    const Key key{request.kind, request.pid, request.processStart, request.id};
    if (m_raised.size() >= kMaxRaised) ForgetEnded();
    const Limits limits{m_floor, m_raised.size(), kMaxRaised, m_raised.contains(key)};
    const Verdict verdict = Check(request, before, limits);
    const auto old = Current(request, before);
    if (verdict != Verdict::Done) return {verdict, 0};
    if (!old) return {Verdict::Gone, 0};
    if (const int error = Write(request, before, request.value); error != 0) {
        return {error == EAGAIN                     ? Verdict::Busy
                : error == ESRCH || error == ENOENT ? Verdict::Gone
                                                    : Verdict::Refused,
                error};
    }
    // The thread id or the pid may have gone to another thread or process meanwhile:
    // then the write is taken back at once.
    if (!SameTarget(request, before, Gather(request, pidfd))) {
        Write(request, before, *old);
        return {Verdict::Gone, 0};
    }
    if (request.kind != Kind::ResetOnFork) {
        if (request.value < 0) {
            m_raised.insert(key);
        } else {
            m_raised.erase(key);
        }
    }
    return {Verdict::Done, 0};
}

void Server::ForgetEnded() {
    std::erase_if(m_raised, [](const Key& key) {
        const auto text = ReadText("/proc/" + std::to_string(std::get<1>(key)) + "/stat");
        const auto stat = text ? ParseTaskStat(*text) : std::nullopt;
        return !stat || stat->startTime != std::get<2>(key);
    });
}

// Whether this program holds CAP_SYS_NICE: without it, it has nothing to offer.
bool HoldsNiceRight() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    return ::syscall(SYS_capget, &header, data) == 0 &&
           (data[CAP_TO_INDEX(CAP_SYS_NICE)].effective & CAP_TO_MASK(CAP_SYS_NICE)) != 0;
}

// Everything but the socket is closed; the standard descriptors lead to /dev/null.
bool Isolate() {
    ::clearenv();
    ::close_range(kSocket + 1, ~0U, 0);
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < kSocket && null >= 0; ++fd) {
        if (fd != null) ::dup2(null, fd);
    }
    if (null > kSocket) ::close(null);
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    // Installed setuid by mistake, it would serve another user's requests: refuse.
    if (::getuid() != ::geteuid() || !HoldsNiceRight()) return false;
    int type = 0;
    socklen_t typeSize = sizeof type;
    ucred peer{};
    socklen_t peerSize = sizeof peer;
    return ::getsockopt(kSocket, SOL_SOCKET, SO_TYPE, &type, &typeSize) == 0 &&
           type == SOCK_SEQPACKET &&
           ::getsockopt(kSocket, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) == 0 &&
           peer.uid == ::getuid();
}

bool Send(const Answer& answer) {
    const auto bytes = EncodeAnswer(answer);
    return ::send(kSocket, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

}  // namespace

int main() {
    if (!Isolate()) return 1;
    const int floor = ReadFloor();
    Server server(floor);
    if (!Send({Verdict::Hello, floor})) return 1;
    std::uint8_t buffer[512];
    for (;;) {
        const ssize_t n = ::recv(kSocket, buffer, sizeof buffer, MSG_TRUNC);
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        const std::size_t size = static_cast<std::size_t>(n);
        const auto request = size <= sizeof buffer
                                 ? ParseRequest(std::span<const std::uint8_t>(buffer, size))
                                 : std::nullopt;
        if (!Send(request ? server.Handle(*request) : Answer{Verdict::Malformed, 0})) return 1;
    }
}
