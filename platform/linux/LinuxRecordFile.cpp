#include "platform/linux/LinuxRecordFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <thread>

#include "base/Trace.h"
#include "platform/linux/AtomicFile.h"
#include "platform/linux/LinuxLevers.h"
#include "platform/linux/ProcStat.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

namespace {

constexpr const char* kRecordPrefix = "TalvexChanges-";

}  // namespace

LinuxRecordFile::LinuxRecordFile(std::string folder) {
    if (folder.empty()) return;
    const auto start = LinuxLevers::StartTimeOf(static_cast<std::int32_t>(::getpid()));
    m_path = std::move(folder) + "/" + kRecordPrefix + std::to_string(::getpid()) + "-" +
             std::to_string(start.value_or(0));
}

// The record is void after a restart of the machine (it names the boot), so it only has
// to outlive the program: no wait for the disk, which would delay every boost.
bool LinuxRecordFile::Save(const std::string& text) {
    if (m_path.empty()) {
        trace::Write(trace::Level::Error, "LinuxRecordFile", "no private folder for the record");
        return false;
    }
    if (ReplaceFileContentsUntilRestart(m_path, text, 0600)) return true;
    trace::Write(trace::Level::Error, "LinuxRecordFile", "cannot write " + m_path);
    return false;
}

void LinuxRecordFile::Remove() {
    if (!m_path.empty()) ::unlink(m_path.c_str());
}

std::string RecordFolder(std::string* whyFolder) {
    std::string why;
    std::string folder = xdg::PrivateFolder(xdg::ProcessEnv, &why);
    if (whyFolder) *whyFolder = why;
    if (folder.empty()) {
        trace::Write(trace::Level::Error, "RecordFolder",
                     "no folder for the record of changes, so none is made: " + why);
    } else {
        trace::Write(trace::Level::Info, "RecordFolder", "the record of changes is kept in " + why);
    }
    return folder;
}

std::string DescribeRestored(const HeldChange& change) {
    const LeverTarget& t = change.target;
    const std::string value = std::to_string(change.before);
    std::string what;
    switch (t.lever) {
        case Lever::ThreadNice:
            what = "thread " + std::to_string(t.id) + " nice " + value;
            break;
        case Lever::ThreadResetOnFork:
            what = "thread " + std::to_string(t.id) + " reset-on-fork " + value;
            break;
        case Lever::GroupNice:
            what = "session group " + std::to_string(t.id) + " nice " + value;
            break;
        case Lever::GroupWeight:
            what = "CPU group " + std::to_string(t.id) + " weight " + value;
            break;
        case Lever::PriorityClass:
            what = "priority class " + value;
            break;
    }
    return "put back: pid " + std::to_string(t.pid) + " " + what;
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
    std::optional<std::string> text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        static_cast<std::size_t>(info.st_size) <= kMaxSavedRecordBytes) {
        text.emplace(static_cast<std::size_t>(info.st_size), '\0');
        const ssize_t n = ::pread(fd, text->data(), text->size(), 0);
        text->resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    ::close(fd);
    return text;
}

// The levers as a saved record may use them. The record is the user's own text, so a
// session group is put back only while it passes the checks a new change of it passes:
// still the process's group (LinuxLevers checks that too), the process and the
// session's leader the user's. The values are held to their range before they get
// here; the flag and the floor are checked once more all the same.
class RecordedUndoLevers final : public ILeverAccess {
  public:
    RecordedUndoLevers(LinuxLevers& levers, std::uint32_t uid) : m_levers(levers), m_uid(uid) {}

    std::optional<std::int64_t> ReadLever(const LeverTarget& target) override {
        return m_levers.ReadLever(target);
    }
    Write WriteLever(const LeverTarget& target, std::int64_t value) override {
        const bool nice = target.lever == Lever::ThreadNice || target.lever == Lever::GroupNice;
        if (nice && value < kDefaultNiceFloor) return Write::Refused;
        if (target.lever == Lever::ThreadResetOnFork && value == 0) return Write::Refused;
        if (target.lever == Lever::GroupNice && !GroupIsUsers(target)) return Write::Refused;
        return m_levers.WriteLever(target, value);
    }

  private:
    bool UsersProcess(std::int32_t pid, bool saved) const {
        const auto status = linux_proc::ReadProcText("/proc/" + std::to_string(pid) + "/status");
        const auto uids = status ? linux_proc::ParseStatusUids(*status) : std::nullopt;
        return uids && uids->real == m_uid && uids->effective == m_uid &&
               (!saved || uids->saved == m_uid);
    }
    bool GroupIsUsers(const LeverTarget& target) const {
        const auto group = LinuxLevers::ReadGroup(target.pid);
        if (!group || group->id != target.id) return false;
        const auto text = linux_proc::ReadProcText("/proc/" + std::to_string(target.pid) + "/stat");
        const auto stat = text ? linux_proc::ParseProcStat(*text) : std::nullopt;
        if (!stat || stat->starttime != target.startTime || stat->session <= 0) return false;
        return UsersProcess(target.pid, true) && UsersProcess(stat->session, false);
    }

    LinuxLevers& m_levers;
    std::uint32_t m_uid;
};

// Undoes one record file; true when nothing of it is left to put back.
bool UndoRecordFile(const std::string& path, const std::string& bootId, ILeverAccess& levers,
                    std::vector<HeldChange>& restored) {
    const auto text = ReadRecord(path);
    if (!text) {
        trace::Write(trace::Level::Warning, "UndoEarlierRuns", "cannot read the record " + path);
        return false;
    }
    auto undo = ChangeRecord::UndoSavedRecord(*text, bootId, levers);
    if (undo.refused) return false;  // not read at all: it stays as it is
    bool refused = undo.refusedWrites > 0;
    restored.insert(restored.end(), undo.restored.begin(), undo.restored.end());
    // The kernel takes one session-group change per 100 ms.
    for (int attempt = 0; attempt < 3 && !undo.left.empty(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(110));
        undo = ChangeRecord::UndoSavedRecord(undo.left, bootId, levers);
        refused = refused || undo.refusedWrites > 0;
        restored.insert(restored.end(), undo.restored.begin(), undo.restored.end());
    }
    if (undo.left.empty()) {
        ::unlink(path.c_str());
    } else {
        ReplaceFileContents(path, undo.left, 0600);
    }
    return undo.left.empty() && !refused;
}

}  // namespace

EarlierRunsUndo UndoEarlierRuns(const std::string& folder, LinuxLevers& levers, std::uint32_t uid) {
    EarlierRunsUndo result;
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (!dir) return result;
    result.folder = true;
    result.complete = true;
    RecordedUndoLevers guarded(levers, uid);
    const std::string bootId = LinuxLevers::BootId();
    while (const dirent* entry = ::readdir(dir)) {
        std::int32_t pid = 0;
        std::uint64_t start = 0;
        if (!ParseRecordName(entry->d_name, pid, start)) continue;
        // The record of a copy that still runs is that copy's to undo.
        const auto running = LinuxLevers::StartTimeOf(pid);
        if (running && *running == start) continue;
        const std::string path = folder + "/" + entry->d_name;
        if (!UndoRecordFile(path, bootId, guarded, result.restored)) result.complete = false;
    }
    ::closedir(dir);
    return result;
}

}  // namespace talvex::platform
