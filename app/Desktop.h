#pragma once
// The desktop services the program runs on: processes, windows and the clock. Which
// backend provides them is decided by the build (app/CMakeLists.txt), not here.

#include <memory>

#include "platform/IClock.h"
#include "platform/ICpuGroups.h"
#include "platform/IForegroundSource.h"
#include "platform/IProcessApi.h"
#include "platform/IWindowApi.h"

namespace talvex::app {

class Desktop {
  public:
    virtual ~Desktop() = default;
    virtual platform::IProcessApi& Processes() = 0;
    virtual platform::IWindowApi& Windows() = 0;
    virtual platform::IClock& Clock() = 0;
    /// Where the desktop announces foreground changes; null when it does not.
    virtual platform::IForegroundSource* Foreground() { return nullptr; }
    /// The CPU use of the user's application groups; null where the system has none.
    virtual platform::ICpuGroups* CpuGroups() { return nullptr; }
};

std::unique_ptr<Desktop> CreateDesktop();

/// Exit code of --restore when there is no folder for the record, or something could
/// not be put back (it stays on record).
inline constexpr int kExitRestoreIncomplete = 1;
/// Undoes what copies of Talvex that ended without undoing left changed, printing one
/// line for each change put back; the exit code for --restore (0, or
/// kExitRestoreIncomplete).
int UndoEarlierRuns();

}  // namespace talvex::app
