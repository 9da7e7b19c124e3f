// talvex-levers on the real kernel. Run as root, the test plays both sides as they are
// on a desktop: a copy of the helper with cap_sys_nice (set by setcap, as the package
// does) runs as the unprivileged user "talvex-test", and its peer socket is made with
// that user's credentials. The targets are processes the test starts itself: the
// user's own, another user's ("talvex-other"), a setuid one, and one with a thread
// still running as root. Everything started here is ended by its pid.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "levers/LeverProtocol.h"
#include "levers/LeverRules.h"
#include "tests/WaitFor.h"

namespace {

using namespace talvex::levers;
using talvex::testing::WaitFor;
namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Tool(const std::string& name) {
    const std::string sbin = "/usr/sbin/" + name;
    return ::access(sbin.c_str(), X_OK) == 0 ? sbin : name;
}

// Runs a program as root and waits for it; true when it exits with 0.
bool RunAndWait(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

std::optional<passwd> User(const char* name) {
    if (!::getpwnam(name)) {
        RunAndWait({Tool("useradd"), "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                    name});
    }
    const passwd* user = ::getpwnam(name);
    return user ? std::optional<passwd>(*user) : std::nullopt;
}

// Starts `args` as `user` with an empty environment; with `socket` >= 0 it becomes
// descriptor 3, as Talvex hands it to the helper.
pid_t StartAs(const passwd& user, const std::vector<std::string>& args, int socket = -1) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (socket >= 0) {
        if (socket == 3) {
            ::fcntl(3, F_SETFD, 0);
        } else if (::dup2(socket, 3) != 3) {
            ::_exit(126);
        }
    }
    if (::setgroups(0, nullptr) != 0 || ::setresgid(user.pw_gid, user.pw_gid, user.pw_gid) != 0 ||
        ::setresuid(user.pw_uid, user.pw_uid, user.pw_uid) != 0) {
        ::_exit(126);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    char* noEnvironment[] = {nullptr};
    ::execve(argv[0], argv.data(), noEnvironment);
    ::_exit(127);
}

void KillAndReap(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

std::optional<TaskStat> StatOf(pid_t pid, pid_t tid) {
    return ParseTaskStat(
        ReadFile("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat"));
}

std::optional<TaskCredentials> CredentialsOf(pid_t pid) {
    return ParseTaskStatus(ReadFile("/proc/" + std::to_string(pid) + "/status"));
}

// A process the test started, ended with the test.
struct Target {
    pid_t pid = -1;
    Target() = default;
    explicit Target(pid_t started) : pid(started) {}
    ~Target() { KillAndReap(pid); }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
    // Waits until it runs as uid `effective` and has left this program for its own (a
    // forked child that has changed its uid but not yet executed is not the user's).
    bool Runs(std::uint32_t effective) const {
        return WaitFor([&] {
            const auto credentials = CredentialsOf(pid);
            return credentials && credentials->uids[1] == effective &&
                   ReadFile("/proc/" + std::to_string(pid) + "/comm") !=
                       ReadFile("/proc/self/comm");
        });
    }
    Request ThreadRequest(Kind kind, int value, pid_t tid = 0) const {
        if (tid == 0) tid = pid;
        const auto process = StatOf(pid, pid);
        const auto thread = StatOf(pid, tid);
        return {kind,  pid,
                value, process ? process->startTime : 1,
                tid,   thread ? thread->startTime : 1};
    }
};

// The helper as the test user, and the test's end of its socket.
class Helper {
  public:
    // `peerUid` is the uid the socket's peer end is made with.
    Helper(const std::string& program, const passwd& user, uid_t peerUid) {
        int pair[2] = {-1, -1};
        ::seteuid(peerUid);
        const int made = ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
        ::seteuid(0);
        if (made != 0) return;
        m_fd = pair[0];
        m_pid = StartAs(user, {program, "--an-argument-it-ignores"}, pair[1]);
        ::close(pair[1]);
    }
    ~Helper() {
        if (m_fd >= 0) ::close(m_fd);
        int status = 0;
        if (m_pid > 0) ::waitpid(m_pid, &status, 0);  // it ends when its socket closes
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // The next message from the helper; nullopt when the socket closed or nothing came.
    std::optional<Answer> Receive() {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 5000) != 1) return std::nullopt;
        std::uint8_t buffer[64];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        return ParseAnswer(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
    }
    std::optional<Answer> SendBytes(const void* data, std::size_t size) {
        if (::send(m_fd, data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) return {};
        return Receive();
    }
    Verdict Ask(const Request& request) {
        const auto bytes = EncodeRequest(request);
        const auto answer = SendBytes(bytes.data(), bytes.size());
        return answer ? answer->verdict : Verdict::Malformed;
    }
    // Asks again while the kernel's own rate limit turns the request away.
    Verdict AskUntilTaken(const Request& request) {
        Verdict verdict = Verdict::Busy;
        WaitFor([&] { return (verdict = Ask(request)) != Verdict::Busy; }, 2000);
        return verdict;
    }
    pid_t Pid() const { return m_pid; }

  private:
    int m_fd = -1;
    pid_t m_pid = -1;
};

class LeversHelperTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0) return;
        s_user = User("talvex-test");
        s_other = User("talvex-other");
        char folder[] = "/tmp/talvex-levers-tests.XXXXXX";
        if (!s_user || !s_other || !::mkdtemp(folder)) return;
        s_dir = folder;
        ::chmod(folder, 0755);
        fs::copy_file(TALVEX_LEVERS_PATH, s_dir + "/talvex-levers");
        if (!RunAndWait({Tool("setcap"), "cap_sys_nice+ep", s_dir + "/talvex-levers"})) return;
        // A setuid-root copy of sleep that the user may start.
        fs::copy_file("/bin/sleep", s_dir + "/setuid-sleep");
        ::chmod((s_dir + "/setuid-sleep").c_str(), 04755);
        s_ready = true;
    }
    static void TearDownTestSuite() {
        if (!s_dir.empty()) fs::remove_all(s_dir);
    }
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the test users";
        ASSERT_TRUE(s_ready) << "could not prepare the users and the helper's copy";
    }
    std::string HelperProgram() const { return s_dir + "/talvex-levers"; }

    static inline std::optional<passwd> s_user, s_other;
    static inline std::string s_dir;
    static inline bool s_ready = false;
};

TEST_F(LeversHelperTest, RaisesOnlyTheUsersOwnUnprivilegedThreads) {
    Helper helper(HelperProgram(), *s_user, s_user->pw_uid);
    const auto hello = helper.Receive();
    ASSERT_TRUE(hello && hello->verdict == Verdict::Hello);
    const int floor = hello->detail;
    EXPECT_EQ(floor, ParseFloor(ReadFile("/etc/talvex/levers.conf")));

    const Target own(StartAs(*s_user, {"/bin/sleep", "600"}));
    const Target other(StartAs(*s_other, {"/bin/sleep", "600"}));
    const Target setuid(StartAs(*s_user, {s_dir + "/setuid-sleep", "600"}));
    const Target mixed(::fork());
    if (mixed.pid == 0) {
        ::execl(TALVEX_TEST_CHILD_PATH, TALVEX_TEST_CHILD_PATH, "mixed-creds",
                std::to_string(s_user->pw_uid).c_str(), std::to_string(s_user->pw_gid).c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_TRUE(own.Runs(s_user->pw_uid) && other.Runs(s_other->pw_uid) &&
                mixed.Runs(s_user->pw_uid));

    // The user's own process: raised, and its flag set and cleared.
    EXPECT_EQ(helper.Ask(own.ThreadRequest(Kind::ThreadNice, -5)), Verdict::Done);
    EXPECT_EQ(StatOf(own.pid, own.pid)->nice, -5);
    EXPECT_EQ(helper.Ask(own.ThreadRequest(Kind::ResetOnFork, 1)), Verdict::Done);
    EXPECT_NE(::sched_getscheduler(own.pid) & SCHED_RESET_ON_FORK, 0);
    EXPECT_EQ(helper.Ask(own.ThreadRequest(Kind::ResetOnFork, 0)), Verdict::Done);
    EXPECT_EQ(::sched_getscheduler(own.pid) & SCHED_RESET_ON_FORK, 0);

    // Values outside [floor, 19] change nothing.
    EXPECT_EQ(helper.Ask(own.ThreadRequest(Kind::ThreadNice, floor - 1)), Verdict::OutOfRange);
    EXPECT_EQ(helper.Ask(own.ThreadRequest(Kind::ThreadNice, 20)), Verdict::OutOfRange);
    EXPECT_EQ(helper.Ask(own.ThreadRequest(Kind::ResetOnFork, 2)), Verdict::OutOfRange);
    EXPECT_EQ(StatOf(own.pid, own.pid)->nice, -5);

    // A reused pid or tid: the start times no longer match.
    Request stale = own.ThreadRequest(Kind::ThreadNice, -8);
    stale.processStart += 1;
    EXPECT_EQ(helper.Ask(stale), Verdict::Gone);
    stale = own.ThreadRequest(Kind::ThreadNice, -8);
    stale.threadStart += 1;
    EXPECT_EQ(helper.Ask(stale), Verdict::Gone);
    // Another process's thread id under the user's pid.
    Request foreign = own.ThreadRequest(Kind::ThreadNice, -8);
    foreign.id = other.pid;
    EXPECT_EQ(helper.Ask(foreign), Verdict::Gone);
    EXPECT_EQ(StatOf(own.pid, own.pid)->nice, -5);

    // Another user's process, a setuid one, and a root thread in the user's process.
    EXPECT_EQ(helper.Ask(other.ThreadRequest(Kind::ThreadNice, -5)), Verdict::Refused);
    EXPECT_EQ(helper.Ask(other.ThreadRequest(Kind::ResetOnFork, 1)), Verdict::Refused);
    EXPECT_EQ(StatOf(other.pid, other.pid)->nice, 0);
    if (setuid.Runs(0)) {
        EXPECT_EQ(helper.Ask(setuid.ThreadRequest(Kind::ThreadNice, -5)), Verdict::Refused);
        EXPECT_EQ(StatOf(setuid.pid, setuid.pid)->nice, 0);
    }
    std::vector<pid_t> rootThreads;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(mixed.pid) + "/task")) {
        const pid_t tid = std::stoi(entry.path().filename());
        const auto status = ParseTaskStatus(ReadFile(entry.path().string() + "/status"));
        if (status && status->uids[0] == 0) rootThreads.push_back(tid);
    }
    ASSERT_EQ(rootThreads.size(), 1U);
    EXPECT_EQ(helper.Ask(mixed.ThreadRequest(Kind::ThreadNice, -5, rootThreads[0])),
              Verdict::Refused);
    EXPECT_EQ(StatOf(mixed.pid, rootThreads[0])->nice, 0);

    // Malformed and oversized messages are answered and change nothing; the helper
    // still serves afterwards.
    const std::uint8_t shortMessage[3] = {1, 2, 3};
    EXPECT_EQ(helper.SendBytes(shortMessage, sizeof shortMessage)->verdict, Verdict::Malformed);
    std::vector<std::uint8_t> big(8192, 0);
    const auto valid = EncodeRequest(own.ThreadRequest(Kind::ThreadNice, -7));
    std::copy(valid.begin(), valid.end(), big.begin());
    EXPECT_EQ(helper.SendBytes(big.data(), big.size())->verdict, Verdict::Malformed);
    EXPECT_EQ(StatOf(own.pid, own.pid)->nice, -5);
    EXPECT_EQ(helper.Ask(own.ThreadRequest(Kind::ThreadNice, 0)), Verdict::Done);
    EXPECT_EQ(StatOf(own.pid, own.pid)->nice, 0);
}

TEST_F(LeversHelperTest, RaisesTheUsersSessionGroup) {
    if (::access("/proc/self/autogroup", F_OK) != 0) GTEST_SKIP() << "no session groups here";
    Helper helper(HelperProgram(), *s_user, s_user->pw_uid);
    ASSERT_TRUE(helper.Receive());
    // A session (and so a session group) of its own.
    const Target own(StartAs(*s_user, {"/usr/bin/setsid", "/bin/sleep", "600"}));
    ASSERT_TRUE(own.Runs(s_user->pw_uid));
    ASSERT_TRUE(WaitFor([&] { return ::getsid(own.pid) == own.pid; }));
    const std::string path = "/proc/" + std::to_string(own.pid) + "/autogroup";
    const auto group = ParseAutogroup(ReadFile(path));
    ASSERT_TRUE(group);
    Request request{Kind::GroupNice, own.pid, -3, StatOf(own.pid, own.pid)->startTime,
                    group->id,       0};
    EXPECT_EQ(helper.AskUntilTaken(request), Verdict::Done);
    EXPECT_EQ(ParseAutogroup(ReadFile(path))->nice, -3);
    request.id += 1;  // another group
    request.value = -6;
    EXPECT_EQ(helper.AskUntilTaken(request), Verdict::Gone);
    EXPECT_EQ(ParseAutogroup(ReadFile(path))->nice, -3);
}

TEST_F(LeversHelperTest, EndsAtOnceForAPeerOfAnotherUser) {
    // The socket's other end was made by root, not by the user the helper runs as.
    Helper helper(HelperProgram(), *s_user, 0);
    EXPECT_FALSE(helper.Receive());
    int status = 0;
    ASSERT_EQ(::waitpid(helper.Pid(), &status, 0), helper.Pid());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

TEST_F(LeversHelperTest, HoldsNothingButTheSocketAndTheRightToRaise) {
    Helper helper(HelperProgram(), *s_user, s_user->pw_uid);
    ASSERT_TRUE(helper.Receive());
    const std::string proc = "/proc/" + std::to_string(helper.Pid());
    std::vector<int> fds;
    for (const auto& entry : fs::directory_iterator(proc + "/fd")) {
        fds.push_back(std::stoi(entry.path().filename()));
    }
    std::sort(fds.begin(), fds.end());
    EXPECT_EQ(fds, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(ReadFile(proc + "/environ"), "");
    const std::string status = ReadFile(proc + "/status");
    EXPECT_NE(status.find("NoNewPrivs:\t1"), std::string::npos);
    const auto credentials = ParseTaskStatus(status);
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->capEff, 1ULL << 23);  // CAP_SYS_NICE alone
    EXPECT_EQ(credentials->uids[0], s_user->pw_uid);
}

}  // namespace
