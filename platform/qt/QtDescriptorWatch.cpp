#include "platform/qt/QtDescriptorWatch.h"

#include <QSocketNotifier>

namespace talvex::platform::qt {

namespace {

class QtDescriptorWatch final : public DescriptorWatch {
  public:
    QtDescriptorWatch(int fd, std::function<void()> onReadable)
        : m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read)) {
        QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier,
                         [handler = std::move(onReadable)] { handler(); });
    }
    ~QtDescriptorWatch() override {
        // The watch may end inside its own handler, while Qt still uses the notifier:
        // it stops at once and goes once the event loop is back.
        m_notifier->setEnabled(false);
        m_notifier->disconnect();
        m_notifier->deleteLater();
    }
    QtDescriptorWatch(const QtDescriptorWatch&) = delete;
    QtDescriptorWatch& operator=(const QtDescriptorWatch&) = delete;

  private:
    QSocketNotifier* m_notifier;
};

}  // namespace

std::unique_ptr<DescriptorWatch> CreateQtDescriptorWatch(int fd, std::function<void()> onReadable) {
    if (fd < 0 || !onReadable) return nullptr;
    return std::make_unique<QtDescriptorWatch>(fd, std::move(onReadable));
}

}  // namespace talvex::platform::qt
