// The main window with a settings store, an autostart list and an instance lock:
// what start-up reads and mirrors, what the end saves, and the question a second copy
// asks.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/fake/FakeAutostart.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeSettingsStore.h"
#include "platform/fake/FakeSingleInstance.h"
#include "platform/fake/FakeUi.h"
#include "settings/modInstance.h"
#include "settings/modSettings.h"
#include "ui/frmMain.h"

namespace talvex {
using namespace modInstance;
namespace {

using namespace platform;

// One run of the program, from start-up to its end.
struct ProgramRun {
    ProgramRun(FakeDesktop& desk, const frmMainSystem& system)
        : log(desk), frm(frmMainServices{ui, desk, desk, strings, log, desk, system}) {}
    Control& Ctl(const std::string& name, std::int16_t index = -1) {
        return ui.Ctl("frmMain", name, index);
    }
    void Start() {
        frm.Form_Load();
        ui.ProcessPending();
    }

    FakeUi ui;
    StringTable strings;
    ActionLog log;
    frmMain frm;
};

class frmMainSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desk.SetCurrentProcess(desk.AddProcess({"/opt/talvex/talvex", NORMAL_PRIORITY_CLASS}));
    }
    std::unique_ptr<ProgramRun> Run() {
        return std::make_unique<ProgramRun>(desk, frmMainSystem{&store, &autostart, &lock});
    }
    void Put(const std::string& key, const std::string& value) {
        store.SaveSettingValue(kSettingsApp, kSettingsSection, key, value);
    }
    std::optional<std::string> Stored(const std::string& key) const {
        return store.Peek(kSettingsApp, kSettingsSection, key);
    }

    FakeDesktop desk;
    FakeSettingsStore store;
    FakeAutostart autostart{"/opt/talvex/talvex"};
    FakeLockNamespace names;
    FakeSingleInstance lock{names};
};

TEST_F(frmMainSettingsTest, FirstStartUsesTheDefaultsAndTheEndKeepsWhatChanged) {
    auto run = Run();
    run->Start();
    EXPECT_EQ(run->Ctl("List1").Items(),
              (std::vector<std::string>{"taskmgr.exe", "ntvdm.exe", "talvex"}));
    EXPECT_EQ(run->Ctl("Option1", 1).Value(), 1);
    EXPECT_EQ(run->Ctl("chkAlwaysOnTop").Value(), 1);
    EXPECT_EQ(run->frm.tmrRefresh().Interval(), 500);
    EXPECT_EQ(run->frm.form().Left(), 1920 * 15 / 2 - run->frm.form().ClientWidth() / 2);
    EXPECT_EQ(run->frm.form().Top(), 1080 * 15 / 2 - run->frm.form().Height() / 2);

    run->Ctl("Option1", 2).SetValue(1);
    run->Ctl("chkAdvanced").SetValue(1);
    run->frm.engine().Items().fAddToTalvexItems("blender", 0, false, true, true, false);
    run->frm.form().Move(600, 900);
    run->frm.fEndTalvex();
    ASSERT_TRUE(run->ui.Ended());
    EXPECT_EQ(Stored("Boost.NewPriority"), "2");
    EXPECT_EQ(Stored("Window.AdvancedView"), "True");
    EXPECT_EQ(Stored("CustomItems.Count"), "4");
    EXPECT_EQ(Stored("CustomItems.Item3"), "blender|0|False|True|True|False|");
    run.reset();

    auto again = Run();
    again->Start();
    EXPECT_EQ(again->Ctl("Option1", 2).Value(), 1);
    EXPECT_EQ(again->frm.engine().NewPriority(), 2);
    EXPECT_EQ(again->Ctl("chkAdvanced").Value(), 1);
    EXPECT_EQ(again->frm.form().Height(), frmMain::kAdvancedHeight);
    EXPECT_EQ(again->Ctl("List1").Items().size(), 4u);
    EXPECT_EQ(again->frm.form().Left(), 600);
    EXPECT_EQ(again->frm.form().Top(), 900);
}

TEST_F(frmMainSettingsTest, StoredValuesReachTheVariablesAndControls) {
    Put("Boost.NewPriority", "0");
    Put("Window.AlwaysOnTop", "False");
    Put("General.AutoUpdate", "False");
    Put("BackgroundProcessObservation.Enabled", "False");
    Put("BackgroundProcessObservation.IdleCpuUsage", "70");
    Put("HangupObservation.MaxFailures", "12");
    Put("General.RefreshRate", "250");
    Put("CustomItems.Count", "1");
    Put("CustomItems.Item0", "gimp|2|False|False|False|False|");
    auto run = Run();
    run->Start();
    EXPECT_EQ(run->Ctl("Option1", 0).Value(), 1);
    EXPECT_EQ(run->frm.engine().NewPriority(), 0);
    EXPECT_EQ(run->Ctl("chkAlwaysOnTop").Value(), 0);
    EXPECT_FALSE(run->frm.AlwaysOnTop());
    EXPECT_EQ(run->Ctl("chkAutoUpdate").Value(), 0);
    EXPECT_FALSE(run->frm.bAutoUpdate);
    EXPECT_FALSE(run->frm.engine().ObserverSettings().bBkgObservation);
    EXPECT_EQ(run->frm.engine().ObserverSettings().iIdleCpuUsage, 70);
    EXPECT_EQ(run->frm.engine().MaxFailures(), 12);
    EXPECT_EQ(run->frm.tmrRefresh().Interval(), 250);
    EXPECT_EQ(run->log.Lines().back(), "Refresh rate: 250 ms");
    EXPECT_EQ(run->Ctl("List1").Items(), std::vector<std::string>{"gimp"});

    run->frm.fEndTalvex();
    EXPECT_EQ(Stored("General.RefreshRate"), "250");
    EXPECT_EQ(Stored("BackgroundProcessObservation.IdleCpuUsage"), "70");
    EXPECT_EQ(Stored("HangupObservation.MaxFailures"), "12");
}

TEST_F(frmMainSettingsTest, StoreThatCannotBeWrittenNeverStopsTheProgram) {
    Put("General.RefreshRate", "300");
    const auto before = store.Contents();
    store.SetWritesFail(true);
    auto run = Run();
    run->Start();
    run->frm.mnuPop1Exit_Click();
    run->ui.FireTimers();
    EXPECT_TRUE(run->ui.Ended());
    EXPECT_EQ(run->ui.ExitCode(), 0);
    EXPECT_EQ(store.Contents(), before);
}

TEST_F(frmMainSettingsTest, StoreThatCannotBeWrittenIsSaidOnceInTheLogAndTheTooltip) {
    auto run = std::make_unique<ProgramRun>(
        desk, frmMainSystem{&store, &autostart, &lock, "talvex", {}, "example", "/home/u/x.conf"});
    run->Start();
    const auto saidLines = [&] {
        return std::count_if(run->log.Lines().begin(), run->log.Lines().end(),
                             [](const std::string& line) {
                                 return line.find("/home/u/x.conf") != std::string::npos;
                             });
    };
    ASSERT_TRUE(run->frm.fSaveSettings());
    EXPECT_EQ(saidLines(), 0);
    store.SetWritesFail(true);
    // Every way of saving: all settings, one value, a language chosen.
    EXPECT_FALSE(run->frm.fSaveSettings());
    run->frm.SaveSetting("frmAdvanced.Left", "10");
    run->frm.imgEn_Click();
    EXPECT_FALSE(run->frm.fSaveSettings());
    EXPECT_EQ(saidLines(), 1);
    ASSERT_NE(run->frm.oTrayIcon(), nullptr);
    const std::string tip = run->ui.Tray()->CurrentToolTip();
    EXPECT_NE(tip.find(": /home/u/x.conf"), std::string::npos) << tip;
    EXPECT_EQ(tip.rfind('\n', tip.find("/home/u/x.conf")) == std::string::npos, false) << tip;
    // Later changes of the tooltip keep the line.
    run->frm.PublishTooltip("Talvex: something else");
    EXPECT_NE(run->ui.Tray()->CurrentToolTip().find("/home/u/x.conf"), std::string::npos);
}

TEST_F(frmMainSettingsTest, AutostartBoxMirrorsTheEntryAndRewritesItWithThisCopy) {
    {
        auto run = Run();
        run->Start();
        EXPECT_EQ(run->Ctl("chkAutostart").Value(), 0);
        EXPECT_TRUE(autostart.Entries().empty());
        run->Ctl("chkAutostart").SetValue(1);
        EXPECT_EQ(autostart.Entries()["Talvex"], "/opt/talvex/talvex");
        run->frm.fEndTalvex();
    }
    // Started from another folder: the box is ticked and the entry follows the program.
    autostart.SetProgramPath("/home/ann/talvex/talvex");
    auto run = Run();
    run->Start();
    EXPECT_EQ(run->Ctl("chkAutostart").Value(), 1);
    EXPECT_EQ(autostart.Entries()["Talvex"], "/home/ann/talvex/talvex");
    run->Ctl("chkAutostart").SetValue(0);
    EXPECT_TRUE(autostart.Entries().empty());
}

TEST_F(frmMainSettingsTest, FirstStartSpeaksTheDesktopsLanguageAndAChosenOneIsKeptAtOnce) {
    for (const auto& [locale, language] : std::vector<std::pair<std::string, std::string>>{
             {"de", "DE"}, {"fr", "FR"}, {"en", "EN"}, {"es", "EN"}, {"", "EN"}}) {
        SCOPED_TRACE(locale);
        store.DeleteSettingValue(kSettingsApp, kSettingsSection, "General.Language");
        auto run = Run();
        run->ui.SetSystemLanguage(locale);
        run->Start();
        EXPECT_EQ(run->frm.Language(), language);
        EXPECT_EQ(run->ui.Language(), language);  // the backend's own buttons too
        run->frm.fEndTalvex();
    }
    store.DeleteSettingValue(kSettingsApp, kSettingsSection, "General.Language");
    // A flag chosen is stored before the program ends, and wins over the desktop.
    auto run = Run();
    run->ui.SetSystemLanguage("fr");
    run->Start();
    run->Ctl("chkAdvanced").SetValue(1);
    run->Ctl("imgGer").UserClick();
    EXPECT_EQ(Stored("General.Language"), "DE");
    run->frm.fEndTalvex();
    auto next = Run();
    next->ui.SetSystemLanguage("fr");
    next->Start();
    EXPECT_EQ(next->frm.Language(), "DE");
}

TEST_F(frmMainSettingsTest, MissingRightIsExplainedOnceAndAgainOnlyAfterItWasThere) {
    // Each start: whether the right is there, and whether the notice shows.
    const std::vector<std::pair<bool, bool>> starts{
        {false, true}, {false, false}, {false, false}, {true, false}, {false, true}};
    for (std::size_t i = 0; i < starts.size(); ++i) {
        SCOPED_TRACE(i);
        desk.SetMayRaisePriority(starts[i].first);
        auto run = Run();
        run->Start();
        const auto& boxes = run->ui.MsgBoxes();
        ASSERT_EQ(boxes.size(), starts[i].second ? 1u : 0u);
        if (!boxes.empty()) {
            EXPECT_NE(boxes[0].text.find("does not boost"), std::string::npos);
            EXPECT_NE(boxes[0].text.find("sudo setcap cap_sys_nice+ep"), std::string::npos);
        }
        run->frm.fEndTalvex();
    }
}

TEST_F(frmMainSettingsTest, WithoutTheRightEveryPlaceSaysSoAndTheNoticeOpensAgain) {
    for (const bool bMay : {false, true}) {
        SCOPED_TRACE(bMay);
        desk.SetMayRaisePriority(bMay);
        Put("General.Language", "EN");
        auto run = Run();
        run->Start();
        FakeTrayIcon& tray = *run->ui.Tray();
        ASSERT_EQ(tray.Balloons().size(), 1u);
        const std::string balloon = tray.Balloons()[0].message;
        EXPECT_EQ(balloon.find("may not raise") != std::string::npos, !bMay) << balloon;
        const std::string tip = tray.CurrentToolTip();
        const auto second = tip.find('\n');
        EXPECT_EQ(second != std::string::npos &&
                      tip.compare(second + 1, std::string::npos, "cannot raise priorities") == 0,
                  !bMay)
            << tip;
        for (std::int16_t i = 0; i < 3; ++i) EXPECT_EQ(run->Ctl("Option1", i).Enabled(), bMay);
        EXPECT_EQ(run->Ctl("lblNoRight").Visible(), !bMay);
        EXPECT_EQ(run->Ctl("cmdNoRight").Visible(), !bMay);
        if (!bMay) {
            // Shown once at the start; the button opens it again, as often as asked.
            const std::size_t before = run->ui.MsgBoxes().size();
            run->Ctl("cmdNoRight").OnClick();
            run->Ctl("cmdNoRight").OnClick();
            ASSERT_EQ(run->ui.MsgBoxes().size(), before + 2);
            EXPECT_NE(run->ui.MsgBoxes().back().text.find("sudo setcap"), std::string::npos);
            // A language chosen keeps the state.
            run->frm.imgGer_Click();
            EXPECT_FALSE(run->Ctl("Option1", 0).Enabled());
            EXPECT_TRUE(run->Ctl("cmdNoRight").Visible());
        }
        run->frm.fEndTalvex();
    }
}

TEST_F(frmMainSettingsTest, WithoutANotificationAreaTheWindowCarriesTheTrayMenu) {
    for (const bool bTray : {false, true}) {
        SCOPED_TRACE(bTray);
        auto run = Run();
        run->ui.SetTrayAvailable(bTray);
        run->Start();
        EXPECT_EQ(run->Ctl("cmdMenu").Visible(), !bTray);
        if (!bTray) {
            EXPECT_TRUE(run->frm.form().Visible());
            // The status text makes room for the button.
            const TwipsRect status = run->Ctl("Label1").Rect();
            EXPECT_LE(status.left + status.width, run->Ctl("cmdMenu").Rect().left);
            // Every entry of the tray menu, the Advanced window among them.
            run->ui.ChooseInNextPopup("mnuPop1Advanced");
            run->Ctl("cmdMenu").OnClick();
            ASSERT_EQ(run->ui.Popups().size(), 1u);
            EXPECT_NE(run->frm.Advanced(), nullptr);
            run->ui.ChooseInNextPopup("mnuPop1Activate");
            run->Ctl("cmdMenu").OnClick();
            EXPECT_EQ(run->Ctl("chkActive").Value(), 0);
        }
        run->frm.fEndTalvex();
    }
}

TEST_F(frmMainSettingsTest, OnlyCopyHoldsTheLockUntilItsEnd) {
    auto run = Run();
    run->Start();
    EXPECT_TRUE(run->ui.MsgBoxes().empty());
    EXPECT_TRUE(lock.HoldsMutex());
    run->frm.fEndTalvex();
    EXPECT_FALSE(names.IsHeld(kInstanceMutexName));
}

TEST_F(frmMainSettingsTest, SecondCopyAsksAndEndsOnNoWithoutATrayIcon) {
    FakeSingleInstance first(names);
    ASSERT_TRUE(IsFirstInstance(first));
    auto run = Run();
    // A stray Enter is a No.
    run->ui.AnswerMsgBoxWithEnter();
    run->Start();
    ASSERT_EQ(run->ui.MsgBoxes().size(), 1u);
    EXPECT_EQ(run->ui.MsgBoxes()[0].text, run->frm.txtAppAlreadyRunning);
    EXPECT_EQ(run->ui.MsgBoxes()[0].style, vbYesNo | vbQuestion | vbDefaultButton2);
    EXPECT_EQ(run->ui.MsgBoxes()[0].title, "Talvex");
    EXPECT_TRUE(run->ui.Ended());
    const auto& journal = run->ui.Journal();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "AddIcon"), 0);
    EXPECT_FALSE(run->frm.tmrRefresh().Enabled());
    EXPECT_TRUE(first.HoldsMutex());
    EXPECT_EQ(Stored("General.RefreshRate"), "500");  // its end saved what it loaded
}

TEST_F(frmMainSettingsTest, SecondCopyRunsOnWithYesWithoutTheLock) {
    FakeSingleInstance first(names);
    ASSERT_TRUE(IsFirstInstance(first));
    auto run = Run();
    run->ui.AnswerMsgBox(vbYes);
    run->Start();
    EXPECT_EQ(run->ui.MsgBoxes().size(), 1u);
    EXPECT_FALSE(run->ui.Ended());
    EXPECT_NE(run->ui.Tray(), nullptr);
    EXPECT_TRUE(run->frm.tmrRefresh().Enabled());
    EXPECT_FALSE(lock.HoldsMutex());
    run->frm.fEndTalvex();
    EXPECT_TRUE(first.HoldsMutex());
    EXPECT_EQ(lock.Releases(), 0);
}

}  // namespace
}  // namespace talvex
