#pragma once
// A private session bus (dbus-daemon of the test's own) and a peer on it that plays a
// desktop's part in a thread of its own: it owns a name, answers calls to its objects
// and runs what the test hands it on its connection.

#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace talvex::testing {

class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Ready() const { return !m_address.empty(); }
    const std::string& Address() const { return m_address; }
    /// Ends the bus daemon: every connection to it breaks.
    void End();

  private:
    std::string m_folder, m_address;
    pid_t m_pid = -1;
};

class FakeBusPeer {
  public:
    /// Answers a method call to one of its objects; returns what sd-bus handlers return.
    using Handler = std::function<int(sd_bus_message* call)>;

    /// Connects to `address`, owns `name` (unless empty) and routes calls to objects
    /// under `pathPrefix` to `handler`.
    FakeBusPeer(const std::string& address, const std::string& name, const std::string& pathPrefix,
                Handler handler);
    ~FakeBusPeer();
    FakeBusPeer(const FakeBusPeer&) = delete;
    FakeBusPeer& operator=(const FakeBusPeer&) = delete;

    bool Ready() const { return m_ready; }
    /// Runs `work` on the peer's connection, in its thread, and waits for it.
    void Run(const std::function<void(sd_bus*)>& work);

  private:
    static int OnCall(sd_bus_message* call, void* self, sd_bus_error* error);
    void Loop();

    sd_bus* m_bus = nullptr;
    sd_bus_slot* m_slot = nullptr;
    Handler m_handler;
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::deque<std::function<void(sd_bus*)>> m_work;
    std::thread m_thread;
};

}  // namespace talvex::testing
