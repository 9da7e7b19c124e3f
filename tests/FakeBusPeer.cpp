#include "tests/FakeBusPeer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

extern char** environ;

namespace talvex::testing {

PrivateBus::PrivateBus() {
    char folder[] = "/tmp/talvex-bus.XXXXXX";
    if (!::mkdtemp(folder)) return;
    m_folder = folder;
    const std::string socket = m_folder + "/bus";
    const std::string address = "--address=unix:path=" + socket;
    const char* argv[] = {"dbus-daemon", "--session",     "--nofork",
                          "--nopidfile", address.c_str(), nullptr};
    if (posix_spawnp(&m_pid, "dbus-daemon", nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
        m_pid = -1;
        return;
    }
    // Ready once it takes a connection (its socket file comes a moment before that).
    const std::string candidate = "unix:path=" + socket;
    for (int i = 0; i < 500; ++i) {
        sd_bus* probe = nullptr;
        const bool up = sd_bus_new(&probe) >= 0 &&
                        sd_bus_set_address(probe, candidate.c_str()) >= 0 &&
                        sd_bus_set_bus_client(probe, 1) >= 0 && sd_bus_start(probe) >= 0;
        sd_bus_flush_close_unref(probe);
        if (up) {
            m_address = candidate;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

PrivateBus::~PrivateBus() {
    End();
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder);
}

void PrivateBus::End() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

FakeBusPeer::FakeBusPeer(const std::string& address, const std::string& name,
                         const std::string& pathPrefix, Handler handler)
    : m_handler(std::move(handler)) {
    if (sd_bus_new(&m_bus) < 0 || sd_bus_set_address(m_bus, address.c_str()) < 0 ||
        sd_bus_set_bus_client(m_bus, 1) < 0 || sd_bus_start(m_bus) < 0 ||
        (!name.empty() && sd_bus_request_name(m_bus, name.c_str(), 0) < 0) ||
        (!pathPrefix.empty() &&
         sd_bus_add_fallback(m_bus, &m_slot, pathPrefix.c_str(), &FakeBusPeer::OnCall, this) < 0)) {
        return;
    }
    m_ready = true;
    m_thread = std::thread([this] { Loop(); });
}

FakeBusPeer::~FakeBusPeer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    sd_bus_slot_unref(m_slot);
    if (m_bus) sd_bus_flush_close_unref(m_bus);
}

int FakeBusPeer::OnCall(sd_bus_message* call, void* self, sd_bus_error*) {
    auto& peer = *static_cast<FakeBusPeer*>(self);
    return peer.m_handler ? peer.m_handler(call) : 0;
}

void FakeBusPeer::Run(const std::function<void(sd_bus*)>& work) {
    std::promise<void> done;
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back([&](sd_bus* bus) {
            work(bus);
            done.set_value();
        });
    }
    done.get_future().wait();
}

void FakeBusPeer::Loop() {
    while (!m_stop) {
        for (;;) {
            std::function<void(sd_bus*)> work;
            {
                std::lock_guard lock(m_mutex);
                if (m_work.empty()) break;
                work = std::move(m_work.front());
                m_work.pop_front();
            }
            work(m_bus);
        }
        int r = 0;
        while ((r = sd_bus_process(m_bus, nullptr)) > 0) {
        }
        if (r < 0) {
            // The bus is gone; work handed in still runs (and fails) so nobody waits.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        sd_bus_wait(m_bus, 5000);  // 5 ms: work handed in is picked up soon
    }
}

}  // namespace talvex::testing
