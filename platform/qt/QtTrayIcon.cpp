#include "platform/qt/QtTrayIcon.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

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
    const auto icon = kind == 2   ? QSystemTrayIcon::Warning
                      : kind == 3 ? QSystemTrayIcon::Critical
                                  : QSystemTrayIcon::Information;
    m_icon->showMessage(QString::fromStdString(title), QString::fromStdString(message), icon,
                        milliseconds);
}

void QtTrayIcon::IconHandle(const Picture& picture) {
    m_icon->setIcon(ArtworkIcon(picture));
}

}  // namespace talvex::platform::qt
