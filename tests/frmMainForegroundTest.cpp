// The main window with a desktop that announces foreground changes: the boost follows
// an announcement at once, but only whenever a tick would run too; a lost connection
// is made again on a later tick.
#include <gtest/gtest.h>

#include <optional>

#include "tests/MainWindowFixture.h"

namespace talvex {
namespace {

using namespace platform;

class frmMainForegroundTest : public testing::MainWindowTest {
  protected:
    frmMainForegroundTest() : MainWindowTest(Announced::Yes) {}
    void SetUp() override {
        MainWindowTest::SetUp();
        frm.SetLanguageDataFolder("/nonexistent/talvex/lang");
    }
    // A new program comes to the front and the desktop says so; the event loop runs.
    std::int32_t Switch(const std::string& path) {
        const auto pid = desk.AddProcess({path, NORMAL_PRIORITY_CLASS});
        const auto window = desk.AddWindow(pid, path);
        desk.SetForeground(window);
        source.Announce({window, pid, path});
        ui.ProcessPending();
        return pid;
    }
};

TEST_F(frmMainForegroundTest, AnnouncementBoostsAtOnceExactlyWhenATickWould) {
    EXPECT_TRUE(ui.WatchedDescriptors().empty());  // nothing is listened to before start-up
    Start();
    ASSERT_TRUE(source.Listening());
    ASSERT_EQ(ui.WatchedDescriptors().size(), 1u);

    const auto first = Switch("/usr/bin/first");
    EXPECT_EQ(desk.PriorityOf(first), HIGH_PRIORITY_CLASS);  // no tick in between
    EXPECT_EQ(frm.engine().ForegroundPid(), first);

    struct Case {
        const char* situation;
        std::function<void()> enter, leave;
        bool boosts;
    };
    Control& active = ui.Ctl("frmMain", "chkActive");
    const std::vector<Case> cases = {
        {"boosting off", [&] { active.UserClick(); }, [&] { active.UserClick(); }, false},
        {"end asked for", [&] { frm.mnuPop1Exit_Click(); }, [] {}, false},
    };
    for (const Case& c : cases) {
        c.enter();
        const auto pid = Switch(std::string("/usr/bin/") + c.situation);
        EXPECT_EQ(desk.PriorityOf(pid) == HIGH_PRIORITY_CLASS, c.boosts) << c.situation;
        EXPECT_FALSE(ui.Ended()) << c.situation;
        c.leave();
    }
    // The end asked for is carried out by the next tick, not by the announcement; it
    // stops the source.
    ASSERT_TRUE(source.Listening());
    Tick();
    EXPECT_TRUE(ui.Ended());
    EXPECT_FALSE(source.Listening());
    EXPECT_EQ(source.ChangesDelivered(), 3);
    EXPECT_TRUE(ui.MsgBoxes().empty());  // a desktop that can be followed needs no word
}

TEST_F(frmMainForegroundTest, AnUnfollowableDesktopIsExplainedOnceWithItsName) {
    source.SetUnreachableDesktop("GNOME");
    Start();
    for (int i = 0; i < 3; ++i) Tick();
    ASSERT_EQ(ui.MsgBoxes().size(), 1u);
    EXPECT_NE(ui.MsgBoxes()[0].text.find("on this desktop (GNOME), so it boosts only"),
              std::string::npos);
    EXPECT_EQ(ui.MsgBoxes()[0].style, vbOKOnly | vbInformation);
}

TEST_F(frmMainForegroundTest, ALostOrUnreachableDesktopIsTriedAgainOnLaterTicks) {
    source.SetReachable(false);
    Start();
    EXPECT_FALSE(source.Listening());
    source.SetReachable(true);
    // The ticks still boost; the desktop is tried again after a few seconds only.
    const auto ticked = desk.AddProcess({"/usr/bin/ticked", NORMAL_PRIORITY_CLASS});
    desk.SetForeground(desk.AddWindow(ticked, "Ticked"));
    Tick();
    EXPECT_EQ(desk.PriorityOf(ticked), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(source.StartCalls(), 1);
    for (int i = 0; i < 10 && !source.Listening(); ++i) Tick();
    EXPECT_TRUE(source.Listening());
    EXPECT_EQ(source.StartCalls(), 2);
    EXPECT_EQ(desk.PriorityOf(Switch("/usr/bin/announced")), HIGH_PRIORITY_CLASS);

    // The desktop goes away: its descriptor is no longer watched (it would stay
    // readable for good), and it is tried again later.
    source.Break();
    ui.ProcessPending();
    EXPECT_FALSE(source.Listening());
    EXPECT_TRUE(ui.WatchedDescriptors().empty());
    EXPECT_EQ(ui.DeliverReadable(), 0);
    for (int i = 0; i < 12 && !source.Listening(); ++i) Tick();
    EXPECT_TRUE(source.Listening());
    EXPECT_EQ(source.StartCalls(), 3);
}

// The program ends without running destructors, so the end itself stops the source
// (a KWin script would otherwise stay loaded), by every way of ending.
TEST_F(frmMainForegroundTest, EveryEndStopsTheSourceBeforeTheProgramEnds) {
    std::optional<bool> listeningAtEnd;
    ui.onJournal = [&](const std::string& entry) {
        if (entry == "EndProgram") listeningAtEnd = source.Listening();
    };
    Start();
    ASSERT_TRUE(source.Listening());
    ui.RequestEnd(CloseReason::SessionEnd);
    ASSERT_TRUE(ui.Ended());
    ASSERT_TRUE(listeningAtEnd.has_value());
    EXPECT_FALSE(*listeningAtEnd);
}

// The windows of a Wayland desktop, which keeps no program's window above the others.
class WaylandWindows final : public IWindowApi {
  public:
    explicit WaylandWindows(IWindowApi& inner) : m_inner(inner) {}
    WindowHandle GetForegroundWindow() override { return m_inner.GetForegroundWindow(); }
    std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) override {
        return m_inner.GetWindowTextA(window, maxChars);
    }
    std::int32_t GetWindowThreadProcessId(WindowHandle window) override {
        return m_inner.GetWindowThreadProcessId(window);
    }
    void SetWindowPos(WindowHandle window, bool topmost) override {
        m_inner.SetWindowPos(window, topmost);
    }
    std::string TopmostUnavailableOn() override { return "GNOME"; }

  private:
    IWindowApi& m_inner;
};

TEST(frmMainTopmost, TheBoxIsGreyedAndSaysWhyWhereTheDesktopKeepsNoWindowOnTop) {
    for (const bool wayland : {false, true}) {
        FakeDesktop desk;
        FakeUi ui;
        StringTable strings;
        ActionLog log{desk};
        WaylandWindows waylandWindows(desk);
        IWindowApi& windows = wayland ? static_cast<IWindowApi&>(waylandWindows) : desk;
        frmMain frm(frmMainServices{ui, desk, windows, strings, log, desk});
        const Control& box = ui.Ctl("frmMain", "chkAlwaysOnTop");
        EXPECT_EQ(box.Enabled(), !wayland);
        EXPECT_EQ(box.Style().toolTip.find("This desktop (GNOME) does not let") == 0, wayland);
    }
}

}  // namespace
}  // namespace talvex
