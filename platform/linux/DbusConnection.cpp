#include "platform/linux/DbusConnection.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <functional>

namespace talvex::platform {

DbusConnection::DbusConnection(const std::string& address) {
    sd_bus* bus = nullptr;
    int r = 0;
    if (address.empty()) {
        r = sd_bus_open_user(&bus);
    } else {
        r = sd_bus_new(&bus);
        if (r >= 0) r = sd_bus_set_address(bus, address.c_str());
        if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0) r = sd_bus_start(bus);
    }
    if (r < 0) {
        sd_bus_unref(bus);
        return;
    }
    // A desktop that stops answering must not hold Talvex: every call here is small, so
    // one that takes seconds will not come (sd-bus would wait 25 s by default).
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUsec);
    m_bus = bus;
}

DbusConnection::~DbusConnection() {
    m_watch.reset();
    if (m_ownerMatch) sd_bus_slot_unref(m_ownerMatch);
    if (m_bus) sd_bus_flush_close_unref(m_bus);
}

std::string DbusConnection::UniqueName() const {
    const char* name = nullptr;
    return m_bus && sd_bus_get_unique_name(m_bus, &name) >= 0 && name ? name : "";
}

std::string DbusConnection::OwnerOf(const std::string& name) const {
    if (!m_bus) return {};
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
    sd_bus_message* reply = nullptr;
    std::string owner;
    const char* text = nullptr;
    if (sd_bus_call_method(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetNameOwner", &error, &reply, "s",
                           name.c_str()) >= 0 &&
        sd_bus_message_read(reply, "s", &text) >= 0 && text) {
        owner = text;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return owner;
}

std::string DbusConnection::TrackOwner(const std::string& name,
                                       std::function<void(const std::string&)> onChange) {
    if (!m_bus || m_ownerMatch) return {};
    m_trackedName = name;
    m_onOwner = std::move(onChange);
    // Following first, then asking: a change in between is not missed.
    const std::string rule =
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
        "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
        name + "'";
    if (sd_bus_add_match(m_bus, &m_ownerMatch, rule.c_str(), &DbusConnection::OnOwnerChanged,
                         this) < 0) {
        m_ownerMatch = nullptr;
        return {};
    }
    return OwnerOf(name);
}

// Only the bus itself says who owns a name: anybody may send a signal of that name to
// this connection directly, but nobody else sends as org.freedesktop.DBus.
int DbusConnection::OnOwnerChanged(sd_bus_message* message, void* self, sd_bus_error*) {
    auto& connection = *static_cast<DbusConnection*>(self);
    const char* sender = sd_bus_message_get_sender(message);
    const char* name = nullptr;
    const char* before = nullptr;
    const char* now = nullptr;
    if (!sender || std::strcmp(sender, "org.freedesktop.DBus") != 0 ||
        sd_bus_message_read(message, "sss", &name, &before, &now) < 0 || !name ||
        connection.m_trackedName != name) {
        return 0;
    }
    if (connection.m_onOwner) connection.m_onOwner(now ? now : "");
    return 0;
}

bool DbusConnection::Watch(IUiServices& ui, std::function<void()> afterDispatch,
                           std::function<void()> onBroken) {
    if (!m_bus) return false;
    const int fd = sd_bus_get_fd(m_bus);
    if (fd < 0) return false;
    m_afterDispatch = std::move(afterDispatch);
    m_onBroken = std::move(onBroken);
    m_watch = ui.WatchDescriptor(fd, [this] { Dispatch(); });
    if (!m_watch) return false;
    // Calls made so far may have queued messages that no longer make the descriptor
    // readable.
    Dispatch();
    return m_watch != nullptr;
}

void DbusConnection::Dispatch() {
    int r = 0;
    while ((r = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    if (r >= 0) r = sd_bus_flush(m_bus);
    if (r >= 0) {
        if (m_afterDispatch) m_afterDispatch();
        return;
    }
    m_watch.reset();
    // The handler may end this connection: nothing of it is used afterwards.
    const auto onBroken = m_onBroken;
    if (onBroken) onBroken();
}

}  // namespace talvex::platform
