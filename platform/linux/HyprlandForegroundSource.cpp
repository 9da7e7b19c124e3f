#include "platform/linux/HyprlandForegroundSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <nlohmann/json.hpp>

#include "platform/linux/UnixSocket.h"

namespace talvex::platform {

using nlohmann::json;

namespace {

constexpr int kReplyTimeoutMs = 1000;

// "0x55d3f1c2a0b0" (requests) or "55d3f1c2a0b0" (events); 0 for anything else.
WindowHandle ParseAddress(std::string_view text) {
    if (text.starts_with("0x")) text.remove_prefix(2);
    WindowHandle address = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), address, 16);
    return error == std::errc() && end == text.data() + text.size() ? address : 0;
}

// The window's address as the key of its number: the same with or without "0x" (the
// answer has it, the events do not); "" for none.
std::string AddressKey(std::string_view text) {
    const WindowHandle address = ParseAddress(text);
    return address == 0 ? std::string() : std::to_string(address);
}

bool IsSocket(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

HyprlandForegroundSource::HyprlandForegroundSource(std::string folder, CompositorWindowApi& windows,
                                                   uid_t owner)
    : m_folder(std::move(folder)), m_windows(windows), m_owner(owner) {}

HyprlandForegroundSource::~HyprlandForegroundSource() {
    Stop();
}

std::string HyprlandForegroundSource::InstanceFolder(const xdg::EnvLookup& env) {
    const char* signature = env("HYPRLAND_INSTANCE_SIGNATURE");
    if (!signature || !*signature || std::string_view(signature).find('/') != std::string::npos) {
        return {};
    }
    const std::string runtime = xdg::RuntimeDir(env);
    const std::string current = runtime + "/hypr/" + signature;
    if (!runtime.empty() && IsSocket(current + "/.socket2.sock")) return current;
    const std::string older = std::string("/tmp/hypr/") + signature;
    return IsSocket(older + "/.socket2.sock") || runtime.empty() ? older : current;
}

bool HyprlandForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    Stop();
    // Events first: a change after the question below is then never missed.
    m_fd = unixsocket::Connect(m_folder + "/.socket2.sock", m_owner);
    if (m_fd < 0) return false;
    if (!AskFront()) {
        Stop();
        return false;
    }
    m_onChange = std::move(onChange);
    m_watch = ui.WatchDescriptor(m_fd, [this] { OnReadable(); });
    if (!m_watch) Stop();
    return Listening();
}

void HyprlandForegroundSource::Stop() {
    m_watch.reset();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
}

bool HyprlandForegroundSource::AskFront() {
    const int fd = unixsocket::Connect(m_folder + "/.socket.sock", m_owner);
    if (fd < 0) return false;
    std::string answer;
    const bool complete = unixsocket::WriteAll(fd, "j/activewindow", kReplyTimeoutMs) &&
                          unixsocket::ReadUntil(fd, answer, kReplyTimeoutMs,
                                                [](std::string& a) { return json::accept(a); });
    ::close(fd);
    if (!complete) return false;
    const json window = json::parse(answer, nullptr, false);
    ForegroundChange front;
    if (window.is_object()) {
        const auto address = window.find("address");
        if (address != window.end() && address->is_string()) {
            const std::string key = AddressKey(address->get<std::string>());
            if (!key.empty()) front.window = m_windows.HandleFor(key);
        }
        const auto pid = window.find("pid");
        if (pid != window.end() && pid->is_number_integer()) {
            const auto value = pid->get<std::int64_t>();
            front.pid = value > 0 && value <= INT32_MAX ? static_cast<std::int32_t>(value) : 0;
        }
        const auto title = window.find("title");
        if (title != window.end() && title->is_string()) front.title = title->get<std::string>();
    }
    // Without a window in front Hyprland answers with an empty object.
    m_windows.SetFront(front.window != 0 ? front : ForegroundChange{});
    return true;
}

void HyprlandForegroundSource::OnReadable() {
    bool broken = !unixsocket::ReadAvailable(m_fd, m_buffer);
    bool frontChanged = false;
    std::size_t start = 0;
    for (std::size_t end; (end = m_buffer.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string_view line(m_buffer.data() + start, end - start);
        const std::size_t arrow = line.find(">>");
        if (arrow == std::string_view::npos) continue;
        const std::string_view event = line.substr(0, arrow);
        const std::string_view data = line.substr(arrow + 2);
        if (event == "activewindowv2") {
            frontChanged = true;
        } else if (event == "closewindow") {
            if (const WindowHandle closed = m_windows.KnownHandle(AddressKey(data))) {
                m_windows.Forget(closed);
            }
        } else if (event == "windowtitlev2") {
            const std::size_t comma = data.find(',');
            if (comma != std::string_view::npos) {
                m_windows.SetTitle(m_windows.KnownHandle(AddressKey(data.substr(0, comma))),
                                   std::string(data.substr(comma + 1)));
            }
        }
    }
    m_buffer.erase(0, start);
    // Only the newest front counts, so one question answers every change that waited.
    if (frontChanged && !broken && !AskFront()) broken = true;
    if (broken) {
        Stop();
        m_windows.Clear();
        frontChanged = true;
    }
    if (frontChanged && m_onChange) m_onChange(FrontNow(m_windows));
}

}  // namespace talvex::platform
