#pragma once
// Windows of an X11 desktop through Xlib and the window manager's EWMH properties.
//
// The connection is made on the first query. When the server cannot be reached, or the
// connection breaks, every query ends in its failure value and the program goes on; a
// later query connects again.

#include <string>

#include "platform/IWindowApi.h"

typedef struct _XDisplay Display;  // NOLINT: Xlib's own spelling

namespace talvex::platform {

class X11WindowApi final : public IWindowApi {
  public:
    /// Connects to `displayName`, or to $DISPLAY when it is empty.
    explicit X11WindowApi(std::string displayName = {});
    ~X11WindowApi() override;
    X11WindowApi(const X11WindowApi&) = delete;
    X11WindowApi& operator=(const X11WindowApi&) = delete;

    WindowHandle GetForegroundWindow() override;
    std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) override;
    std::int32_t GetWindowThreadProcessId(WindowHandle window) override;
    void SetWindowPos(WindowHandle window, bool topmost) override;

    /// Whether a connection to the server is open now.
    bool IsConnected() const { return m_display != nullptr && !m_broken; }

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
    bool m_hasXRes = false;
    Atoms* m_atoms = nullptr;
};

}  // namespace talvex::platform
