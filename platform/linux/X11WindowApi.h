#pragma once
// Windows of an X11 desktop through Xlib and the window manager's EWMH properties.
//
// The connection is made on the first query. When the server cannot be reached, or the
// connection breaks, every query ends in its failure value and the program goes on; a
// later query connects again (unless the connection was made not to).

#include <string>

#include "platform/IWindowApi.h"

typedef struct _XDisplay Display;  // NOLINT: Xlib's own spelling

namespace talvex::platform {

class X11WindowApi final : public IWindowApi {
  public:
    /// Connects to `displayName`, or to $DISPLAY when it is empty. With `reconnect`
    /// false a lost connection stays lost, every query failing, until Close.
    explicit X11WindowApi(std::string displayName = {}, bool reconnect = true);
    ~X11WindowApi() override;
    X11WindowApi(const X11WindowApi&) = delete;
    X11WindowApi& operator=(const X11WindowApi&) = delete;

    WindowHandle GetForegroundWindow() override;
    std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) override;
    std::int32_t GetWindowThreadProcessId(WindowHandle window) override;
    void SetWindowPos(WindowHandle window, bool topmost) override;
    /// An X server lets a window manager keep windows above the others.
    std::string TopmostUnavailableOn() override { return {}; }

    /// Whether a connection to the server is open now.
    bool IsConnected() const { return m_display != nullptr && !m_broken; }
    /// Closes the connection; the next query connects again.
    void Close() { Disconnect(); }

    // Announcements of the active window, for the foreground source.
    /// Connects and asks for the root window's property changes; the connection's
    /// descriptor, or -1 when the server cannot be reached.
    int WatchActiveWindow();
    /// Takes every event waiting, without blocking; true when one of them announced a
    /// change of _NET_ACTIVE_WINDOW.
    bool TakeActiveWindowEvents();

  private:
    struct Atoms;
    struct Property;

    Display* Connection();
    void Disconnect();
    Property ReadProperty(unsigned long window, unsigned long name, unsigned long type);
    bool WindowExists(unsigned long window);
    std::int32_t PidFromXRes(unsigned long window);
    static void OnConnectionLost(Display* display, void* self);

    std::string m_displayName;
    Display* m_display = nullptr;
    bool m_broken = false;
    bool m_reconnect = true;
    bool m_hasXRes = false;
    Atoms* m_atoms = nullptr;
};

}  // namespace talvex::platform
