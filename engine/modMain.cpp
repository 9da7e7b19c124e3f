#include "engine/modMain.h"

#include <algorithm>

namespace talvex::modMain {

using namespace platform;

namespace {
// Buffers behind the callers' maximum lengths; a larger maximum is cut to them.
std::size_t Clamp(std::int16_t requested, std::int16_t buffer) {
    return static_cast<std::size_t>(std::clamp<std::int16_t>(requested, 0, buffer));
}
}  // namespace

std::string Queries::GetPriorityName(std::int32_t lPriority) const {
    switch (lPriority) {
        case NORMAL_PRIORITY_CLASS:
            return names.sNameNormal;
        case IDLE_PRIORITY_CLASS:
            return names.sNameIdle;
        case HIGH_PRIORITY_CLASS:
            return names.sNameHigh;
        case REALTIME_PRIORITY_CLASS:
            return names.sNameRealtime;
        case BELOW_NORMAL_PRIORITY_CLASS:
            return names.sNameBelowNormal;
        case ABOVE_NORMAL_PRIORITY_CLASS:
            return names.sNameAboveNormal;
        default:
            return names.sNameOther;
    }
}

std::int32_t Queries::ResolvePid(std::int32_t lPid, WindowHandle hWnd) {
    if (lPid != 0) return lPid;
    if (hWnd != 0) return m_windows.GetWindowThreadProcessId(hWnd);
    return m_processes.GetCurrentProcessId();
}

std::int32_t Queries::GetWindowPriority(std::int32_t lPid, WindowHandle hWnd) {
    const std::int32_t pid = ResolvePid(lPid, hWnd);
    const ProcessHandle handle = m_processes.OpenProcess(PROCESS_ALL_ACCESS_LEGACY, pid);
    if (handle == 0) return kCannotOpen;
    const std::int32_t priority = m_processes.GetPriorityClass(handle);
    m_processes.CloseHandle(handle);
    return priority;
}

std::int32_t Queries::SetProcessPriority(std::int32_t lPid, WindowHandle hWnd,
                                         std::int32_t lNewPriority) {
    const std::int32_t pid = ResolvePid(lPid, hWnd);
    ProcessHandle handle =
        m_processes.OpenProcess(PROCESS_SET_INFORMATION | PROCESS_QUERY_INFORMATION, pid);
    if (handle != 0) {
        m_processes.SetPriorityClass(handle, lNewPriority);
    } else {
        // Read-only access still lets the caller see what the class is.
        handle = m_processes.OpenProcess(PROCESS_QUERY_INFORMATION, pid);
    }
    if (handle == 0) return 0;
    const std::int32_t priority = m_processes.GetPriorityClass(handle);
    m_processes.CloseHandle(handle);
    return priority;
}

std::int32_t Queries::UndoProcessChanges(std::int32_t lPid) {
    return lPid == 0 ? 0 : m_processes.UndoChanges(lPid);
}

WindowHandle Queries::GetForegroundWnd() {
    return m_windows.GetForegroundWindow();
}

std::string Queries::GetWindowTitle(WindowHandle hWnd, std::int16_t iMaxLength) {
    if (hWnd == 0) return {};
    return m_windows.GetWindowTextA(hWnd, Clamp(iMaxLength, kTitleMax));
}

std::string Queries::GetWindowExePath(WindowHandle hWnd, std::int16_t iMaxLength) {
    const std::int32_t pid =
        hWnd == 0 ? m_processes.GetCurrentProcessId() : m_windows.GetWindowThreadProcessId(hWnd);
    const ProcessHandle handle =
        m_processes.OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, pid);
    if (handle == 0) return {};
    std::string path = m_processes.GetModuleFileNameExA(handle, Clamp(iMaxLength, kPathMax));
    m_processes.CloseHandle(handle);
    return path;
}

void Queries::SetTopmost(WindowHandle hWnd, bool bTopmost) {
    if (hWnd != 0) m_windows.SetWindowPos(hWnd, bTopmost);
}

std::int32_t Queries::GetWindowProcessId(WindowHandle hWnd) {
    if (hWnd == 0) return 0;
    return m_windows.GetWindowThreadProcessId(hWnd);
}

}  // namespace talvex::modMain
