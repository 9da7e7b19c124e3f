#include "settings/modInstance.h"

namespace talvex::modInstance {

bool IsFirstInstance(platform::ISingleInstance& instance) {
    // Asked again while holding the lock: still the first copy, and the lock stays.
    if (instance.HoldsMutex()) return true;
    if (instance.CreateMutexA(kInstanceMutexName) == platform::MutexResult::AlreadyExists) {
        ReleaseInstanceMutex(instance);
        return false;
    }
    return true;
}

void ReleaseInstanceMutex(platform::ISingleInstance& instance) {
    instance.ReleaseMutex();
}

}  // namespace talvex::modInstance
