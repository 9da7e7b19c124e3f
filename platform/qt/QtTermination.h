#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into close requests on the user-interface thread:
// the signal handler only writes the signal number into a pipe, which a socket
// notifier reads in the event loop.

#include <QObject>
#include <functional>

#include "platform/UiTypes.h"

class QSocketNotifier;

namespace talvex::platform::qt {

class QtTermination final : public QObject {
    Q_OBJECT
  public:
    /// Installs the handlers; `onRequest` gets TaskManager for SIGTERM and SIGINT and
    /// SessionEnd for SIGHUP (the terminal or session went away).
    explicit QtTermination(std::function<void(CloseReason)> onRequest);
    ~QtTermination() override;

  private:
    void ReadSignals();

    std::function<void(CloseReason)> m_onRequest;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace talvex::platform::qt
