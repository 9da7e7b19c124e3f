// The rule list panel of the running main window: buttons, double click and the popup
// menu on the fake UI, and the warning dialog's answers reaching the rules.
#include <gtest/gtest.h>

#include "tests/MainWindowFixture.h"

namespace talvex {
namespace {

using namespace platform;
using testing::MainWindowTest;

const std::vector<std::string> kDefaults{"taskmgr.exe", "ntvdm.exe", "talvex"};

class RulePanelTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Start();
        Main("chkAdvanced").UserClick();  // the rule panel is in the advanced view
    }
    void Select(const std::string& line) {
        Control& list = Main("List1");
        for (std::int32_t i = 0; i < list.ListCount(); ++i) {
            if (list.List(i) == line) return list.UserSelect(i);
        }
        FAIL() << "no line " << line;
    }
    void RightClickList(const std::string& choose = {}) {
        if (!choose.empty()) ui.ChooseInNextPopup(choose);
        Main("List1").UserMouseDown(kRightButton, 0, 100, 100);
    }
    bool Checked(const std::string& item) { return frm.mnuPop2().Find(item)->checked; }
    void AddByButton(const std::string& answer) {
        ui.AnswerInputBox(answer);
        Main("Command2").UserClick();
    }
};

TEST_F(RulePanelTest, AddAsksAndRefusesDefaultShortAndCoveredNames) {
    EXPECT_EQ(Main("List1").Items(), kDefaults);
    AddByButton("example.exe");
    AddByButton("abc");
    Main("Command2").UserClick();  // cancelled
    EXPECT_EQ(Main("List1").Items(), kDefaults);
    ASSERT_EQ(ui.InputBoxes().size(), 3u);
    EXPECT_EQ(ui.InputBoxes()[0].prompt, "Which Program?");
    EXPECT_EQ(ui.InputBoxes()[0].title, "Talvex");
    EXPECT_EQ(ui.InputBoxes()[0].defaultText, "example.exe");

    AddByButton("Example.exe");
    AddByButton("pad.exe");
    AddByButton("notepad.exe");  // "pad.exe" occurs in it
    AddByButton("tool|x.exe");   // could never be stored
    std::vector<std::string> expected = kDefaults;
    expected.insert(expected.end(), {"Example.exe", "pad.exe"});
    EXPECT_EQ(Main("List1").Items(), expected);
    EXPECT_EQ(Main("List1").ListIndex(), -1);
    EXPECT_EQ(Items()[3].iBoostLevel, frm.engine().NewPriority());
}

TEST_F(RulePanelTest, RemoveActsOnTheRuleFoundForTheSelectedLine) {
    Main("Command1").UserClick();  // nothing selected
    EXPECT_EQ(Rules(), kDefaults);
    AddByButton("pad.exe");
    Items().fAddToTalvexItems("notepad.exe", 0, false, false, false, false);
    frm.fRefreshList();
    Select("notepad.exe");
    Main("Command1").UserClick();
    // "pad.exe" went; the last rule took its place.
    EXPECT_EQ(Main("List1").Items(),
              (std::vector<std::string>{"taskmgr.exe", "ntvdm.exe", "talvex", "notepad.exe"}));
    EXPECT_EQ(Main("List1").ListIndex(), -1);
}

TEST_F(RulePanelTest, CurrentAddsTheProgramUsedBeforeThisWindowOnce) {
    Front("/usr/bin/editor", "Notes");
    Tick();
    // The user clicks into the main window: it is the program in front now.
    desk.SetForeground(desk.AddWindow(self, "Talvex 1.1.0"));
    Tick();
    ASSERT_EQ(frm.engine().ForegroundExe(), "/opt/talvex/talvex");
    Main("Command3").UserClick();
    EXPECT_EQ(Main("List1").Items().back(), "/usr/bin/editor");
    Main("Command3").UserClick();
    EXPECT_EQ(Main("List1").ListCount(), 4);
}

TEST_F(RulePanelTest, DoubleClickRenamesWithFiveCharactersOrMore) {
    AddByButton("pad.exe");
    Main("List1").UserDblClick();  // nothing selected: no question
    EXPECT_EQ(ui.InputBoxes().size(), 1u);
    Select("pad.exe");
    ui.AnswerInputBox("a.ex");
    Main("List1").UserDblClick();
    EXPECT_EQ(ui.InputBoxes().back().prompt, "Edit Program");
    EXPECT_EQ(ui.InputBoxes().back().defaultText, "pad.exe");
    EXPECT_EQ(Main("List1").Items().back(), "pad.exe");
    Select("pad.exe");
    ui.AnswerInputBox("kpad.exe");
    Main("List1").UserDblClick();
    EXPECT_EQ(Main("List1").Items().back(), "kpad.exe");
    EXPECT_EQ(Main("List1").ListIndex(), -1);
}

TEST_F(RulePanelTest, PopupMarksTheRuleAndOnlyTheRightButtonWithASelectionOpensIt) {
    RightClickList();  // nothing selected
    EXPECT_TRUE(ui.Popups().empty());
    AddByButton("pad.exe");
    Items().fAddToTalvexItems("notepad.exe", 2, false, true, false, true);
    frm.fRefreshList();
    Select("notepad.exe");
    Main("List1").UserMouseDown(kLeftButton, 0, 100, 100);
    EXPECT_TRUE(ui.Popups().empty());
    RightClickList();
    ASSERT_EQ(ui.Popups().size(), 1u);
    EXPECT_EQ(ui.Popups()[0].menu, "mnuPop2");
    // The line "notepad.exe" finds the rule "pad.exe", at the global level 1.
    EXPECT_TRUE(Checked("mnuPop2AutoBoostHigh"));
    EXPECT_FALSE(Checked("mnuPop2AutoBoostRealtime") || Checked("mnuPop2NoBoost") ||
                 Checked("mnuPop2NoBkgObservation") || Checked("mnuPop2HangUpMsg"));

    Select("taskmgr.exe");
    RightClickList();
    EXPECT_TRUE(Checked("mnuPop2NoBoost"));
    EXPECT_FALSE(Checked("mnuPop2AutoboostAboveNormal"));  // never-boost shows no level
    EXPECT_TRUE(Checked("mnuPop2NoBkgObservation"));
    EXPECT_FALSE(Checked("mnuPop2AutoBoostHigh"));
}

TEST_F(RulePanelTest, MenuCommandsChangeTheSelectedRule) {
    AddByButton("pad.exe");
    Items().fAddToTalvexItems("notepad.exe", 0, false, false, false, false);
    frm.fRefreshList();
    Select("notepad.exe");
    RightClickList("mnuPop2AutoBoostRealtime");
    EXPECT_EQ(Items()[3].iBoostLevel, 2);  // "pad.exe"
    EXPECT_EQ(Items()[4].iBoostLevel, 0);
    EXPECT_EQ(Main("List1").ListIndex(), 4);  // level commands do not refill

    RightClickList("mnuPop2NoBoost");
    EXPECT_TRUE(Items()[3].bNeverBoost);
    EXPECT_EQ(Items()[3].iBoostLevel, -1);
    RightClickList("mnuPop2AutoBoostHigh");
    EXPECT_TRUE(Items()[3].bNeverBoost);  // still blocked
    RightClickList();
    EXPECT_TRUE(Checked("mnuPop2NoBoost"));
    EXPECT_FALSE(Checked("mnuPop2AutoBoostHigh"));
    RightClickList("mnuPop2NoBoost");
    EXPECT_FALSE(Items()[3].bNeverBoost);
    EXPECT_EQ(Items()[3].iBoostLevel, -1);

    RightClickList("mnuPop2NoBkgObservation");
    RightClickList("mnuPop2HangUp");
    RightClickList("mnuPop2HangUpMsg");
    EXPECT_TRUE(Items()[3].bNoBkgObservation && Items()[3].bNoHangUpObservation &&
                Items()[3].bNoHangUpObservationMsg);
    RightClickList("mnuPop2HangUpMsg");
    EXPECT_FALSE(Items()[3].bNoHangUpObservationMsg);

    RightClickList("mnuPop2Delete");
    EXPECT_EQ(Main("List1").Items(),
              (std::vector<std::string>{"taskmgr.exe", "ntvdm.exe", "talvex", "notepad.exe"}));
    EXPECT_EQ(Main("List1").ListIndex(), -1);
}

TEST_F(RulePanelTest, DeleteWithNothingSelectedOnlyRefillsTheList) {
    Items().fAddToTalvexItems("/usr/bin/added", 0, false, false, false, false);
    EXPECT_EQ(Main("List1").ListCount(), 3);
    EXPECT_TRUE(frm.mnuPop2().Find("mnuPop2Delete")->Choose());
    EXPECT_EQ(Main("List1").Items().back(), "/usr/bin/added");
    EXPECT_EQ(Items().Count(), 4u);
}

// The whole road: a program in front that burns a core is turned off, the warning
// appears while ticks go on, and its boxes become the flags of a new rule.
class HangupWarningTest : public MainWindowTest {};

TEST_F(HangupWarningTest, TurnOffWarnsAndTheAnswersBecomeARule) {
    const auto spinner = desk.AddProcess({"/opt/hung/spinner", NORMAL_PRIORITY_CLASS});
    Start();
    desk.SetForeground(desk.AddWindow(spinner, "Spinner"));
    Tick();
    ASSERT_EQ(desk.PriorityOf(spinner), HIGH_PRIORITY_CLASS);
    std::string shownMessage;
    int ticksDuringWait = 0;
    ui.onDoEvents = [&] {
        if (ticksDuringWait >= 3) return;
        shownMessage = ui.Ctl("frmWarning", "Label1").Caption();
        // Ticks go on while the dialog waits; none opens a second dialog.
        desk.AddCpuTime(spinner, 0, kInterval);
        Tick();
        ++ticksDuringWait;
        if (ticksDuringWait < 3) return;
        ui.Ctl("frmWarning", "Check1").UserClick();
        ui.Ctl("frmWarning", "Check2").UserClick();
        ui.Ctl("frmWarning", "OKButton").UserClick();
    };
    for (int i = 0; i < 9; ++i) {
        desk.AddCpuTime(spinner, 0, kInterval);
        Tick();
    }
    const std::string turnOff =
        "Found current app at critical CPU usage: /opt/hung/spinner. Acceleration is turned off.";
    EXPECT_EQ(shownMessage, turnOff);
    EXPECT_EQ(ticksDuringWait, 3);
    EXPECT_EQ(desk.PriorityOf(spinner), NORMAL_PRIORITY_CLASS);
    const std::int16_t rule = Items().fFindInTalvexItems("/opt/hung/spinner");
    ASSERT_GE(rule, 0);
    EXPECT_TRUE(Items()[rule].bNoHangUpObservation);
    EXPECT_TRUE(Items()[rule].bNoHangUpObservationMsg);
    EXPECT_FALSE(Items()[rule].bNeverBoost);
    EXPECT_EQ(Main("List1").Items().back(), "/opt/hung/spinner");
    // The turn-off is in the log shown by the Advanced window.
    const auto& shown = ui.Ctl("frmAdvanced", "lstLog").Items();
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [&](const std::string& line) {
        return line.find(turnOff) != std::string::npos;
    }));
}

TEST_F(HangupWarningTest, EndingTheProgramWhileTheWarningWaitsEndsTheWait) {
    const auto spinner = desk.AddProcess({"/opt/hung/spinner", NORMAL_PRIORITY_CLASS});
    Start();
    desk.SetForeground(desk.AddWindow(spinner, "Spinner"));
    Tick();
    ui.onDoEvents = [&] { frm.fEndTalvex(); };
    for (int i = 0; i < 9; ++i) {
        desk.AddCpuTime(spinner, 0, kInterval);
        Tick();
    }
    EXPECT_TRUE(ui.Ended());
    EXPECT_FALSE(frm.Warning().Waiting());
    EXPECT_EQ(Items().fFindInTalvexItems("/opt/hung/spinner"), -1);
}

TEST_F(HangupWarningTest, TheWarningOpensAboveAMainWindowThatStaysOnTop) {
    const auto spinner = desk.AddProcess({"/opt/hung/spinner", NORMAL_PRIORITY_CLASS});
    const WindowHandle warning = desk.AddWindow(self, "Warning");
    ui.onFormCreated = [&](Form& form) {
        if (form.Name() == "frmWarning") ui.SetFormHandle(form, warning);
    };
    bool topmostWhileWaiting = false;
    ui.onDoEvents = [&] {
        topmostWhileWaiting = desk.IsTopmost(warning);
        ui.Ctl("frmWarning", "OKButton").UserClick();
    };
    Start();
    ASSERT_TRUE(Main("chkAlwaysOnTop").Checked());
    desk.SetForeground(desk.AddWindow(spinner, "Spinner"));
    for (int i = 0; i < 10; ++i) {
        desk.AddCpuTime(spinner, 0, kInterval);
        Tick();
    }
    EXPECT_TRUE(topmostWhileWaiting);

    // Without "Always On Top" the warning is an ordinary window.
    Main("chkAlwaysOnTop").UserClick();
    desk.SetWindowPos(warning, false);
    topmostWhileWaiting = true;
    const auto editor = desk.AddProcess({"/usr/bin/editor", NORMAL_PRIORITY_CLASS});
    desk.SetForeground(desk.AddWindow(editor, "Notes"));
    Tick();
    desk.SetForeground(desk.AddWindow(spinner, "Spinner again"));
    for (int i = 0; i < 12; ++i) {
        desk.AddCpuTime(spinner, 0, kInterval);
        Tick();
    }
    EXPECT_FALSE(topmostWhileWaiting);
}

}  // namespace
}  // namespace talvex
