#pragma once
// Windows of a Wayland desktop as its compositor announced them: the window in front,
// and the owner and title of the windows it named. A Wayland client cannot ask about
// other clients' windows, so a foreground source fills this in from the compositor's
// messages, before it tells the program of a change. What the compositor does not
// name (the program's own windows, which Qt keeps on X11 through Xwayland) is left to
// the X11 backend.

#include <deque>
#include <string>
#include <unordered_map>

#include "platform/IForegroundSource.h"
#include "platform/IWindowApi.h"

namespace talvex::platform {

class CompositorWindowApi final : public IWindowApi {
  public:
    /// `own` answers for the program's own windows (topmost); may be null.
    explicit CompositorWindowApi(IWindowApi* own = nullptr) : m_own(own) {}

    /// The handle of the window the compositor names `id` (KWin's UUID, GNOME's sequence
    /// number, Hyprland's address): a small number, in the order the windows were first
    /// named (1, 2, ...), the same each time, so that the status shows something a
    /// person can tell apart. Never 0.
    WindowHandle HandleFor(const std::string& id);
    /// The handle of a window named before; 0 for one never named.
    WindowHandle KnownHandle(const std::string& id) const;

    /// The compositor named this window as the one in front (window 0: none).
    void SetFront(const ForegroundChange& front);
    /// A window's title changed.
    void SetTitle(WindowHandle window, const std::string& title);
    /// A window was closed; in front, nothing is in front any more.
    void Forget(WindowHandle window);
    /// The compositor is gone: nothing is known any more.
    void Clear();

    WindowHandle GetForegroundWindow() override { return m_front; }
    std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) override;
    std::int32_t GetWindowThreadProcessId(WindowHandle window) override;
    void SetWindowPos(WindowHandle window, bool topmost) override;
    /// Which desktop this is, the compositor's source knows (see LinuxForeground).
    std::string TopmostUnavailableOn() override { return {}; }

  private:
    const ForegroundChange* Find(WindowHandle window) const;

    IWindowApi* m_own;
    WindowHandle m_front = 0;
    std::deque<ForegroundChange> m_known;                     // newest first, a few dozen at most
    std::unordered_map<std::string, WindowHandle> m_handles;  // by the compositor's id
    WindowHandle m_nextHandle = 1;
};

}  // namespace talvex::platform
