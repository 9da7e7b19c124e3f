#pragma once
// Foreground announcements of Hyprland: the event socket (.socket2.sock) says
// "activewindowv2>>ADDRESS" when another window comes to the front; the request socket
// (.socket.sock) then answers "j/activewindow" with its address, pid and title. Hyprland
// serves the request socket one connection at a time, so each request connection is
// closed as soon as the answer is in.

#include <unistd.h>

#include <memory>
#include <string>

#include "platform/IForegroundSource.h"
#include "platform/linux/CompositorWindowApi.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

class HyprlandForegroundSource final : public IForegroundSource {
  public:
    /// `folder` holds the instance's two sockets (see InstanceFolder), made by user
    /// `owner`.
    HyprlandForegroundSource(std::string folder, CompositorWindowApi& windows,
                             uid_t owner = ::geteuid());
    ~HyprlandForegroundSource() override;
    HyprlandForegroundSource(const HyprlandForegroundSource&) = delete;
    HyprlandForegroundSource& operator=(const HyprlandForegroundSource&) = delete;

    /// The socket folder of the instance HYPRLAND_INSTANCE_SIGNATURE names:
    /// $XDG_RUNTIME_DIR/hypr/SIGNATURE, or /tmp/hypr/SIGNATURE where older versions
    /// keep it; empty without a signature.
    static std::string InstanceFolder(const xdg::EnvLookup& env);

    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_watch != nullptr; }
    void Stop() override;
    std::string Name() const override { return "Hyprland"; }
    std::string UnreachableDesktop() const override { return {}; }  // it follows its own

  private:
    void OnReadable();
    /// Asks the request socket for the window in front and records it; false when
    /// Hyprland did not answer.
    bool AskFront();

    std::string m_folder;
    CompositorWindowApi& m_windows;
    uid_t m_owner;
    int m_fd = -1;
    std::string m_buffer;
    std::unique_ptr<DescriptorWatch> m_watch;
    OnChange m_onChange;
};

}  // namespace talvex::platform
