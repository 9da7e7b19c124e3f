#include "platform/fake/FakeForegroundSource.h"

#include <fcntl.h>

#include <algorithm>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace talvex::platform {

namespace {

bool OpenPipe(int (&fds)[2]) {
#ifdef _WIN32
    return ::_pipe(fds, 256, _O_BINARY | _O_NOINHERIT) == 0;
#else
    return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0;
#endif
}

// Reads what waits in the pipe without waiting; false once the other end is gone and
// nothing is left.
bool Drain(int fd) {
    char buffer[64];
#ifdef _WIN32
    // Reads on Windows pipes wait: only what the pipe says it holds is read.
    DWORD waiting = 0;
    if (!::PeekNamedPipe(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), nullptr, 0, nullptr,
                         &waiting, nullptr)) {
        return false;
    }
    for (; waiting > 0; waiting -= std::min<DWORD>(waiting, sizeof buffer)) {
        if (::_read(fd, buffer, std::min<unsigned>(waiting, sizeof buffer)) <= 0) return false;
    }
    return true;
#else
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
    }
    return got != 0;
#endif
}

}  // namespace

FakeForegroundSource::~FakeForegroundSource() {
    Stop();
}

bool FakeForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    ++m_startCalls;
    Stop();
    if (!m_reachable || !OpenPipe(m_fds)) return false;
    m_onChange = std::move(onChange);
    m_watch = ui.WatchDescriptor(m_fds[0], [this] { OnReadable(); });
    if (!m_watch) Stop();
    return Listening();
}

void FakeForegroundSource::Stop() {
    m_watch.reset();
    for (int& fd : m_fds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    m_pending.clear();
}

void FakeForegroundSource::Announce(const ForegroundChange& change) {
    if (m_fds[1] < 0) return;
    m_pending.push_back(change);
    const char byte = 1;
    (void)!::write(m_fds[1], &byte, 1);
}

void FakeForegroundSource::Break() {
    if (m_fds[1] >= 0) ::close(m_fds[1]);
    m_fds[1] = -1;
}

void FakeForegroundSource::OnReadable() {
    // Everything waiting is read; only the newest change is handed on.
    const bool ended = !Drain(m_fds[0]);
    if (m_pending.empty()) {
        if (ended) Stop();
        return;
    }
    const ForegroundChange newest = m_pending.back();
    m_pending.clear();
    if (ended) Stop();
    ++m_delivered;
    if (m_onChange) m_onChange(newest);
}

}  // namespace talvex::platform
