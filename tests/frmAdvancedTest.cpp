// The Advanced window on the fake UI: loading, the threshold fields, the slider,
// Apply, its saved position and layout, and its life beside the main window.
#include <gtest/gtest.h>

#include <map>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeUi.h"
#include "tests/MainWindowFixture.h"
#include "ui/frmAdvanced.h"

namespace talvex {
namespace {

using namespace platform;

struct Host : IEngineHost, IAdvancedHost {
    void fEndTalvex() override {}
    void ShowStatusText(const std::string&) override {}
    void PublishTooltip(const std::string&) override {}
    void fRefreshList() override {}
    bool AlwaysOnTop() override { return onTop; }
    std::int32_t RefreshInterval() override { return interval; }
    bool fSaveSettings() override {
        ++saves;
        return true;
    }
    std::string GetSetting(const std::string& key, const std::string& def) override {
        const auto found = store.find(key);
        return found == store.end() ? def : found->second;
    }
    void SaveSetting(const std::string& key, const std::string& value) override {
        store[key] = value;
    }
    bool onTop = false;
    std::int32_t interval = 500;
    int saves = 0;
    std::map<std::string, std::string> store;
};

class frmAdvancedTest : public ::testing::Test {
  protected:
    frmAdvanced& Load() {
        window = std::make_unique<frmAdvanced>(frmAdvancedServices{ui, engine, strings, log, host});
        return *window;
    }
    Control& Ctl(const std::string& name) { return window->Ctl(name); }
    void Type(const std::string& field, const std::string& keys) {
        for (const char c : keys) Ctl(field).UserKeyPress(static_cast<unsigned char>(c));
    }
    void Clear(const std::string& field) {
        while (!Ctl(field).Text().empty()) Ctl(field).UserKeyPress(8);
    }
    TwipsRect Rect(const std::string& name) { return Ctl(name).Rect(); }

    FakeDesktop desk;
    FakeUi ui;
    StringTable strings;
    ActionLog log{desk};
    Host host;
    Engine engine{desk, desk, desk, strings, log, host};
    std::unique_ptr<frmAdvanced> window;
};

TEST_F(frmAdvancedTest, LoadShowsTheRunningValuesAndDefaultTexts) {
    modMain::ObserverSettings observers = engine.ObserverSettings();
    observers.bBkgObservation = false;
    observers.iBelowNormalCpuUsage = 15;
    observers.iIdleCpuUsage = 55;
    engine.SetObserverSettings(observers);
    engine.SetMaxFailures(20);
    host.interval = 250;
    Load();
    EXPECT_FALSE(window->form().Visible());
    EXPECT_EQ(window->form().Caption(), "Talvex: Advanced");
    EXPECT_EQ(Ctl("frLog").Caption(), "Last Actions");
    EXPECT_EQ(Ctl("frOptions").Caption(), "Advanced Options");
    EXPECT_EQ(Ctl("frHangupObservation").Caption(), "Hangup observation");
    EXPECT_EQ(Ctl("Label1").Caption(), "Swhich to 'Below Normal' when CPU usage is over:");
    EXPECT_EQ(Ctl("cmdOk").Caption(), "Apply");
    EXPECT_EQ(Ctl("chkBackgroundObservation").Value(), 0);
    EXPECT_EQ(Ctl("txtBelowNormal").Text(), "15");
    EXPECT_EQ(Ctl("txtIdle").Text(), "55");
    EXPECT_EQ(window->SliderTolerance(), 20);
    EXPECT_EQ(Ctl("Label3").Caption(),
              "If an application has a cpu usage over 95% for over 5s boosting is turned off.");
    // Fields follow the box from the end of loading on.
    EXPECT_FALSE(Ctl("txtBelowNormal").Enabled());
    EXPECT_FALSE(Ctl("txtIdle").Enabled());
    Ctl("chkBackgroundObservation").UserClick();
    EXPECT_TRUE(Ctl("txtBelowNormal").Enabled() && Ctl("txtIdle").Enabled());
    Ctl("chkBackgroundObservation").UserClick();
    EXPECT_FALSE(Ctl("txtBelowNormal").Enabled() || Ctl("txtIdle").Enabled());
}

TEST_F(frmAdvancedTest, FieldsTakeDigitsOnlyAndCapOnLeaving) {
    modMain::ObserverSettings observers = engine.ObserverSettings();
    observers.iIdleCpuUsage = 3;
    engine.SetObserverSettings(observers);
    Load();
    Clear("txtBelowNormal");
    Type("txtBelowNormal", "a-5.x");
    EXPECT_EQ(Ctl("txtBelowNormal").Text(), "5");
    Ctl("txtBelowNormal").UserLeave();
    EXPECT_EQ(Ctl("txtIdle").Text(), "6");

    Clear("txtIdle");
    Type("txtIdle", "150");
    Ctl("txtIdle").UserLeave();
    EXPECT_EQ(Ctl("txtIdle").Text(), "100");

    Clear("txtIdle");
    Type("txtIdle", "50");
    Clear("txtBelowNormal");
    Type("txtBelowNormal", "95");
    Ctl("txtBelowNormal").UserLeave();
    EXPECT_EQ(Ctl("txtBelowNormal").Text(), "90");
    EXPECT_EQ(Ctl("txtIdle").Text(), "91");

    Clear("txtBelowNormal");
    Ctl("txtBelowNormal").UserLeave();
    EXPECT_EQ(Ctl("txtBelowNormal").Text(), "");
    EXPECT_EQ(Ctl("txtIdle").Text(), "91");
}

TEST_F(frmAdvancedTest, SliderGoesInSecondsAndChangesOnlyTheTextUntilApply) {
    Load();
    // One position a second from 2 s: from 4 s (8 ticks at 500 ms), three steps up.
    Control& slider = Ctl("Slider1");
    slider.UserSlide(slider.Value() + 3);
    EXPECT_EQ(Ctl("Label3").Caption(),
              "If an application has a cpu usage over 95% for over 7s boosting is turned off.");
    EXPECT_EQ(engine.MaxFailures(), 8);
    slider.UserSlide(slider.Max() + 50);  // the slider keeps to its range
    EXPECT_EQ(window->SliderTolerance(), 1000);
    slider.UserSlide(slider.Min());
    EXPECT_EQ(window->SliderTolerance(), 4);
    // A tolerance off the scale, typed into the settings by hand, is kept as it is.
    engine.SetMaxFailures(777);
    Load();
    Ctl("cmdOk").UserClick();
    EXPECT_EQ(engine.MaxFailures(), 777);
}

TEST_F(frmAdvancedTest, ApplyTakesTheValuesOverSavesAndLogs) {
    modMain::ObserverSettings observers = engine.ObserverSettings();
    observers.bBkgObservation = false;
    engine.SetObserverSettings(observers);
    desk.SetDateTimeText("09.12.2026 10:11:12");
    Load();
    Ctl("chkBackgroundObservation").UserClick();
    // Typed without leaving the field, then Apply from the keyboard.
    Clear("txtBelowNormal");
    Type("txtBelowNormal", "95");
    Clear("txtIdle");
    Type("txtIdle", "99999");
    Ctl("Slider1").UserSlide(window->SliderPositionOf(20));
    Ctl("cmdOk").UserClick();
    EXPECT_TRUE(engine.ObserverSettings().bBkgObservation);
    EXPECT_EQ(engine.ObserverSettings().iBelowNormalCpuUsage, 90);
    EXPECT_EQ(engine.ObserverSettings().iIdleCpuUsage, 100);
    EXPECT_EQ(Ctl("txtBelowNormal").Text(), "90");
    EXPECT_EQ(Ctl("txtIdle").Text(), "100");
    EXPECT_EQ(engine.MaxFailures(), 20);
    EXPECT_EQ(host.saves, 1);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines().back(), "[09.12.2026 10:11:12] Settings were saved.");

    // An empty field counts as 0; Idle then has to stay above it.
    Clear("txtBelowNormal");
    Clear("txtIdle");
    Ctl("cmdOk").UserClick();
    EXPECT_EQ(engine.ObserverSettings().iBelowNormalCpuUsage, 0);
    EXPECT_EQ(engine.ObserverSettings().iIdleCpuUsage, 1);
}

TEST_F(frmAdvancedTest, LayoutFillsTheWindowAndKeepsOptionsAtTheBottom) {
    Load();
    EXPECT_EQ(window->form().ClientWidth(), 11190);
    // The log and the changes held now share the upper part, side by side.
    EXPECT_EQ(Rect("frLog"), (TwipsRect{30, 30, 5550, 6990 - 3195 - 90}));
    EXPECT_EQ(Rect("lstLog"), (TwipsRect{30 + 120, 30 + 240, 5550 - 240, 3705 - 360}));
    EXPECT_EQ(Rect("frHeld"), (TwipsRect{30 + 5550 + 30, 30, 5550, 3705}));
    EXPECT_EQ(Rect("lstHeld"), (TwipsRect{5610 + 120, 30 + 240, 5550 - 240, 3705 - 360}));
    const TwipsRect options = Rect("frOptions");
    EXPECT_EQ(options.top + options.height, 6990 - 30);
    EXPECT_EQ(options.width, 11130);
    // Apply and the slider sit 120 twips inside the right edge of their frames.
    const TwipsRect bkg = Rect("frBackgroundObservation");
    EXPECT_EQ(bkg.width, 11130 - 240);
    EXPECT_EQ(Rect("cmdOk").left + Rect("cmdOk").width, bkg.left + bkg.width - 120);
    EXPECT_EQ(Rect("cmdOk").top, bkg.top + 1320);
    const TwipsRect hang = Rect("frHangupObservation");
    EXPECT_EQ(Rect("Slider1").left + Rect("Slider1").width, hang.left + hang.width - 120);
    EXPECT_EQ(Rect("txtIdle"), (TwipsRect{bkg.left + 180, bkg.top + 1440, 1935, 285}));
}

TEST_F(frmAdvancedTest, PositionIsSavedOnCloseAndRestoredWhenUsable) {
    Load();
    // No saved position: centred, designed size.
    EXPECT_EQ(window->form().Left(), (ui.ScreenWidth() - 11190) / 2);
    window->form().Move(3000, 2000);
    bool unloaded = false;
    window->OnUnloaded = [&] { unloaded = true; };
    window->form().RequestClose(CloseReason::UserClose);
    EXPECT_TRUE(unloaded);
    EXPECT_FALSE(window->Loaded());
    EXPECT_EQ(host.store["frmAdvanced.Left"], "3000");
    EXPECT_EQ(host.store["frmAdvanced.Top"], "2000");
    EXPECT_EQ(host.store["frmAdvanced.Width"], "11190");
    EXPECT_EQ(host.store["frmAdvanced.Height"], std::to_string(window->form().Height()));

    Load();
    EXPECT_EQ(window->form().Left(), 3000);
    EXPECT_EQ(window->form().Top(), 2000);

    host.store["frmAdvanced.Top"] = "oben";
    Load();
    EXPECT_EQ(window->form().Left(), (ui.ScreenWidth() - 11190) / 2);
    host.store["frmAdvanced.Top"] = "2000";
    host.store["frmAdvanced.Left"] = "-50000";
    Load();
    EXPECT_EQ(window->form().Left(), (ui.ScreenWidth() - 11190) / 2);
}

TEST_F(frmAdvancedTest, ASmallSavedSizeComesBackAtTheDesignSize) {
    host.store = {{"frmAdvanced.Left", "0"},
                  {"frmAdvanced.Top", "0"},
                  {"frmAdvanced.Width", "400"},
                  {"frmAdvanced.Height", "1000"}};
    Load();
    EXPECT_EQ(window->form().ClientWidth(), 11190);
    EXPECT_EQ(window->form().Height(), window->form().MinHeight());
    EXPECT_EQ(Rect("frLog").height, 6990 - 3195 - 90);
}

TEST_F(frmAdvancedTest, TheUserResizesTheWindowAndTheLayoutFollowsDownToTheDesignSize) {
    Load();
    EXPECT_EQ(window->form().Border(), FormBorder::Sizable);
    const std::int32_t designHeight = window->form().Height();
    EXPECT_EQ(window->form().MinClientWidth(), 11190);
    EXPECT_EQ(window->form().MinHeight(), designHeight);
    // Larger: the lists take the room, the options stay at the bottom.
    window->form().NotifyResized(11190 + 6000, designHeight + 3000);
    EXPECT_EQ(Rect("frLog").width, (11190 + 6000 - 90) / 2);
    EXPECT_EQ(Rect("frLog").height, 6990 + 3000 - 3195 - 90);
    EXPECT_EQ(Rect("lstHeld").width, Rect("frHeld").width - 240);
    EXPECT_EQ(Rect("frOptions").top + Rect("frOptions").height, 6990 + 3000 - 30);
    // Smaller than designed: held at the design size.
    window->form().NotifyResized(2000, 1000);
    EXPECT_EQ(window->form().ClientWidth(), 11190);
    EXPECT_EQ(window->form().Height(), designHeight);
    EXPECT_EQ(Rect("frLog"), (TwipsRect{30, 30, 5550, 6990 - 3195 - 90}));
    // The size is kept for the next time.
    window->form().NotifyResized(14000, designHeight + 1500);
    window->form().RequestClose(CloseReason::UserClose);
    EXPECT_EQ(host.store["frmAdvanced.Width"], "14000");
    Load();
    EXPECT_EQ(window->form().ClientWidth(), 14000);
    EXPECT_EQ(window->form().Height(), designHeight + 1500);
}

// The window beside the running main window.
class AdvancedWindowLifeTest : public testing::MainWindowTest {};

TEST_F(AdvancedWindowLifeTest, LoadedHiddenByTheFirstLineShownFromTheTray) {
    Start();
    ASSERT_NE(frm.Advanced(), nullptr);
    EXPECT_FALSE(frm.Advanced()->form().Visible());
    const std::vector<std::string> lines(log.Lines().begin(), log.Lines().end());
    EXPECT_EQ(Adv("lstLog").Items(), lines);
    EXPECT_EQ(Adv("lstLog").ListIndex(), static_cast<std::int32_t>(lines.size()) - 1);
    ChooseFromTray("mnuPop1Advanced");
    EXPECT_TRUE(frm.Advanced()->form().Visible());
    Front("/usr/bin/editor", "Notes");
    Tick();
    EXPECT_NE(Adv("lstLog").Items().back().find("Foreground application changed: Notes"),
              std::string::npos);
    EXPECT_EQ(Adv("lstLog").ListCount(), static_cast<std::int32_t>(log.Lines().size()));
}

TEST_F(AdvancedWindowLifeTest, ClosingDiscardsTheLogAndTheNextLineStartsAfresh) {
    Start();
    ChooseFromTray("mnuPop1Advanced");
    frm.Advanced()->form().RequestClose(CloseReason::UserClose);
    EXPECT_EQ(frm.Advanced(), nullptr);
    EXPECT_TRUE(log.Lines().empty());
    // Reopened before any new line: an empty log.
    ChooseFromTray("mnuPop1Advanced");
    ASSERT_NE(frm.Advanced(), nullptr);
    EXPECT_EQ(Adv("lstLog").ListCount(), 0);
    frm.Advanced()->form().RequestClose(CloseReason::UserClose);

    Front("/usr/bin/editor", "Notes");
    Tick();
    ASSERT_NE(frm.Advanced(), nullptr);
    EXPECT_FALSE(frm.Advanced()->form().Visible());
    ASSERT_EQ(Adv("lstLog").ListCount(), 1);
    EXPECT_NE(Adv("lstLog").List(0).find("Notes"), std::string::npos);
}

TEST_F(AdvancedWindowLifeTest, LogListFollowsTheLogPastItsLimit) {
    Start();
    for (int i = 0; i < 300; ++i) log.DoLog("line " + std::to_string(i), true);
    const std::vector<std::string> lines(log.Lines().begin(), log.Lines().end());
    EXPECT_EQ(Adv("lstLog").Items(), lines);
    EXPECT_EQ(Adv("lstLog").ListCount(), 250);
    EXPECT_EQ(Adv("lstLog").List(249), "line 299");
    EXPECT_EQ(Adv("lstLog").ListIndex(), 249);
}

TEST_F(AdvancedWindowLifeTest, ShutdownClosesTheWindow) {
    Start();
    ChooseFromTray("mnuPop1Advanced");
    frm.fEndTalvex();
    EXPECT_EQ(frm.Advanced(), nullptr);
    EXPECT_TRUE(ui.Ended());
}

}  // namespace
}  // namespace talvex
