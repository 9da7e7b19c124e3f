#include "platform/linux/X11ForegroundSource.h"

namespace talvex::platform {

namespace {
// Reading the new front takes round trips, during which the window manager may move
// the focus again; after this many rounds in a row the rest waits for the next tick.
constexpr int kMaxRounds = 8;
}  // namespace

X11ForegroundSource::X11ForegroundSource(std::string displayName)
    : m_windows(std::move(displayName), false) {}

X11ForegroundSource::~X11ForegroundSource() {
    Stop();
}

bool X11ForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    Stop();
    const int fd = m_windows.WatchActiveWindow();
    if (fd < 0) {
        m_windows.Close();
        return false;
    }
    m_onChange = std::move(onChange);
    m_watch = ui.WatchDescriptor(fd, [this] { OnReadable(); });
    if (!m_watch) m_windows.Close();
    return Listening();
}

void X11ForegroundSource::Stop() {
    // The watch goes first: the descriptor must not be watched once it is closed.
    m_watch.reset();
    m_windows.Close();
}

void X11ForegroundSource::OnReadable() {
    bool changed = false;
    ForegroundChange newest;
    // Every event waiting is taken; only the newest front is handed on. Reading it may
    // queue further events, which the next round takes.
    for (int round = 0; round < kMaxRounds && m_windows.TakeActiveWindowEvents(); ++round) {
        changed = true;
        newest = FrontNow(m_windows);
    }
    // A lost server leaves the descriptor readable for good: stop watching it.
    if (!m_windows.IsConnected()) Stop();
    if (changed && m_onChange) m_onChange(newest);
}

}  // namespace talvex::platform
