#pragma once
// The single-instance lock as a file lock: lock "TalvexApp" is an flock on the file
// <runtime folder>/TalvexApp. The kernel drops the lock when the program ends in any
// way, so a copy that crashed or was killed leaves nothing behind. When another user's
// file has that name (a shared folder), the lock is <runtime folder>/TalvexApp-UID.

#include <memory>
#include <string>

#include "platform/ISingleInstance.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

class LinuxSingleInstance final : public ISingleInstance {
  public:
    /// `lockDir` holds the lock files; empty makes every CreateMutexA fail.
    explicit LinuxSingleInstance(std::string lockDir);
    /// The lock in xdg::PrivateFolder: $XDG_RUNTIME_DIR, or $XDG_STATE_HOME/talvex when
    /// that is unset. When no folder of the user's own can be had (one another user
    /// made first, say), CreateMutexA answers AlreadyExists: a lock that anybody else
    /// can keep from being taken does not make this copy the first.
    static std::unique_ptr<LinuxSingleInstance> FromEnvironment(
        const xdg::EnvLookup& env = xdg::ProcessEnv);
    ~LinuxSingleInstance() override;
    LinuxSingleInstance(const LinuxSingleInstance&) = delete;
    LinuxSingleInstance& operator=(const LinuxSingleInstance&) = delete;

    const std::string& LockDir() const { return m_dir; }

    MutexResult CreateMutexA(const std::string& sName) override;
    void ReleaseMutex() override;
    bool HoldsMutex() const override { return m_fd >= 0; }

  private:
    std::string m_dir;
    int m_fd = -1;
    bool m_noPrivateFolder = false;
};

}  // namespace talvex::platform
