#include "settings/modSettings.h"

#include <cctype>
#include <optional>

#include "settings/RuleText.h"
#include "settings/SettingText.h"
#include "settings/WindowPlacement.h"

namespace talvex::modSettings {

using platform::ISettingsStore;

namespace {

constexpr std::int32_t kFirstStartInterval = 500;
constexpr std::int32_t kMinInterval = 10;
constexpr std::int64_t kReachableSlackPixels = 100;

// Reads and writes "Kessaly"/"Talvex" keys.
class Keys {
  public:
    explicit Keys(ISettingsStore& store) : m_store(store) {}

    std::string Text(const char* key, const std::string& sDefault) {
        return m_store.GetSettingValue(kSettingsApp, kSettingsSection, key, sDefault);
    }
    std::int16_t Int16(const char* key, std::int16_t iDefault) {
        return ParseStoredInt16(Text(key, std::to_string(iDefault))).value_or(iDefault);
    }
    std::int32_t Int32(const char* key, std::int32_t lDefault) {
        return ParseStoredInt32(Text(key, std::to_string(lDefault))).value_or(lDefault);
    }
    bool Bool(const char* key, bool bDefault) {
        return ParseStoredBool(Text(key, StoredBoolText(bDefault))).value_or(bDefault);
    }
    void Save(const std::string& key, const std::string& sValue) {
        m_store.SaveSettingValue(kSettingsApp, kSettingsSection, key, sValue);
    }
    void Delete(const std::string& key) {
        m_store.DeleteSettingValue(kSettingsApp, kSettingsSection, key);
    }

  private:
    ISettingsStore& m_store;
};

std::string ItemKey(std::int32_t n) {
    return "CustomItems.Item" + std::to_string(n);
}

// Reads of one load see one state of the store, and the store reads its file once.
class ReadScope {
  public:
    explicit ReadScope(ISettingsStore& store) : m_store(store) { m_store.BeginUpdate(); }
    ~ReadScope() { m_store.CommitUpdate(); }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

  private:
    ISettingsStore& m_store;
};

void AddDefaultRules(TalvexItems& items, const SettingsDefaults& defaults) {
    for (const FirstStartRule& rule : defaults.firstStartRules) {
        items.fAddToTalvexItems(rule.sItem, 0, true, rule.bNoBkgObservation, false, false);
    }
    items.fAddToTalvexItems(defaults.sOwnExeName, 0, true, true, false, false);
}

// The refresh interval; on the very first start also the default rules.
std::int32_t ReadRefreshInterval(Keys& keys, TalvexItems& items, const SettingsDefaults& defaults) {
    const auto stored = ParseStoredInt16(keys.Text("General.RefreshRate", "0"));
    if (!stored) return kFirstStartInterval;  // damaged, but not a first start
    if (*stored == 0) {
        AddDefaultRules(items, defaults);
        return kFirstStartInterval;
    }
    return *stored < kMinInterval ? kFirstStartInterval : *stored;
}

// The stored number of rules. A count that cannot be read (a hand edit, a damaged
// file) takes the keys present, up to the first missing one, so no rule is lost.
std::int32_t StoredRuleCount(Keys& keys) {
    const auto count = ParseStoredInt16(keys.Text("CustomItems.Count", "0"));
    if (count && *count >= 0) return *count;
    std::int32_t n = 0;
    while (n < std::int32_t{TalvexItems::kMaxRules} && !keys.Text(ItemKey(n).c_str(), "").empty()) {
        ++n;
    }
    return n;
}

void ReadRules(Keys& keys, TalvexItems& items, std::string_view sOwnExeName) {
    const std::int32_t count = StoredRuleCount(keys);
    for (std::int32_t n = 0; n < count; ++n) {
        const auto rule = ParseRuleText(keys.Text(ItemKey(n).c_str(), ""), sOwnExeName);
        if (!rule) continue;
        const std::int32_t index = items.fAddToTalvexItems(
            rule->sItem, rule->iBoostLevel, rule->bNeverBoost, rule->bNoBkgObservation,
            rule->bNoHangUpObservation, rule->bNoHangUpObservationMsg);
        // Adding gives level -1 the global level, as for a new rule; a stored rule keeps
        // the level it was saved with ("neither blocked nor raised" included).
        if (index >= 0 && static_cast<std::size_t>(index) < items.Count()) {
            items.Edit(static_cast<std::size_t>(index)).iBoostLevel = rule->iBoostLevel;
        }
    }
}

bool IsPercent(std::int16_t value) {
    return value >= 0 && value <= 100;
}

std::int32_t Centre(std::int64_t screen, std::int64_t window) {
    return static_cast<std::int32_t>(screen / 2 - window / 2);
}

}  // namespace

std::string LanguageForLocale(std::string_view sLocale) {
    const auto starts = [sLocale](std::string_view code) {
        return sLocale.size() >= 2 && (sLocale[0] | 0x20) == code[0] &&
               (sLocale[1] | 0x20) == code[1] &&
               (sLocale.size() == 2 || !std::isalpha(static_cast<unsigned char>(sLocale[2])));
    };
    if (starts("de")) return "DE";
    if (starts("fr")) return "FR";
    return "EN";
}

std::vector<FirstStartRule> WindowsFirstStartRules() {
    return {{"taskmgr.exe", true}, {"ntvdm.exe", false}};
}

std::vector<FirstStartRule> LinuxFirstStartRules() {
    // The sound servers keep the sound going for every program: lowered, it drops out.
    return {{"gnome-system-monitor", true},
            {"plasma-systemmonitor", true},
            {"ksysguard", true},
            {"pipewire", true},
            {"wireplumber", true},
            {"pulseaudio", true},
            {"jackd", true}};
}

SettingsValues ReadSettings(ISettingsStore& store, TalvexItems& items,
                            const std::function<void(std::int16_t)>& setGlobalLevel,
                            const SettingsDefaults& defaults) {
    ReadScope scope(store);
    Keys keys(store);
    SettingsValues v;
    v.sLanguage = keys.Text("General.Language", defaults.sLanguage);
    if (v.sLanguage.empty()) v.sLanguage = defaults.sLanguage;
    v.iNewPriority = keys.Int16("Boost.NewPriority", v.iNewPriority);
    if (v.iNewPriority < 0 || v.iNewPriority > 2) v.iNewPriority = SettingsValues{}.iNewPriority;
    // The stored level is in force before the first rule is read.
    setGlobalLevel(v.iNewPriority);
    v.bAlwaysOnTop = keys.Bool("Window.AlwaysOnTop", v.bAlwaysOnTop);
    v.bAdvancedView = keys.Bool("Window.AdvancedView", v.bAdvancedView);
    v.bAutoUpdate = keys.Bool("General.AutoUpdate", v.bAutoUpdate);
    v.bBkgObservation = keys.Bool("BackgroundProcessObservation.Enabled", v.bBkgObservation);
    v.iBelowNormalCpuUsage =
        keys.Int16("BackgroundProcessObservation.BelowNormalCpuUsage", v.iBelowNormalCpuUsage);
    v.iIdleCpuUsage = keys.Int16("BackgroundProcessObservation.IdleCpuUsage", v.iIdleCpuUsage);
    const SettingsValues defaultValues;
    if (!IsPercent(v.iBelowNormalCpuUsage))
        v.iBelowNormalCpuUsage = defaultValues.iBelowNormalCpuUsage;
    if (!IsPercent(v.iIdleCpuUsage)) v.iIdleCpuUsage = defaultValues.iIdleCpuUsage;
    v.lMaxFailures = keys.Int32("HangupObservation.MaxFailures", v.lMaxFailures);
    v.lRefreshInterval = ReadRefreshInterval(keys, items, defaults);
    ReadRules(keys, items, defaults.sOwnExeName);
    return v;
}

WindowPosition ReadWindowPosition(ISettingsStore& store, const ScreenMetrics& s) {
    ReadScope scope(store);
    Keys keys(store);
    const std::int32_t centreLeft = Centre(s.screenWidth, s.windowWidth);
    const std::int32_t centreTop = Centre(s.screenHeight, s.windowHeight);
    WindowPosition pos;
    pos.left =
        ParseStoredTwips(keys.Text("Window.Left", std::to_string(centreLeft))).value_or(centreLeft);
    pos.top =
        ParseStoredTwips(keys.Text("Window.Top", std::to_string(centreTop))).value_or(centreTop);
    std::vector<platform::TwipsRect> screens = s.screens;
    if (screens.empty()) screens.push_back({0, 0, s.screenWidth, s.screenHeight});
    // Up to 100 pixels may hang over an edge; the window stays reachable.
    const placement::MinVisible keep{
        std::int64_t{s.windowWidth} - kReachableSlackPixels * s.twipsPerPixelX,
        std::int64_t{s.windowHeight} - kReachableSlackPixels * s.twipsPerPixelY};
    const platform::TwipsRect placed =
        placement::FitOnScreens({pos.left, pos.top, s.windowWidth, s.windowHeight}, screens, keep);
    pos.left = placed.left;
    pos.top = placed.top;
    return pos;
}

bool WriteSettings(ISettingsStore& store, const SettingsValues& v, const TalvexItems& items,
                   const WindowPosition& position) {
    store.BeginUpdate();
    Keys keys(store);
    keys.Save("Boost.NewPriority", std::to_string(v.iNewPriority));
    keys.Save("General.Language", v.sLanguage);
    keys.Save("Window.AlwaysOnTop", StoredBoolText(v.bAlwaysOnTop));
    keys.Save("Window.AdvancedView", StoredBoolText(v.bAdvancedView));
    keys.Save("General.RefreshRate", std::to_string(v.lRefreshInterval));
    keys.Save("General.AutoUpdate", StoredBoolText(v.bAutoUpdate));
    keys.Save("BackgroundProcessObservation.Enabled", StoredBoolText(v.bBkgObservation));
    keys.Save("BackgroundProcessObservation.BelowNormalCpuUsage",
              std::to_string(v.iBelowNormalCpuUsage));
    keys.Save("BackgroundProcessObservation.IdleCpuUsage", std::to_string(v.iIdleCpuUsage));
    keys.Save("HangupObservation.MaxFailures", std::to_string(v.lMaxFailures));

    const std::int32_t oldCount = StoredRuleCount(keys);
    // Every key of the previous save goes, empty ones included, so none lingers.
    for (std::int32_t n = 0; n < oldCount; ++n) keys.Delete(ItemKey(n));
    // The count comes from the rules themselves, so it always matches the keys below.
    keys.Save("CustomItems.Count", std::to_string(items.Count()));
    for (std::size_t i = 0; i < items.Count(); ++i) {
        keys.Save(ItemKey(static_cast<std::int32_t>(i)), RuleText(items[i]));
    }
    keys.Save("Window.Left", std::to_string(position.left));
    keys.Save("Window.Top", std::to_string(position.top));
    return store.CommitUpdate();
}

}  // namespace talvex::modSettings
