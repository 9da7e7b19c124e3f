#pragma once
// Loading and saving every option, the window position and the rule list through the
// settings store. The main window calls these from its fLoadSettings and fSaveSettings
// and applies the values to its controls itself.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ISettingsStore.h"
#include "platform/UiTypes.h"
#include "rules/TalvexItems.h"

namespace talvex {

inline constexpr const char* kSettingsApp = "Kessaly";
inline constexpr const char* kSettingsSection = "Talvex";

/// The options kept in the store, with the values an empty store gives.
struct SettingsValues {
    std::string sLanguage = "DE";   // "General.Language"
    std::int16_t iNewPriority = 1;  // "Boost.NewPriority": 0 Above Normal, 1 High, 2 Realtime
    bool bAlwaysOnTop = true;       // "Window.AlwaysOnTop"
    bool bAdvancedView = false;     // "Window.AdvancedView"
    bool bAutoUpdate = true;        // "General.AutoUpdate"
    bool bBkgObservation = true;    // "BackgroundProcessObservation.Enabled"
    std::int16_t iBelowNormalCpuUsage = 10;  // "...BelowNormalCpuUsage", percent
    std::int16_t iIdleCpuUsage = 40;         // "...IdleCpuUsage", percent
    std::int32_t lMaxFailures = 8;           // "HangupObservation.MaxFailures"
    std::int32_t lRefreshInterval = 500;     // "General.RefreshRate", ms of tmrRefresh
};

/// Sizes the placement of the main window depends on, all in twips.
struct ScreenMetrics {
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    std::int32_t windowWidth = 0;
    std::int32_t windowHeight = 0;
    std::int32_t twipsPerPixelX = 15;
    std::int32_t twipsPerPixelY = 15;
    /// Every screen of the desktop; empty means the one screen of the size above.
    std::vector<platform::TwipsRect> screens;
};

/// Left and top edge of the main window, in twips.
struct WindowPosition {
    std::int32_t left = 0;
    std::int32_t top = 0;
};

/// A rule the very first start installs: never boosted, and left out of background
/// observation when bNoBkgObservation is set.
struct FirstStartRule {
    std::string sItem;
    bool bNoBkgObservation = true;
};

namespace modSettings {

/// The task manager and the DOS box of Windows.
std::vector<FirstStartRule> WindowsFirstStartRules();
/// The system monitors of the Linux desktops (they measure every process themselves)
/// and the sound servers (lowered, the sound drops out): neither boosted nor lowered.
std::vector<FirstStartRule> LinuxFirstStartRules();

/// The interface language for a desktop language code ("de", "fr_FR"...): "DE" for
/// German, "FR" for French, "EN" for everything else, unknown included.
std::string LanguageForLocale(std::string_view sLocale);

}  // namespace modSettings

/// What a load falls back on where the store holds nothing.
struct SettingsDefaults {
    /// File name of this program, the name of its own first-start rule.
    std::string sOwnExeName = "talvex";
    /// The language when none is stored ("DE", "EN" or "FR").
    std::string sLanguage = "DE";
    /// The first-start rules that come before the program's own.
    std::vector<FirstStartRule> firstStartRules = modSettings::WindowsFirstStartRules();
};

namespace modSettings {

/// Reads the options and appends the stored rules to `items`, each with the level it
/// was stored with (-1, "neither blocked nor raised", included). The stored boost level
/// is handed to setGlobalLevel before the first rule is added. On the very first start
/// (no refresh rate stored yet, or 0) the first-start rules and the program's own rule
/// come first. A value that does not convert to its key's type gives that key's
/// default; a boost level outside 0 to 2 gives 1; a threshold outside 0 to 100 percent
/// gives its default; a refresh rate below 10 ms, or one that does not convert, gives
/// 500 ms. Rules whose text cannot be read are skipped. A rule count that cannot be
/// read reads the rules up to the first missing key.
SettingsValues ReadSettings(platform::ISettingsStore& store, TalvexItems& items,
                            const std::function<void(std::int16_t)>& setGlobalLevel,
                            const SettingsDefaults& defaults = {});

/// The stored window position, centred where nothing usable is stored. A window that
/// would end more than 100 pixels beyond an edge of the screen it is on, or lies on no
/// screen at all (a monitor unplugged), is centred on the nearest screen along that
/// axis; one whose top is above its screen, vertically. Read after the window has its
/// final size.
WindowPosition ReadWindowPosition(platform::ISettingsStore& store, const ScreenMetrics& screen);

/// Writes the options, the rules and the window position in one update. Rule keys of
/// the previous save are removed first, so no stale rule stays behind. False when the
/// store could not be written; it then holds what it held before.
bool WriteSettings(platform::ISettingsStore& store, const SettingsValues& values,
                   const TalvexItems& items, const WindowPosition& position);

}  // namespace modSettings
}  // namespace talvex
