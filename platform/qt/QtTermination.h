#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into close requests on the user-interface thread:
// the signal handler only notes the signal and writes a byte into a socket pair, which a
// socket notifier reads in the event loop. Without a socket pair (no descriptor left)
// a timer looks at the noted signals instead, so the program still ends cleanly.

#include <QObject>
#include <csignal>
#include <functional>

#include "platform/UiTypes.h"

class QSocketNotifier;
class QTimer;

namespace talvex::platform::qt {

class QtTermination final : public QObject {
    Q_OBJECT
  public:
    /// Installs the handlers; `onRequest` gets TaskManager for SIGTERM and SIGINT and
    /// SessionEnd for SIGHUP (the terminal or session went away).
    explicit QtTermination(std::function<void(CloseReason)> onRequest);
    /// Puts back the handlers that were there before.
    ~QtTermination() override;

    /// Whether signals wake the event loop through the socket pair (false: polled).
    bool Woken() const { return m_notifier != nullptr; }

  private:
    void ReadSignals();

    std::function<void(CloseReason)> m_onRequest;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_poll = nullptr;
    int m_pair[2] = {-1, -1};
    int m_previousWakeFd = -1;
    struct sigaction m_previous[3]{};
};

}  // namespace talvex::platform::qt
