#include "platform/linux/CpuTopology.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <vector>

#include "platform/linux/ProcStat.h"

namespace talvex::platform {

using namespace linux_proc;

namespace {

// The kernel's weight of each nice value from -20 to 19 (sched_prio_to_weight); nice 0
// weighs 1024. A group weight scaled by the same ratio ranks groups as nice ranks threads.
constexpr std::array<std::int64_t, 40> kNiceWeight = {
    88761, 71755, 56483, 46273, 36291, 29154, 23254, 18705, 14949, 11916, 9548, 7620, 6100, 4904,
    3906,  3121,  2501,  1991,  1586,  1277,  1024,  820,   655,   526,   423,  335,  272,  215,
    172,   137,   110,   87,    70,    56,    45,    36,    29,    23,    18,   15};
constexpr std::int64_t kMinShares = 2, kMaxShares = 262144;  // v1 cpu.shares
constexpr std::int64_t kMinWeight = 1, kMaxWeight = 10000;   // v2 cpu.weight
// Deep enough for any layout a desktop makes; a bound against a runaway walk.
constexpr int kMaxDepth = 16;

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Subfolders of `dir` (their full paths).
std::vector<std::string> SubFolders(const std::string& dir) {
    std::vector<std::string> folders;
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) return folders;
    while (const dirent* entry = ::readdir(handle)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) folders.push_back(path);
    }
    ::closedir(handle);
    return folders;
}

}  // namespace

CpuTopology::CpuTopology(std::string root, std::uint32_t uid, std::int32_t ownPid)
    : m_root(std::move(root)), m_uid(uid) {
    // A mountinfo line: id parent dev root mount-point options [optional...] - type source
    // super-options
    const std::string mounts = ReadProcText(m_root + "/proc/self/mountinfo").value_or("");
    for (const std::string_view line : Split(mounts, '\n')) {
        const auto dash = line.find(" - ");
        if (dash == std::string_view::npos) continue;
        const auto left = Split(line.substr(0, dash), ' ');
        const auto right = Split(line.substr(dash + 3), ' ');
        if (left.size() < 5 || right.size() < 3) continue;
        const Hierarchy found{m_root + std::string(left[4]), std::string(left[3])};
        if (right[0] == "cgroup2" && m_v2.mountPoint.empty()) {
            m_v2 = found;
        } else if (right[0] == "cgroup" && m_v1.mountPoint.empty()) {
            const auto options = Split(right[2], ',');
            if (std::find(options.begin(), options.end(), "cpu") != options.end()) m_v1 = found;
        }
    }
    m_autogroup = ReadProcText(m_root + "/proc/sys/kernel/sched_autogroup_enabled")
                      .value_or("")
                      .starts_with("1");
    m_own = GroupOf(ownPid);
}

std::optional<CpuGroup> CpuTopology::GroupOf(std::int32_t pid) const {
    const auto text = ReadProcText(m_root + "/proc/" + std::to_string(pid) + "/cgroup");
    if (!text) return std::nullopt;
    // Lines read "hierarchy-id:controllers:path"; v2's is "0::path".
    const bool v1 = !m_v1.mountPoint.empty();
    const Hierarchy& hierarchy = v1 ? m_v1 : m_v2;
    if (hierarchy.mountPoint.empty()) return CpuGroup{};  // no CPU cgroups: all in the root
    std::optional<std::string> path;
    for (const std::string_view line : Split(*text, '\n')) {
        const auto fields = Split(line, ':');
        if (fields.size() < 3) continue;
        const auto controllers = Split(fields[1], ',');
        const bool match =
            v1 ? std::find(controllers.begin(), controllers.end(), "cpu") != controllers.end()
               : fields[0] == "0" && fields[1].empty();
        // The path may itself hold a colon: it is everything after the second one.
        if (match) path = std::string(line.substr(fields[0].size() + fields[1].size() + 2));
    }
    if (!path || !path->starts_with('/')) return std::nullopt;
    // A mount that shows only part of the hierarchy (a container's) starts at its root.
    if (hierarchy.mountRoot != "/") {
        if (!path->starts_with(hierarchy.mountRoot)) return std::nullopt;
        path->erase(0, hierarchy.mountRoot.size());
        if (path->empty()) path = "/";
    }
    if (path->find("/..") != std::string::npos) return std::nullopt;
    const std::string weightName = v1 ? "cpu.shares" : "cpu.weight";
    // On v2 a process is scheduled in the nearest group, itself or above, where the cpu
    // controller is on (the group has a cpu.weight); on v1 every group is a CPU group.
    std::string at = *path;
    while (at != "/" && !Exists(hierarchy.mountPoint + at + "/" + weightName)) {
        if (v1) return std::nullopt;
        at = Parent(at);
    }
    if (at == "/") return CpuGroup{};
    CpuGroup group;
    group.dir = hierarchy.mountPoint + at;
    group.weightFile = group.dir + "/" + weightName;
    group.v1 = v1;
    struct stat info {};
    if (::stat(group.dir.c_str(), &info) != 0) return std::nullopt;
    group.id = info.st_ino;
    return group;
}

CpuPlacement CpuTopology::Place(std::int32_t pid) const {
    CpuPlacement placement;
    const auto group = GroupOf(pid);
    if (!group) return placement;
    placement.group = *group;
    if (group->IsRoot()) {
        // The kernel puts a task in its session's group only while its CPU group is
        // the root one.
        if (m_autogroup && Exists(m_root + "/proc/" + std::to_string(pid) + "/autogroup")) {
            placement.lever = CpuLever::AutogroupNice;
        }
    } else if (Eligible(*group)) {
        placement.lever = CpuLever::GroupWeight;
    }
    return placement;
}

bool CpuTopology::Eligible(const CpuGroup& group) const {
    const std::string name = group.dir.substr(group.dir.rfind('/') + 1);
    // A slice groups units (the user's own top group is one, so is app.slice): lowering
    // it would lower everything in it.
    if (name.ends_with(".slice")) return false;
    if (m_own && m_own->dir == group.dir) return false;
    // Inside a delegated subtree the user owns the group, its weight and its parent; the
    // subtree's top has a parent the user does not own.
    if (!OwnedWritable(group.dir) || !OwnedWritable(group.weightFile) ||
        !OwnedWritable(Parent(group.dir))) {
        return false;
    }
    const std::string weightName = group.weightFile.substr(group.weightFile.rfind('/') + 1);
    return !HasChildGroup(group.dir, weightName) && OnlyUsersProcesses(group.dir, 0);
}

bool CpuTopology::OwnedWritable(const std::string& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_uid == m_uid && (info.st_mode & S_IWUSR);
}

bool CpuTopology::HasChildGroup(const std::string& dir, const std::string& weightName) const {
    const auto folders = SubFolders(dir);
    return std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
        return Exists(folder + "/" + weightName);
    });
}

bool CpuTopology::OnlyUsersProcesses(const std::string& dir, int depth) const {
    // On v2 the processes of subgroups without a CPU group of their own count here too.
    const auto procs = ReadProcText(dir + "/cgroup.procs");
    if (!procs || depth > kMaxDepth) return false;
    for (const std::string_view line : Split(*procs, '\n')) {
        if (line.empty()) continue;
        const auto status = ReadProcText(m_root + "/proc/" + std::string(line) + "/status");
        if (!status) continue;  // ended meanwhile
        const auto uids = ParseStatusUids(*status);
        if (!uids || uids->real != m_uid || uids->effective != m_uid || uids->saved != m_uid) {
            return false;
        }
    }
    const auto folders = SubFolders(dir);
    return std::all_of(folders.begin(), folders.end(), [&](const std::string& folder) {
        return OnlyUsersProcesses(folder, depth + 1);
    });
}

std::int64_t CpuTopology::WeightForNice(std::int64_t base, int nice, bool v1) {
    const int index = std::clamp(nice, -20, 19) + 20;
    const std::int64_t scaled = (base * kNiceWeight[static_cast<std::size_t>(index)] + 512) / 1024;
    return v1 ? std::clamp(scaled, kMinShares, kMaxShares)
              : std::clamp(scaled, kMinWeight, kMaxWeight);
}

bool CpuTopology::ValidWeight(std::int64_t value, bool v1) {
    return v1 ? value >= kMinShares && value <= kMaxShares
              : value >= kMinWeight && value <= kMaxWeight;
}

}  // namespace talvex::platform
