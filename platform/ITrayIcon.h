#pragma once
// The icon in the notification area, with the operations and the event the program
// uses. Results are never looked at; a failing operation does nothing.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/UiTypes.h"

namespace talvex::platform {

class Form;

class ITrayIcon {
  public:
    virtual ~ITrayIcon() = default;

    /// The tooltip shows this text from now on.
    virtual void ToolTip(const std::string& text) = 0;
    /// Shows the icon with the owner form's icon and the tooltip; mouse actions on it
    /// arrive as OnTrayMouseEvent on the user-interface thread. `id` is always 0.
    virtual void AddIcon(Form& owner, std::int32_t id, const std::string& toolTip) = 0;
    /// Removes the icon; no more events.
    virtual void RemoveIcon() = 0;
    /// A balloon message at the icon. kind 1 = information, 2 = warning, 3 = error.
    virtual void ShowBalloon(std::int32_t kind, const std::string& message,
                             const std::string& title, std::int32_t milliseconds) = 0;
    /// The icon shows this picture from now on.
    virtual void IconHandle(const Picture& picture) = 0;

    /// TrayMouseEvent: the platform's mouse message for the action on the icon
    /// (WM_LBUTTONDBLCLK 515, WM_RBUTTONUP 517, ...). Must not throw.
    std::function<void(std::int32_t)> OnTrayMouseEvent;
};

}  // namespace talvex::platform
