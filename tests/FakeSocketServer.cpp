#include "tests/FakeSocketServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace talvex::testing {

FakeSocketServer::FakeSocketServer(std::string path, Script script)
    : m_path(std::move(path)), m_script(std::move(script)) {
    ::unlink(m_path.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 8) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return;
    }
    m_thread = std::thread([this] { Run(); });
}

FakeSocketServer::~FakeSocketServer() {
    if (m_thread.joinable()) {
        (void)!::write(m_wake[1], "x", 1);
        m_thread.join();
    }
    for (Connection& c : m_connections) {
        if (c.fd >= 0) ::close(c.fd);
    }
    for (int fd : {m_listen, m_wake[0], m_wake[1]}) {
        if (fd >= 0) ::close(fd);
    }
    ::unlink(m_path.c_str());
}

void FakeSocketServer::Run() {
    for (;;) {
        std::vector<pollfd> polls{{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        {
            std::lock_guard lock(m_mutex);
            for (const Connection& c : m_connections) polls.push_back({c.fd, POLLIN, 0});
        }
        if (::poll(polls.data(), polls.size(), -1) < 0) continue;
        if (polls[0].revents) return;
        std::lock_guard lock(m_mutex);
        if (polls[1].revents & POLLIN) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) m_connections.push_back({fd, {}, {}});
        }
        for (std::size_t i = 2; i < polls.size(); ++i) {
            if (!polls[i].revents) continue;
            for (Connection& c : m_connections) {
                if (c.fd == polls[i].fd) Serve(c);
            }
        }
    }
}

void FakeSocketServer::Serve(Connection& c) {
    char buffer[4096];
    const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got <= 0) {
        ::close(c.fd);
        c.fd = -1;
        return;
    }
    c.pending.append(buffer, static_cast<std::size_t>(got));
    c.all.append(buffer, static_cast<std::size_t>(got));
    while (c.fd >= 0) {
        const std::optional<Reply> reply = m_script ? m_script(c.pending) : std::nullopt;
        if (!reply) break;
        (void)!::send(c.fd, reply->bytes.data(), reply->bytes.size(), MSG_NOSIGNAL);
        if (reply->close) {
            ::close(c.fd);
            c.fd = -1;
        }
    }
}

bool FakeSocketServer::Send(std::string_view bytes) {
    // A connection the other side made may still wait to be accepted.
    for (int attempt = 0; attempt < 400; ++attempt) {
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_connections.rbegin(); it != m_connections.rend(); ++it) {
                if (it->fd < 0) continue;
                return ::send(it->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(bytes.size());
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void FakeSocketServer::CloseConnections() {
    std::lock_guard lock(m_mutex);
    for (Connection& c : m_connections) {
        // shutdown reaches the other side even while the server's poll holds the socket.
        if (c.fd >= 0) ::shutdown(c.fd, SHUT_RDWR);
        if (c.fd >= 0) ::close(c.fd);
        c.fd = -1;
    }
}

int FakeSocketServer::Accepted() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_connections.size());
}

int FakeSocketServer::Open() const {
    std::lock_guard lock(m_mutex);
    int open = 0;
    for (const Connection& c : m_connections) open += c.fd >= 0 ? 1 : 0;
    return open;
}

std::vector<std::string> FakeSocketServer::Received() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> all;
    for (const Connection& c : m_connections) all.push_back(c.all);
    return all;
}

}  // namespace talvex::testing
