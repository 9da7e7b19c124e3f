// Loading and saving the options, the rules and the window position.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/fake/FakeSettingsStore.h"
#include "settings/RuleText.h"
#include "settings/modSettings.h"

namespace talvex {
using namespace modSettings;
namespace {

using platform::FakeSettingsStore;

class modSettingsTest : public ::testing::Test {
  protected:
    void Put(const std::string& key, const std::string& value) {
        store.SaveSettingValue(kSettingsApp, kSettingsSection, key, value);
    }
    std::optional<std::string> Stored(const std::string& key) const {
        return store.Peek(kSettingsApp, kSettingsSection, key);
    }
    // Stores rules the way an earlier save would have, with a refresh rate, so no
    // default rules join them.
    void PutRules(const std::vector<std::string>& texts) {
        Put("General.RefreshRate", "500");
        Put("CustomItems.Count", std::to_string(texts.size()));
        for (std::size_t i = 0; i < texts.size(); ++i) {
            Put("CustomItems.Item" + std::to_string(i), texts[i]);
        }
    }
    SettingsValues Load() {
        items.Clear();
        return ReadSettings(store, items, [this](std::int16_t level) { global = level; });
    }
    bool Save(const SettingsValues& values = {}) {
        return WriteSettings(store, values, items, WindowPosition{120, 240});
    }
    std::vector<std::string> RuleTexts() const {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < items.Count(); ++i) texts.push_back(RuleText(items[i]));
        return texts;
    }
    std::vector<std::string> StoredItemKeys() const {
        std::vector<std::string> keys;
        for (const auto& [key, value] : store.Contents()) {
            if (std::get<2>(key).rfind("CustomItems.Item", 0) == 0)
                keys.push_back(std::get<2>(key));
        }
        return keys;
    }

    FakeSettingsStore store;
    std::int16_t global = 1;
    TalvexItems items{global};
};

TEST_F(modSettingsTest, EmptyStoreGivesEveryDefaultAndTheThreeDefaultRulesOnce) {
    const SettingsValues v = Load();
    EXPECT_EQ(v.sLanguage, "DE");
    EXPECT_EQ(v.iNewPriority, 1);
    EXPECT_TRUE(v.bAlwaysOnTop);
    EXPECT_FALSE(v.bAdvancedView);
    EXPECT_TRUE(v.bAutoUpdate);
    EXPECT_TRUE(v.bBkgObservation);
    EXPECT_EQ(v.iBelowNormalCpuUsage, 10);
    EXPECT_EQ(v.iIdleCpuUsage, 40);
    EXPECT_EQ(v.lMaxFailures, 8);
    EXPECT_EQ(v.lRefreshInterval, 500);
    EXPECT_EQ(RuleTexts(), (std::vector<std::string>{"taskmgr.exe|0|True|True|False|False|",
                                                     "ntvdm.exe|0|True|False|False|False|",
                                                     "talvex|0|True|True|False|False|"}));
    // After the first save the store is no longer empty: the next start reads the
    // same three rules back and adds no further ones.
    ASSERT_TRUE(Save(v));
    EXPECT_EQ(Stored("General.RefreshRate"), "500");
    EXPECT_EQ(Stored("CustomItems.Count"), "3");
    const auto before = RuleTexts();
    Load();
    EXPECT_EQ(RuleTexts(), before);
}

TEST_F(modSettingsTest, EveryOptionSurvivesASaveAndLoadInItsStoredForm) {
    SettingsValues v;
    v.sLanguage = "FR";
    v.iNewPriority = 2;
    v.bAlwaysOnTop = false;
    v.bAdvancedView = true;
    v.bAutoUpdate = false;
    v.bBkgObservation = false;
    v.iBelowNormalCpuUsage = 15;
    v.iIdleCpuUsage = 60;
    v.lMaxFailures = 100000;
    v.lRefreshInterval = 250;
    ASSERT_TRUE(Save(v));
    EXPECT_EQ(Stored("Boost.NewPriority"), "2");
    EXPECT_EQ(Stored("Window.AlwaysOnTop"), "False");
    EXPECT_EQ(Stored("Window.AdvancedView"), "True");
    EXPECT_EQ(Stored("HangupObservation.MaxFailures"), "100000");
    EXPECT_EQ(Stored("Window.Left"), "120");
    EXPECT_EQ(Stored("Window.Top"), "240");

    const SettingsValues back = Load();
    EXPECT_EQ(back.sLanguage, "FR");
    EXPECT_EQ(back.iNewPriority, 2);
    EXPECT_FALSE(back.bAlwaysOnTop);
    EXPECT_TRUE(back.bAdvancedView);
    EXPECT_FALSE(back.bAutoUpdate);
    EXPECT_FALSE(back.bBkgObservation);
    EXPECT_EQ(back.iBelowNormalCpuUsage, 15);
    EXPECT_EQ(back.iIdleCpuUsage, 60);
    EXPECT_EQ(back.lMaxFailures, 100000);
    EXPECT_EQ(back.lRefreshInterval, 250);
    EXPECT_EQ(items.Count(), 0u);
}

TEST_F(modSettingsTest, StoredValuesThatDoNotConvertFallBackToTheirDefault) {
    Put("General.RefreshRate", "500");
    Put("General.Language", "");
    Put("Boost.NewPriority", "7");
    Put("Window.AlwaysOnTop", "maybe");
    Put("Window.AdvancedView", "");
    Put("General.AutoUpdate", " fAlSe ");
    Put("BackgroundProcessObservation.Enabled", "0");
    Put("BackgroundProcessObservation.BelowNormalCpuUsage", "99999");
    Put("BackgroundProcessObservation.IdleCpuUsage", " 55 ");
    Put("HangupObservation.MaxFailures", "eight");
    SettingsValues v = Load();
    EXPECT_EQ(v.sLanguage, "DE");
    EXPECT_EQ(v.iNewPriority, 1);
    EXPECT_TRUE(v.bAlwaysOnTop);
    EXPECT_FALSE(v.bAdvancedView);
    EXPECT_FALSE(v.bAutoUpdate);
    EXPECT_FALSE(v.bBkgObservation);
    EXPECT_EQ(v.iBelowNormalCpuUsage, 10);
    EXPECT_EQ(v.iIdleCpuUsage, 55);
    EXPECT_EQ(v.lMaxFailures, 8);

    // Boost levels: only 0 to 2 have an option button.
    for (const auto& [text, level] : std::vector<std::pair<std::string, int>>{
             {"-1", 1}, {"3", 1}, {"x", 1}, {"0", 0}, {" 2 ", 2}, {"+1", 1}, {"1.5", 1}}) {
        Put("Boost.NewPriority", text);
        EXPECT_EQ(Load().iNewPriority, level) << text;
    }
    // Booleans: any letter case, or a number.
    for (const auto& [text, value] : std::vector<std::pair<std::string, bool>>{
             {"TRUE", true}, {"false", false}, {"5", true}, {"-1", true}, {"0", false}}) {
        Put("Window.AlwaysOnTop", text);
        EXPECT_EQ(Load().bAlwaysOnTop, value) << text;
    }
}

// On Linux the first start names the sound servers, so the user sees why they are never
// lowered: every one of them, by its installed path, finds a rule that exempts it.
TEST_F(modSettingsTest, TheLinuxFirstStartLeavesEverySoundServerUnobserved) {
    SettingsDefaults onLinux;
    onLinux.firstStartRules = modSettings::LinuxFirstStartRules();
    items.Clear();
    ReadSettings(
        store, items, [this](std::int16_t level) { global = level; }, onLinux);
    for (const char* path :
         {"/usr/bin/pipewire", "/usr/bin/pipewire-pulse", "/usr/bin/wireplumber",
          "/usr/bin/pulseaudio", "/usr/bin/jackd", "/usr/bin/gnome-system-monitor"}) {
        const std::int16_t rule = items.fFindInTalvexItems(path);
        ASSERT_GE(rule, 0) << path;
        EXPECT_TRUE(items[static_cast<std::size_t>(rule)].bNoBkgObservation) << path;
        EXPECT_TRUE(items[static_cast<std::size_t>(rule)].bNeverBoost) << path;
    }
    EXPECT_LT(items.fFindInTalvexItems("/usr/bin/pipe"), 0);
}

TEST_F(modSettingsTest, RefreshRateDecidesTheFirstStartAndTheInterval) {
    struct Case {
        std::string stored;
        std::int32_t interval;
        std::size_t defaultRules;
    };
    for (const Case& c : std::vector<Case>{{"0", 500, 3},
                                           {"5", 500, 0},
                                           {"-20", 500, 0},
                                           {"10", 10, 0},
                                           {"250", 250, 0},
                                           {"32767", 32767, 0},
                                           {"40000", 500, 0},
                                           {"fast", 500, 0}}) {
        Put("General.RefreshRate", c.stored);
        EXPECT_EQ(Load().lRefreshInterval, c.interval) << c.stored;
        EXPECT_EQ(items.Count(), c.defaultRules) << c.stored;
    }
}

TEST_F(modSettingsTest, SevenPieceRuleIsRestoredAndSavedToTheIdenticalText) {
    const std::vector<std::string> texts{"firefox|2|False|True|True|False|",
                                         "/opt/Game Studio/game.bin|-1|False|False|False|True|",
                                         "tab\tand\nline|1|True|False|True|True|"};
    PutRules(texts);
    Put("Boost.NewPriority", "2");
    Load();
    ASSERT_EQ(items.Count(), 3u);
    EXPECT_EQ(items[0].sItem, "firefox");
    EXPECT_EQ(items[0].iBoostLevel, 2);
    EXPECT_FALSE(items[0].bNeverBoost);
    EXPECT_TRUE(items[0].bNoBkgObservation);
    EXPECT_TRUE(items[0].bNoHangUpObservation);
    EXPECT_FALSE(items[0].bNoHangUpObservationMsg);
    EXPECT_TRUE(items[1].bNoHangUpObservationMsg);
    ASSERT_TRUE(Save());
    EXPECT_EQ(Stored("CustomItems.Item0"), texts[0]);
    EXPECT_EQ(Stored("CustomItems.Item2"), texts[2]);
    // Level -1 ("neither blocked nor raised") is kept, not turned into the global level.
    EXPECT_EQ(Stored("CustomItems.Item1"), texts[1]);
}

TEST_F(modSettingsTest, StoredLevelComesBackAsStoredWhateverTheGlobalLevel) {
    // Only a new rule takes the global level; a stored one keeps its own, -1 included,
    // through any number of restarts.
    for (const char* global : {"0", "1", "2"}) {
        for (const char* level : {"-1", "0", "1", "2"}) {
            for (const char* never : {"True", "False"}) {
                const std::string text =
                    std::string("game.bin|") + level + "|" + never + "|False|False|False|";
                PutRules({text});
                Put("Boost.NewPriority", global);
                Load();
                ASSERT_EQ(items.Count(), 1u) << text;
                EXPECT_EQ(items[0].iBoostLevel, std::stoi(level)) << text << " at " << global;
                ASSERT_TRUE(Save());
                Load();
                EXPECT_EQ(RuleTexts(), std::vector<std::string>{text}) << text << " at " << global;
            }
        }
    }
    // A rule added now with -1 still takes the global level in force.
    global = 2;
    items.fAddToTalvexItems("newcomer", -1, false, false, false, false);
    EXPECT_EQ(items[items.Count() - 1].iBoostLevel, 2);
}

TEST_F(modSettingsTest, OlderLayoutsFillTheMissingFields) {
    PutRules({"taskmgr.exe|0|True|", "TALVEX|1|true|", "gimp-2.10|1|False|",
              "blender|2|False|True|True|"});
    Load();
    ASSERT_EQ(items.Count(), 4u);
    // Three fields: the task manager and this program stay out of background observation.
    EXPECT_TRUE(items[0].bNeverBoost);
    EXPECT_TRUE(items[0].bNoBkgObservation);
    EXPECT_TRUE(items[1].bNoBkgObservation);
    EXPECT_FALSE(items[2].bNoBkgObservation);
    EXPECT_FALSE(items[2].bNeverBoost);
    EXPECT_FALSE(items[2].bNoHangUpObservation);
    EXPECT_FALSE(items[2].bNoHangUpObservationMsg);
    // Five fields: no hang-up message flag yet.
    EXPECT_EQ(items[3].iBoostLevel, 2);
    EXPECT_TRUE(items[3].bNoBkgObservation);
    EXPECT_TRUE(items[3].bNoHangUpObservation);
    EXPECT_FALSE(items[3].bNoHangUpObservationMsg);
    // The old name of this program counts too, in any letter case.
    EXPECT_TRUE(ParseRuleText("Talvex.EXE|0|True|", "talvex")->bNoBkgObservation);
}

TEST_F(modSettingsTest, UnreadableRulesAreSkippedAndGoneAfterTheNextSave) {
    PutRules({"abc", "gimp|1|True|True|", "kate|1|False|False|False|False|", "x|y|z",
              "name|high|True|", "vlc|1|False|perhaps|False|False|", ""});
    Load();
    ASSERT_EQ(items.Count(), 1u);
    EXPECT_EQ(items[0].sItem, "kate");
    ASSERT_TRUE(Save());
    EXPECT_EQ(Stored("CustomItems.Count"), "1");
    EXPECT_EQ(StoredItemKeys(), std::vector<std::string>{"CustomItems.Item0"});
    EXPECT_EQ(Stored("CustomItems.Item0"), "kate|1|False|False|False|False|");
}

TEST_F(modSettingsTest, UnreadableCountReadsTheRulesUpToTheFirstMissingKeyAndLosesNone) {
    const std::vector<std::string> texts{"alpha|0|False|False|False|False|",
                                         "bravo|1|False|False|False|False|",
                                         "charlie|2|False|False|False|False|"};
    for (const char* count : {"", "many", "70000", "-1", "3.5"}) {
        store = FakeSettingsStore();
        PutRules(texts);
        Put("CustomItems.Item4", "after|1|False|False|False|False|");  // beyond a gap
        Put("CustomItems.Count", count);
        Load();
        EXPECT_EQ(RuleTexts(), texts) << "Count=" << count;
        ASSERT_TRUE(Save());
        EXPECT_EQ(Stored("CustomItems.Count"), "3") << count;
        Load();
        EXPECT_EQ(RuleTexts(), texts) << "Count=" << count;
    }
}

TEST_F(modSettingsTest, ThresholdsOutsideZeroToHundredFallBackToTheirDefaults) {
    Put("General.RefreshRate", "500");
    for (const auto& [text, below, idle] :
         std::vector<std::tuple<std::string, int, int>>{{"0", 0, 0},
                                                        {"100", 100, 100},
                                                        {"101", 10, 40},
                                                        {"-1", 10, 40},
                                                        {"32767", 10, 40},
                                                        {"-32768", 10, 40},
                                                        {"55", 55, 55}}) {
        Put("BackgroundProcessObservation.BelowNormalCpuUsage", text);
        Put("BackgroundProcessObservation.IdleCpuUsage", text);
        const SettingsValues v = Load();
        EXPECT_EQ(v.iBelowNormalCpuUsage, below) << text;
        EXPECT_EQ(v.iIdleCpuUsage, idle) << text;
    }
}

TEST_F(modSettingsTest, DeletedRuleLeavesNoStaleKeyAndCountFollowsTheRules) {
    PutRules({"alpha|0|False|False|False|False|", "bravo|1|False|False|False|False|",
              "charlie|2|False|False|False|False|"});
    Load();
    ASSERT_TRUE(items.fDeleteFromTalvexItems("alpha"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Stored("CustomItems.Count"), "2");
    EXPECT_EQ(StoredItemKeys(),
              (std::vector<std::string>{"CustomItems.Item0", "CustomItems.Item1"}));
    Load();
    EXPECT_EQ(RuleTexts(), (std::vector<std::string>{"charlie|2|False|False|False|False|",
                                                     "bravo|1|False|False|False|False|"}));
}

TEST_F(modSettingsTest, NameWithBarsSurvivesARestart) {
    items.fAddToTalvexItems("odd|name.exe", 2, false, true, false, true);
    ASSERT_TRUE(Save());
    Load();
    ASSERT_EQ(items.Count(), 1u);
    EXPECT_EQ(items[0].sItem, "odd|name.exe");
    EXPECT_EQ(items[0].iBoostLevel, 2);
    EXPECT_TRUE(items[0].bNoHangUpObservationMsg);
}

TEST_F(modSettingsTest, FailedSaveLeavesTheStoreAsItWas) {
    PutRules({"kate|1|False|False|False|False|"});
    const auto before = store.Contents();
    Load();
    items.fAddToTalvexItems("gimp", 1, false, false, false, false);
    store.SetWritesFail(true);
    SettingsValues v;
    v.sLanguage = "EN";
    EXPECT_FALSE(Save(v));
    EXPECT_EQ(store.Contents(), before);
    store.SetWritesFail(false);
    EXPECT_TRUE(Save(v));
    EXPECT_EQ(Stored("CustomItems.Count"), "2");
    EXPECT_EQ(Stored("General.Language"), "EN");
}

class WindowPositionTest : public modSettingsTest {
  protected:
    // A 1024 x 768 pixel screen at 15 twips per pixel and a 5700 x 3375 twip window.
    ScreenMetrics screen{15360, 11520, 5700, 3375, 15, 15, {}};
    WindowPosition Read() { return ReadWindowPosition(store, screen); }
};

TEST_F(WindowPositionTest, NothingStoredCentresTheWindow) {
    EXPECT_EQ(Read().left, 15360 / 2 - 5700 / 2);
    EXPECT_EQ(Read().top, 11520 / 2 - 3375 / 2);
    Put("Window.Left", "here");
    Put("Window.Top", "");
    EXPECT_EQ(Read().left, 4830);
    EXPECT_EQ(Read().top, 4073);
}

TEST_F(WindowPositionTest, StoredPositionIsKeptWhileTheWindowStaysReachable) {
    Put("Window.Left", "300");
    Put("Window.Top", " 450.4 ");
    EXPECT_EQ(Read().left, 300);
    EXPECT_EQ(Read().top, 450);
    Put("Window.Left", "1234,6");  // written where a comma marks the fraction
    EXPECT_EQ(Read().left, 1235);
    // Off the left or top edge: kept where a second monitor is there...
    Put("Window.Left", "-9000");
    Put("Window.Top", "-3000");
    screen.screens = {{0, 0, 15360, 11520}, {-19200, -4500, 19200, 14400}};
    EXPECT_EQ(Read().left, -9000);
    EXPECT_EQ(Read().top, -3000);
    // ...and back on the one screen left once it is gone.
    screen.screens = {{0, 0, 15360, 11520}};
    EXPECT_EQ(Read().left, 4830);
    EXPECT_EQ(Read().top, 4073);
    // Reaching 100 pixels over the left edge still stays; more does not.
    Put("Window.Left", "-1500");
    EXPECT_EQ(Read().left, -1500);
    Put("Window.Left", "-1501");
    EXPECT_EQ(Read().left, 4830);
}

TEST_F(WindowPositionTest, MoreThanHundredPixelsBeyondTheRightOrBottomEdgeComesBackToTheCentre) {
    // Right edge 50 pixels beyond the border: stays.
    Put("Window.Left", std::to_string(15360 - 5700 + 50 * 15));
    EXPECT_EQ(Read().left, 15360 - 5700 + 750);
    // Exactly 100 pixels beyond: still stays; one twip more: centred.
    Put("Window.Left", std::to_string(15360 - 5700 + 1500));
    EXPECT_EQ(Read().left, 15360 - 5700 + 1500);
    Put("Window.Left", std::to_string(15360 - 5700 + 1501));
    EXPECT_EQ(Read().left, 4830);
    // The top is judged on its own.
    Put("Window.Top", std::to_string(11520 - 3375 + 1501));
    Put("Window.Left", "0");
    EXPECT_EQ(Read().left, 0);
    EXPECT_EQ(Read().top, 4073);
    // Values near the ends of the range neither overflow nor stay off screen.
    Put("Window.Left", "2147483000");
    Put("Window.Top", "9e99");
    EXPECT_EQ(Read().left, 4830);
    EXPECT_EQ(Read().top, 4073);
}

}  // namespace
}  // namespace talvex
