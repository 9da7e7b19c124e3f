#include "platform/qt/QtTrayIcon.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "platform/UiForm.h"
#include "platform/qt/QtArtwork.h"

namespace talvex::platform::qt {

namespace {

// The window Qt embeds into an XEmbed notification area.
bool IsTrayWindow(QObject* object) {
    return object->isWidgetType() &&
           qstrcmp(object->metaObject()->className(), "QSystemTrayIconSys") == 0;
}

std::int32_t MessageOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return WM_LBUTTONUP;
        case QSystemTrayIcon::DoubleClick:
            return WM_LBUTTONDBLCLK;
        case QSystemTrayIcon::Context:
            return WM_RBUTTONUP;
        case QSystemTrayIcon::MiddleClick:
            return WM_MBUTTONUP;
        default:
            return 0;
    }
}

std::int32_t MessageOf(QEvent::Type type, Qt::MouseButton button) {
    const bool left = button == Qt::LeftButton;
    const bool right = button == Qt::RightButton;
    switch (type) {
        case QEvent::MouseButtonPress:
            return left ? WM_LBUTTONDOWN : right ? WM_RBUTTONDOWN : 0;
        case QEvent::MouseButtonRelease:
            return left                         ? WM_LBUTTONUP
                   : right                      ? WM_RBUTTONUP
                   : button == Qt::MiddleButton ? WM_MBUTTONUP
                                                : 0;
        case QEvent::MouseButtonDblClick:
            return left ? WM_LBUTTONDBLCLK : 0;
        default:
            return 0;
    }
}

}  // namespace

QtTrayIcon::QtTrayIcon() : m_icon(std::make_unique<QSystemTrayIcon>()) {
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (!m_sawRawEvents) Deliver(MessageOf(reason));
            });
    qApp->installEventFilter(this);
}

QtTrayIcon::~QtTrayIcon() {
    if (qApp) qApp->removeEventFilter(this);
    m_icon->hide();
}

bool QtTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
         type == QEvent::MouseButtonDblClick) &&
        m_icon->isVisible() && IsTrayWindow(watched)) {
        m_sawRawEvents = true;
        const std::int32_t message = MessageOf(type, static_cast<QMouseEvent*>(event)->button());
        if (message != 0) Deliver(message);
        // Qt's own handling only emits the activation we no longer use.
        return true;
    }
    return false;
}

void QtTrayIcon::Deliver(std::int32_t message) {
    if (message != 0 && m_icon->isVisible() && OnTrayMouseEvent) OnTrayMouseEvent(message);
}

void QtTrayIcon::ToolTip(const std::string& text) {
    m_icon->setToolTip(QString::fromStdString(text));
}

void QtTrayIcon::AddIcon(Form& owner, std::int32_t, const std::string& toolTip) {
    m_icon->setIcon(ArtworkIcon(owner.Icon()));
    m_icon->setToolTip(QString::fromStdString(toolTip));
    m_icon->show();
}

void QtTrayIcon::RemoveIcon() {
    m_icon->hide();
}

void QtTrayIcon::ShowBalloon(std::int32_t kind, const std::string& message,
                             const std::string& title, std::int32_t milliseconds) {
    // Right after AddIcon the notification area has not taken the icon in yet, and a
    // balloon would point at the screen's corner: it waits for the icon.
    const bool waiting = m_pendingBalloon.has_value();
    m_pendingBalloon = Balloon{kind, message, title, milliseconds};
    m_balloonWaits = 0;
    if (!waiting) ShowPendingBalloon();
}

bool QtTrayIcon::IconPlaced() const {
    bool embedded = true;  // a notification area that draws the icon itself places it
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!IsTrayWindow(widget)) continue;
        // The XEmbed icon's own window shows once the notification area has taken it in.
        const QWindow* window = widget->windowHandle();
        embedded = widget->isVisible() && window && window->isExposed();
    }
    return embedded && m_icon->isVisible();
}

void QtTrayIcon::ShowPendingBalloon() {
    // Polls for the icon; one that never arrives gets no balloon pointing at nothing.
    constexpr int kPollMs = 100;
    constexpr int kMaxPolls = 100;
    if (!m_pendingBalloon) return;
    if (!IconPlaced()) {
        if (++m_balloonWaits > kMaxPolls || !m_icon->isVisible()) {
            m_pendingBalloon.reset();
            return;
        }
        QTimer::singleShot(kPollMs, this, [this] { ShowPendingBalloon(); });
        return;
    }
    const Balloon balloon = *m_pendingBalloon;
    m_pendingBalloon.reset();
    const auto icon = balloon.kind == 2   ? QSystemTrayIcon::Warning
                      : balloon.kind == 3 ? QSystemTrayIcon::Critical
                                          : QSystemTrayIcon::Information;
    m_icon->showMessage(QString::fromStdString(balloon.title),
                        QString::fromStdString(balloon.message), icon, balloon.milliseconds);
}

void QtTrayIcon::IconHandle(const Picture& picture) {
    m_icon->setIcon(ArtworkIcon(picture));
}

}  // namespace talvex::platform::qt
