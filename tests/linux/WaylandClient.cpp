// A window for the tests on a Wayland desktop: opens a Qt window titled by its first
// argument on the display Qt is given (QT_QPA_PLATFORM=wayland), writes "ready" as one
// line to stdout once the window is on the screen, and waits until it is killed.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

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
    window.resize(200, 120);
    window.show();
    return QApplication::exec();
}
