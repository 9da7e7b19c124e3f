#include "platform/fake/FakeForegroundSource.h"

#include <fcntl.h>
#include <unistd.h>

namespace talvex::platform {

FakeForegroundSource::~FakeForegroundSource() {
    Stop();
}

bool FakeForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    ++m_startCalls;
    Stop();
    if (!m_reachable || ::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
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
    char buffer[64];
    ssize_t got = 0;
    bool ended = false;
    while ((got = ::read(m_fds[0], buffer, sizeof buffer)) > 0) {
    }
    if (got == 0) ended = true;
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
