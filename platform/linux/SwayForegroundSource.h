#pragma once
// Foreground announcements of sway (and compositors that speak its i3-compatible IPC
// with process ids): the source subscribes to window events on $SWAYSOCK and reads the
// focused container's id, pid and name. The window state goes to a CompositorWindowApi,
// which the engine's queries read.

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IForegroundSource.h"
#include "platform/linux/CompositorWindowApi.h"

namespace talvex::platform {

namespace i3ipc {
inline constexpr std::uint32_t kGetTree = 4;
inline constexpr std::uint32_t kSubscribe = 2;
inline constexpr std::uint32_t kWorkspaceEvent = 0x80000000U;
inline constexpr std::uint32_t kWindowEvent = 0x80000003U;

/// One message: "i3-ipc", the payload's length and the type (native byte order), then
/// the payload.
std::string Encode(std::uint32_t type, std::string_view payload);
struct Message {
    std::uint32_t type = 0;
    std::string payload;
};
/// Takes the first whole message off the front of `buffer`; nullopt while it is
/// incomplete. Throws std::runtime_error when the buffer does not start with one.
std::optional<Message> Take(std::string& buffer);
}  // namespace i3ipc

class SwayForegroundSource final : public IForegroundSource {
  public:
    /// Talks to the socket at `socketPath` ($SWAYSOCK), made by user `owner`, and keeps
    /// `windows` current.
    SwayForegroundSource(std::string socketPath, CompositorWindowApi& windows,
                         uid_t owner = ::geteuid());
    ~SwayForegroundSource() override;
    SwayForegroundSource(const SwayForegroundSource&) = delete;
    SwayForegroundSource& operator=(const SwayForegroundSource&) = delete;

    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return m_watch != nullptr; }
    void Stop() override;
    std::string Name() const override { return "sway"; }
    std::string UnreachableDesktop() const override { return {}; }  // it follows its own

  private:
    void OnReadable();
    /// Handles one event; true when it changed the front.
    bool Handle(std::uint32_t type, const std::string& payload);
    void Close();

    std::string m_socketPath;
    CompositorWindowApi& m_windows;
    uid_t m_owner;
    int m_fd = -1;
    std::string m_buffer;
    std::unique_ptr<DescriptorWatch> m_watch;
    OnChange m_onChange;
};

}  // namespace talvex::platform
