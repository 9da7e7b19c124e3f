// What the rule panel and the Advanced window change outlives the program: a rule made
// with Current, edited in its menu and renamed, the options applied, and the Advanced
// window's place, all read back by the next start from the same settings store.
#include <gtest/gtest.h>

#include <memory>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeSettingsStore.h"
#include "platform/fake/FakeUi.h"
#include "settings/modSettings.h"
#include "ui/frmMain.h"

namespace talvex {
namespace {

using namespace platform;

// One run of the program on its own UI, sharing the desktop and the store.
struct ProgramRun {
    ProgramRun(FakeDesktop& desk, FakeSettingsStore& store)
        : log(desk),
          frm(frmMainServices{ui, desk, desk, strings, log, desk, {&store, nullptr, nullptr}}) {
        frm.Form_Load();
        ui.ProcessPending();
        ui.FireTimers();  // builds the process table
    }
    Control& Main(const std::string& name) { return ui.Ctl("frmMain", name); }
    Control& Adv(const std::string& name) { return ui.Ctl("frmAdvanced", name); }
    void SelectLast() { Main("List1").UserSelect(Main("List1").ListCount() - 1); }

    FakeUi ui;
    StringTable strings;
    ActionLog log;
    frmMain frm;
};

class EditingRestartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        self = desk.AddProcess({"/opt/talvex/talvex", NORMAL_PRIORITY_CLASS});
        desk.SetCurrentProcess(self);
    }
    FakeDesktop desk;
    FakeSettingsStore store;
    std::int32_t self = 0;
};

TEST_F(EditingRestartTest, EditedRuleOptionsAndWindowPlaceSurviveARestart) {
    {
        ProgramRun run(desk, store);
        const auto editor = desk.AddProcess({"/usr/bin/editor", NORMAL_PRIORITY_CLASS});
        desk.SetForeground(desk.AddWindow(editor, "Notes"));
        run.ui.FireTimers();
        desk.SetForeground(desk.AddWindow(self, "Talvex 1.1.0"));
        run.ui.FireTimers();
        run.Main("chkAdvanced").UserClick();
        run.Main("Command3").UserClick();
        run.SelectLast();
        run.ui.ChooseInNextPopup("mnuPop2AutoBoostRealtime");
        run.Main("List1").UserMouseDown(kRightButton, 0, 10, 10);
        run.SelectLast();
        run.ui.ChooseInNextPopup("mnuPop2NoBkgObservation");
        run.Main("List1").UserMouseDown(kRightButton, 0, 10, 10);
        run.SelectLast();
        run.ui.AnswerInputBox("/usr/bin/editor-2");
        run.Main("List1").UserDblClick();

        run.ui.ChooseInNextPopup("mnuPop1Advanced");
        run.ui.Tray()->Mouse(WM_RBUTTONUP);
        run.Adv("txtIdle").UserType("75");
        run.Adv("Slider1").UserSlide(run.frm.Advanced()->SliderPositionOf(30));
        run.Adv("cmdOk").UserClick();
        run.frm.Advanced()->form().Move(2400, 1800);
        run.frm.fEndTalvex();
        ASSERT_TRUE(run.ui.Ended());
    }
    ProgramRun again(desk, store);
    TalvexItems& items = again.frm.engine().Items();
    const std::int16_t rule = items.fFindInTalvexItems("/usr/bin/editor-2");
    ASSERT_GE(rule, 0);
    EXPECT_EQ(items[rule].sItem, "/usr/bin/editor-2");
    EXPECT_EQ(items[rule].iBoostLevel, 2);
    EXPECT_TRUE(items[rule].bNoBkgObservation);
    EXPECT_FALSE(items[rule].bNeverBoost);
    EXPECT_EQ(again.frm.engine().ObserverSettings().iIdleCpuUsage, 75);
    EXPECT_EQ(again.frm.engine().MaxFailures(), 30);
    ASSERT_NE(again.frm.Advanced(), nullptr);
    EXPECT_EQ(again.frm.Advanced()->form().Left(), 2400);
    EXPECT_EQ(again.frm.Advanced()->form().Top(), 1800);
    EXPECT_EQ(again.frm.Advanced()->SliderTolerance(), 30);
    EXPECT_EQ(store.Peek(kSettingsApp, kSettingsSection, "frmAdvanced.Left"), "2400");
}

}  // namespace
}  // namespace talvex
