// Per-application CPU groups: which groups a rescan finds and what it reads, over laid
// out cgroup trees (v2, v2 beside v1, v1's cpuacct), and once on the real kernel.

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/LinuxCpuGroups.h"
#include "tests/TempFolder.h"
#include "tests/WaitFor.h"

extern char** environ;

namespace talvex {
namespace {

using platform::LinuxCpuGroups;
namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

TEST(CpuGroups, UsageTextsParseOrAreRefused) {
    const struct {
        std::string text;
        bool v1, ok;
        std::uint64_t used;
    } cases[] = {
        {"usage_usec 1234\nuser_usec 1000\nsystem_usec 234\n", false, true, 12340},
        {"user_usec 1\nusage_usec 7\n", false, true, 70},
        {"usage_usec\n", false, false, 0},
        {"usage_usec 12x\n", false, false, 0},
        {"usage_usec 99999999999999999999\n", false, false, 0},
        {"nr_periods 0\n", false, false, 0},
        {"123456789\n", true, true, 1234567},
        {"-5\n", true, false, 0},
        {"", true, false, 0},
    };
    for (const auto& c : cases) {
        std::uint64_t used = 0;
        EXPECT_EQ(LinuxCpuGroups::ParseUsage(c.text, c.v1, used), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(used, c.used) << c.text;
        }
    }
}

// Units in app.slice and its sub-slices are groups, by their path below app.slice; a
// slice, a unit without processes and anything outside the user's app.slice is none.
TEST(CpuGroups, ARescanFindsTheUsersApplicationUnits) {
    const uid_t uid = 1000;
    const std::string user = "user.slice/user-1000.slice/user@1000.service/";
    const struct {
        const char* what;
        const char* mount;  // below /sys/fs/cgroup
        bool v1;
    } layouts[] = {{"v2", "", false}, {"v2 beside v1", "unified", false}, {"v1", "cpuacct", true}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.what);
        testing::TempFolder root;
        const fs::path mount = root.Path() / "sys/fs/cgroup" / layout.mount;
        if (layout.v1) {
            Write(mount / "cpuacct.usage", "0\n");
        } else {
            Write(mount / "cgroup.controllers", "cpu\n");
        }
        const auto unit = [&](const std::string& dir, const std::string& procs,
                              std::uint64_t usec) {
            Write(mount / dir / "cgroup.procs", procs);
            Write(mount / dir / (layout.v1 ? "cpuacct.usage" : "cpu.stat"),
                  layout.v1 ? std::to_string(usec * 1000) + "\n"
                            : "usage_usec " + std::to_string(usec) + "\n");
        };
        unit(user + "app.slice/app-editor-1.scope", "101\n102\n", 5);
        unit(user + "app.slice/app-org.example.Viewer.slice/app-viewer-2.scope", "103\n", 7);
        unit(user + "app.slice/app-empty-3.scope", "", 9);
        unit(user + "session.slice/dbus.service", "104\n", 11);
        unit("user.slice/user-1001.slice/user@1001.service/app.slice/app-other-4.scope", "105\n",
             13);
        LinuxCpuGroups groups(root.Path().string(), uid);
        std::map<std::string, std::uint64_t> found;
        for (const auto& time : groups.ReadGroupTimes(true)) found[time.group] = time.used;
        const std::map<std::string, std::uint64_t> expected = {
            {"app-editor-1.scope", 50}, {"app-org.example.Viewer.slice/app-viewer-2.scope", 70}};
        EXPECT_EQ(found, expected);
        EXPECT_EQ(groups.GroupOf(101), "app-editor-1.scope");
        EXPECT_EQ(groups.GroupOf(102), "app-editor-1.scope");
        EXPECT_EQ(groups.GroupOf(103), "app-org.example.Viewer.slice/app-viewer-2.scope");
        EXPECT_EQ(groups.GroupOf(104), "");
        EXPECT_EQ(groups.GroupOf(105), "");
        // Between rescans only the kept files are read again.
        unit(user + "app.slice/app-editor-1.scope", "101\n102\n", 25);
        unit(user + "app.slice/app-late-5.scope", "106\n", 1);
        found.clear();
        for (const auto& time : groups.ReadGroupTimes(false)) found[time.group] = time.used;
        EXPECT_EQ(found.at("app-editor-1.scope"), 250u);
        EXPECT_EQ(found.count("app-late-5.scope"), 0u);
        EXPECT_EQ(groups.GroupOf(106), "");
    }
}

// On the real kernel, in a cgroup2 mount of the test's own: a unit whose process spins
// reads growing time, an idle one stays near where it was.
TEST(CpuGroups, TheKernelCountsAUnitsProcessorTime) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "no mount namespace of the test's own (needs root)";
    }
    testing::TempFolder root;
    const std::string cgroups = (root.Path() / "sys" / "fs" / "cgroup").string();
    fs::create_directories(cgroups);
    if (::mount("none", cgroups.c_str(), "cgroup2", 0, nullptr) != 0) {
        GTEST_SKIP() << "cgroup2 cannot be mounted here";
    }
    const uid_t uid = ::geteuid();
    const std::string user = std::to_string(uid);
    const std::string slice =
        cgroups + "/user.slice/user-" + user + ".slice/user@" + user + ".service/app.slice";
    std::vector<std::string> made;
    std::string path = cgroups;
    for (const std::string& part :
         {std::string("user.slice"), "user-" + user + ".slice", "user@" + user + ".service",
          std::string("app.slice"), std::string("app-busy-1.scope")}) {
        path += "/" + part;
        if (::mkdir(path.c_str(), 0755) == 0) made.push_back(path);
    }
    const std::string idle = slice + "/app-idle-2.scope";
    if (::mkdir(idle.c_str(), 0755) == 0) made.push_back(idle);
    pid_t busy = -1, sleeper = -1;
    const char* spin[] = {"sh", "-c", "while :; do :; done", nullptr};
    const char* rest[] = {"sleep", "600", nullptr};
    ASSERT_EQ(::posix_spawnp(&busy, "sh", nullptr, nullptr, const_cast<char**>(spin), environ), 0);
    ASSERT_EQ(
        ::posix_spawnp(&sleeper, "sleep", nullptr, nullptr, const_cast<char**>(rest), environ), 0);
    std::ofstream(slice + "/app-busy-1.scope/cgroup.procs") << busy;
    std::ofstream(idle + "/cgroup.procs") << sleeper;

    LinuxCpuGroups groups(root.Path().string(), uid);
    std::map<std::string, std::uint64_t> first;
    for (const auto& time : groups.ReadGroupTimes(true)) first[time.group] = time.used;
    EXPECT_EQ(first.size(), 2u);
    EXPECT_EQ(groups.GroupOf(busy), "app-busy-1.scope");
    EXPECT_EQ(groups.GroupOf(sleeper), "app-idle-2.scope");
    // 50 ms of processor time in the busy unit, read through the kept files.
    std::map<std::string, std::uint64_t> later;
    EXPECT_TRUE(testing::WaitFor([&] {
        later.clear();
        for (const auto& time : groups.ReadGroupTimes(false)) later[time.group] = time.used;
        return later["app-busy-1.scope"] >= first["app-busy-1.scope"] + 500'000;
    }));
    EXPECT_LT(later["app-idle-2.scope"], first["app-idle-2.scope"] + 100'000);

    for (const pid_t pid : {busy, sleeper}) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    for (auto it = made.rbegin(); it != made.rend(); ++it) ::rmdir(it->c_str());
    ::umount(cgroups.c_str());
}

}  // namespace
}  // namespace talvex
