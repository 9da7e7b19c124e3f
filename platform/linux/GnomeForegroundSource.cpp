#include "platform/linux/GnomeForegroundSource.h"

#include <systemd/sd-bus.h>

namespace talvex::platform {

GnomeForegroundSource::GnomeForegroundSource(std::string busAddress, CompositorWindowApi& windows)
    : m_address(std::move(busAddress)), m_windows(windows) {}

GnomeForegroundSource::~GnomeForegroundSource() {
    Stop();
}

bool GnomeForegroundSource::Take(sd_bus_message* message) {
    std::int32_t pid = 0;
    const char* title = nullptr;
    const char* id = nullptr;
    if (sd_bus_message_read(message, "iss", &pid, &title, &id) < 0) return false;
    ForegroundChange front;
    if (id && *id) front = {m_windows.HandleFor(id), pid > 0 ? pid : 0, title ? title : ""};
    m_windows.SetFront(front);
    return true;
}

bool GnomeForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    Stop();
    m_bus = std::make_unique<DbusConnection>(m_address);
    if (!m_bus->Connected()) {
        Stop();
        return false;
    }
    // Only the shell's signals count: a signal sent to this connection directly passes
    // any match rule, so its sender is compared with the name's owner, followed as it
    // changes (a restarted shell is a new connection).
    m_shell = m_bus->TrackOwner(kShell, [this](const std::string& owner) { m_shell = owner; });
    // Listening first, then asking: a change in between is not missed.
    if (m_shell.empty() ||
        sd_bus_match_signal(m_bus->Bus(), &m_match, kShell, kPath, kInterface, "Changed",
                            &GnomeForegroundSource::OnChanged, this) < 0) {
        Stop();
        return false;
    }
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
    sd_bus_message* reply = nullptr;
    const bool answered = sd_bus_call_method(m_bus->Bus(), kShell, kPath, kInterface, "Get", &error,
                                             &reply, "") >= 0 &&
                          Take(reply);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (!answered) {  // no shell, or the extension is not enabled
        Stop();
        return false;
    }
    m_onChange = std::move(onChange);
    m_listening = m_bus->Watch(
        ui, [this] { Announce(); },
        [this] {
            m_listening = false;
            m_windows.Clear();
            if (m_onChange) m_onChange({});
        });
    if (!m_listening) Stop();
    return m_listening;
}

void GnomeForegroundSource::Stop() {
    m_listening = false;
    if (m_match) sd_bus_slot_unref(m_match);
    m_match = nullptr;
    m_bus.reset();
}

int GnomeForegroundSource::OnChanged(sd_bus_message* message, void* self, sd_bus_error*) {
    auto& source = *static_cast<GnomeForegroundSource*>(self);
    const char* sender = sd_bus_message_get_sender(message);
    if (!sender || sender != source.m_shell) return 0;
    if (source.Take(message)) source.m_changed = true;
    return 0;
}

// Once every message waiting was read: only the newest front counts.
void GnomeForegroundSource::Announce() {
    if (!m_changed) return;
    m_changed = false;
    if (m_onChange) m_onChange(FrontNow(m_windows));
}

}  // namespace talvex::platform
