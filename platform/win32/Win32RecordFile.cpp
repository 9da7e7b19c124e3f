#include "platform/win32/Win32RecordFile.h"

#include "base/Trace.h"
#include "platform/IProcessApi.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Text.h"
// (after the Windows headers, which it needs)
#include <shlobj.h>

namespace talvex::platform::win32 {

namespace {

// Writes `text` as the new file `path`. A file of that name (a temporary file a crash
// left, or a link somebody put there) is deleted first: CREATE_NEW never opens an
// existing name, a link included.
bool WriteNewFile(const std::wstring& path, const std::string& text) {
    ::DeleteFileW(path.c_str());
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole =
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    ::CloseHandle(file);
    if (!whole) ::DeleteFileW(path.c_str());
    return whole;
}

// Replaces file `path` with `text` in one step: a reader, and a crash, see the old
// text or the new one, whole.
bool ReplaceFile(const std::wstring& path, const std::string& text) {
    const std::wstring temporary = path + L".new";
    if (!WriteNewFile(temporary, text)) return false;
    if (::MoveFileExW(temporary.c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    ::DeleteFileW(temporary.c_str());
    return false;
}

// A record is read only when it is a plain file on a disk (no folder, link, junction,
// pipe or device) of no more than the largest record's size.
std::optional<std::string> ReadRecord(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    constexpr DWORD kNotPlain =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    std::optional<std::string> text;
    if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & kNotPlain) == 0 && info.nFileSizeHigh == 0 &&
        info.nFileSizeLow <= kMaxSavedRecordBytes) {
        text.emplace(info.nFileSizeLow, '\0');
        DWORD read = 0;
        if (!::ReadFile(file, text->data(), info.nFileSizeLow, &read, nullptr)) read = 0;
        text->resize(read);
    }
    ::CloseHandle(file);
    return text;
}

bool PlainFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

class Win32RecordFolder final : public IRecordFolder {
  public:
    explicit Win32RecordFolder(std::wstring path) : m_path(std::move(path)) {}

    std::vector<std::string> Names() override {
        std::vector<std::string> names;
        WIN32_FIND_DATAW entry{};
        HANDLE find = ::FindFirstFileW((m_path + L"\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            names.push_back(Narrow(entry.cFileName));
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
        return names;
    }
    std::optional<std::string> Read(const std::string& name) override {
        return ReadRecord(PathOf(name));
    }
    bool Replace(const std::string& name, const std::string& text) override {
        return ReplaceFile(PathOf(name), text);
    }
    void Remove(const std::string& name) override { ::DeleteFileW(PathOf(name).c_str()); }

  private:
    std::wstring PathOf(const std::string& name) const { return m_path + L"\\" + Widen(name); }
    std::wstring m_path;
};

// The levers as a saved record may use them: priority classes only, and never
// Realtime (UndoSavedRecord holds the values to that already; checked once more).
class RecordedUndoLevers final : public ILeverAccess {
  public:
    explicit RecordedUndoLevers(ILeverAccess& levers) : m_levers(levers) {}
    std::optional<std::int64_t> ReadLever(const LeverTarget& target) override {
        return m_levers.ReadLever(target);
    }
    Write WriteLever(const LeverTarget& target, std::int64_t value) override {
        if (target.lever != Lever::PriorityClass || PriorityRank(value) < 0 ||
            value == REALTIME_PRIORITY_CLASS) {
            return Write::Refused;
        }
        return m_levers.WriteLever(target, value);
    }

  private:
    ILeverAccess& m_levers;
};

}  // namespace

std::optional<std::uint64_t> CreationTimeOf(std::int32_t pid) {
    if (pid <= 0) return std::nullopt;
    HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return std::nullopt;
    FILETIME creation{}, exit{}, kernel{}, user{};
    DWORD code = 0;
    std::optional<std::uint64_t> time;
    // An ended process stays reachable while anybody holds a handle to it.
    if (::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
        ::GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
        time = (static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    }
    ::CloseHandle(process);
    return time;
}

Win32RecordFile::Win32RecordFile(const std::string& folder) {
    if (folder.empty()) return;
    const auto pid = static_cast<std::int32_t>(::GetCurrentProcessId());
    m_path = folder + "\\" + RecordFileName(pid, CreationTimeOf(pid).value_or(0));
}

bool Win32RecordFile::Save(const std::string& text) {
    if (m_path.empty()) {
        trace::Write(trace::Level::Error, "Win32RecordFile", "no folder for the record");
        return false;
    }
    if (ReplaceFile(Widen(m_path), text)) return true;
    trace::Write(trace::Level::Error, "Win32RecordFile",
                 "cannot write " + m_path + " (error " + std::to_string(::GetLastError()) + ")");
    return false;
}

void Win32RecordFile::Remove() {
    if (!m_path.empty()) ::DeleteFileW(Widen(m_path).c_str());
}

std::string RecordFolder(std::string* whyFolder) {
    std::string why;
    std::wstring folder;
    PWSTR local = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local))) {
        folder = std::wstring(local) + L"\\Talvex";
    }
    ::CoTaskMemFree(local);
    if (folder.empty()) {
        why = "the local application data folder is unknown";
    } else if (!::CreateDirectoryW(folder.c_str(), nullptr) &&
               ::GetLastError() != ERROR_ALREADY_EXISTS) {
        why = "cannot make " + Narrow(folder);
        folder.clear();
    } else if (!PlainFolder(folder)) {
        why = Narrow(folder) + " is not a plain folder";
        folder.clear();
    } else {
        why = Narrow(folder);
    }
    if (whyFolder) *whyFolder = why;
    if (folder.empty()) {
        trace::Write(trace::Level::Error, "RecordFolder",
                     "no folder for the record of changes, so none is made: " + why);
        return {};
    }
    trace::Write(trace::Level::Info, "RecordFolder", "the record of changes is kept in " + why);
    return Narrow(folder);
}

EarlierRunsUndo UndoEarlierRuns(const std::string& folder, ILeverAccess& levers) {
    if (folder.empty() || !PlainFolder(Widen(folder))) return {};
    Win32RecordFolder records(Widen(folder));
    RecordedUndoLevers guarded(levers);
    EarlierRunsPolicy policy;
    policy.stillRuns = [](const RecordOwner& owner) {
        const auto running = CreationTimeOf(owner.pid);
        return running && *running == owner.start;
    };
    // Windows turns no class change away for a moment: nothing to try again.
    return UndoRecordsIn(records, kWindowsBootId, guarded, policy);
}

}  // namespace talvex::platform::win32
