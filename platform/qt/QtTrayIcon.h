#pragma once
// The tray icon on QSystemTrayIcon. Mouse actions arrive as the platform's mouse
// messages: on an XEmbed notification area the icon's own window is watched, so the
// right button's release (not its press) is reported; elsewhere Qt's activation
// reasons are translated.

#include <QObject>
#include <memory>
#include <optional>
#include <string>

#include "platform/ITrayIcon.h"

class QSystemTrayIcon;

namespace talvex::platform::qt {

class QtTrayIcon final : public QObject, public ITrayIcon {
    Q_OBJECT
  public:
    QtTrayIcon();
    ~QtTrayIcon() override;

    void ToolTip(const std::string& text) override;
    void AddIcon(Form& owner, std::int32_t id, const std::string& toolTip) override;
    void RemoveIcon() override;
    void ShowBalloon(std::int32_t kind, const std::string& message, const std::string& title,
                     std::int32_t milliseconds) override;
    void IconHandle(const Picture& picture) override;

    /// The Qt object, for tests.
    QSystemTrayIcon* Icon() const { return m_icon.get(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Balloon {
        std::int32_t kind = 1;
        std::string message, title;
        std::int32_t milliseconds = 0;
    };
    void Deliver(std::int32_t message);
    /// Whether the icon sits in the notification area yet (a balloon points at it).
    bool IconPlaced() const;
    void ShowPendingBalloon();

    std::unique_ptr<QSystemTrayIcon> m_icon;
    bool m_sawRawEvents = false;
    std::optional<Balloon> m_pendingBalloon;
    int m_balloonWaits = 0;
};

}  // namespace talvex::platform::qt
