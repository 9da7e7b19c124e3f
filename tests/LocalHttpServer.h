#pragma once
// A small HTTP server on 127.0.0.1 for tests: it runs on a thread of its own from
// construction to destruction and answers each path as the test set it up.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace talvex::testing {

class LocalHttpServer {
  public:
    /// A socket of the system (a descriptor, or a Winsock handle).
    using Socket = std::intptr_t;

    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    /// "http://127.0.0.1:PORT" + path.
    std::string Url(const std::string& path) const;

    /// 200 with this body.
    void SetBody(const std::string& path, const std::string& body);
    /// 200 with this body, sent after a pause.
    void SetSlowBody(const std::string& path, const std::string& body,
                     std::chrono::milliseconds delay);
    /// An answer with this status and a short body.
    void SetStatus(const std::string& path, int code, const std::string& reason);
    /// 302 to location.
    void SetRedirect(const std::string& path, const std::string& location);
    /// 200 with `size` bytes; with or without a Content-Length header.
    void SetHugeBody(const std::string& path, std::size_t size, bool withLength);
    /// Takes the request and never answers.
    void SetSilent(const std::string& path);

    /// Requests received so far, by path.
    int RequestCount(const std::string& path) const;

    /// A port on 127.0.0.1 where nothing listens (connections are refused).
    static int ClosedPort();

  private:
    struct Route {
        std::string head;  // status line and headers, blank line included
        std::string body;
        std::size_t fillerBytes = 0;  // then this many 'x' after the body
        std::chrono::milliseconds delay{0};
        bool silent = false;
    };

    void SetRoute(const std::string& path, Route route);
    void Serve();
    void Handle(Socket connection);
    std::string ReadRequestPath(Socket connection);

    Socket m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::map<std::string, Route> m_routes;
    std::map<std::string, int> m_counts;
    std::vector<Socket> m_silentConnections;
    std::thread m_thread;
};

}  // namespace talvex::testing
