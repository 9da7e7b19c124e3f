#include "platform/linux/LeversClient.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/Trace.h"
#include "platform/linux/LinuxLevers.h"

namespace talvex::platform {

namespace {

constexpr int kHelperSocket = 3;
constexpr int kAnswerWaitMs = 2000;

// Starts the program with `fd` as its descriptor 3, nothing else of ours and no
// environment; -1 on failure.
pid_t Launch(const std::string& program, int fd) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, fd, kHelperSocket);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string name = "talvex-levers";
    char* argv[] = {name.data(), nullptr};
    char* envp[] = {nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc == 0 ? pid : -1;
}

}  // namespace

LeversClient::LeversClient(const std::string& program) {
    if (program.empty()) return;
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return;
    // The child's end must not already be descriptor 3: a dup2 onto itself would keep
    // its close-on-exec flag.
    int childEnd = pair[1];
    if (childEnd == kHelperSocket) {
        childEnd = ::fcntl(pair[1], F_DUPFD_CLOEXEC, kHelperSocket + 1);
        ::close(pair[1]);
    }
    m_fd = pair[0];
    m_pid = childEnd >= 0 ? Launch(program, childEnd) : -1;
    if (childEnd >= 0) ::close(childEnd);
    const auto hello = m_pid > 0 ? Receive() : std::nullopt;
    if (!hello || hello->verdict != levers::Verdict::Hello) {
        Stop();
        return;
    }
    m_floor = hello->detail;
}

LeversClient::~LeversClient() {
    Stop();
}

void LeversClient::Stop() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    // It ends as soon as its socket closes.
    if (m_pid > 0) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
}

std::optional<levers::Answer> LeversClient::Receive() {
    pollfd ready{m_fd, POLLIN, 0};
    int polled = 0;
    while ((polled = ::poll(&ready, 1, kAnswerWaitMs)) < 0 && errno == EINTR) {
    }
    if (polled != 1) return std::nullopt;
    std::uint8_t buffer[levers::kAnswerSize + 1];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    return levers::ParseAnswer(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
}

std::optional<levers::Answer> LeversClient::Ask(const levers::Request& request) {
    if (m_fd < 0) return std::nullopt;
    const auto bytes = levers::EncodeRequest(request);
    const bool sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                      static_cast<ssize_t>(bytes.size());
    const auto answer = sent ? Receive() : std::nullopt;
    if (!answer) {
        // It ended or hangs: Talvex goes on with its own rights.
        trace::Write(trace::Level::Warning, "LeversClient",
                     sent ? "the helper did not answer; raising without it" : "the helper is gone");
        Stop();
    }
    return answer;
}

std::string FindLeversProgram(const std::string& self) {
    const auto slash = self.rfind('/');
    if (slash == std::string::npos) return {};
    const std::string folder = self.substr(0, slash);
    for (const std::string& candidate :
         {folder + "/talvex-levers", folder + "/../libexec/talvex/talvex-levers",
          folder + "/../levers/talvex-levers"}) {
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::string DefaultLeversProgram() {
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? FindLeversProgram(std::string(self, static_cast<std::size_t>(n)))
                 : std::string{};
}

std::unique_ptr<LeversClient> StartLeversHelper(std::optional<std::string> program) {
    // With the right of its own the helper has nothing to add; it would even refuse
    // every target, since it serves only processes without capabilities.
    if (LinuxLevers::HoldsNiceCapability()) return nullptr;
    auto helper = std::make_unique<LeversClient>(program ? *program : DefaultLeversProgram());
    return helper->Running() ? std::move(helper) : nullptr;
}

}  // namespace talvex::platform
