#include "platform/linux/FlatpakApp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/linux/ProcStat.h"

namespace talvex::platform {

namespace {

constexpr std::size_t kMaxIdLength = 255;
constexpr off_t kMaxInfoSize = 64 * 1024;

// The sandbox's info file, read only when it is a small regular file: the process
// chooses what lies at that path in its own mount namespace, and a pipe or a device
// there must neither block nor flood Talvex.
std::optional<std::string> ReadInfoFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxInfoSize) {
        std::string buffer(static_cast<std::size_t>(kMaxInfoSize), '\0');
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n >= 0) text = buffer.substr(0, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// An application id: at least two dot-separated parts of letters, digits, '_' and '-',
// none empty. Anything else (a path, a blank, a control character) is no id.
bool IsAppId(std::string_view id) {
    if (id.empty() || id.size() > kMaxIdLength || id.front() == '.' || id.back() == '.' ||
        id.find("..") != std::string_view::npos || id.find('.') == std::string_view::npos) {
        return false;
    }
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    });
}

// Calls `line` for every line of `text` until it returns true.
template <typename F>
bool AnyLine(std::string_view text, F line) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (line(text.substr(0, end))) return true;
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return false;
}

}  // namespace

std::optional<std::string> AppIdFromFlatpakInfo(std::string_view text) {
    bool inApplication = false;
    std::optional<std::string> found;
    AnyLine(text, [&](std::string_view raw) {
        const std::string_view line = Trimmed(raw);
        if (line.starts_with('[')) {
            inApplication = line == "[Application]";
        } else if (inApplication && line.starts_with("name")) {
            const std::string_view rest = Trimmed(line.substr(4));
            if (rest.starts_with('=')) {
                const std::string_view id = Trimmed(rest.substr(1));
                if (IsAppId(id)) found = std::string(id);
                return true;
            }
        }
        return false;
    });
    return found;
}

std::optional<std::string> AppIdFromCgroups(std::string_view text) {
    constexpr std::string_view kPrefix = "app-flatpak-";
    constexpr std::string_view kSuffix = ".scope";
    std::optional<std::string> found;
    AnyLine(text, [&](std::string_view line) {
        // Each line ends in the path of the group: the unit is one of its parts.
        for (auto at = line.find(kPrefix); at != std::string_view::npos;
             at = line.find(kPrefix, at + 1)) {
            if (at == 0 || line[at - 1] != '/') continue;
            std::string_view unit = line.substr(at + kPrefix.size());
            unit = unit.substr(0, unit.find('/'));
            if (!unit.ends_with(kSuffix)) continue;
            unit.remove_suffix(kSuffix.size());
            const auto dash = unit.rfind('-');
            if (dash == std::string_view::npos || dash + 1 == unit.size()) continue;
            const std::string_view number = unit.substr(dash + 1);
            if (number.find_first_not_of("0123456789") != std::string_view::npos) continue;
            const std::string_view id = unit.substr(0, dash);
            if (!IsAppId(id)) continue;
            found = std::string(id);
            return true;
        }
        return false;
    });
    return found;
}

std::string FlatpakAppId(std::int32_t pid) {
    if (pid <= 0) return {};
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/root/.flatpak-info", static_cast<int>(pid));
    if (const auto info = ReadInfoFile(path)) {
        if (auto id = AppIdFromFlatpakInfo(*info)) return *id;
    }
    std::snprintf(path, sizeof path, "/proc/%d/cgroup", static_cast<int>(pid));
    if (const auto groups = linux_proc::ReadProcText(path)) {
        if (auto id = AppIdFromCgroups(*groups)) return *id;
    }
    return {};
}

}  // namespace talvex::platform
