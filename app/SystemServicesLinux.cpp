// Linux: the INI file in the user's config folder, an XDG autostart entry and a file
// lock in the runtime folder.
#include "app/SystemServices.h"
#include "platform/linux/LinuxAutostart.h"
#include "platform/linux/LinuxSettingsStore.h"
#include "platform/linux/LinuxSingleInstance.h"

namespace talvex::app {

SystemServices CreateSystemServices() {
    SystemServices system;
    auto settings = platform::LinuxSettingsStore::FromEnvironment();
    system.sSettingsPlace = settings->FilePath(kSettingsApp, kSettingsSection);
    system.settings = std::move(settings);
    system.autostart = platform::LinuxAutostart::FromEnvironment();
    system.instance = platform::LinuxSingleInstance::FromEnvironment();
    system.sOwnExeName = "talvex";
    system.firstStartRules = modSettings::LinuxFirstStartRules();
    system.sRuleExample = "example";
    return system;
}

}  // namespace talvex::app
