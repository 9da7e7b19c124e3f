// Windows: the registry where the classic settings functions keep theirs, the Run key,
// and the named mutex.
#include "app/SystemServices.h"
#include "platform/win32/Win32Autostart.h"
#include "platform/win32/Win32SettingsStore.h"
#include "platform/win32/Win32SingleInstance.h"

namespace talvex::app {

SystemServices CreateSystemServices() {
    SystemServices system;
    system.settings = std::make_unique<platform::Win32SettingsStore>();
    system.autostart = std::make_unique<platform::Win32Autostart>();
    system.instance = std::make_unique<platform::Win32SingleInstance>();
    system.sOwnExeName = "talvex.exe";
    return system;
}

}  // namespace talvex::app
