#include "platform/qt/QtTermination.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace talvex::platform::qt {

namespace {

int g_pipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    // Async-signal-safe; a full pipe just drops the repeat.
    [[maybe_unused]] const auto written = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

}  // namespace

QtTermination::QtTermination(std::function<void(CloseReason)> onRequest)
    : m_onRequest(std::move(onRequest)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadSignals(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signo : kSignals) ::sigaction(signo, &action, nullptr);
}

QtTermination::~QtTermination() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signo : kSignals) ::sigaction(signo, &action, nullptr);
    delete m_notifier;
    for (int& fd : g_pipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void QtTermination::ReadSignals() {
    unsigned char byte = 0;
    while (::read(g_pipe[1], &byte, 1) == 1) {
        if (m_onRequest)
            m_onRequest(byte == SIGHUP ? CloseReason::SessionEnd : CloseReason::TaskManager);
    }
}

}  // namespace talvex::platform::qt
