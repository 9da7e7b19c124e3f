#include "platform/linux/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A link is replaced at its target, so a settings file kept elsewhere stays linked.
std::string ResolveLink(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Temporary files carry the pid of the program that wrote them. One left behind by a
// program that died before its rename is removed by the next save.
std::string TempPrefix(const std::string& name) {
    return "." + name + ".";
}

void RemoveOrphanedTemps(const std::string& folder, const std::string& name) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    const std::string prefix = TempPrefix(name);
    while (const dirent* entry = readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName.rfind(prefix, 0) != 0 || entryName.size() <= prefix.size() + 4) continue;
        if (entryName.compare(entryName.size() - 4, 4, ".tmp") != 0) continue;
        const std::string pidText =
            entryName.substr(prefix.size(), entryName.size() - prefix.size() - 4);
        char* end = nullptr;
        const long pid = std::strtol(pidText.c_str(), &end, 10);
        if (end == pidText.c_str() || *end != '\0' || pid <= 0 || pid == getpid()) continue;
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            unlink((folder + "/" + entryName).c_str());
        }
    }
    closedir(dir);
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& contents, std::size_t maxBytes) {
    contents.clear();
    // Non-blocking, so that a pipe put in the file's place cannot stop the program at
    // the open; only a regular file of a sensible size is read at all (a link to a
    // device such as /dev/zero would never end).
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        close(fd);
        return ReadResult::Failed;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            close(fd);
            contents.clear();
            return ReadResult::Failed;
        }
        if (got == 0) break;
        contents.append(buffer, static_cast<std::size_t>(got));
        // The file grew while it was read: too large as well.
        if (contents.size() > maxBytes) {
            close(fd);
            contents.clear();
            return ReadResult::Failed;
        }
    }
    close(fd);
    return ReadResult::Ok;
}

namespace {

bool Replace(const std::string& path, std::string_view contents, unsigned mode,
             const std::function<void()>& beforeRename, bool toDisk) {
    const std::string target = ResolveLink(path);
    const std::string folder = FolderOf(target);
    const std::string name = NameOf(target);
    if (name.empty() || !xdg::MakeFolders(folder)) return false;
    RemoveOrphanedTemps(folder, name);

    // The file the user already has keeps the permissions the user gave it.
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 07777;
    }
    const std::string temp = folder + "/" + TempPrefix(name) + std::to_string(getpid()) + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                        static_cast<mode_t>(mode));
    if (fd < 0) return false;
    // Only the bits asked for, whatever the temporary file's name held before.
    bool ok = fchmod(fd, static_cast<mode_t>(mode)) == 0 && WriteAll(fd, contents) &&
              (!toDisk || fsync(fd) == 0);
    ok = (close(fd) == 0) && ok;
    if (ok && beforeRename) beforeRename();
    if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    if (toDisk) SyncFolder(folder);
    return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view contents, unsigned mode,
                         const std::function<void()>& beforeRename) {
    return Replace(path, contents, mode, beforeRename, true);
}

bool ReplaceFileContentsUntilRestart(const std::string& path, std::string_view contents,
                                     unsigned mode) {
    return Replace(path, contents, mode, {}, false);
}

}  // namespace talvex::platform
