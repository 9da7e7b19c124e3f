#pragma once
// The notification-area icon through Shell_NotifyIconW, with a hidden window of its
// own for the mouse messages. When Explorer starts again (after a crash), the icon is
// added again, with its present picture and tooltip.

#include <string>

#include "platform/ITrayIcon.h"
#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

class Win32TrayIcon final : public ITrayIcon {
  public:
    Win32TrayIcon();
    ~Win32TrayIcon() override;
    Win32TrayIcon(const Win32TrayIcon&) = delete;
    Win32TrayIcon& operator=(const Win32TrayIcon&) = delete;

    void ToolTip(const std::string& text) override;
    void AddIcon(Form& owner, std::int32_t id, const std::string& toolTip) override;
    void RemoveIcon() override;
    void ShowBalloon(std::int32_t kind, const std::string& message, const std::string& title,
                     std::int32_t milliseconds) override;
    void IconHandle(const Picture& picture) override;

    HWND Window() const { return m_hwnd; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    NOTIFYICONDATAW Data(UINT flags) const;
    void SetPicture(const Picture& picture);

    HWND m_hwnd = nullptr;
    bool m_wanted = false;  // between AddIcon and RemoveIcon
    bool m_shown = false;   // the shell took the icon
    Picture m_picture;
    HICON m_icon = nullptr;
    std::wstring m_tip;
    UINT m_taskbarCreated = 0;
};

}  // namespace talvex::platform::win32
