#include "platform/win32/Win32ProcessApi.h"

#include <algorithm>
#include <limits>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32RecordFile.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

namespace {

HANDLE AsHandle(ProcessHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The user of a process's token, as the bytes of its SID; empty when unreadable.
std::vector<unsigned char> UserSidOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    std::vector<unsigned char> buffer(256);
    DWORD needed = 0;
    std::vector<unsigned char> sid;
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                            &needed)) {
        const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
        const DWORD length = GetLengthSid(user->User.Sid);
        const auto* bytes = static_cast<const unsigned char*>(user->User.Sid);
        sid.assign(bytes, bytes + length);
    }
    ::CloseHandle(token);
    return sid;
}

// Asks for the right to raise base priorities (Realtime); only an administrator's
// token holds it, switched off, so for everybody else this changes nothing.
void EnableIncreaseBasePriority() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_INC_BASE_PRIORITY_NAME, &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    ::CloseHandle(token);
}

// A handle stays valid after its process ended; calls on it must fail then.
bool Alive(HANDLE process) {
    DWORD code = 0;
    return GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

// Wine answers GetProcessTimes for another process with the caller's own times.
bool ProcessTimesAreOwnOnly() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

Win32ProcessApi::Win32ProcessApi(const std::optional<std::string>& recordFolder)
    : m_threadTimes(ProcessTimesAreOwnOnly()),
      m_recordFile(recordFolder ? std::make_unique<win32::Win32RecordFile>(*recordFolder)
                                : nullptr),
      m_record(m_levers, std::string(win32::kWindowsBootId), m_recordFile.get()) {
    m_ownSid = UserSidOf(::GetCurrentProcess());
}

Win32ProcessApi::~Win32ProcessApi() = default;

bool Win32ProcessApi::SameUser(void* process) const {
    const std::vector<unsigned char> sid = UserSidOf(static_cast<HANDLE>(process));
    return !sid.empty() && sid == m_ownSid;
}

ProcessHandle Win32ProcessApi::OpenProcess(std::uint32_t access, std::int32_t pid) {
    if (pid <= 0) return 0;
    HANDLE process = ::OpenProcess(access, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return 0;
    // The owner check needs query rights; every mask the engine uses has them, but
    // a narrower one gets a short-lived handle of its own for the check. An ended
    // process stays reachable while anybody holds a handle to it: it counts as gone.
    bool usable = false;
    if (access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) {
        usable = SameUser(process) && Alive(process);
    } else if (HANDLE query = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                            static_cast<DWORD>(pid))) {
        usable = SameUser(query) && Alive(query);
        ::CloseHandle(query);
    }
    if (!usable) {
        ::CloseHandle(process);
        return 0;
    }
    return reinterpret_cast<ProcessHandle>(process);
}

bool Win32ProcessApi::CloseHandle(ProcessHandle handle) {
    return handle != 0 && ::CloseHandle(AsHandle(handle));
}

std::int32_t Win32ProcessApi::GetPriorityClass(ProcessHandle handle) {
    if (handle == 0 || !Alive(AsHandle(handle))) return 0;
    return static_cast<std::int32_t>(::GetPriorityClass(AsHandle(handle)));
}

bool Win32ProcessApi::SetClassNow(void* process, std::int32_t priorityClass) {
    if (priorityClass == REALTIME_PRIORITY_CLASS && !m_triedRealtimeRight) {
        m_triedRealtimeRight = true;
        EnableIncreaseBasePriority();
    }
    const HANDLE handle = static_cast<HANDLE>(process);
    return ::SetPriorityClass(handle, static_cast<DWORD>(priorityClass)) &&
           static_cast<std::int32_t>(::GetPriorityClass(handle)) == priorityClass;
}

bool Win32ProcessApi::SetPriorityClass(ProcessHandle handle, std::int32_t priorityClass) {
    if (handle == 0 || !Alive(AsHandle(handle))) return false;
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!::GetProcessTimes(AsHandle(handle), &creation, &exit, &kernel, &user)) return false;
    const std::int32_t now = GetPriorityClass(handle);
    // Setting the class it has changes nothing, and fails on a handle without the
    // right to set: the record then never reaches around the handle's own rights.
    if (!::SetPriorityClass(AsHandle(handle), static_cast<DWORD>(now))) return false;
    if (now == priorityClass) return true;
    const LeverTarget target{static_cast<std::int32_t>(::GetProcessId(AsHandle(handle))),
                             Ticks(creation), 0, Lever::PriorityClass};
    // Not changed when it cannot be put on record.
    if (m_record.Change({{target, now, priorityClass}})) {
        return GetPriorityClass(handle) == priorityClass;
    }
    // Without the right to Realtime, Windows gives High instead; so does Talvex, on
    // record like any change, so that it is put back. The answer stays false: the
    // class is not the one asked for.
    if (priorityClass == REALTIME_PRIORITY_CLASS && now != HIGH_PRIORITY_CLASS &&
        Alive(AsHandle(handle))) {
        m_record.Change({{target, now, HIGH_PRIORITY_CLASS}});
    }
    return false;
}

bool Win32ProcessApi::UndoAllChanges(std::uint32_t) {
    return m_record.UndoAll();  // Windows turns no class change away for a moment
}

void* Win32ProcessApi::ClassLevers::Open(const LeverTarget& target, unsigned long access) {
    HANDLE process = ::OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   static_cast<DWORD>(target.pid));
    if (process == nullptr) return nullptr;
    FILETIME creation{}, exit{}, kernel{}, user{};
    // Only the very process the change was made to: a process that took over its id
    // has another creation time.
    if (!Alive(process) || !m_api.SameUser(process) ||
        !::GetProcessTimes(process, &creation, &exit, &kernel, &user) ||
        Ticks(creation) != target.startTime) {
        ::CloseHandle(process);
        return nullptr;
    }
    return process;
}

std::optional<std::int64_t> Win32ProcessApi::ClassLevers::ReadLever(const LeverTarget& target) {
    if (target.lever != Lever::PriorityClass) return std::nullopt;
    HANDLE process = static_cast<HANDLE>(Open(target, 0));
    if (process == nullptr) return std::nullopt;
    const DWORD cls = ::GetPriorityClass(process);
    ::CloseHandle(process);
    if (cls == 0) return std::nullopt;
    return static_cast<std::int64_t>(cls);
}

ILeverAccess::Write Win32ProcessApi::ClassLevers::WriteLever(const LeverTarget& target,
                                                             std::int64_t value) {
    if (target.lever != Lever::PriorityClass) return Write::Refused;
    HANDLE process = static_cast<HANDLE>(Open(target, PROCESS_SET_INFORMATION));
    if (process == nullptr) return Write::Gone;
    const DWORD was = ::GetPriorityClass(process);
    const bool set = m_api.SetClassNow(process, static_cast<std::int32_t>(value));
    // Windows gives High for Realtime to a program without the right, and calls that
    // success. A refused write must leave nothing behind: the record drops it, so a
    // class it left changed would never be put back (SetPriorityClass asks for High
    // then, on record).
    if (!set && was != 0 && ::GetPriorityClass(process) != was) ::SetPriorityClass(process, was);
    ::CloseHandle(process);
    return set ? Write::Done : Write::Refused;
}

bool Win32ProcessApi::ThreadTimesOf(void* process, ProcessTimes& times) {
    const DWORD pid = ::GetProcessId(static_cast<HANDLE>(process));
    if (pid == 0) return false;
    // A snapshot of all threads is costly; one serves the whole tick.
    const ULONGLONG now = ::GetTickCount64();
    if (m_threads.empty() || now - m_threadsTaken > 100) {
        m_threads.clear();
        HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return false;
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more;
             more = Thread32Next(snapshot, &entry)) {
            m_threads.emplace_back(entry.th32OwnerProcessID, entry.th32ThreadID);
        }
        ::CloseHandle(snapshot);
        m_threadsTaken = now;
    }
    ProcessTimes sum;
    sum.creation = std::numeric_limits<std::uint64_t>::max();
    bool any = false;
    for (const auto& [owner, id] : m_threads) {
        if (owner != pid) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (thread == nullptr) continue;
        FILETIME creation{}, exit{}, kernel{}, user{};
        if (GetThreadTimes(thread, &creation, &exit, &kernel, &user)) {
            any = true;
            if (Ticks(creation) < sum.creation) sum.creation = Ticks(creation);
            sum.kernel += Ticks(kernel);
            sum.user += Ticks(user);
        }
        ::CloseHandle(thread);
    }
    if (!any) return false;
    times = sum;
    return true;
}

bool Win32ProcessApi::GetProcessTimes(ProcessHandle handle, ProcessTimes& times) {
    if (handle == 0 || !Alive(AsHandle(handle))) return false;
    HANDLE process = AsHandle(handle);
    if (m_threadTimes && ::GetProcessId(process) != ::GetCurrentProcessId()) {
        return ThreadTimesOf(process, times);
    }
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &creation, &exit, &kernel, &user)) return false;
    times.creation = Ticks(creation);
    times.exit = Ticks(exit);
    times.kernel = Ticks(kernel);
    times.user = Ticks(user);
    return true;
}

bool Win32ProcessApi::GetSystemTimes(SystemTimes& times) {
    FILETIME idle{}, kernel{}, user{};
    if (!::GetSystemTimes(&idle, &kernel, &user)) return false;
    // The kernel time includes the idle time.
    times.total = Ticks(kernel) + Ticks(user);
    times.busy = times.total - std::min(times.total, Ticks(idle));
    return true;
}

std::optional<Readiness> Win32ProcessApi::GetReadiness(ProcessHandle) {
    return std::nullopt;  // Windows keeps no such count per process
}

std::string Win32ProcessApi::GetModuleFileNameExA(ProcessHandle handle, std::size_t maxChars) {
    if (handle == 0 || maxChars == 0 || !Alive(AsHandle(handle))) return {};
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(AsHandle(handle), 0, path.data(), &size)) return {};
    path.resize(size);
    if (path.size() > maxChars) {
        path.resize(maxChars);
        // Never end on the first half of a surrogate pair.
        if (IS_HIGH_SURROGATE(path.back())) path.pop_back();
    }
    return win32::Narrow(path);
}

std::optional<std::vector<ProcessInfo>> Win32ProcessApi::CreateToolhelp32Snapshot() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<ProcessInfo> processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        processes.push_back(ProcessInfo{static_cast<std::int32_t>(entry.th32ProcessID),
                                        win32::Narrow(entry.szExeFile)});
    }
    ::CloseHandle(snapshot);
    return processes;
}

std::int32_t Win32ProcessApi::GetCurrentProcessId() {
    return static_cast<std::int32_t>(::GetCurrentProcessId());
}

}  // namespace talvex::platform
