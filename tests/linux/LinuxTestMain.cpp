// Entry of the Linux integration tests.
//
// Run as root, the tests do not test as root: they create two system users, copy this
// program, the child program, every other program it starts of the build's own and the
// helper talvex-levers to a fresh folder, grant the helper's copy CAP_SYS_NICE with setcap
// (as the package does) and run this program's copy as the first user, so that it raises
// through the helper beside it. A sleeping process of the second user serves as "somebody
// else's process". So the code under test holds exactly the right a desktop user would give
// it, and no process outside the test can be reached through it.

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/linux/LinuxTestSupport.h"

namespace {

using talvex::testing::KillAndReap;
using talvex::testing::Spawn;

constexpr const char* kTestUser = "talvex-test";
constexpr const char* kOtherUser = "talvex-other";

bool RunQuiet(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args, {});
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Root's PATH may lack the sbin folders.
std::string Tool(const std::string& name) {
    const std::string sbin = "/usr/sbin/" + name;
    return ::access(sbin.c_str(), X_OK) == 0 ? sbin : name;
}

const passwd* EnsureUser(const char* name) {
    if (!::getpwnam(name)) {
        RunQuiet({Tool("useradd"), "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                  name});
    }
    return ::getpwnam(name);
}

// Forks a child that drops to `user` and executes `args` in `folder` with `env` added.
pid_t SpawnAs(const passwd& user, const std::vector<std::string>& args,
              const std::vector<std::string>& env, const std::string& folder) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    if (::setgroups(0, nullptr) != 0 || ::setresgid(user.pw_gid, user.pw_gid, user.pw_gid) != 0 ||
        ::setresuid(user.pw_uid, user.pw_uid, user.pw_uid) != 0) {
        ::_exit(126);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// A CPU cgroup delegated to the test user, as a desktop's user manager delegates one:
// the folder and its files are the user's, so the user may make groups inside it, move
// its own processes there and set their weights. On the v1 cpu hierarchy where the
// controller is there, else on v2 with the controller switched on for the subtree.
// Returns the folder; empty when the machine has no CPU cgroups to delegate.
std::string DelegateCpuGroup(const passwd& user) {
    namespace fs = std::filesystem;
    std::string base;
    bool v2 = false;
    if (fs::exists("/sys/fs/cgroup/cpu/cpu.shares")) {
        base = "/sys/fs/cgroup/cpu";
    } else if (std::ifstream controllers("/sys/fs/cgroup/cgroup.controllers"); controllers) {
        std::string words;
        std::getline(controllers, words);
        if ((" " + words + " ").find(" cpu ") == std::string::npos) return {};
        std::ofstream("/sys/fs/cgroup/cgroup.subtree_control") << "+cpu";
        base = "/sys/fs/cgroup";
        v2 = true;
    } else {
        return {};
    }
    const std::string dir = base + "/talvex-tests-" + std::to_string(::getpid());
    if (::mkdir(dir.c_str(), 0755) != 0) return {};
    if (v2) std::ofstream(dir + "/cgroup.subtree_control") << "+cpu";
    std::error_code error;
    ::chown(dir.c_str(), user.pw_uid, user.pw_gid);
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        ::chown(entry.path().c_str(), user.pw_uid, user.pw_gid);
    }
    return dir;
}

// Removes the delegated folder and what the tests left in it (empty groups by now).
void RemoveCpuGroup(const std::string& dir) {
    if (dir.empty()) return;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        if (entry.is_directory()) ::rmdir(entry.path().c_str());
    }
    ::rmdir(dir.c_str());
}

int RunAsTestUser(const std::vector<std::string>& originalArgs) {
    const passwd* testUser = EnsureUser(kTestUser);
    const passwd tester = testUser ? *testUser : passwd{};
    const passwd* otherUser = EnsureUser(kOtherUser);
    const passwd other = otherUser ? *otherUser : passwd{};
    char folderTemplate[] = "/tmp/talvex-linux-tests.XXXXXX";
    const char* folder = ::mkdtemp(folderTemplate);
    if (!testUser || !otherUser || !folder) {
        std::fprintf(stderr, "Could not prepare the test users; running as root.\n");
        return -1;
    }
    namespace fs = std::filesystem;
    const fs::path dir(folder);
    const fs::path program = dir / "talvex_linux_tests";
    const fs::path child = dir / "talvex_test_child";
    const fs::path helper = dir / "talvex-levers";
    fs::copy_file("/proc/self/exe", program);
    fs::copy_file(talvex::testing::ChildProgram(), child);
    fs::copy_file(TALVEX_LEVERS_PATH, helper);
    // The build tree may lie where the test user cannot go (a clone in a private home):
    // every program the test user starts is run from the copies.
    const std::string waylandClient = talvex::testing::WaylandClientProgram();
    const fs::path client = waylandClient.empty() ? fs::path() : dir / "talvex_wayland_client";
    if (!client.empty()) fs::copy_file(waylandClient, client);
    ::chmod(folder, 0755);
    ::chown(folder, tester.pw_uid, tester.pw_gid);
    // An X server run by a user cannot create the socket folder itself.
    ::mkdir("/tmp/.X11-unix", 01777);
    ::chmod("/tmp/.X11-unix", 01777);
    if (!RunQuiet({Tool("setcap"), "cap_sys_nice+ep", helper.string()})) {
        std::fprintf(stderr, "setcap failed; running as root.\n");
        fs::remove_all(dir);
        return -1;
    }

    const pid_t otherPid = SpawnAs(other, {child.string(), "sleep"}, {}, dir.string());
    // A process of the test user with one thread that still runs as root.
    const pid_t mixedPid = Spawn({child.string(), "mixed-creds", std::to_string(tester.pw_uid),
                                  std::to_string(tester.pw_gid)},
                                 {});
    // A process of the test user with a real-time thread, which only root may start.
    const pid_t realtimePid = Spawn(
        {child.string(), "realtime", std::to_string(tester.pw_uid), std::to_string(tester.pw_gid)},
        {});
    std::vector<std::string> args{program.string()};
    args.insert(args.end(), originalArgs.begin() + 1, originalArgs.end());
    const std::string cpuGroup = DelegateCpuGroup(tester);
    const pid_t tests = SpawnAs(tester, args,
                                {"TALVEX_TEST_AS_USER=1", "TALVEX_TEST_CHILD=" + child.string(),
                                 "TALVEX_TEST_OTHER_PID=" + std::to_string(otherPid),
                                 "TALVEX_TEST_MIXED_PID=" + std::to_string(mixedPid),
                                 "TALVEX_TEST_REALTIME_PID=" + std::to_string(realtimePid),
                                 "TALVEX_TEST_WAYLAND_CLIENT=" + client.string(),
                                 "HOME=" + dir.string(), "TALVEX_TEST_CPU_GROUP=" + cpuGroup},
                                dir.string());
    int status = 0;
    ::waitpid(tests, &status, 0);
    KillAndReap(otherPid);
    KillAndReap(mixedPid);
    KillAndReap(realtimePid);
    RemoveCpuGroup(cpuGroup);
    fs::remove_all(dir);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> originalArgs(argv, argv + argc);
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest does so at build time) needs no test users.
    if (::geteuid() == 0 && !talvex::testing::RunsAsTestUser() &&
        !::testing::GTEST_FLAG(list_tests)) {
        const int result = RunAsTestUser(originalArgs);
        if (result >= 0) return result;
    }
    return RUN_ALL_TESTS();
}
