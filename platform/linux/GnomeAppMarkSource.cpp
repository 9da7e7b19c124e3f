#include "platform/linux/GnomeAppMarkSource.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <set>
#include <vector>

#include "platform/linux/ProcStat.h"

namespace talvex::platform {

using namespace linux_proc;

namespace {

// app.slice, a sub-slice per application, perhaps one more level: deeper is not GNOME's.
constexpr int kMaxSliceDepth = 3;
// No application runs this many processes in one unit; the rest are not looked at.
constexpr std::size_t kMaxProcesses = 4096;
constexpr std::size_t kMaxMark = 64;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsUnitName(const std::string& name) {
    return EndsWith(name, ".scope") || EndsWith(name, ".service");
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "-1" (as Mutter writes it, perhaps with a NUL or a line end) marks the unit in front;
// a time, or anything damaged, does not.
bool MarksFront(const std::optional<std::string>& mark) {
    if (!mark) return false;
    std::string value = *mark;
    while (!value.empty() && (value.back() == '\0' || value.back() == '\n' || value.back() == ' '))
        value.pop_back();
    return value == "-1";
}

// systemd escapes a unit name's special characters as \xNN.
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text.compare(i, 2, "\\x") == 0 && i + 4 <= text.size() &&
            std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16).ptr ==
                text.data() + i + 4) {
            out += static_cast<char>(value);
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
         start = end + 1) {
        parts.push_back(text.substr(start, end - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string JoinFrom(const std::vector<std::string>& parts, std::size_t first, std::size_t end) {
    std::string out;
    for (std::size_t i = first; i < end; ++i) out += (i == first ? "" : "-") + parts[i];
    return out;
}

}  // namespace

GnomeAppMarkSource::GnomeAppMarkSource(std::string root, uid_t uid, CompositorWindowApi& windows,
                                       MarkReader readMark)
    : m_root(std::move(root)), m_uid(uid), m_windows(windows), m_readMark(std::move(readMark)) {}

GnomeAppMarkSource::~GnomeAppMarkSource() {
    Stop();
}

std::optional<std::string> GnomeAppMarkSource::ReadMark(const std::string& dir) {
    std::array<char, kMaxMark> buffer{};
    const ssize_t size = ::getxattr(dir.c_str(), kMark, buffer.data(), buffer.size());
    if (size < 0) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(size));
}

std::string GnomeAppMarkSource::AppSlice(const std::string& root, uid_t uid) {
    const std::string user = std::to_string(uid);
    return root + "/sys/fs/cgroup/user.slice/user-" + user + ".slice/user@" + user +
           ".service/app.slice";
}

// app[-LAUNCHER]-APPID-RANDOM.scope or app[-LAUNCHER]-APPID[@RANDOM].service, with the
// dashes of APPID escaped.
std::string GnomeAppMarkSource::AppIdOf(const std::string& unit) {
    const bool scope = EndsWith(unit, ".scope");
    if ((!scope && !EndsWith(unit, ".service")) || unit.rfind("app-", 0) != 0) return {};
    std::string name = unit.substr(4, unit.size() - 4 - (scope ? 6 : 8));
    if (!scope) name = name.substr(0, name.find('@'));
    std::vector<std::string> parts = Split(name, '-');
    std::size_t end = parts.size();
    if (scope) {
        if (end < 2) return {};
        --end;  // the random part
    }
    static const std::set<std::string> kLaunchers = {"gnome", "flatpak", "KDE", "kde", "xdg"};
    const std::size_t first = end >= 2 && kLaunchers.count(parts[0]) ? 1 : 0;
    return Unescape(JoinFrom(parts, first, end));
}

bool GnomeAppMarkSource::IsHelper(const std::string& exe) {
    static const std::set<std::string> kHelpers = {"sh",
                                                   "bash",
                                                   "dash",
                                                   "zsh",
                                                   "fish",
                                                   "ksh",
                                                   "mksh",
                                                   "tcsh",
                                                   "csh",
                                                   "busybox",
                                                   "env",
                                                   "nohup",
                                                   "setsid",
                                                   "bwrap",
                                                   "flatpak-spawn",
                                                   "systemd-run",
                                                   "xdg-dbus-proxy",
                                                   "gio",
                                                   "gio-launch-desktop",
                                                   "flatpak-session-helper"};
    return kHelpers.count(exe) > 0;
}

bool GnomeAppMarkSource::Start(IUiServices& ui, OnChange onChange) {
    Stop();
    struct stat info {};
    const std::string slice = AppSlice(m_root, m_uid);
    if (::stat(slice.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0 || !WatchSlice(slice, 0)) {
        Stop();
        return false;
    }
    m_onChange = std::move(onChange);
    Choose();
    m_watch = ui.WatchDescriptor(m_fd, [this] { OnReadable(); });
    if (!m_watch) Stop();
    return Listening();
}

void GnomeAppMarkSource::Stop() {
    m_watch.reset();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_slices.clear();
    m_units.clear();
    m_front.clear();
    m_frontPid = 0;
}

// Watched first, then read: a unit made in between is reported or read, perhaps both.
bool GnomeAppMarkSource::WatchSlice(const std::string& dir, int depth) {
    const int wd = ::inotify_add_watch(m_fd, dir.c_str(), IN_CREATE | IN_DELETE | IN_ONLYDIR);
    if (wd < 0) return false;
    m_slices[wd] = dir;
    DIR* folder = ::opendir(dir.c_str());
    if (!folder) return true;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) names.emplace_back(entry->d_name);
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (EndsWith(name, ".slice") && depth < kMaxSliceDepth) {
            WatchSlice(dir + "/" + name, depth + 1);
        } else if (IsUnitName(name)) {
            WatchUnit(dir + "/" + name);
        }
    }
    return true;
}

// Only the user's own units: another user's folder could say anything.
void GnomeAppMarkSource::WatchUnit(const std::string& dir) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != m_uid) return;
    const int wd = ::inotify_add_watch(m_fd, dir.c_str(), IN_ATTRIB | IN_ONLYDIR);
    if (wd < 0) return;
    Unit& unit = m_units[wd];
    unit.dir = dir;
    ReadUnitMark(unit);
}

void GnomeAppMarkSource::ReadUnitMark(Unit& unit) {
    if (!MarksFront(m_readMark(unit.dir))) {
        unit.claimedAt = 0;
    } else if (unit.claimedAt == 0) {
        unit.claimedAt = ++m_clock;
    }
}

void GnomeAppMarkSource::OnReadable() {
    alignas(inotify_event) char buffer[16384];
    bool broken = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            broken = got == 0 || errno != EAGAIN;
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const std::string name = event->len ? event->name : "";
            if (event->mask & IN_Q_OVERFLOW) {
                for (auto& [wd, unit] : m_units) ReadUnitMark(unit);
            }
            if (event->mask & IN_IGNORED) {
                m_slices.erase(event->wd);
                m_units.erase(event->wd);
                continue;
            }
            if (const auto unit = m_units.find(event->wd); unit != m_units.end()) {
                if (event->mask & IN_ATTRIB) ReadUnitMark(unit->second);
                continue;
            }
            const auto slice = m_slices.find(event->wd);
            if (slice == m_slices.end() || name.empty()) continue;
            const std::string path = slice->second + "/" + name;
            if (event->mask & IN_DELETE) {
                std::erase_if(m_units, [&](const auto& entry) { return entry.second.dir == path; });
            } else if ((event->mask & IN_CREATE) && EndsWith(name, ".slice")) {
                WatchSlice(path, 1);
            } else if ((event->mask & IN_CREATE) && IsUnitName(name)) {
                WatchUnit(path);
            }
        }
    }
    if (broken) {
        Stop();
        m_windows.Clear();
        if (m_onChange) m_onChange({});
        return;
    }
    if (Choose() && m_onChange) m_onChange(FrontNow(m_windows));
}

// The unit that claimed the focus last and still runs something; none when no unit
// claims it (the shell itself, or a program outside app.slice, has the focus).
bool GnomeAppMarkSource::Choose() {
    std::vector<const Unit*> marked;
    for (const auto& [wd, unit] : m_units) {
        if (unit.claimedAt != 0) marked.push_back(&unit);
    }
    std::sort(marked.begin(), marked.end(),
              [](const Unit* a, const Unit* b) { return a->claimedAt > b->claimedAt; });
    ForegroundChange front;
    std::string frontDir;
    for (const Unit* unit : marked) {
        front = Describe(unit->dir);
        if (front.pid > 0) {
            frontDir = unit->dir;
            break;
        }
    }
    if (frontDir.empty()) front = {};
    const bool changed = frontDir != m_front || front.pid != m_frontPid;
    m_front = frontDir;
    m_frontPid = front.pid;
    m_windows.SetFront(front);
    return changed;
}

ForegroundChange GnomeAppMarkSource::Describe(const std::string& dir) {
    std::string exe;
    const std::int32_t pid = MainProcess(dir, exe);
    if (pid <= 0) return {};
    const std::string unit = BaseName(dir);
    std::string title = AppIdOf(unit);
    if (title.empty()) title = exe;
    return {m_windows.HandleFor(unit), pid, title};
}

// The oldest process of the unit that is not a shell or a launcher helper (else the
// oldest of all); 0 when none runs.
std::int32_t GnomeAppMarkSource::MainProcess(const std::string& dir, std::string& exe) const {
    const std::string procs = ReadProcText(dir + "/cgroup.procs").value_or("");
    struct Candidate {
        std::uint64_t started = 0;
        std::int32_t pid = 0;
        std::string exe;
    };
    std::optional<Candidate> oldest, oldestApp;
    std::size_t count = 0;
    for (const std::string& line : Split(procs, '\n')) {
        std::int32_t pid = 0;
        if (++count > kMaxProcesses) break;
        if (std::from_chars(line.data(), line.data() + line.size(), pid).ptr !=
                line.data() + line.size() ||
            pid <= 0) {
            continue;
        }
        const std::string proc = m_root + "/proc/" + std::to_string(pid);
        const auto stat = ParseProcStat(ReadProcText(proc + "/stat").value_or(""));
        if (!stat || HasEnded(*stat)) continue;
        char target[PATH_MAX];
        const ssize_t size = ::readlink((proc + "/exe").c_str(), target, sizeof target - 1);
        std::string name = size > 0 ? BaseName(std::string(target, static_cast<std::size_t>(size)))
                                    : std::string();
        if (EndsWith(name, " (deleted)")) name.resize(name.size() - 10);
        const Candidate candidate{stat->starttime, pid, name};
        const auto older = [&](const std::optional<Candidate>& than) {
            return !than || candidate.started < than->started ||
                   (candidate.started == than->started && pid < than->pid);
        };
        if (older(oldest)) oldest = candidate;
        if (!IsHelper(name) && older(oldestApp)) oldestApp = candidate;
    }
    const std::optional<Candidate>& main = oldestApp ? oldestApp : oldest;
    if (!main) return 0;
    exe = main->exe;
    return main->pid;
}

}  // namespace talvex::platform
