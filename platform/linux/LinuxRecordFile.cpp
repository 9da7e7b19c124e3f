#include "platform/linux/LinuxRecordFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/Trace.h"
#include "platform/linux/AtomicFile.h"
#include "platform/linux/LinuxLevers.h"
#include "platform/linux/ProcStat.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

LinuxRecordFile::LinuxRecordFile(std::string folder) {
    if (folder.empty()) return;
    const auto start = LinuxLevers::StartTimeOf(static_cast<std::int32_t>(::getpid()));
    m_path = std::move(folder) + "/" +
             RecordFileName(static_cast<std::int32_t>(::getpid()), start.value_or(0));
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

namespace {

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

// The record folder through its path.
class LinuxRecordFolder final : public IRecordFolder {
  public:
    explicit LinuxRecordFolder(std::string path) : m_path(std::move(path)) {}
    bool Open() {
        m_dir = ::opendir(m_path.c_str());
        return m_dir != nullptr;
    }
    ~LinuxRecordFolder() override {
        if (m_dir) ::closedir(m_dir);
    }
    LinuxRecordFolder(const LinuxRecordFolder&) = delete;
    LinuxRecordFolder& operator=(const LinuxRecordFolder&) = delete;

    std::vector<std::string> Names() override {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(m_dir)) names.emplace_back(entry->d_name);
        return names;
    }
    std::optional<std::string> Read(const std::string& name) override {
        return ReadRecord(m_path + "/" + name);
    }
    bool Replace(const std::string& name, const std::string& text) override {
        return ReplaceFileContents(m_path + "/" + name, text, 0600);
    }
    void Remove(const std::string& name) override { ::unlink((m_path + "/" + name).c_str()); }

  private:
    std::string m_path;
    DIR* m_dir = nullptr;
};

}  // namespace

EarlierRunsUndo UndoEarlierRuns(const std::string& folder, LinuxLevers& levers, std::uint32_t uid) {
    LinuxRecordFolder records(folder);
    if (folder.empty() || !records.Open()) return {};
    RecordedUndoLevers guarded(levers, uid);
    EarlierRunsPolicy policy;
    policy.stillRuns = [](const RecordOwner& owner) {
        const auto running = LinuxLevers::StartTimeOf(owner.pid);
        return running && *running == owner.start;
    };
    // The kernel takes one session-group change per 100 ms.
    policy.retries = 3;
    policy.waitBeforeRetry = [] { std::this_thread::sleep_for(std::chrono::milliseconds(110)); };
    return UndoRecordsIn(records, LinuxLevers::BootId(), guarded, policy);
}

}  // namespace talvex::platform
