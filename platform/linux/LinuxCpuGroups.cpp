#include "platform/linux/LinuxCpuGroups.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <optional>

namespace talvex::platform {

namespace {
// Units lie at most this deep below app.slice (a sub-slice per application, its units);
// no more groups than this are kept, each holding a descriptor.
constexpr int kMaxDepth = 3;
constexpr std::size_t kMaxGroups = 512;

std::string AppSliceBelow(const std::string& mount, uid_t uid) {
    const std::string user = std::to_string(uid);
    return mount + "/user.slice/user-" + user + ".slice/user@" + user + ".service/app.slice";
}

bool IsDir(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::string> ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0) return std::nullopt;
        text.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof buffer) return text;
        at += n;
    }
}

std::optional<std::string> ReadFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    auto text = ReadAll(fd);
    ::close(fd);
    return text;
}

bool ParseNumber(std::string_view text, std::uint64_t& value) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && !text.empty();
}
}  // namespace

LinuxCpuGroups::LinuxCpuGroups(std::string root, uid_t uid) : m_root(std::move(root)), m_uid(uid) {}

LinuxCpuGroups::~LinuxCpuGroups() {
    Close();
}

void LinuxCpuGroups::Close() {
    for (const Group& group : m_groups) ::close(group.fd);
    m_groups.clear();
    m_groupOf.clear();
}

bool LinuxCpuGroups::ParseUsage(const std::string& text, bool v1, std::uint64_t& used) {
    std::uint64_t value = 0;
    if (v1) {
        if (!ParseNumber(text, value)) return false;
        used = value / 100;  // ns
        return true;
    }
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        constexpr std::string_view kKey = "usage_usec ";
        if (line.substr(0, kKey.size()) != kKey) continue;
        if (!ParseNumber(line.substr(kKey.size()), value) || value > UINT64_MAX / 10) return false;
        used = value * 10;  // microseconds
        return true;
    }
    return false;
}

void LinuxCpuGroups::Rescan() {
    Close();
    // The unified hierarchy (alone, or beside v1 ones), else v1's cpuacct hierarchy.
    const std::string base = m_root + "/sys/fs/cgroup";
    for (const auto& [mount, v1] :
         {std::pair{base, false}, std::pair{base + "/unified", false},
          std::pair{base + "/cpuacct", true}, std::pair{base + "/cpu,cpuacct", true}}) {
        const std::string slice = AppSliceBelow(mount, m_uid);
        const std::string probe = mount + (v1 ? "/cpuacct.usage" : "/cgroup.controllers");
        if (!IsDir(slice) || (!v1 && ::access(probe.c_str(), F_OK) != 0)) continue;
        m_v1 = v1;
        Walk(slice, "", 0);
        return;
    }
}

void LinuxCpuGroups::Walk(const std::string& dir, const std::string& name, int depth) {
    if (m_groups.size() >= kMaxGroups) return;
    // A folder that holds processes is a group; a slice holds none (on v2 it cannot).
    if (!name.empty()) {
        const auto procs = ReadFile(dir + "/cgroup.procs");
        if (procs && !procs->empty()) {
            const std::string usage = dir + (m_v1 ? "/cpuacct.usage" : "/cpu.stat");
            const int fd = ::open(usage.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                m_groups.push_back({name, fd});
                std::string_view rest(*procs);
                while (!rest.empty()) {
                    const std::size_t end = rest.find('\n');
                    std::uint64_t pid = 0;
                    if (ParseNumber(rest.substr(0, end), pid) && pid <= INT32_MAX) {
                        m_groupOf[static_cast<std::int32_t>(pid)] = name;
                    }
                    rest =
                        end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
                }
            }
        }
    }
    if (depth >= kMaxDepth) return;
    DIR* folder = ::opendir(dir.c_str());
    if (!folder) return;
    std::vector<std::string> children;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_type != DT_DIR || entry->d_name[0] == '.') continue;
        children.emplace_back(entry->d_name);
    }
    ::closedir(folder);
    for (const std::string& child : children) {
        Walk(dir + "/" + child, name.empty() ? child : name + "/" + child, depth + 1);
    }
}

std::vector<CpuGroupTime> LinuxCpuGroups::ReadGroupTimes(bool rescan) {
    if (rescan) Rescan();
    std::vector<CpuGroupTime> times;
    times.reserve(m_groups.size());
    for (const Group& group : m_groups) {
        const auto text = ReadAll(group.fd);
        std::uint64_t used = 0;
        if (text && ParseUsage(*text, m_v1, used)) times.push_back({group.name, used});
    }
    return times;
}

std::string LinuxCpuGroups::GroupOf(std::int32_t pid) const {
    const auto it = m_groupOf.find(pid);
    return it == m_groupOf.end() ? std::string{} : it->second;
}

}  // namespace talvex::platform
