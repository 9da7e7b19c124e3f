#include "platform/qt/QtTermination.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include "base/Trace.h"

namespace talvex::platform::qt {

namespace {

const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
const char* const kSignalNames[] = {"SIGTERM", "SIGINT", "SIGHUP"};
// How often the noted signals are looked at when no socket pair wakes the event loop.
constexpr int kPollMs = 100;

// One bit per entry of kSignals, set by the handler and taken by ReadSignals.
std::atomic<unsigned> g_pending{0};
// The end of the socket pair that the handler writes to; -1 when there is none.
std::atomic<int> g_wakeFd{-1};
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void OnSignal(int signo) {
    const int saved = errno;
    for (unsigned i = 0; i < std::size(kSignals); ++i) {
        if (kSignals[i] == signo) g_pending.fetch_or(1U << i);
    }
    // Async-signal-safe; a full buffer just drops the repeat, the bit is noted anyway.
    const int fd = g_wakeFd.load();
    const unsigned char byte = 1;
    if (fd >= 0) {
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

// Writes the failure of a set-up step, with errno as the call left it, to the trace.
void TraceFailure(const char* sCall, const char* sDetail = "") {
    const int error = errno;
    if (!trace::Enabled(trace::Level::Warning)) return;
    trace::Write(trace::Level::Warning, "QtTermination",
                 std::string(sCall) + sDetail + " failed: " + std::strerror(error));
}

}  // namespace

QtTermination::QtTermination(std::function<void(CloseReason)> onRequest)
    : m_onRequest(std::move(onRequest)) {
    m_previousWakeFd = g_wakeFd.load();
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_pair) == 0) {
        m_notifier = new QSocketNotifier(m_pair[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadSignals(); });
        g_wakeFd.store(m_pair[0]);
    } else {
        TraceFailure("socketpair");
        trace::Write(trace::Level::Warning, "QtTermination",
                     "termination signals are looked at every 100 ms instead");
        m_pair[0] = m_pair[1] = -1;
        g_wakeFd.store(-1);
        m_poll = new QTimer(this);
        connect(m_poll, &QTimer::timeout, this, [this] { ReadSignals(); });
        m_poll->start(kPollMs);
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (unsigned i = 0; i < std::size(kSignals); ++i) {
        if (::sigaction(kSignals[i], &action, &m_previous[i]) != 0) {
            TraceFailure("sigaction for ", kSignalNames[i]);
        }
    }
}

QtTermination::~QtTermination() {
    for (unsigned i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    g_wakeFd.store(m_previousWakeFd);
    delete m_notifier;
    delete m_poll;
    for (int& fd : m_pair) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void QtTermination::ReadSignals() {
    unsigned char byte = 0;
    if (m_pair[1] >= 0) {
        while (::read(m_pair[1], &byte, 1) == 1) {
        }
    }
    const unsigned pending = g_pending.exchange(0);
    for (unsigned i = 0; i < std::size(kSignals); ++i) {
        if ((pending & (1U << i)) == 0) continue;
        const int signo = kSignals[i];
        if (trace::Enabled(trace::Level::Info)) {
            trace::Write(trace::Level::Info, "QtTermination",
                         std::string(kSignalNames[i]) + ": close request");
        }
        if (m_onRequest) {
            m_onRequest(signo == SIGHUP ? CloseReason::SessionEnd : CloseReason::TaskManager);
        }
    }
}

}  // namespace talvex::platform::qt
