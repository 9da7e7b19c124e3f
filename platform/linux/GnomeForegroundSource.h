#pragma once
// Foreground announcements of GNOME Shell through Talvex's small shell extension
// (extras/gnome-shell): it exports /org/kessaly/Talvex/Focus on the shell's own bus
// name, answers Get with the focused window's pid, title and id, and sends the signal
// Changed with the same whenever the focus moves. Only signals from the connection
// that owns org.gnome.Shell at the time are taken. Without the extension the source
// does not start; the marks Mutter leaves on the applications' cgroups then tell the
// application in front (GnomeAppMarkSource), though not the window.

#include <systemd/sd-bus.h>

#include <memory>
#include <string>

#include "platform/IForegroundSource.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/DbusConnection.h"

namespace talvex::platform {

class GnomeForegroundSource final : public IForegroundSource {
  public:
    static constexpr const char* kShell = "org.gnome.Shell";
    static constexpr const char* kPath = "/org/kessaly/Talvex/Focus";
    static constexpr const char* kInterface = "org.kessaly.Talvex.Focus";

    /// `busAddress` empty: the session bus.
    GnomeForegroundSource(std::string busAddress, CompositorWindowApi& windows);
    ~GnomeForegroundSource() override;
    GnomeForegroundSource(const GnomeForegroundSource&) = delete;
    GnomeForegroundSource& operator=(const GnomeForegroundSource&) = delete;

    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_listening; }
    void Stop() override;
    std::string Name() const override { return "GNOME"; }
    std::string UnreachableDesktop() const override { return {}; }  // it follows its own

  private:
    void Announce();
    static int OnChanged(sd_bus_message* message, void* self, sd_bus_error* error);
    /// Reads (pid, title, id) into the window state.
    bool Take(sd_bus_message* message);

    std::string m_address;
    CompositorWindowApi& m_windows;
    std::unique_ptr<DbusConnection> m_bus;
    sd_bus_slot* m_match = nullptr;
    std::string m_shell;  // the connection that owns org.gnome.Shell now
    bool m_listening = false;
    bool m_changed = false;  // by the messages of the present dispatch
    OnChange m_onChange;
};

}  // namespace talvex::platform
