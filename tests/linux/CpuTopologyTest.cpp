// The choice of lever over fake /proc and cgroup trees: cgroup v1 and v2, systemd's
// layouts (per-application scopes under the user manager, session scopes, slices),
// delegated subtrees and nested groups. What the user owns is what the user may write:
// folders and files "of root" are laid out without write rights.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/CpuTopology.h"
#include "tests/TempFolder.h"

namespace talvex {
namespace {

using platform::CpuLever;
using platform::CpuTopology;
namespace fs = std::filesystem;

constexpr int kTalvexPid = 100;

struct Proc {
    int pid;
    std::string group;  // path inside the hierarchy
    bool ours = true;
};

struct Layout {
    bool v1 = false;
    bool autogroup = true;
    std::vector<std::string> userGroups;     // the user owns them and their weight
    std::vector<std::string> rootGroups;     // with a weight, not the user's
    std::vector<std::string> plainDirs;      // v2 folders without the cpu controller (user's)
    std::vector<std::string> lockedWeights;  // user's groups whose weight the user may not write
    std::vector<Proc> procs;
};

struct Row {
    const char* name;
    Layout layout;
    int target;
    CpuLever lever;
    std::string group;  // expected CPU group inside the hierarchy; "" for the root
};

const std::string kUser = "/user.slice/user-1000.slice/user@1000.service";
const std::string kApps = kUser + "/app.slice";

// A desktop under a systemd user manager that delegates the cpu controller (v2).
Layout Systemd(std::vector<Proc> more, std::vector<std::string> moreGroups = {}) {
    Layout layout;
    layout.rootGroups = {"/user.slice", "/user.slice/user-1000.slice",
                         "/user.slice/user-1000.slice/session-2.scope"};
    layout.userGroups = {kUser, kApps, kApps + "/app-talvex.scope", kApps + "/app-foo.scope"};
    layout.userGroups.insert(layout.userGroups.end(), moreGroups.begin(), moreGroups.end());
    layout.procs = {{kTalvexPid, kApps + "/app-talvex.scope"}, {200, kApps + "/app-foo.scope"}};
    layout.procs.insert(layout.procs.end(), more.begin(), more.end());
    return layout;
}

// A v1 cpu hierarchy (mounted together with cpuacct) with a subtree delegated to the user.
Layout V1(std::vector<Proc> more, bool autogroup = true) {
    Layout layout;
    layout.v1 = true;
    layout.autogroup = autogroup;
    layout.userGroups = {"/talvex-test", "/talvex-test/a", "/talvex-test/b"};
    layout.procs = {{kTalvexPid, "/"}};
    layout.procs.insert(layout.procs.end(), more.begin(), more.end());
    return layout;
}

// The cgroup v2 tree without the cpu controller anywhere.
Layout NoCpuController(bool autogroup) {
    Layout layout;
    layout.autogroup = autogroup;
    layout.plainDirs = {"/user.slice", kApps.substr(0, kApps.rfind('/')), kApps,
                        kApps + "/app-foo.scope"};
    layout.procs = {{kTalvexPid, "/user.slice"}, {200, kApps + "/app-foo.scope"}};
    return layout;
}

class FakeSystem {
  public:
    explicit FakeSystem(const Layout& layout) : m_v1(layout.v1) {
        const std::string mount = m_v1 ? "/sys/fs/cgroup/cpu,cpuacct" : "/sys/fs/cgroup";
        m_mount = m_dir / mount.substr(1);
        Write("proc/self/mountinfo",
              m_v1 ? "31 30 0:28 / " + mount +
                         " rw,relatime - cgroup cgroup rw,cpu,cpuacct\n"
                         "40 30 0:37 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n"
                   : "30 22 0:26 / " + mount + " rw,nosuid - cgroup2 cgroup2 rw\n");
        Write("proc/sys/kernel/sched_autogroup_enabled", layout.autogroup ? "1\n" : "0\n");
        fs::create_directories(m_mount);
        for (const auto& g : layout.rootGroups) Group(g, true);
        for (const auto& g : layout.userGroups) Group(g, true);
        for (const auto& g : layout.plainDirs) Group(g, false);
        for (const Proc& p : layout.procs) AddProcess(p);
        // The rights come last: folders "of root" take no new files.
        const auto lock = [](const std::string& path, fs::perms perms) {
            fs::permissions(path, perms);
        };
        for (const auto& g : layout.lockedWeights) {
            lock(m_mount + g + "/" + WeightName(), fs::perms::owner_read);
        }
        for (const auto& g : layout.rootGroups) {
            lock(m_mount + g + "/" + WeightName(), fs::perms::owner_read);
            lock(m_mount + g, fs::perms::owner_read | fs::perms::owner_exec);
        }
        lock(m_mount, fs::perms::owner_read | fs::perms::owner_exec);
    }
    std::string Root() const { return m_dir.Path().string(); }
    std::string Dir(const std::string& group) const { return group.empty() ? "" : m_mount + group; }

  private:
    std::string WeightName() const { return m_v1 ? "cpu.shares" : "cpu.weight"; }
    void Write(const std::string& name, const std::string& text, bool append = false) {
        const fs::path path = m_dir.Path() / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, append ? std::ios::app : std::ios::trunc) << text;
    }
    void Group(const std::string& group, bool cpu) {
        fs::create_directories(m_mount + group);
        std::ofstream(m_mount + group + "/cgroup.procs");
        if (cpu) std::ofstream(m_mount + group + "/" + WeightName()) << (m_v1 ? "1024\n" : "100\n");
    }
    void AddProcess(const Proc& p) {
        const std::string dir = "proc/" + std::to_string(p.pid) + "/";
        Write(dir + "cgroup",
              m_v1 ? "12:pids:/\n4:cpu,cpuacct:" + p.group + "\n0::/\n" : "0::" + p.group + "\n");
        const auto uid = std::to_string(p.ours ? ::getuid() : ::getuid() + 1);
        Write(dir + "status",
              "Name:\tx\nUid:\t" + uid + "\t" + uid + "\t" + uid + "\t" + uid + "\n");
        Write(dir + "autogroup", "/autogroup-" + std::to_string(p.pid) + " nice 0\n");
        std::ofstream(m_mount + p.group + "/cgroup.procs", std::ios::app) << p.pid << "\n";
    }

    testing::TempFolder m_dir;
    bool m_v1;
    std::string m_mount;
};

TEST(CpuTopologyTest, TheLeverFollowsTheGroupTheProcessIsScheduledIn) {
    const std::string foo = kApps + "/app-foo.scope";
    const Row rows[] = {
        {"v2: an application's scope under the user manager", Systemd({}), 200,
         CpuLever::GroupWeight, foo},
        {"v2: the scope that holds Talvex", Systemd({{201, kApps + "/app-talvex.scope"}}), 201,
         CpuLever::ThreadNice, kApps + "/app-talvex.scope"},
        {"v2: a scope that also holds another user's process", Systemd({{202, foo, false}}), 200,
         CpuLever::ThreadNice, foo},
        {"v2: a session scope (root's), autogroup or not",
         Systemd({{203, "/user.slice/user-1000.slice/session-2.scope"}}), 203, CpuLever::ThreadNice,
         "/user.slice/user-1000.slice/session-2.scope"},
        {"v2: a process right in a slice", Systemd({{204, kApps}}), 204, CpuLever::ThreadNice,
         kApps},
        {"v2: the user manager's own group, the subtree's top",
         [] {
             Layout l = Systemd({});
             l.userGroups = {kUser};  // a leaf, so only its place marks it
             l.procs = {{kTalvexPid, "/"}, {205, kUser}};
             return l;
         }(),
         205, CpuLever::ThreadNice, kUser},
        {"v2: a scope with a CPU group inside it is no leaf",
         Systemd({{206, kApps + "/app-bar.scope"}},
                 {kApps + "/app-bar.scope", kApps + "/app-bar.scope/worker"}),
         206, CpuLever::ThreadNice, kApps + "/app-bar.scope"},
        {"v2: a subfolder without the controller belongs to its scope's CPU group",
         [] {
             Layout l = Systemd({{207, kApps + "/app-baz.scope/sub"}}, {kApps + "/app-baz.scope"});
             l.plainDirs = {kApps + "/app-baz.scope/sub"};
             return l;
         }(),
         207, CpuLever::GroupWeight, kApps + "/app-baz.scope"},
        {"v2: ... unless another user's process is in that subfolder",
         [] {
             Layout l = Systemd(
                 {{207, kApps + "/app-baz.scope"}, {208, kApps + "/app-baz.scope/sub", false}},
                 {kApps + "/app-baz.scope"});
             l.plainDirs = {kApps + "/app-baz.scope/sub"};
             return l;
         }(),
         207, CpuLever::ThreadNice, kApps + "/app-baz.scope"},
        {"v2: a weight the user may not write",
         [] {
             Layout l = Systemd({});
             l.lockedWeights = {kApps + "/app-foo.scope"};
             return l;
         }(),
         200, CpuLever::ThreadNice, foo},
        {"v2 without the cpu controller, sessions grouped", NoCpuController(true), 200,
         CpuLever::AutogroupNice, ""},
        {"v2 without the cpu controller, no session groups", NoCpuController(false), 200,
         CpuLever::ThreadNice, ""},
        {"v1: the root CPU group, sessions grouped", V1({{300, "/"}}), 300, CpuLever::AutogroupNice,
         ""},
        {"v1: the root CPU group, no session groups", V1({{300, "/"}}, false), 300,
         CpuLever::ThreadNice, ""},
        {"v1: a leaf of the delegated subtree", V1({{301, "/talvex-test/a"}}), 301,
         CpuLever::GroupWeight, "/talvex-test/a"},
        {"v1: the delegated subtree's top",
         [] {
             Layout l = V1({{302, "/talvex-test"}});
             l.userGroups = {"/talvex-test"};
             return l;
         }(),
         302, CpuLever::ThreadNice, "/talvex-test"},
        {"v1: a group next to the subtree, not the user's",
         [] {
             Layout l = V1({{303, "/system"}});
             l.rootGroups = {"/system"};
             return l;
         }(),
         303, CpuLever::ThreadNice, "/system"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeSystem system(row.layout);
        const CpuTopology topology(system.Root(), ::getuid(), kTalvexPid);
        const auto placement = topology.Place(row.target);
        EXPECT_EQ(placement.lever, row.lever);
        EXPECT_EQ(placement.group.dir, system.Dir(row.group));
        EXPECT_EQ(placement.group.v1, row.layout.v1 && !row.group.empty());
        if (placement.lever == CpuLever::GroupWeight) {
            EXPECT_EQ(placement.group.weightFile,
                      system.Dir(row.group) + (row.layout.v1 ? "/cpu.shares" : "/cpu.weight"));
            struct stat info {};
            ASSERT_EQ(::stat(placement.group.dir.c_str(), &info), 0);
            EXPECT_EQ(placement.group.id, info.st_ino);
        }
    }
}

TEST(CpuTopologyTest, WeightsScaleAsNiceDoesAndStayInTheirVersionsRange) {
    struct Case {
        std::int64_t base;
        int nice;
        bool v1;
        std::int64_t weight;
    } cases[] = {
        {100, 0, false, 100},      {100, -10, false, 932},     {100, 19, false, 1},
        {1024, -10, true, 9548},   {1024, 19, true, 15},       {1024, 10, true, 110},
        {5000, -20, false, 10000}, {200000, -5, true, 262144}, {2, 19, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.base) + " at nice " + std::to_string(c.nice));
        EXPECT_EQ(CpuTopology::WeightForNice(c.base, c.nice, c.v1), c.weight);
        EXPECT_TRUE(CpuTopology::ValidWeight(c.weight, c.v1));
    }
    EXPECT_FALSE(CpuTopology::ValidWeight(1, true));
    EXPECT_FALSE(CpuTopology::ValidWeight(10001, false));
}

}  // namespace
}  // namespace talvex
