#pragma once
// Small helpers for the compositors' local stream sockets.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace talvex::platform::unixsocket {

/// Connects to the stream socket at `path` whose listening end belongs to user
/// `peerUid`; the descriptor (close-on-exec, blocking), or -1 (also for a socket of
/// another user: a file in a shared folder may be anybody's).
int Connect(const std::string& path, uid_t peerUid);
/// The user of the process that made the socket's other end, or -1.
long PeerUid(int fd);
/// Writes all of `data`, waiting at most `timeoutMs` for the socket to take it.
bool WriteAll(int fd, std::string_view data, int timeoutMs);
/// Appends what the socket holds now to `buffer`, without waiting. False when the other
/// end has closed the connection or it failed.
bool ReadAvailable(int fd, std::string& buffer);
/// Appends to `buffer` until `complete(buffer)` holds, the other end closes, or
/// `timeoutMs` have passed; true when complete.
template <typename F>
bool ReadUntil(int fd, std::string& buffer, int timeoutMs, F complete);
/// Waits at most `timeoutMs` for the socket to have something to read.
bool WaitReadable(int fd, int timeoutMs);

}  // namespace talvex::platform::unixsocket

#include <chrono>

template <typename F>
bool talvex::platform::unixsocket::ReadUntil(int fd, std::string& buffer, int timeoutMs,
                                             F complete) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!complete(buffer)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitReadable(fd, static_cast<int>(left.count()))) return false;
        const std::size_t before = buffer.size();
        if (!ReadAvailable(fd, buffer) && buffer.size() == before) return complete(buffer);
    }
    return true;
}
