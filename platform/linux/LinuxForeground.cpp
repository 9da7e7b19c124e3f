#include "platform/linux/LinuxForeground.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "platform/linux/GnomeAppMarkSource.h"
#include "platform/linux/GnomeForegroundSource.h"
#include "platform/linux/HyprlandForegroundSource.h"
#include "platform/linux/KWinForegroundSource.h"
#include "platform/linux/SwayForegroundSource.h"

namespace talvex::platform {

namespace {

std::string Get(const xdg::EnvLookup& env, const char* name) {
    const char* value = env(name);
    return value ? value : "";
}

// XDG_CURRENT_DESKTOP is a colon-separated list, such as "ubuntu:GNOME".
bool Names(const std::string& desktops, const std::string& wanted) {
    std::string upper = desktops;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::size_t start = 0;
    while (start <= upper.size()) {
        const std::size_t end = std::min(upper.find(':', start), upper.size());
        if (upper.compare(start, end - start, wanted) == 0) return true;
        start = end + 1;
    }
    return false;
}

std::string DesktopName(Compositor kind, const std::string& current) {
    switch (kind) {
        case Compositor::Sway:
            return "sway";
        case Compositor::Hyprland:
            return "Hyprland";
        case Compositor::KWin:
            return "KDE Plasma";
        case Compositor::Gnome:
            return "GNOME";
        default:
            return current.empty() ? "Wayland" : current;
    }
}

}  // namespace

Compositor ChooseCompositor(const xdg::EnvLookup& env) {
    if (Get(env, "WAYLAND_DISPLAY").empty()) return Compositor::None;
    if (!Get(env, "SWAYSOCK").empty()) return Compositor::Sway;
    if (!Get(env, "HYPRLAND_INSTANCE_SIGNATURE").empty()) return Compositor::Hyprland;
    const std::string current = Get(env, "XDG_CURRENT_DESKTOP");
    if (Names(current, "KDE")) return Compositor::KWin;
    if (Names(current, "GNOME")) return Compositor::Gnome;
    if (Names(current, "SWAY")) return Compositor::Sway;
    if (Names(current, "HYPRLAND")) return Compositor::Hyprland;
    return Compositor::Other;
}

LinuxForeground::LinuxForeground(const xdg::EnvLookup& env, const std::string& systemRoot)
    : m_kind(ChooseCompositor(env)),
      m_desktopName(DesktopName(m_kind, Get(env, "XDG_CURRENT_DESKTOP"))),
      m_x11Windows(Get(env, "DISPLAY")),
      m_x11Source(Get(env, "DISPLAY")) {
    if (m_kind == Compositor::Sway && !Get(env, "SWAYSOCK").empty()) {
        m_compositor =
            std::make_unique<SwayForegroundSource>(Get(env, "SWAYSOCK"), m_compositorWindows);
    }
    const std::string hyprland = HyprlandForegroundSource::InstanceFolder(env);
    if (m_kind == Compositor::Hyprland && !hyprland.empty()) {
        m_compositor = std::make_unique<HyprlandForegroundSource>(hyprland, m_compositorWindows);
    }
    if (m_kind == Compositor::KWin) {
        // KWin runs the script file it is given: it is kept where only this user writes.
        const std::string folder = xdg::PrivateFolder(env);
        m_compositor = std::make_unique<KWinForegroundSource>(Get(env, "DBUS_SESSION_BUS_ADDRESS"),
                                                              folder, m_compositorWindows);
    }
    if (m_kind == Compositor::Gnome) {
        // The extension knows the window; without it, Mutter's marks on the
        // applications' cgroups still tell which application is in front.
        m_compositor = std::make_unique<GnomeForegroundSource>(Get(env, "DBUS_SESSION_BUS_ADDRESS"),
                                                               m_compositorWindows);
        m_fallback =
            std::make_unique<GnomeAppMarkSource>(systemRoot, ::geteuid(), m_compositorWindows);
    }
}

LinuxForeground::~LinuxForeground() {
    Stop();
}

bool LinuxForeground::Start(IUiServices& ui, OnChange onChange) {
    Stop();
    for (IForegroundSource* source : {m_compositor.get(), m_fallback.get()}) {
        if (source && source->Start(ui, onChange)) {
            m_active = source;
            m_unreachable.clear();
            return true;
        }
    }
    // No compositor to ask: X11, which on a Wayland session sees the programs that run
    // under Xwayland.
    m_compositorWindows.Clear();
    m_active = &m_x11Source;
    m_unreachable = m_kind == Compositor::None ? "" : m_desktopName;
    return m_x11Source.Start(ui, std::move(onChange));
}

void LinuxForeground::Stop() {
    StopCompositorSource();
    m_x11Source.Stop();
    m_active = nullptr;
}

IWindowApi& LinuxForeground::Windows() {
    if (m_active && m_active != &m_x11Source) return m_compositorWindows;
    return m_x11Windows;
}

}  // namespace talvex::platform
