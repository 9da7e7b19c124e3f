// A build without settings, autostart and instance backends: the program runs on its
// defaults, keeps nothing and never counts another copy.
#include "app/SystemServices.h"

namespace talvex::app {

SystemServices CreateSystemServices() {
    SystemServices system;
    system.sOwnExeName = "talvex";
    return system;
}

}  // namespace talvex::app
