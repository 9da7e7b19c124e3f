#pragma once
// The foreground of a Linux session: where a Wayland compositor can tell, its own
// announcements; otherwise X11's (on a Wayland session: the programs that run under
// Xwayland). The windows the engine reads follow the source in use.

#include <memory>
#include <string>

#include "platform/IForegroundSource.h"
#include "platform/IWindowApi.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/X11ForegroundSource.h"
#include "platform/linux/X11WindowApi.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

enum class Compositor { None, Sway, Hyprland, KWin, Gnome, Other };

/// The Wayland compositor of the session, from WAYLAND_DISPLAY, SWAYSOCK,
/// HYPRLAND_INSTANCE_SIGNATURE and XDG_CURRENT_DESKTOP; None for an X11 session.
Compositor ChooseCompositor(const xdg::EnvLookup& env = xdg::ProcessEnv);

class LinuxForeground final : public IForegroundSource, public IWindowApi {
  public:
    /// `systemRoot` is prefixed to /proc and /sys ("" on a live system).
    explicit LinuxForeground(const xdg::EnvLookup& env = xdg::ProcessEnv,
                             const std::string& systemRoot = "");
    ~LinuxForeground() override;
    LinuxForeground(const LinuxForeground&) = delete;
    LinuxForeground& operator=(const LinuxForeground&) = delete;

    Compositor Kind() const { return m_kind; }
    /// Stops only the compositor's source (for an end by exit(), when the X server may
    /// be gone).
    void StopCompositorSource() {
        if (m_compositor) m_compositor->Stop();
        if (m_fallback) m_fallback->Stop();
    }

    // IForegroundSource
    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_active && m_active->Listening(); }
    void Stop() override;
    std::string Name() const override { return m_active ? m_active->Name() : "X11"; }
    std::string UnreachableDesktop() const override { return m_unreachable; }

    // IWindowApi: the compositor's windows while its source listens, else X11's.
    WindowHandle GetForegroundWindow() override { return Windows().GetForegroundWindow(); }
    std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) override {
        return Windows().GetWindowTextA(window, maxChars);
    }
    std::int32_t GetWindowThreadProcessId(WindowHandle window) override {
        return Windows().GetWindowThreadProcessId(window);
    }
    void SetWindowPos(WindowHandle window, bool topmost) override {
        m_x11Windows.SetWindowPos(window, topmost);
    }
    /// On Wayland no client is kept above the others, not even through Xwayland.
    std::string TopmostUnavailableOn() override {
        return m_kind == Compositor::None ? "" : m_desktopName;
    }

  private:
    IWindowApi& Windows();

    Compositor m_kind;
    std::string m_desktopName;  // as the session calls it, for the notice
    X11WindowApi m_x11Windows;
    X11ForegroundSource m_x11Source;
    CompositorWindowApi m_compositorWindows{&m_x11Windows};
    std::unique_ptr<IForegroundSource> m_compositor;
    std::unique_ptr<IForegroundSource> m_fallback;  // where the compositor's own cannot start
    IForegroundSource* m_active = nullptr;
    std::string m_unreachable;
};

}  // namespace talvex::platform
