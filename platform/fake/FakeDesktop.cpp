#include "platform/fake/FakeDesktop.h"

#include <algorithm>

namespace talvex::platform {

namespace {
std::string FileNameOf(const std::string& path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Cuts UTF-8 text to at most `bytes` bytes without splitting a character.
std::string CutUtf8(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}
}  // namespace

constexpr const char* kFakeBootId = "fake-boot";

FakeDesktop::FakeDesktop() : m_record(std::make_unique<ChangeRecord>(m_levers, kFakeBootId)) {}

void FakeDesktop::SetRecordFile(IRecordFile* file) {
    m_record = std::make_unique<ChangeRecord>(m_levers, kFakeBootId, file);
}

bool FakeDesktop::UndoAllChanges(std::uint32_t waitMs) {
    m_record->UndoAll();
    // The fake's clock stands still; a turned-away write gets one more try per 10 ms.
    for (std::uint32_t waited = 0; m_record->Waiting() && waited < waitMs; waited += 10) {
        m_record->RetryWaiting();
    }
    return m_record->Held().empty();
}

std::optional<std::int64_t> FakeDesktop::ClassLevers::ReadLever(const LeverTarget& target) {
    const Process* p = m_desktop.Live(target.pid);
    if (!p || p->serial != target.startTime || target.lever != Lever::PriorityClass) {
        return std::nullopt;
    }
    return p->priorityClass;
}

ILeverAccess::Write FakeDesktop::ClassLevers::WriteLever(const LeverTarget& target,
                                                         std::int64_t value) {
    Process* p = m_desktop.Live(target.pid);
    if (!p || p->serial != target.startTime) return Write::Gone;
    const auto cls = static_cast<std::int32_t>(value);
    if (PriorityRank(cls) < 0) return Write::Refused;
    // Any step towards a stronger class needs the right, also Idle back to Normal.
    if (PriorityRank(cls) > PriorityRank(p->priorityClass) && !m_desktop.m_mayRaise) {
        return Write::Refused;
    }
    if (m_desktop.m_writesBusy) return Write::Busy;
    if (p->priorityClass != cls) {
        p->priorityClass = cls;
        m_desktop.m_changes.emplace_back(target.pid, cls);
    }
    return Write::Done;
}

std::int32_t FakeDesktop::AddProcess(const FakeProcessSpec& spec) {
    std::int32_t pid = spec.pid.value_or(0);
    if (!spec.pid) {
        while (m_processes.count(m_nextPid)) ++m_nextPid;
        pid = m_nextPid++;
    }
    Process p;
    p.serial = m_nextSerial++;
    p.exePath = spec.exePath;
    p.exeName = spec.exeName.empty() ? FileNameOf(spec.exePath) : spec.exeName;
    p.priorityClass = spec.priorityClass;
    p.grantable = spec.grantableAccess;
    p.appId = spec.appId;
    // Started now, and after any process the pid had before.
    p.times.creation = m_tick * 10000 + p.serial;
    m_processes[pid] = p;
    return pid;
}

void FakeDesktop::ReplaceImage(std::int32_t pid, const std::string& exePath) {
    if (auto* p = Live(pid)) {
        p->exePath = exePath;
        p->exeName = FileNameOf(exePath);
    }
}

void FakeDesktop::SetCpuGroup(std::int32_t pid, const std::string& group) {
    if (auto* p = Live(pid)) p->group = group;
}

std::vector<CpuGroupTime> FakeDesktop::ReadGroupTimes(bool rescan) {
    ++m_groupReads;
    if (rescan) {
        m_groupOf.clear();
        for (const auto& [pid, p] : m_processes) {
            if (!p.group.empty()) m_groupOf[pid] = p.group;
        }
    }
    std::map<std::string, std::uint64_t> used;
    for (const auto& [pid, group] : m_groupOf) used[group];
    for (const auto& [pid, p] : m_processes) {
        if (used.count(p.group)) used[p.group] += p.times.kernel + p.times.user;
    }
    std::vector<CpuGroupTime> times;
    for (const auto& [group, time] : used) times.push_back({group, time});
    return times;
}

std::string FakeDesktop::GroupOf(std::int32_t pid) const {
    const auto it = m_groupOf.find(pid);
    return it == m_groupOf.end() ? std::string{} : it->second;
}

void FakeDesktop::EndProcess(std::int32_t pid) {
    m_processes.erase(pid);
    for (auto it = m_windows.begin(); it != m_windows.end();) {
        if (it->second.owner == pid) {
            if (m_foreground == it->first) m_foreground = 0;
            it = m_windows.erase(it);
        } else {
            ++it;
        }
    }
}

bool FakeDesktop::IsRunning(std::int32_t pid) const {
    return Live(pid) != nullptr;
}

void FakeDesktop::SetGrantableAccess(std::int32_t pid, std::uint32_t access) {
    if (auto* p = Live(pid)) p->grantable = access;
}

std::int32_t FakeDesktop::PriorityOf(std::int32_t pid) const {
    const auto* p = Live(pid);
    return p ? p->priorityClass : -1;
}

void FakeDesktop::SetPriorityOf(std::int32_t pid, std::int32_t priorityClass) {
    if (auto* p = Live(pid)) p->priorityClass = priorityClass;
}

void FakeDesktop::SetRealtimeThread(std::int32_t pid, bool realtime) {
    if (auto* p = Live(pid)) p->realtimeThread = realtime;
}

bool FakeDesktop::HasRealtimeThread(ProcessHandle handle) {
    const Process* p = Resolve(handle, PROCESS_QUERY_INFORMATION);
    return p != nullptr && p->realtimeThread;
}

std::string FakeDesktop::GetAppId(ProcessHandle handle) {
    ++m_pathReads;
    const Process* p = Resolve(handle, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    return p != nullptr ? p->appId : std::string{};
}

void FakeDesktop::AddCpuTime(std::int32_t pid, std::uint64_t kernelMs, std::uint64_t userMs) {
    if (auto* p = Live(pid)) {
        p->times.kernel += kernelMs * 10000;
        p->times.user += userMs * 10000;
        m_machineBusy += (kernelMs + userMs) * 10000;
    }
}

void FakeDesktop::AddRunQueueWait(std::int32_t pid, std::uint64_t ms) {
    if (auto* p = Live(pid)) p->waitNs += ms * 1'000'000;
}

void FakeDesktop::SetReadyNow(std::int32_t pid, bool ready) {
    if (auto* p = Live(pid)) p->readyNow = ready;
}

void FakeDesktop::SetCpuTimes(std::int32_t pid, std::uint64_t kernel, std::uint64_t user) {
    if (auto* p = Live(pid)) {
        // The machine counts what was added; a time set lower was never taken back.
        const std::uint64_t before = p->times.kernel + p->times.user;
        if (kernel + user > before) m_machineBusy += kernel + user - before;
        p->times.kernel = kernel;
        p->times.user = user;
    }
}

WindowHandle FakeDesktop::AddWindow(std::int32_t ownerPid, const std::string& title) {
    const WindowHandle handle = m_nextWindow;
    m_nextWindow += 0x10;
    m_windows[handle] = Window{ownerPid, title, false};
    return handle;
}

void FakeDesktop::SetWindowTitle(WindowHandle window, const std::string& title) {
    auto it = m_windows.find(window);
    if (it != m_windows.end()) it->second.title = title;
}

void FakeDesktop::CloseWindow(WindowHandle window) {
    m_windows.erase(window);
    if (m_foreground == window) m_foreground = 0;
}

bool FakeDesktop::IsTopmost(WindowHandle window) const {
    auto it = m_windows.find(window);
    return it != m_windows.end() && it->second.topmost;
}

FakeDesktop::Process* FakeDesktop::Live(std::int32_t pid) {
    auto it = m_processes.find(pid);
    return it == m_processes.end() ? nullptr : &it->second;
}

const FakeDesktop::Process* FakeDesktop::Live(std::int32_t pid) const {
    auto it = m_processes.find(pid);
    return it == m_processes.end() ? nullptr : &it->second;
}

FakeDesktop::Process* FakeDesktop::Resolve(ProcessHandle handle, std::uint32_t needed) {
    auto it = m_handles.find(handle);
    if (it == m_handles.end() || (it->second.access & needed) != needed) return nullptr;
    Process* p = Live(it->second.pid);
    return (p && p->serial == it->second.serial) ? p : nullptr;
}

ProcessHandle FakeDesktop::OpenProcess(std::uint32_t access, std::int32_t pid) {
    ++m_openCalls;
    const Process* p = Live(pid);
    if (!p || pid == 0 || (access & ~p->grantable) != 0) return 0;
    const ProcessHandle handle = m_nextHandle;
    m_nextHandle += 4;
    m_handles[handle] = Handle{pid, p->serial, access};
    return handle;
}

bool FakeDesktop::CloseHandle(ProcessHandle handle) {
    return m_handles.erase(handle) == 1;
}

std::int32_t FakeDesktop::GetPriorityClass(ProcessHandle handle) {
    const Process* p = Resolve(handle, PROCESS_QUERY_INFORMATION);
    return p ? p->priorityClass : 0;
}

bool FakeDesktop::SetPriorityClass(ProcessHandle handle, std::int32_t priorityClass) {
    Process* p = Resolve(handle, PROCESS_SET_INFORMATION);
    if (!p || PriorityRank(priorityClass) < 0) return false;
    if (p->priorityClass == priorityClass) return true;
    const LeverTarget target{m_handles[handle].pid, p->serial, 0, Lever::PriorityClass};
    return m_record->Change({{target, p->priorityClass, priorityClass}});
}

bool FakeDesktop::GetProcessTimes(ProcessHandle handle, ProcessTimes& times) {
    const Process* p = Resolve(handle, PROCESS_QUERY_INFORMATION);
    if (!p) return false;
    ++m_processTimesReads;
    times = p->times;
    return true;
}

bool FakeDesktop::GetSystemTimes(SystemTimes& times) {
    ++m_systemTimesReads;
    if (m_systemTimesFail) return false;
    times.busy = m_machineBusy;
    times.total = std::max(m_machineBusy, m_tick * 10000);
    return true;
}

std::optional<Readiness> FakeDesktop::GetReadiness(ProcessHandle handle) {
    ++m_readinessReads;
    const Process* p = Resolve(handle, PROCESS_QUERY_INFORMATION);
    if (!p || !m_waitKnown) return std::nullopt;
    return Readiness{p->waitNs, p->readyNow};
}

std::string FakeDesktop::GetModuleFileNameExA(ProcessHandle handle, std::size_t maxChars) {
    ++m_pathReads;
    const Process* p = Resolve(handle, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!p || maxChars == 0) return {};
    return CutUtf8(p->exePath, maxChars);
}

std::optional<std::vector<ProcessInfo>> FakeDesktop::CreateToolhelp32Snapshot() {
    if (m_snapshotFails) return std::nullopt;
    if (!m_record->Held().empty()) m_record->ForgetGone();
    std::vector<ProcessInfo> list;
    list.reserve(m_processes.size());
    for (const auto& [pid, p] : m_processes) list.push_back(ProcessInfo{pid, p.exeName});
    return list;
}

WindowHandle FakeDesktop::GetForegroundWindow() {
    ++m_windowQueries;
    return m_foreground;
}

std::string FakeDesktop::GetWindowTextA(WindowHandle window, std::size_t maxChars) {
    ++m_windowQueries;
    auto it = m_windows.find(window);
    if (it == m_windows.end() || maxChars < 2) return {};
    return CutUtf8(it->second.title, maxChars - 1);
}

std::int32_t FakeDesktop::GetWindowThreadProcessId(WindowHandle window) {
    ++m_windowQueries;
    auto it = m_windows.find(window);
    return it == m_windows.end() ? 0 : it->second.owner;
}

void FakeDesktop::SetWindowPos(WindowHandle window, bool topmost) {
    auto it = m_windows.find(window);
    if (it != m_windows.end()) it->second.topmost = topmost;
}

}  // namespace talvex::platform
