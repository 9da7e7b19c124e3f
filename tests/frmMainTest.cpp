// The main window on the fake UI and the fake desktop: start-up, shutdown, the Active
// switch, the views, the tray icon and its menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <sstream>

#include "tests/MainWindowFixture.h"

namespace talvex {
namespace {

using namespace platform;

class frmMainTest : public testing::MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // No language files: every text is the one the code gives.
        frm.SetLanguageDataFolder("/nonexistent/talvex/lang");
    }
    // Starts the program and lets the event loop run what start-up posted.
    void Start() {
        frm.Form_Load();
        ui.ProcessPending();
        // The first tick only builds the process table; the next one looks at the front.
        ui.FireTimers();
    }
    std::pair<std::int32_t, WindowHandle> Front(const std::string& path, const std::string& title,
                                                std::int32_t cls = NORMAL_PRIORITY_CLASS) {
        const auto pid = desk.AddProcess({path, cls});
        const auto window = desk.AddWindow(pid, title);
        desk.SetForeground(window);
        return {pid, window};
    }
    Control& Ctl(const std::string& name, std::int16_t index = -1) {
        return ui.Ctl("frmMain", name, index);
    }
    FakeTrayIcon& Tray() {
        FakeTrayIcon* tray = ui.Tray();
        if (!tray) throw std::runtime_error("no tray icon");
        return *tray;
    }
    void RightClickTray(const std::string& choose = {}) {
        if (!choose.empty()) ui.ChooseInNextPopup(choose);
        Tray().Mouse(WM_RBUTTONUP);
    }
    long Count(const std::string& entry) const {
        return std::count(ui.Journal().begin(), ui.Journal().end(), entry);
    }
};

TEST_F(frmMainTest, StartUpRunsInOrderAndSwitchesTheTimerOnLast) {
    EXPECT_FALSE(frm.tmrRefresh().Enabled());
    std::int32_t ownClassAtTimerOn = 0;
    bool balloonBeforeTimer = false;
    ui.onJournal = [&](const std::string& entry) {
        if (entry == "TimerOn" && ownClassAtTimerOn == 0) {
            ownClassAtTimerOn = desk.PriorityOf(self);
            balloonBeforeTimer = Count("ShowBalloon") == 1;
        }
    };
    Start();

    ASSERT_EQ(log.Lines().size(), 3u);
    EXPECT_EQ(log.Lines()[0], "Talvex 1.1.0 is starting...");
    EXPECT_EQ(log.Lines()[2], "Refresh rate: 500 ms");
    // The build's own time (of its sources), not a time written into the code.
    std::tm built{};
    std::istringstream stamp(log.Lines()[1]);
    stamp >> std::get_time(&built, "Build: %Y-%m-%d - %H:%M:%S");
    ASSERT_FALSE(stamp.fail()) << log.Lines()[1];
    EXPECT_EQ(stamp.peek(), std::char_traits<char>::eof()) << log.Lines()[1];
    EXPECT_GE(built.tm_year + 1900, 2024) << log.Lines()[1];
    EXPECT_EQ(frm.form().Caption(), "Talvex 1.1.0");
    EXPECT_TRUE(Tray().Shown());
    EXPECT_EQ(Tray().CurrentToolTip(), "Talvex 1.1.0");
    EXPECT_EQ(Tray().CurrentIcon(), "shuttle");
    ASSERT_EQ(Tray().Balloons().size(), 1u);
    EXPECT_EQ(Tray().Balloons()[0].kind, 1);
    EXPECT_EQ(Tray().Balloons()[0].message, frm.txtTalvexStarted);
    EXPECT_FALSE(frm.txtTalvexStarted.empty());
    EXPECT_EQ(Tray().Balloons()[0].title, "Talvex");
    EXPECT_EQ(Tray().Balloons()[0].milliseconds, 5000);
    EXPECT_EQ(ownClassAtTimerOn, HIGH_PRIORITY_CLASS);
    EXPECT_TRUE(balloonBeforeTimer);
    EXPECT_TRUE(frm.tmrRefresh().Enabled());
    EXPECT_EQ(frm.engine().Shutdown(), ShutdownState::Running);
    EXPECT_FALSE(frm.form().Visible());
    EXPECT_TRUE(ui.MsgBoxes().empty());
    EXPECT_EQ(frm.engine().NewPriority(), 1);
    EXPECT_EQ(Ctl("Option1", 1).Value(), 1);
}

TEST_F(frmMainTest, FirstTickBoostsAndShowsStatusAndTooltip) {
    Start();
    const auto [editor, window] = Front("/usr/bin/editor", "Notes");
    ui.FireTimers();
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    // The tooltip counts what Talvex holds changed.
    EXPECT_EQ(Tray().CurrentToolTip(), "Talvex 1.1.0: Notes\n1 boosted, 0 lowered");
    EXPECT_NE(Ctl("Label1").Caption().find("Notes"), std::string::npos);
    EXPECT_NE(Ctl("Label1").Caption().find("/usr/bin/editor"), std::string::npos);
}

TEST_F(frmMainTest, ExitFromTheTrayWhileBoostingIsOffEndsOnTheNextTick) {
    Start();
    const auto [editor, window] = Front("/usr/bin/editor", "Notes");
    ui.FireTimers();
    RightClickTray("mnuPop1Activate");
    EXPECT_FALSE(frm.tmrRefresh().Enabled());
    RightClickTray("mnuPop1Exit");
    EXPECT_EQ(frm.engine().Shutdown(), ShutdownState::Requested);
    EXPECT_FALSE(ui.Ended());  // the menu itself ends nothing

    ui.FireTimers();
    EXPECT_TRUE(ui.Ended());
    EXPECT_EQ(ui.ExitCode(), 0);
    EXPECT_EQ(frm.engine().Shutdown(), ShutdownState::Ending);
    EXPECT_EQ(ui.Tray(), nullptr);
    EXPECT_EQ(Count("RemoveIcon"), 1);
    EXPECT_FALSE(frm.form().Loaded());
    EXPECT_FALSE(frm.tmrRefresh().Enabled());
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
}

TEST_F(frmMainTest, ExitIsNotLostWhenBoostingIsSwitchedOffBeforeTheTick) {
    Start();
    RightClickTray("mnuPop1Exit");
    RightClickTray("mnuPop1Activate");
    ui.FireTimers();
    EXPECT_TRUE(ui.Ended());
}

TEST_F(frmMainTest, EndRunsOnceAndUndoesEveryChange) {
    const auto ownStart = desk.PriorityOf(desk.GetCurrentProcessId());
    const auto busy = desk.AddProcess({"/usr/bin/compiler"});
    const auto [editor, window] = Front("/usr/bin/editor", "Notes");
    Start();
    for (int tick = 0; tick < 4; ++tick) {
        desk.AddCpuTime(busy, 0, 400);
        desk.AdvanceClock(500);
        ui.FireTimers();
    }
    ASSERT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    ASSERT_EQ(desk.PriorityOf(busy), IDLE_PRIORITY_CLASS);

    frm.fEndTalvex();
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(busy), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(desk.PriorityOf(desk.GetCurrentProcessId()), ownStart);
    EXPECT_TRUE(desk.Changes().Held().empty());
    const auto changesAfter = desk.PriorityChanges().size();
    desk.SetPriorityOf(editor, HIGH_PRIORITY_CLASS);
    frm.fEndTalvex();
    EXPECT_EQ(desk.PriorityChanges().size(), changesAfter);
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);  // the second call did nothing
    EXPECT_EQ(Count("EndProgram"), 1);
    EXPECT_EQ(Count("RemoveIcon"), 1);
}

TEST_F(frmMainTest, SessionEndAndTerminationEndTheProgramButTheCloseButtonHides) {
    Start();
    frm.mnuPop1Show_Click();
    ASSERT_TRUE(frm.form().Visible());
    frm.form().RequestClose(CloseReason::UserClose);
    EXPECT_TRUE(frm.form().Loaded());
    EXPECT_FALSE(frm.form().Visible());
    EXPECT_TRUE(frm.tmrRefresh().Enabled());
    EXPECT_FALSE(ui.Ended());

    const auto [editor, window] = Front("/usr/bin/editor", "Notes");
    ui.FireTimers();
    ui.RequestEnd(CloseReason::TaskManager);
    EXPECT_TRUE(ui.Ended());
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    ui.RequestEnd(CloseReason::SessionEnd);
    EXPECT_EQ(Count("EndProgram"), 1);
}

TEST_F(frmMainTest, UncheckingActiveRestoresAndCheckingAgainBoostsOnTheNextTick) {
    Start();
    const auto [editor, window] = Front("/usr/bin/editor", "Notes");
    ui.FireTimers();
    Ctl("chkActive").UserClick();
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(frm.engine().ForegroundPid(), 0);
    EXPECT_EQ(Tray().CurrentIcon(), "stop");
    EXPECT_EQ(Tray().CurrentToolTip(), "Talvex 1.1.0");
    EXPECT_FALSE(frm.tmrRefresh().Enabled());
    ui.FireTimers();  // off: no tick
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);

    Ctl("chkActive").UserClick();
    EXPECT_EQ(Tray().CurrentIcon(), "shuttle");
    EXPECT_EQ(desk.PriorityOf(editor), NORMAL_PRIORITY_CLASS);  // not before the tick
    const auto logLines = log.Lines().size();
    ui.FireTimers();
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(log.Lines().size(), logLines + 1);  // seen as newly arrived
}

TEST_F(frmMainTest, TrayReactsToDoubleClickAndRightReleaseOnly) {
    Start();
    for (std::int32_t message :
         {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MBUTTONUP, 0, -1}) {
        Tray().Mouse(message);
    }
    EXPECT_FALSE(frm.form().Visible());
    EXPECT_TRUE(ui.Popups().empty());

    Tray().Mouse(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(frm.form().Visible());
    Tray().Mouse(WM_LBUTTONDBLCLK);  // stays shown
    EXPECT_TRUE(frm.form().Visible());
    Tray().Mouse(WM_RBUTTONUP);
    ASSERT_EQ(ui.Popups().size(), 1u);
    EXPECT_EQ(ui.Popups()[0].menu, "mnuPop1");
    EXPECT_EQ(ui.Popups()[0].defaultItem, "mnuPop1Title");
}

TEST_F(frmMainTest, TrayMenuShowsTheCaptionAndTheCurrentActiveState) {
    Start();
    MenuItem& title = *frm.mnuPop1().Find("mnuPop1Title");
    MenuItem& activate = *frm.mnuPop1().Find("mnuPop1Activate");
    EXPECT_EQ(title.caption, "Talvex");
    RightClickTray();
    EXPECT_EQ(title.caption, "Talvex 1.1.0");
    EXPECT_FALSE(title.enabled);
    EXPECT_TRUE(activate.checked);

    Ctl("chkActive").UserClick();  // switched in the window, not in the menu
    RightClickTray();
    EXPECT_FALSE(activate.checked);
    RightClickTray("mnuPop1Activate");
    EXPECT_TRUE(Ctl("chkActive").Checked());
    EXPECT_TRUE(frm.tmrRefresh().Enabled());
    RightClickTray("mnuPop1Title");  // the title does nothing
    EXPECT_EQ(ui.Popups().back().chosen, "");
}

TEST_F(frmMainTest, AdvancedSwitchSetsBothHeights) {
    Start();
    EXPECT_EQ(frm.form().Height(), 3375);
    EXPECT_EQ(Ctl("Shape3").Rect().height, 2775);
    Ctl("chkAdvanced").UserClick();
    EXPECT_TRUE(frm.AdvancedView());
    EXPECT_EQ(frm.form().Height(), 6600);
    EXPECT_EQ(Ctl("Shape3").Rect().height, 6060);
    EXPECT_EQ(frm.form().ClientWidth(), 5610);
    Ctl("chkAdvanced").UserClick();
    EXPECT_EQ(frm.form().Height(), 3375);
    EXPECT_EQ(Ctl("Shape3").Rect().height, 2775);
}

TEST_F(frmMainTest, SwitchesSetTheirSettings) {
    Start();
    const auto [editor, window] = Front("/usr/bin/editor", "Notes");
    ui.FireTimers();
    Ctl("Option1", 2).UserClick();
    EXPECT_EQ(frm.engine().NewPriority(), 2);
    ui.FireTimers();  // same program: keeps its class until the next change
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    const auto [shell, shellWindow] = Front("/usr/bin/shell", "Shell");
    ui.FireTimers();
    EXPECT_EQ(desk.PriorityOf(shell), REALTIME_PRIORITY_CLASS);

    EXPECT_TRUE(frm.AlwaysOnTop());
    Ctl("chkAlwaysOnTop").UserClick();
    EXPECT_FALSE(frm.AlwaysOnTop());
    Ctl("chkAdvanced").UserClick();
    Ctl("imgFr").UserClick();
    EXPECT_EQ(frm.Language(), "FR");
    Ctl("imgEn").UserClick();
    EXPECT_EQ(frm.Language(), "EN");
}

TEST_F(frmMainTest, AlwaysOnTopFollowsTheBoxAndIsAskedForAgainWhenTheWindowAppears) {
    const WindowHandle own = desk.AddWindow(self, "Talvex");
    ui.SetFormHandle(frm.form(), own);
    Start();
    EXPECT_TRUE(desk.IsTopmost(own));  // the default setting
    Ctl("chkAlwaysOnTop").UserClick();
    EXPECT_FALSE(desk.IsTopmost(own));
    Ctl("chkAlwaysOnTop").UserClick();
    desk.SetWindowPos(own, false);  // the window manager dropped the state
    frm.mnuPop1Show_Click();
    EXPECT_TRUE(desk.IsTopmost(own));
}

TEST_F(frmMainTest, WithoutANotificationAreaTheWindowShowsAndExplains) {
    ui.SetTrayAvailable(false);
    Start();
    EXPECT_TRUE(frm.form().Visible());
    EXPECT_NE(Ctl("Label1").Caption().find("notification area"), std::string::npos);
    Front("/usr/bin/editor", "Notes");
    ui.FireTimers();
    EXPECT_NE(Ctl("Label1").Caption().find("Notes"), std::string::npos);
    EXPECT_NE(Ctl("Label1").Caption().find("notification area"), std::string::npos);
    // The window is the only way back, so closing it ends the program.
    frm.form().RequestClose(CloseReason::UserClose);
    EXPECT_TRUE(ui.Ended());
}

TEST_F(frmMainTest, AMissingRightToRaiseIsExplainedOnceWithTheCommand) {
    desk.SetMayRaisePriority(false);
    Start();
    ui.ProcessPending();
    ui.FireTimers();
    ASSERT_EQ(ui.MsgBoxes().size(), 1u);
    EXPECT_NE(ui.MsgBoxes()[0].text.find("sudo setcap cap_sys_nice+ep \"/opt/talvex/talvex\""),
              std::string::npos);
    EXPECT_EQ(ui.MsgBoxes()[0].style, vbOKOnly | vbInformation);
}

}  // namespace
}  // namespace talvex
