// Process and window queries against the fake desktop.
#include <gtest/gtest.h>

#include "engine/modMain.h"
#include "platform/fake/FakeDesktop.h"

namespace talvex {
namespace {

using namespace platform;

class ModMainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        self = desk.AddProcess({"/opt/talvex/talvex", HIGH_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
    }
    FakeDesktop desk;
    modMain::Queries mm{desk, desk};
    std::int32_t self = 0;
};

TEST_F(ModMainTest, ResolvesPidThenWindowThenOwnProcess) {
    const auto editor = desk.AddProcess({"/usr/bin/editor", NORMAL_PRIORITY_CLASS});
    const auto other = desk.AddProcess({"/usr/bin/other", IDLE_PRIORITY_CLASS});
    const auto window = desk.AddWindow(editor, "Editor");
    EXPECT_EQ(mm.GetWindowPriority(0, 0), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(mm.GetWindowPriority(0, window), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(mm.GetWindowPriority(other, window), IDLE_PRIORITY_CLASS);  // window ignored
    EXPECT_EQ(mm.SetProcessPriority(other, window, BELOW_NORMAL_PRIORITY_CLASS),
              BELOW_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.OpenHandleCount(), 0u);
}

TEST_F(ModMainTest, FullAccessDeniedReadsCannotOpenEvenWhenQueryWorks) {
    const auto foreign = desk.AddProcess(
        {"/usr/sbin/daemon", NORMAL_PRIORITY_CLASS, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ});
    EXPECT_EQ(mm.GetWindowPriority(foreign, 0), kCannotOpen);
    // May be queried but not changed: the class stays and is read back.
    EXPECT_EQ(mm.SetProcessPriority(foreign, 0, HIGH_PRIORITY_CLASS), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(foreign), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(mm.GetWindowExePath(desk.AddWindow(foreign, "d"), 1024), "/usr/sbin/daemon");
}

TEST_F(ModMainTest, VanishedOrLockedProcessGivesFailureValues) {
    const auto locked = desk.AddProcess({"/usr/bin/locked", NORMAL_PRIORITY_CLASS, 0});
    const auto window = desk.AddWindow(locked, "Locked");
    EXPECT_EQ(mm.GetWindowPriority(locked, 0), kCannotOpen);
    EXPECT_EQ(mm.SetProcessPriority(locked, 0, HIGH_PRIORITY_CLASS), 0);
    EXPECT_EQ(mm.GetWindowExePath(window, 1024), "");
    desk.EndProcess(locked);
    EXPECT_EQ(mm.GetWindowProcessId(window), 0);
    EXPECT_EQ(mm.GetWindowTitle(window, 250), "");
    EXPECT_EQ(mm.GetWindowPriority(locked, 0), kCannotOpen);
}

TEST_F(ModMainTest, WindowZeroMeansOwnPathButNoPid) {
    EXPECT_EQ(mm.GetWindowExePath(0, 1024), "/opt/talvex/talvex");
    EXPECT_EQ(mm.GetWindowProcessId(0), 0);
    EXPECT_EQ(mm.GetForegroundWnd(), 0u);
}

TEST_F(ModMainTest, TitleIsCutToMaxMinusOneWithoutSplittingCharacters) {
    const auto app = desk.AddProcess({"/usr/bin/app"});
    EXPECT_EQ(mm.GetWindowTitle(desk.AddWindow(app, ""), 250), "");
    EXPECT_EQ(mm.GetWindowTitle(desk.AddWindow(app, "abcdef"), 4), "abc");
    // "é" is two bytes; a cut inside it drops the whole character.
    EXPECT_EQ(mm.GetWindowTitle(desk.AddWindow(app, "aé"), 3), "a");
    EXPECT_EQ(mm.GetWindowTitle(desk.AddWindow(app, std::string(400, 'x')), 250).size(), 249u);
    // A caller asking for more than the buffer holds is cut to the buffer.
    EXPECT_EQ(mm.GetWindowTitle(desk.AddWindow(app, std::string(400, 'x')), 1000).size(), 249u);
}

TEST_F(ModMainTest, PriorityNamesEmptyUntilTranslatedThenByClass) {
    EXPECT_EQ(mm.GetPriorityName(HIGH_PRIORITY_CLASS), "");
    mm.names = {"Idle", "Below Normal", "Normal", "Above Normal", "High", "Realtime", "Other"};
    EXPECT_EQ(mm.GetPriorityName(IDLE_PRIORITY_CLASS), "Idle");
    EXPECT_EQ(mm.GetPriorityName(BELOW_NORMAL_PRIORITY_CLASS), "Below Normal");
    EXPECT_EQ(mm.GetPriorityName(NORMAL_PRIORITY_CLASS), "Normal");
    EXPECT_EQ(mm.GetPriorityName(ABOVE_NORMAL_PRIORITY_CLASS), "Above Normal");
    EXPECT_EQ(mm.GetPriorityName(HIGH_PRIORITY_CLASS), "High");
    EXPECT_EQ(mm.GetPriorityName(REALTIME_PRIORITY_CLASS), "Realtime");
    EXPECT_EQ(mm.GetPriorityName(0), "Other");
    EXPECT_EQ(mm.GetPriorityName(kCannotOpen), "Other");
}

TEST_F(ModMainTest, TopmostTogglesWithoutTouchingOtherWindows) {
    const auto app = desk.AddProcess({"/usr/bin/app"});
    const auto a = desk.AddWindow(app, "a");
    const auto b = desk.AddWindow(app, "b");
    mm.SetTopmost(a, true);
    EXPECT_TRUE(desk.IsTopmost(a));
    EXPECT_FALSE(desk.IsTopmost(b));
    mm.SetTopmost(a, false);
    EXPECT_FALSE(desk.IsTopmost(a));
}

TEST(FakeDesktopTest, HandleNeverReachesAProcessThatReusedThePid) {
    FakeDesktop desk;
    const auto first = desk.AddProcess({"/usr/bin/first", NORMAL_PRIORITY_CLASS});
    const auto handle = desk.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, first);
    ASSERT_NE(handle, 0u);
    desk.EndProcess(first);
    FakeProcessSpec again{"/usr/bin/second", IDLE_PRIORITY_CLASS};
    again.pid = first;
    desk.AddProcess(again);
    EXPECT_EQ(desk.GetPriorityClass(handle), 0);
    EXPECT_FALSE(desk.SetPriorityClass(handle, HIGH_PRIORITY_CLASS));
    EXPECT_EQ(desk.PriorityOf(first), IDLE_PRIORITY_CLASS);
    EXPECT_TRUE(desk.CloseHandle(handle));
    EXPECT_FALSE(desk.CloseHandle(handle));
}

TEST(FakeDesktopTest, WithoutTheRightRaisingFailsQuietlyButLoweringWorks) {
    FakeDesktop desk;
    const auto pid = desk.AddProcess({"/usr/bin/app", NORMAL_PRIORITY_CLASS});
    desk.SetMayRaisePriority(false);
    modMain::Queries mm{desk, desk};
    EXPECT_EQ(mm.SetProcessPriority(pid, 0, HIGH_PRIORITY_CLASS), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(mm.SetProcessPriority(pid, 0, IDLE_PRIORITY_CLASS), IDLE_PRIORITY_CLASS);
    EXPECT_EQ(mm.SetProcessPriority(pid, 0, NORMAL_PRIORITY_CLASS), IDLE_PRIORITY_CLASS);
}

}  // namespace
}  // namespace talvex
