#pragma once
// Starting with the user's session: the entry named by the application title, which
// starts the running program's own file.

#include "platform/IAutostart.h"

namespace talvex::modAutostart {

/// Writes (bEnable) or removes the entry. False when the list of session start-up
/// entries could not be opened (nothing changed then); whether the write or removal
/// itself worked is not examined.
bool SetAutostart(platform::IAutostart& autostart, bool bEnable);
/// Whether the entry exists and can be read; where it points is not compared.
bool IsAutostartSet(platform::IAutostart& autostart);

}  // namespace talvex::modAutostart
