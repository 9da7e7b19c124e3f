#include "tests/LocalHttpServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <stdexcept>

namespace talvex::testing {

namespace {

using Socket = LocalHttpServer::Socket;

#ifdef _WIN32
// Winsock under its POSIX names, for this file only.
constexpr int MSG_NOSIGNAL = 0;
constexpr int SHUT_WR = SD_SEND;
using socklen_t = int;
using ssize_t = int;
int poll(pollfd* fds, unsigned long count, int timeout) {
    return WSAPoll(fds, count, timeout);
}
int close(Socket s) {
    return closesocket(static_cast<SOCKET>(s));
}
struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} winsockUser;
#endif

std::string Head(int code, const std::string& reason, const std::string& extra) {
    return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n" + extra +
           "Connection: close\r\n\r\n";
}

std::string LengthHeader(std::size_t length) {
    return "Content-Length: " + std::to_string(length) + "\r\n";
}

bool SendAll(Socket connection, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(connection, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

Socket LoopbackSocket(int& port) {
    const Socket fd = static_cast<Socket>(::socket(AF_INET, SOCK_STREAM, 0));
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        throw std::runtime_error("bind failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

LocalHttpServer::LocalHttpServer() {
    m_listener = LoopbackSocket(m_port);
    if (::listen(m_listener, 16) != 0) {
        close(m_listener);
        throw std::runtime_error("listen failed");
    }
    m_thread = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
    m_stop = true;
    m_thread.join();
    for (const Socket connection : m_silentConnections) close(connection);
    close(m_listener);
}

std::string LocalHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void LocalHttpServer::SetRoute(const std::string& path, Route route) {
    const std::lock_guard lock(m_mutex);
    m_routes[path] = std::move(route);
}

void LocalHttpServer::SetBody(const std::string& path, const std::string& body) {
    SetRoute(path, Route{Head(200, "OK", LengthHeader(body.size())), body});
}

void LocalHttpServer::SetSlowBody(const std::string& path, const std::string& body,
                                  std::chrono::milliseconds delay) {
    Route route{Head(200, "OK", LengthHeader(body.size())), body};
    route.delay = delay;
    SetRoute(path, std::move(route));
}

void LocalHttpServer::SetStatus(const std::string& path, int code, const std::string& reason) {
    const std::string body = reason + "\r\n";
    SetRoute(path, Route{Head(code, reason, LengthHeader(body.size())), body});
}

void LocalHttpServer::SetRedirect(const std::string& path, const std::string& location) {
    SetRoute(path,
             Route{Head(302, "Found", "Location: " + location + "\r\n" + LengthHeader(0)), ""});
}

void LocalHttpServer::SetHugeBody(const std::string& path, std::size_t size, bool withLength) {
    Route route{Head(200, "OK", withLength ? LengthHeader(size) : std::string()), ""};
    route.fillerBytes = size;
    SetRoute(path, std::move(route));
}

void LocalHttpServer::SetSilent(const std::string& path) {
    Route route;
    route.silent = true;
    SetRoute(path, std::move(route));
}

int LocalHttpServer::RequestCount(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_counts.find(path);
    return found == m_counts.end() ? 0 : found->second;
}

int LocalHttpServer::ClosedPort() {
    int port = 0;
    close(LoopbackSocket(port));  // bound, never listening, then released
    return port;
}

void LocalHttpServer::Serve() {
    while (!m_stop) {
        pollfd waiting{static_cast<decltype(pollfd::fd)>(m_listener), POLLIN, 0};
        if (poll(&waiting, 1, 20) <= 0) continue;
        const Socket connection = static_cast<Socket>(::accept(m_listener, nullptr, nullptr));
        if (connection >= 0) Handle(connection);
    }
}

std::string LocalHttpServer::ReadRequestPath(Socket connection) {
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && !m_stop) {
        pollfd waiting{static_cast<decltype(pollfd::fd)>(connection), POLLIN, 0};
        if (poll(&waiting, 1, 20) <= 0) continue;
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) return {};
        request.append(buffer, static_cast<std::size_t>(got));
    }
    // "GET /path HTTP/1.1"
    const auto first = request.find(' ');
    const auto second = request.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) return {};
    return request.substr(first + 1, second - first - 1);
}

void LocalHttpServer::Handle(Socket connection) {
    const std::string path = ReadRequestPath(connection);
    Route route;
    bool known = false;
    {
        const std::lock_guard lock(m_mutex);
        ++m_counts[path];
        const auto found = m_routes.find(path);
        if (found != m_routes.end()) {
            route = found->second;
            known = true;
        }
    }
    if (!known) route = Route{Head(404, "Not Found", LengthHeader(0)), ""};
    if (route.silent) {
        m_silentConnections.push_back(connection);
        return;
    }
    if (route.delay.count() > 0) std::this_thread::sleep_for(route.delay);
    bool open = SendAll(connection, route.head.data(), route.head.size()) &&
                SendAll(connection, route.body.data(), route.body.size());
    const std::string filler(16 * 1024, 'x');
    for (std::size_t left = route.fillerBytes; open && left > 0;) {
        const std::size_t chunk = std::min(left, filler.size());
        open = SendAll(connection, filler.data(), chunk);
        left -= chunk;
    }
    ::shutdown(connection, SHUT_WR);
    close(connection);
}

}  // namespace talvex::testing
