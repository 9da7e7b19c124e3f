#include "settings/modAutostart.h"

#include "engine/Version.h"

namespace talvex::modAutostart {

bool SetAutostart(platform::IAutostart& autostart, bool bEnable) {
    if (!autostart.RegOpenKeyExA(true)) return false;
    if (bEnable) {
        autostart.RegSetValueExA(kProductName, autostart.ProgramPath());
    } else {
        autostart.RegDeleteValueA(kProductName);
    }
    return true;
}

bool IsAutostartSet(platform::IAutostart& autostart) {
    if (!autostart.RegOpenKeyExA(false)) return false;
    return autostart.RegQueryValueExA(kProductName).has_value();
}

}  // namespace talvex::modAutostart
