// A window for the tests on a Wayland desktop: opens a Qt window titled by its first
// argument on the display Qt is given (QT_QPA_PLATFORM=wayland), writes "ready" as one
// line to stdout once the window is on the screen, and waits until it is killed. With a
// second argument, SIGUSR1 gives the window that title.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>

namespace {

int g_retitle[2] = {-1, -1};  // written by the signal handler, read by the event loop

void OnRetitle(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_retitle[1], &byte, 1);
}

class Window final : public QWidget {
  protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (m_told) return;
        m_told = true;
        // Once the compositor had a moment to map it.
        QTimer::singleShot(100, [] {
            std::printf("ready\n");
            std::fflush(stdout);
        });
    }

  private:
    bool m_told = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Window window;
    window.setWindowTitle(QString::fromUtf8(argc > 1 ? argv[1] : "talvex test window"));
    std::unique_ptr<QSocketNotifier> retitle;
    if (argc > 2 && ::pipe2(g_retitle, O_CLOEXEC | O_NONBLOCK) == 0) {
        retitle = std::make_unique<QSocketNotifier>(g_retitle[0], QSocketNotifier::Read);
        const QString title = QString::fromUtf8(argv[2]);
        QObject::connect(retitle.get(), &QSocketNotifier::activated, [&window, title] {
            char byte = 0;
            while (::read(g_retitle[0], &byte, 1) == 1) {
            }
            window.setWindowTitle(title);
        });
        ::signal(SIGUSR1, OnRetitle);
    }
    window.resize(200, 120);
    window.show();
    return QApplication::exec();
}
