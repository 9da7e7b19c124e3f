#include "platform/linux/XdgPaths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace talvex::platform::xdg {

namespace {

std::string AbsoluteOrEmpty(const char* value) {
    if (value == nullptr || value[0] != '/') return {};
    return value;
}

std::string HomeFromPasswd() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result) {
        return {};
    }
    return AbsoluteOrEmpty(result->pw_dir);
}

// $<variable> when it is an absolute path, else <home>/<below>; empty when unknown.
std::string BaseFolder(const EnvLookup& env, const char* variable, const char* below) {
    if (std::string folder = AbsoluteOrEmpty(env(variable)); !folder.empty()) return folder;
    std::string home = AbsoluteOrEmpty(env("HOME"));
    if (home.empty()) home = HomeFromPasswd();
    if (home.empty()) return {};
    if (home.back() == '/') home.pop_back();
    return home + below;
}

// A folder of this user's own, not a link, that nobody else may write into.
bool IsOwnClosedFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 0022) == 0;
}

}  // namespace

const char* ProcessEnv(const char* name) {
    return std::getenv(name);
}

std::string ConfigHome(const EnvLookup& env) {
    return BaseFolder(env, "XDG_CONFIG_HOME", "/.config");
}

std::string StateHome(const EnvLookup& env) {
    return BaseFolder(env, "XDG_STATE_HOME", "/.local/state");
}

bool MakePrivateFolder(const std::string& path) {
    if (path.empty() || !MakeFolders(path, 0700)) return false;
    // Opened without following a link: whatever the checks see is the folder itself.
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool safe = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
    if (safe && (info.st_mode & 0077) != 0) safe = fchmod(fd, 0700) == 0;
    close(fd);
    return safe;
}

std::string PrivateFolder(const EnvLookup& env, std::string* why) {
    const auto say = [&](std::string text) {
        if (why) *why = std::move(text);
    };
    const std::string runtime = RuntimeDir(env);
    if (!runtime.empty() && IsOwnClosedFolder(runtime)) {
        say("the runtime folder " + runtime);
        return runtime;
    }
    const std::string state = StateHome(env);
    const std::string folder = state.empty() ? std::string() : state + "/talvex";
    const std::string reason = runtime.empty() ? "XDG_RUNTIME_DIR is unset"
                                               : "XDG_RUNTIME_DIR is not a private folder of "
                                                 "this user (" +
                                                     runtime + ")";
    if (!folder.empty() && MakePrivateFolder(folder)) {
        say("the folder " + folder + " (" + reason + ")");
        return folder;
    }
    say(reason + ", and " +
        (folder.empty() ? std::string("no home folder is known")
                        : folder + " is not a private folder of this user"));
    return {};
}

std::string RuntimeDir(const EnvLookup& env) {
    return AbsoluteOrEmpty(env("XDG_RUNTIME_DIR"));
}

std::string OwnExecutablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    // A program file replaced while it runs (an update) is reported with this mark;
    // the new file under the same name is the one to start next time.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() &&
        path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        path.resize(path.size() - kDeleted.size());
    }
    return path;
}

bool MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace talvex::platform::xdg
