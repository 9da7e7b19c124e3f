#include "platform/linux/LinuxSingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

LinuxSingleInstance::LinuxSingleInstance(std::string lockDir) : m_dir(std::move(lockDir)) {}

std::unique_ptr<LinuxSingleInstance> LinuxSingleInstance::FromEnvironment() {
    std::string dir = xdg::RuntimeDir();
    if (dir.empty()) dir = xdg::PrivateFallbackDir();
    return std::make_unique<LinuxSingleInstance>(dir);
}

LinuxSingleInstance::~LinuxSingleInstance() {
    ReleaseMutex();
}

MutexResult LinuxSingleInstance::CreateMutexA(const std::string& sName) {
    if (m_dir.empty() || sName.empty() || sName.find('/') != std::string::npos) {
        return MutexResult::Failed;
    }
    if (HoldsMutex()) return MutexResult::AlreadyExists;
    // Close-on-exec: a program started from here (a browser opened by the update
    // check) must not inherit the lock and keep it after Talvex has ended.
    const std::string path = m_dir + "/" + sName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
