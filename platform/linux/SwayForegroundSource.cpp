#include "platform/linux/SwayForegroundSource.h"

#include <unistd.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/linux/UnixSocket.h"

namespace talvex::platform {

using nlohmann::json;

namespace i3ipc {

namespace {
constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeader = kMagic.size() + 8;
// A whole tree of a crowded desktop stays far below this.
constexpr std::uint32_t kMaxPayload = 8U << 20;
}  // namespace

std::string Encode(std::uint32_t type, std::string_view payload) {
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string message(kMagic);
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    message.append(payload);
    return message;
}

std::optional<Message> Take(std::string& buffer) {
    const std::size_t compare = std::min(buffer.size(), kMagic.size());
    if (buffer.compare(0, compare, kMagic, 0, compare) != 0) {
        throw std::runtime_error("not an i3-ipc message");
    }
    if (buffer.size() < kHeader) return std::nullopt;
    std::uint32_t length = 0;
    Message message;
    std::memcpy(&length, buffer.data() + kMagic.size(), 4);
    std::memcpy(&message.type, buffer.data() + kMagic.size() + 4, 4);
    if (length > kMaxPayload) throw std::runtime_error("i3-ipc message too long");
    if (buffer.size() < kHeader + length) return std::nullopt;
    message.payload = buffer.substr(kHeader, length);
    buffer.erase(0, kHeader + length);
    return message;
}

}  // namespace i3ipc

namespace {

constexpr int kReplyTimeoutMs = 2000;

std::string TextOf(const json& node, const char* key) {
    const auto value = node.find(key);
    return value != node.end() && value->is_string() ? value->get<std::string>() : std::string{};
}

WindowHandle IdOf(const json& node) {
    const auto id = node.find("id");
    return id != node.end() && id->is_number_unsigned() ? id->get<WindowHandle>() : 0;
}

// A container as the desktop names it: id, pid (absent for some) and name.
ForegroundChange WindowOf(const json& node) {
    ForegroundChange window;
    window.window = IdOf(node);
    const auto pid = node.find("pid");
    if (pid != node.end() && pid->is_number_integer()) {
        const auto value = pid->get<std::int64_t>();
        window.pid = value > 0 && value <= INT32_MAX ? static_cast<std::int32_t>(value) : 0;
    }
    window.title = TextOf(node, "name");
    return window;
}

bool HasWindows(const json& node) {
    for (const char* list : {"nodes", "floating_nodes"}) {
        const auto children = node.find(list);
        if (children != node.end() && children->is_array() && !children->empty()) return true;
    }
    return false;
}

// The focused node of a tree: a window, or a workspace or output with nothing in it.
const json* FindFocused(const json& node, int depth = 0) {
    if (!node.is_object() || depth > 64) return nullptr;
    const auto focused = node.find("focused");
    if (focused != node.end() && focused->is_boolean() && focused->get<bool>()) return &node;
    for (const char* list : {"nodes", "floating_nodes"}) {
        const auto children = node.find(list);
        if (children == node.end() || !children->is_array()) continue;
        for (const json& child : *children) {
            if (const json* found = FindFocused(child, depth + 1)) return found;
        }
    }
    return nullptr;
}

bool IsWindow(const json& node) {
    const auto type = node.find("type");
    return type != node.end() && type->is_string() && (*type == "con" || *type == "floating_con") &&
           !HasWindows(node);
}

std::optional<i3ipc::Message> Request(int fd, std::uint32_t type, std::string_view payload,
                                      std::string& buffer) {
    if (!unixsocket::WriteAll(fd, i3ipc::Encode(type, payload), kReplyTimeoutMs)) {
        return std::nullopt;
    }
    std::optional<i3ipc::Message> reply;
    unixsocket::ReadUntil(fd, buffer, kReplyTimeoutMs, [&](std::string& b) {
        reply = i3ipc::Take(b);
        return reply.has_value();
    });
    if (reply && reply->type != type) return std::nullopt;
    return reply;
}

}  // namespace

SwayForegroundSource::SwayForegroundSource(std::string socketPath, CompositorWindowApi& windows,
                                           uid_t owner)
    : m_socketPath(std::move(socketPath)), m_windows(windows), m_owner(owner) {}

SwayForegroundSource::~SwayForegroundSource() {
    Stop();
}

bool SwayForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    Stop();
    m_fd = unixsocket::Connect(m_socketPath, m_owner);
    if (m_fd < 0) return false;
    try {
        // The tree first, then the subscription on the same connection: every event
        // that follows is newer than the tree.
        const auto tree = Request(m_fd, i3ipc::kGetTree, "", m_buffer);
        const json root = tree ? json::parse(tree->payload, nullptr, false) : json();
        const auto subscribed =
            Request(m_fd, i3ipc::kSubscribe, R"(["window","workspace"])", m_buffer);
        const json answer = subscribed ? json::parse(subscribed->payload, nullptr, false) : json();
        if (!root.is_object() || !answer.is_object() || !answer.contains("success") ||
            answer["success"] != true) {
            Close();
            return false;
        }
        const json* focused = FindFocused(root);
        m_windows.SetFront(focused && IsWindow(*focused) ? WindowOf(*focused) : ForegroundChange{});
    } catch (const std::exception&) {
        Close();
        return false;
    }
    m_onChange = std::move(onChange);
    m_watch = ui.WatchDescriptor(m_fd, [this] { OnReadable(); });
    if (!m_watch) Close();
    return Listening();
}

void SwayForegroundSource::Stop() {
    m_watch.reset();
    Close();
}

void SwayForegroundSource::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
}

void SwayForegroundSource::OnReadable() {
    const bool open = unixsocket::ReadAvailable(m_fd, m_buffer);
    bool changed = false;
    bool broken = !open;
    try {
        while (auto message = i3ipc::Take(m_buffer)) {
            changed = Handle(message->type, message->payload) || changed;
        }
    } catch (const std::exception&) {
        broken = true;
    }
    if (broken) {
        // The compositor is gone, or not what it seemed: nothing it said holds now.
        Stop();
        m_windows.Clear();
        changed = true;
    }
    if (changed && m_onChange) m_onChange(FrontNow(m_windows));
}

bool SwayForegroundSource::Handle(std::uint32_t type, const std::string& payload) {
    if (type != i3ipc::kWindowEvent && type != i3ipc::kWorkspaceEvent) return false;
    const json event = json::parse(payload, nullptr, false);
    if (!event.is_object()) return false;
    const std::string change = TextOf(event, "change");
    if (type == i3ipc::kWorkspaceEvent) {
        // Window events say everything about windows, except that an empty workspace
        // now has the focus.
        const auto current = event.find("current");
        if (change != "focus" || current == event.end() || !current->is_object() ||
            HasWindows(*current)) {
            return false;
        }
        m_windows.SetFront({});
        return true;
    }
    const auto container = event.find("container");
    if (container == event.end() || !container->is_object()) return false;
    const ForegroundChange window = WindowOf(*container);
    if (change == "focus") {
        m_windows.SetFront(window);
        return true;
    }
    if (change == "title") m_windows.SetTitle(window.window, window.title);
    if (change == "close") m_windows.Forget(window.window);
    return false;
}

}  // namespace talvex::platform
