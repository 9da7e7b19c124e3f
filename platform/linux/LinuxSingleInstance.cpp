#include "platform/linux/LinuxSingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Trace.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

namespace {

// Opens a lock file of this user's own. A file another user made (in a runtime folder
// shared by mistake, or in /tmp) is no lock of ours, whether we may open it or not: its
// lock would tie our copies to theirs, or, unreadable, leave ours without any lock.
int OpenOwnLockFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

}  // namespace

LinuxSingleInstance::LinuxSingleInstance(std::string lockDir) : m_dir(std::move(lockDir)) {}

std::unique_ptr<LinuxSingleInstance> LinuxSingleInstance::FromEnvironment(
    const xdg::EnvLookup& env) {
    std::string why;
    auto lock = std::make_unique<LinuxSingleInstance>(xdg::PrivateFolder(env, &why));
    if (lock->m_dir.empty()) {
        lock->m_noPrivateFolder = true;
        trace::Write(trace::Level::Warning, "LinuxSingleInstance",
                     "no private folder for the lock, so another copy is assumed: " + why);
    } else {
        trace::Write(trace::Level::Info, "LinuxSingleInstance", "the lock is kept in " + why);
    }
    return lock;
}

LinuxSingleInstance::~LinuxSingleInstance() {
    ReleaseMutex();
}

MutexResult LinuxSingleInstance::CreateMutexA(const std::string& sName) {
    if (m_noPrivateFolder) return MutexResult::AlreadyExists;
    if (m_dir.empty() || sName.empty() || sName.find('/') != std::string::npos) {
        return MutexResult::Failed;
    }
    if (HoldsMutex()) return MutexResult::AlreadyExists;
    // Close-on-exec: a program started from here (a browser opened by the update
    // check) must not inherit the lock and keep it after Talvex has ended.
    const std::string path = m_dir + "/" + sName;
    int fd = OpenOwnLockFile(path);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == ELOOP)) {
        // The name is taken by somebody else: this user's copies meet under a name
        // that carries the user's id.
        fd = OpenOwnLockFile(path + "-" + std::to_string(geteuid()));
    }
    if (fd < 0) return MutexResult::Failed;
    int rc = 0;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        m_fd = fd;
        return MutexResult::Created;
    }
    const bool taken = errno == EWOULDBLOCK;
    close(fd);
    return taken ? MutexResult::AlreadyExists : MutexResult::Failed;
}

void LinuxSingleInstance::ReleaseMutex() {
    if (m_fd < 0) return;
    // The file stays: removing it would let a starting copy lock a file that another
    // copy is about to replace.
    flock(m_fd, LOCK_UN);
    close(m_fd);
    m_fd = -1;
}

}  // namespace talvex::platform
