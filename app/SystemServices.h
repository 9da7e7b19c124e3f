#pragma once
// The settings store, the session start-up list and the single-instance lock of this
// build's platform. Missing ones stay null; the main window copes without them.

#include <memory>
#include <string>
#include <vector>

#include "platform/IAutostart.h"
#include "platform/ISettingsStore.h"
#include "platform/ISingleInstance.h"
#include "settings/modSettings.h"

namespace talvex::app {

struct SystemServices {
    std::unique_ptr<platform::ISettingsStore> settings;
    std::unique_ptr<platform::IAutostart> autostart;
    std::unique_ptr<platform::ISingleInstance> instance;
    std::string sOwnExeName;
    /// The never-boost rules of the very first start, besides the program's own.
    std::vector<FirstStartRule> firstStartRules = modSettings::WindowsFirstStartRules();
    /// The program name the rule list's Add suggests.
    std::string sRuleExample = "example.exe";
    /// Where the settings are kept, for the message when they cannot be saved.
    std::string sSettingsPlace;
};

SystemServices CreateSystemServices();

}  // namespace talvex::app
