#pragma once
// Where the desktop announces that another window came to the front, so the boost can
// follow the user at once instead of at the next tick. Backends: X11 (PropertyNotify of
// _NET_ACTIVE_WINDOW), the Wayland compositors' own channels, and a fake one for tests.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/IUiServices.h"
#include "platform/IWindowApi.h"

namespace talvex::platform {

/// One change of the foreground as the desktop announced it.
struct ForegroundChange {
    WindowHandle window = 0;  // 0: nothing is in front
    std::int32_t pid = 0;     // 0: unknown
    std::string title;
};

/// How much of a title a change carries, in characters.
inline constexpr std::size_t kFrontTitleChars = 250;

/// The window in front now, as the window service sees it, as a change to announce.
inline ForegroundChange FrontNow(IWindowApi& windows) {
    const WindowHandle front = windows.GetForegroundWindow();
    return {front, windows.GetWindowThreadProcessId(front),
            windows.GetWindowTextA(front, kFrontTitleChars)};
}

class IForegroundSource {
  public:
    using OnChange = std::function<void(const ForegroundChange&)>;
    virtual ~IForegroundSource() = default;

    /// Connects and starts listening: `onChange` then runs from `ui`'s event loop for
    /// each change, with the newest foreground of the messages that were waiting. False
    /// when the desktop cannot be reached now; Start may be tried again later.
    virtual bool Start(IUiServices& ui, OnChange onChange) = 0;
    /// Whether it listens now; a lost connection ends the listening.
    virtual bool Listening() const = 0;
    /// Stops listening and closes the connection.
    virtual void Stop() = 0;
    /// The desktop it listens to, for the action log: "X11", "sway"...
    virtual std::string Name() const = 0;
    /// The desktop of the session when its foreground cannot be followed (a Wayland
    /// compositor that cannot be reached, or one without a way to ask); empty when it
    /// can. Only programs that run under X11 are followed then.
    virtual std::string UnreachableDesktop() const = 0;
};

}  // namespace talvex::platform
