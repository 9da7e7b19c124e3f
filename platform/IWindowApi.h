#pragma once
// Window services: the foreground window, its title and its owner.

#include <cstdint>
#include <string>

namespace talvex::platform {

// A top-level window; 0 stands for "no window".
using WindowHandle = std::uint64_t;

class IWindowApi {
  public:
    virtual ~IWindowApi() = default;

    /// The window the user works with; 0 when there is none.
    virtual WindowHandle GetForegroundWindow() = 0;
    /// Copies at most maxChars - 1 characters of the title (never splitting a UTF-8
    /// character); empty for an invalid window or maxChars below 2.
    virtual std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) = 0;
    /// Id of the process that created the window; 0 for an invalid window.
    virtual std::int32_t GetWindowThreadProcessId(WindowHandle window) = 0;
    /// Puts the window into or out of the topmost band without moving, sizing or
    /// activating it.
    virtual void SetWindowPos(WindowHandle window, bool topmost) = 0;
    /// The desktop on which SetWindowPos cannot keep a window above the others (a
    /// Wayland compositor keeps no client there), as the session calls it; "" where it
    /// works.
    virtual std::string TopmostUnavailableOn() = 0;
};

}  // namespace talvex::platform
