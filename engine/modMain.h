#pragma once
// The engine's only access to the desktop's windows and processes: small stateless
// wrappers that never fail but end in fixed values instead.

#include <cstdint>
#include <string>

#include "platform/IProcessApi.h"
#include "platform/IWindowApi.h"

namespace talvex {

/// Result of the priority queries for a process that cannot be opened at all.
inline constexpr std::int32_t kCannotOpen = -9999;

/// Display names of the priority classes, filled each time the interface is translated.
struct PriorityNames {
    std::string sNameIdle, sNameBelowNormal, sNameNormal, sNameAboveNormal, sNameHigh,
        sNameRealtime, sNameOther;
};

namespace modMain {

// Caller-side limits: the title and path buffers hold exactly this many characters.
inline constexpr std::int16_t kTitleMax = 250;
inline constexpr std::int16_t kPathMax = 1024;

/// Background observation's settings: on or off, and the usages in percent above which a
/// background process is lowered to Idle or to Below Normal.
struct ObserverSettings {
    bool bBkgObservation = true;
    std::int16_t iIdleCpuUsage = 40;
    std::int16_t iBelowNormalCpuUsage = 10;
};

/// The queries themselves, on the desktop's windows and processes.
class Queries {
  public:
    Queries(platform::IProcessApi& processes, platform::IWindowApi& windows)
        : m_processes(processes), m_windows(windows) {}

    PriorityNames names;

    /// Display name of a class; sNameOther for any value that is not a class.
    std::string GetPriorityName(std::int32_t lPriority) const;
    /// Class of the process (pid, else the window's owner, else this program);
    /// -9999 when it cannot be opened, 0 when its class cannot be read.
    std::int32_t GetWindowPriority(std::int32_t lPid, platform::WindowHandle hWnd);
    /// Tries to set the class and returns the class read back; 0 when unreadable.
    std::int32_t SetProcessPriority(std::int32_t lPid, platform::WindowHandle hWnd,
                                    std::int32_t lNewPriority);
    /// Undoes this program's own changes to process lPid, where they still hold: each
    /// thread or group gets back exactly the value it had. Returns how many changes were
    /// put back; 0 for pid 0.
    std::int32_t UndoProcessChanges(std::int32_t lPid);
    /// The window in front; 0 for none.
    platform::WindowHandle GetForegroundWnd();
    /// Title of the window, at most iMaxLength - 1 characters; empty on failure.
    std::string GetWindowTitle(platform::WindowHandle hWnd, std::int16_t iMaxLength);
    /// Executable path of the window's process (window 0: this program); empty on failure.
    std::string GetWindowExePath(platform::WindowHandle hWnd, std::int16_t iMaxLength);
    /// Keeps a window above all others, or lets it go.
    void SetTopmost(platform::WindowHandle hWnd, bool bTopmost);
    /// Owner of the window; 0 for window 0 or an invalid window.
    std::int32_t GetWindowProcessId(platform::WindowHandle hWnd);

    platform::IProcessApi& Processes() { return m_processes; }

  private:
    std::int32_t ResolvePid(std::int32_t lPid, platform::WindowHandle hWnd);

    platform::IProcessApi& m_processes;
    platform::IWindowApi& m_windows;
};

}  // namespace modMain
}  // namespace talvex
