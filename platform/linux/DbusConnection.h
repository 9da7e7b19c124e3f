#pragma once
// A session-bus connection whose messages the event loop dispatches: the descriptor is
// watched, and every message waiting (including those a synchronous call queued) is
// handled at once.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/IUiServices.h"
#include "platform/IWindowApi.h"

namespace talvex::platform {

class DbusConnection {
  public:
    /// How long a method call waits for its answer.
    static constexpr std::uint64_t kCallTimeoutUsec = 2'000'000;

    /// Connects to the bus at `address`, or to the user's session bus when it is empty.
    explicit DbusConnection(const std::string& address);
    ~DbusConnection();
    DbusConnection(const DbusConnection&) = delete;
    DbusConnection& operator=(const DbusConnection&) = delete;

    bool Connected() const { return m_bus != nullptr; }
    sd_bus* Bus() const { return m_bus; }
    /// This connection's own (unique) name on the bus.
    std::string UniqueName() const;
    /// The connection that owns `name` now; empty when nobody does.
    std::string OwnerOf(const std::string& name) const;
    /// Follows who owns `name` (one name per connection): `onChange` gets each new owner
    /// ("" when nobody), as the bus itself announces it. Returns the owner now; empty
    /// also when the changes cannot be followed.
    std::string TrackOwner(const std::string& name,
                           std::function<void(const std::string&)> onChange);
    /// Lets `ui`'s event loop dispatch the messages; `afterDispatch` runs once every
    /// message waiting was handled, `onBroken` when the bus goes away (the watch has
    /// ended by then). Handles what is waiting already.
    bool Watch(IUiServices& ui, std::function<void()> afterDispatch,
               std::function<void()> onBroken);

  private:
    void Dispatch();
    static int OnOwnerChanged(sd_bus_message* message, void* self, sd_bus_error* error);

    sd_bus* m_bus = nullptr;
    std::unique_ptr<DescriptorWatch> m_watch;
    std::function<void()> m_afterDispatch, m_onBroken;
    sd_bus_slot* m_ownerMatch = nullptr;
    std::string m_trackedName;
    std::function<void(const std::string&)> m_onOwner;
};

}  // namespace talvex::platform
