#pragma once
// A local stream socket that plays a desktop's side for the tests: it accepts every
// connection, answers requests through a script and sends what the test gives it.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace talvex::testing {

class FakeSocketServer {
  public:
    struct Reply {
        std::string bytes;
        bool close = false;  // the server closes the connection after the reply
    };
    /// Takes a whole request off the front of `received` and answers it; nullopt while
    /// the request is incomplete.
    using Script = std::function<std::optional<Reply>(std::string& received)>;

    /// Listens at `path` (an existing file there is replaced).
    FakeSocketServer(std::string path, Script script);
    ~FakeSocketServer();
    FakeSocketServer(const FakeSocketServer&) = delete;
    FakeSocketServer& operator=(const FakeSocketServer&) = delete;

    const std::string& Path() const { return m_path; }
    /// Sends bytes on the newest connection that is still open, waiting a moment for
    /// one to be accepted; false when none is.
    bool Send(std::string_view bytes);
    /// Closes every connection from the server's side.
    void CloseConnections();
    int Accepted() const;
    /// Connections still open (the other side has not closed them).
    int Open() const;
    /// Everything each connection sent, in the order of accepting.
    std::vector<std::string> Received() const;

  private:
    struct Connection {
        int fd = -1;
        std::string pending, all;
    };
    void Run();
    void Serve(Connection& connection);

    std::string m_path;
    Script m_script;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    mutable std::mutex m_mutex;
    std::vector<Connection> m_connections;
    std::thread m_thread;
};

}  // namespace talvex::testing
