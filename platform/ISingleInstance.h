#pragma once
// A named lock shared by the copies of the program that one user runs. Operations carry
// the names of the Windows calls they stand in for (a named mutex).

#include <string>

namespace talvex::platform {

/// What CreateMutexA found.
enum class MutexResult {
    Created,        // this program holds the lock now
    AlreadyExists,  // another running copy holds it; nothing is held here
    Failed,         // the lock could not be made at all; nothing is held here
};

class ISingleInstance {
  public:
    virtual ~ISingleInstance() = default;

    /// Takes the lock sName for this program. Held until ReleaseMutex or the end of the
    /// process, whichever comes first (the system drops it when the program dies).
    virtual MutexResult CreateMutexA(const std::string& sName) = 0;
    /// Lets go of the lock (ReleaseMutex and CloseHandle); nothing when none is held.
    virtual void ReleaseMutex() = 0;
    /// Whether this program holds the lock now.
    virtual bool HoldsMutex() const = 0;
};

}  // namespace talvex::platform
