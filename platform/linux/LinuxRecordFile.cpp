#include "platform/linux/LinuxRecordFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <thread>

#include "platform/linux/AtomicFile.h"
#include "platform/linux/LinuxLevers.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

namespace {

constexpr const char* kRecordPrefix = "TalvexChanges-";
constexpr std::size_t kMaxRecordBytes = 1 << 20;

}  // namespace

LinuxRecordFile::LinuxRecordFile(std::string folder) {
    const auto start = LinuxLevers::StartTimeOf(static_cast<std::int32_t>(::getpid()));
    m_path = std::move(folder) + "/" + kRecordPrefix + std::to_string(::getpid()) + "-" +
             std::to_string(start.value_or(0));
}

// The record is void after a restart of the machine (it names the boot), so it only has
// to outlive the program: no wait for the disk, which would delay every boost.
bool LinuxRecordFile::Save(const std::string& text) {
    return ReplaceFileContentsUntilRestart(m_path, text, 0600);
}

void LinuxRecordFile::Remove() {
    ::unlink(m_path.c_str());
}

std::string RecordFolder() {
    std::string folder = xdg::RuntimeDir();
    return folder.empty() ? xdg::PrivateFallbackDir() : folder;
}

namespace {

// The pid and start time a record file is named after; false for any other file.
bool ParseRecordName(std::string_view name, std::int32_t& pid, std::uint64_t& start) {
    if (!name.starts_with(kRecordPrefix)) return false;
    name.remove_prefix(std::char_traits<char>::length(kRecordPrefix));
    const auto dash = name.find('-');
    if (dash == std::string_view::npos) return false;
    const auto pidText = name.substr(0, dash);
    const auto startText = name.substr(dash + 1);
    const auto [p1, e1] = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
    const auto [p2, e2] =
        std::from_chars(startText.data(), startText.data() + startText.size(), start);
    return e1 == std::errc() && e2 == std::errc() && p1 == pidText.data() + pidText.size() &&
           p2 == startText.data() + startText.size();
}

// A record is read only when it is a regular file of this user and of sane size.
std::optional<std::string> ReadRecord(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        static_cast<std::size_t>(info.st_size) <= kMaxRecordBytes) {
        text.resize(static_cast<std::size_t>(info.st_size));
        const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
        text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    ::close(fd);
    return text;
}

}  // namespace

bool UndoEarlierRuns(const std::string& folder, LinuxLevers& levers) {
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (!dir) return true;
    const std::string bootId = LinuxLevers::BootId();
    bool allUndone = true;
    while (const dirent* entry = ::readdir(dir)) {
        std::int32_t pid = 0;
        std::uint64_t start = 0;
        if (!ParseRecordName(entry->d_name, pid, start)) continue;
        // The record of a copy that still runs is that copy's to undo.
        const auto running = LinuxLevers::StartTimeOf(pid);
        if (running && *running == start) continue;
        const std::string path = folder + "/" + entry->d_name;
        const auto text = ReadRecord(path);
        if (!text) continue;
        std::string left = ChangeRecord::UndoSaved(*text, bootId, levers);
        // The kernel takes one session-group change per 100 ms.
        for (int attempt = 0; attempt < 3 && !left.empty(); ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(110));
            left = ChangeRecord::UndoSaved(left, bootId, levers);
        }
        if (left.empty()) {
            ::unlink(path.c_str());
        } else {
            ReplaceFileContents(path, left, 0600);
            allUndone = false;
        }
    }
    ::closedir(dir);
    return allUndone;
}

}  // namespace talvex::platform
