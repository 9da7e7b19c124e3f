#pragma once
// Noticing another running copy: the first copy holds the lock "TalvexApp" from
// start-up to shutdown; a later copy only tests for it.

#include "platform/ISingleInstance.h"

namespace talvex::modInstance {

inline constexpr const char* kInstanceMutexName = "TalvexApp";

/// True when no other running copy holds the lock; this copy then holds it. False when
/// one does; nothing is held here then. A lock that cannot be made at all counts as
/// being the first copy, without an effective lock.
bool IsFirstInstance(platform::ISingleInstance& instance);
/// Lets go of the lock; does nothing when none is held, so it may run twice.
void ReleaseInstanceMutex(platform::ISingleInstance& instance);

}  // namespace talvex::modInstance
