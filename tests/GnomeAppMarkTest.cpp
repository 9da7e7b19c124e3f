// The GNOME source that follows Mutter's focus marks, on a fake cgroup tree and a fake
// /proc in a folder of the test's own: the marks are real extended attributes where
// the folder's file system takes user attributes (tmpfs from Linux 6.6, ext4), and
// inotify reports their changes as it does on cgroupfs.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/fake/FakeUi.h"
#include "platform/linux/CpuTopology.h"
#include "platform/linux/GnomeAppMarkSource.h"
#include "platform/linux/GnomeForegroundSource.h"
#include "platform/linux/LinuxForeground.h"
#include "tests/FakeBusPeer.h"
#include "tests/TempFolder.h"
#include "tests/WaitFor.h"

extern char** environ;

namespace talvex {
namespace {

using namespace platform;
using testing::WaitFor;
namespace fs = std::filesystem;

constexpr const char* kEditor = "app-gnome-org.gnome.TextEditor-1234.scope";
constexpr const char* kFirefox = "app-gnome-firefox-2000.scope";

class GnomeAppMarkTest : public ::testing::Test {
  protected:
    // Makes the slice; whether its file system takes user attributes.
    static bool MakeSlice(const std::string& slice) {
        fs::create_directories(slice);
        const std::string probe = "-1";
        const bool taken = ::setxattr(slice.c_str(), GnomeAppMarkSource::kMark, probe.data(),
                                      probe.size(), 0) == 0;
        ::removexattr(slice.c_str(), GnomeAppMarkSource::kMark);
        return taken;
    }

    // Where the file system takes no user attributes, the mark is a file beside the
    // unit's, read by the reader the source is given, and a change of the folder's mode
    // stands for the attribute's change.
    GnomeAppMarkSource::MarkReader Reader() {
        if (xattrs) return GnomeAppMarkSource::ReadMark;
        return [](const std::string& dir) -> std::optional<std::string> {
            std::ifstream in(dir + ".mark");
            if (!in) return std::nullopt;
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
    }
    void Mark(const std::string& unit, const std::string& value) {
        const std::string dir = slice + "/" + unit;
        if (xattrs) {
            ASSERT_EQ(
                ::setxattr(dir.c_str(), GnomeAppMarkSource::kMark, value.data(), value.size(), 0),
                0);
            return;
        }
        std::ofstream(dir + ".mark") << value;
        ::chmod(dir.c_str(), 0755);
    }
    void Process(std::int32_t pid, const std::string& exe, std::uint64_t started) {
        const fs::path proc = root.Path() / "proc" / std::to_string(pid);
        fs::create_directories(proc);
        std::ofstream(proc / "stat")
            << pid << " (" << exe.substr(0, 15) << ") S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 "
            << started << " 0 0 0 0 0\n";
        fs::create_symlink("/usr/bin/" + exe, proc / "exe");
    }
    void Unit(const std::string& unit, const std::vector<std::int32_t>& pids) {
        fs::create_directories(slice + "/" + unit);
        std::ofstream procs(slice + "/" + unit + "/cgroup.procs");
        for (const std::int32_t pid : pids) procs << pid << "\n";
    }
    bool Start() {
        return source.Start(ui, [this](const ForegroundChange& c) { changes.push_back(c); });
    }
    std::int32_t FrontPid() {
        return windows.GetWindowThreadProcessId(windows.GetForegroundWindow());
    }
    std::string FrontTitle() { return windows.GetWindowTextA(windows.GetForegroundWindow(), 250); }
    // Runs the event loop until the front is `pid` (0: none).
    bool FrontBecomes(std::int32_t pid) {
        return WaitFor([&] {
            ui.DeliverReadable();
            return FrontPid() == pid && (pid != 0 || windows.GetForegroundWindow() == 0);
        });
    }

    testing::TempFolder root;
    const uid_t uid = ::geteuid();
    const std::string slice = GnomeAppMarkSource::AppSlice(root.Path().string(), uid);
    const bool xattrs = MakeSlice(slice);
    FakeUi ui;
    CompositorWindowApi windows;
    GnomeAppMarkSource source{root.Path().string(), uid, windows, Reader()};
    std::vector<ForegroundChange> changes;
};

TEST_F(GnomeAppMarkTest, TheMarkedApplicationIsInFrontAsUnitsComeAndGoAndTheMarkMoves) {
    Process(1234, "gnome-text-editor", 100);
    Process(2001, "sh", 200);  // the launcher's shell is older than the program
    Process(2002, "firefox", 201);
    Process(2003, "firefox", 250);
    Unit(kEditor, {1234});
    Unit(kFirefox, {2003, 2001, 2002});
    Mark(kEditor, "-1");
    Mark(kFirefox, "1733412345678901");
    ASSERT_TRUE(Start());
    EXPECT_EQ(FrontPid(), 1234);
    EXPECT_EQ(FrontTitle(), "org.gnome.TextEditor");
    EXPECT_EQ(windows.GetForegroundWindow(), 1u);  // numbered like windows
    EXPECT_EQ(source.FrontUnit(), slice + "/" + kEditor);

    // The focus moves: the old unit is marked with a time first, as Mutter does.
    Mark(kEditor, "1733412399000000");
    Mark(kFirefox, "-1");
    ASSERT_TRUE(FrontBecomes(2002));
    EXPECT_EQ(FrontTitle(), "firefox");
    EXPECT_EQ(changes.back().pid, 2002);

    // A terminal's command in a new sub-slice claims the focus while Firefox still
    // does: the newer claim wins; with only helpers the oldest process counts.
    const std::string terminal = "app-org.gnome.Terminal.slice";
    const std::string vte = terminal + "/vte-spawn-0f3c6d7e.scope";
    Process(3000, "bash", 300);
    Process(3001, "bash", 301);
    fs::create_directories(slice + "/" + terminal);
    Unit(vte, {3001, 3000});
    Mark(vte, "-1");
    ASSERT_TRUE(FrontBecomes(3000));
    EXPECT_EQ(FrontTitle(), "bash");

    // The unit goes: the claim that is left counts again.
    fs::remove_all(slice + "/" + vte);
    ASSERT_TRUE(FrontBecomes(2002));

    // A marked unit whose processes are all gone is nobody in front.
    { std::ofstream(slice + "/" + kFirefox + "/cgroup.procs").flush(); }
    Mark(kFirefox, "-1");
    ASSERT_TRUE(FrontBecomes(0));
    EXPECT_EQ(changes.back().window, 0u);
    EXPECT_EQ(source.FrontUnit(), "");

    source.Stop();
    EXPECT_TRUE(ui.WatchedDescriptors().empty());
}

// Read at start, where no event has to arrive: damaged marks and a stranger's unit.
TEST_F(GnomeAppMarkTest, OnlyAnExactMarkOnTheUsersOwnUnitCounts) {
    Process(1234, "gnome-text-editor", 100);
    Unit(kEditor, {1234});
    struct Case {
        std::string mark;
        bool front;
    };
    const std::vector<Case> cases = {
        {"-1", true},
        {std::string("-1\0", 3), true},
        {"-1\n", true},
        {"-10", false},
        {"--1", false},
        {"-1x", false},
        {"", false},
        {"1733412345678901", false},
        {std::string(60, '-'), false},
        {"\xff\xfe", false},
    };
    for (const Case& c : cases) {
        Mark(kEditor, c.mark);
        ASSERT_TRUE(Start());
        EXPECT_EQ(FrontPid(), c.front ? 1234 : 0) << c.mark;
        source.Stop();
    }

    // A unit of another user (only root can make one here) never counts, however new.
    if (uid != 0) GTEST_SKIP() << "only root can give a unit to another user";
    Process(4000, "intruder", 400);
    Unit("app-gnome-zzz-4000.scope", {4000});
    Mark("app-gnome-zzz-4000.scope", "-1");
    ASSERT_EQ(::chown((slice + "/app-gnome-zzz-4000.scope").c_str(), uid + 1, uid + 1), 0);
    Mark(kEditor, "-1");
    ASSERT_TRUE(Start());
    EXPECT_EQ(FrontPid(), 1234);
}

// The unit in front is the CPU group the group lever weighs: the lever finds it through
// the front's main process, which runs in that very unit.
TEST_F(GnomeAppMarkTest, TheUnitInFrontIsTheCpuGroupOfTheProgramInFront) {
    Process(1234, "gnome-text-editor", 100);
    Unit(kEditor, {1234});
    Mark(kEditor, "-1");
    std::ofstream(slice + "/" + kEditor + "/cpu.weight") << "100\n";
    const fs::path proc = root.Path() / "proc";
    fs::create_directories(proc / "self");
    std::ofstream(proc / "self" / "mountinfo")
        << "35 24 0:30 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate\n";
    const std::string user = std::to_string(uid);
    std::ofstream(proc / "1234" / "cgroup") << "0::/user.slice/user-" << user << ".slice/user@"
                                            << user << ".service/app.slice/" << kEditor << "\n";
    ASSERT_TRUE(Start());
    const CpuTopology topology(root.Path().string(), uid, 1);
    const auto group = topology.GroupOf(FrontPid());
    ASSERT_TRUE(group.has_value());
    EXPECT_EQ(group->dir, source.FrontUnit());
}

// With the extension the shell's own answer serves (it knows the window); without it
// the marks do, and the desktop counts as followed: no notice.
TEST_F(GnomeAppMarkTest, OnGnomeTheExtensionStaysTheSourceWithoutItTheMarksServe) {
    Process(1234, "gnome-text-editor", 100);
    Unit(kEditor, {1234});
    Mark(kEditor, "-1");
    testing::PrivateBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "dbus-daemon could not be started";
    for (const bool extension : {true, false}) {
        testing::FakeBusPeer shell(
            bus.Address(), GnomeForegroundSource::kShell, "/", [&](sd_bus_message* call) {
                if (!extension) {
                    return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_UNKNOWN_OBJECT, "none");
                }
                return sd_bus_reply_method_return(call, "iss", 2211, "Dateien", "17");
            });
        ASSERT_TRUE(shell.Ready());
        const std::map<std::string, std::string> values = {
            {"WAYLAND_DISPLAY", "wayland-0"},
            {"XDG_CURRENT_DESKTOP", "GNOME"},
            {"DBUS_SESSION_BUS_ADDRESS", bus.Address()}};
        LinuxForeground foreground(
            [&](const char* name) -> const char* {
                const auto it = values.find(name);
                return it == values.end() ? nullptr : it->second.c_str();
            },
            root.Path().string());
        ASSERT_TRUE(foreground.Start(ui, [](const ForegroundChange&) {})) << extension;
        EXPECT_EQ(foreground.UnreachableDesktop(), "") << extension;
        EXPECT_EQ(foreground.GetWindowThreadProcessId(foreground.GetForegroundWindow()),
                  extension ? 2211 : 1234);
        foreground.Stop();
    }
}

// On a real cgroup2 file system, mounted in a mount namespace of the test's own (root
// only): the kernel reports the marks' changes and new units, and a process of the
// test's own, moved into a unit, is the one in front.
class RealCgroupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            GTEST_SKIP() << "no mount namespace of the test's own (needs root)";
        }
        fs::create_directories(cgroups);
        fs::create_symlink("/proc", root.Path() / "proc");
        if (::mount("none", cgroups.c_str(), "cgroup2", 0, nullptr) != 0) {
            GTEST_SKIP() << "cgroup2 cannot be mounted here";
        }
        mounted = true;
        const char* argv[] = {"sleep", "600", nullptr};
        ASSERT_EQ(
            ::posix_spawnp(&child, "sleep", nullptr, nullptr, const_cast<char**>(argv), environ),
            0);
    }
    void TearDown() override {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        // Deepest first: a cgroup goes only once it is empty and has no children.
        for (auto it = made.rbegin(); it != made.rend(); ++it) ::rmdir(it->c_str());
        if (mounted) ::umount(cgroups.c_str());
    }
    std::string Make(const std::string& relative) {
        std::string path = cgroups;
        for (const std::string& part :
             {std::string("user.slice"), "user-" + std::to_string(uid) + ".slice",
              "user@" + std::to_string(uid) + ".service", std::string("app.slice")}) {
            path += "/" + part;
            if (::mkdir(path.c_str(), 0755) == 0) made.push_back(path);
        }
        path += "/" + relative;
        if (::mkdir(path.c_str(), 0755) == 0) made.push_back(path);
        return path;
    }
    void MoveChildTo(const std::string& dir) { std::ofstream(dir + "/cgroup.procs") << child; }
    static bool SetMark(const std::string& dir, const std::string& value) {
        return ::setxattr(dir.c_str(), GnomeAppMarkSource::kMark, value.data(), value.size(), 0) ==
               0;
    }

    testing::TempFolder root;
    const std::string cgroups = (root.Path() / "sys" / "fs" / "cgroup").string();
    const uid_t uid = ::geteuid();
    std::vector<std::string> made;
    bool mounted = false;
    pid_t child = -1;
};

TEST_F(RealCgroupTest, TheKernelReportsTheMarksAndNewUnits) {
    const std::string first = Make("app-gnome-org.example.Sleeper-1.scope");
    MoveChildTo(first);
    if (!SetMark(first, "1733412345678901")) GTEST_SKIP() << "no user attributes on cgroup2 here";
    FakeUi ui;
    CompositorWindowApi windows;
    GnomeAppMarkSource source(root.Path().string(), uid, windows);
    ASSERT_TRUE(source.Start(ui, [](const ForegroundChange&) {}));
    EXPECT_EQ(windows.GetForegroundWindow(), 0u);
    const auto frontIs = [&](std::int32_t pid, const std::string& title) {
        return WaitFor([&] {
            ui.DeliverReadable();
            const WindowHandle front = windows.GetForegroundWindow();
            return windows.GetWindowThreadProcessId(front) == pid &&
                   windows.GetWindowTextA(front, 250) == title;
        });
    };
    ASSERT_TRUE(SetMark(first, "-1"));
    EXPECT_TRUE(frontIs(child, "org.example.Sleeper"));

    // A new unit in a new sub-slice, the process moved there, marked.
    const std::string second = Make("app-org.example.Other.slice");
    const std::string unit = second + "/app-gnome-org.example.Other-2.scope";
    ASSERT_EQ(::mkdir(unit.c_str(), 0755), 0);
    made.push_back(unit);
    MoveChildTo(unit);
    ASSERT_TRUE(SetMark(unit, "-1"));
    EXPECT_TRUE(frontIs(child, "org.example.Other"));
    EXPECT_EQ(source.FrontUnit(), unit);
}

TEST(GnomeAppMark, TheApplicationsNameComesFromItsUnitsName) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"app-gnome-org.gnome.TextEditor-1234.scope", "org.gnome.TextEditor"},
        {"app-gnome-org.gnome.Evolution\\x2dalarm\\x2dnotify-2211.scope",
         "org.gnome.Evolution-alarm-notify"},
        {"app-flatpak-org.mozilla.firefox-51234.scope", "org.mozilla.firefox"},
        {"app-firefox-4242.scope", "firefox"},
        {"app-gnome-org.gnome.Nautilus@b7f1.service", "org.gnome.Nautilus"},
        {"app-org.gnome.Terminal.service", "org.gnome.Terminal"},
        {"vte-spawn-0f3c6d7e-8a1b.scope", ""},
        {"app-1234.scope", ""},
        {"app-gnome-org.gnome.TextEditor-1234.slice", ""},
        {"gnome-terminal-server.service", ""},
    };
    for (const auto& [unit, name] : cases)
        EXPECT_EQ(GnomeAppMarkSource::AppIdOf(unit), name) << unit;
}

TEST(GnomeAppMark, WithoutTheUsersAppSliceThereIsNoSource) {
    testing::TempFolder root;
    FakeUi ui;
    CompositorWindowApi windows;
    GnomeAppMarkSource source(root.Path().string(), ::geteuid(), windows);
    EXPECT_FALSE(source.Start(ui, [](const ForegroundChange&) {}));
    EXPECT_FALSE(source.Listening());
}

}  // namespace
}  // namespace talvex
