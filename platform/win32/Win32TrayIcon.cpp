#include "platform/win32/Win32TrayIcon.h"

#include "platform/UiForm.h"
#include "platform/win32/Win32Artwork.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform::win32 {

namespace {

constexpr UINT kCallbackMessage = WM_APP + 7;
constexpr UINT kIconId = 1;
constexpr const wchar_t* kClassName = L"TalvexTray";

template <std::size_t N>
void CopyCut(wchar_t (&target)[N], const std::wstring& text) {
    // The shell's fields are fixed arrays: cut, never overrun, and never end on half
    // a surrogate pair.
    std::size_t length = std::min(text.size(), N - 1);
    if (length > 0 && length < text.size() && IS_HIGH_SURROGATE(text[length - 1])) --length;
    text.copy(target, length);
    target[length] = L'\0';
}

}  // namespace

Win32TrayIcon::Win32TrayIcon() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
    // A hidden top-level window: only those hear that the taskbar was created anew.
    m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"Talvex", WS_POPUP, 0, 0, 0, 0, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
}

Win32TrayIcon::~Win32TrayIcon() {
    RemoveIcon();
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hwnd);
    if (m_icon) DestroyIcon(m_icon);
}

NOTIFYICONDATAW Win32TrayIcon::Data(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_hwnd;
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = kCallbackMessage;
    data.hIcon = m_icon;
    CopyCut(data.szTip, m_tip);
    return data;
}

void Win32TrayIcon::SetPicture(const Picture& picture) {
    m_picture = picture;
    if (m_icon) DestroyIcon(m_icon);
    m_icon = ArtworkIcon(picture, GetSystemMetrics(SM_CXSMICON));
}

void Win32TrayIcon::ToolTip(const std::string& text) {
    m_tip = Widen(text);
    if (!m_shown) return;
    NOTIFYICONDATAW data = Data(NIF_TIP);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Win32TrayIcon::AddIcon(Form& owner, std::int32_t, const std::string& toolTip) {
    SetPicture(owner.Icon());
    m_tip = Widen(toolTip);
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    if (m_shown) Shell_NotifyIconW(NIM_DELETE, &data);
    m_wanted = true;
    m_shown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void Win32TrayIcon::RemoveIcon() {
    m_wanted = false;
    if (!m_shown) return;
    NOTIFYICONDATAW data = Data(0);
    Shell_NotifyIconW(NIM_DELETE, &data);
    m_shown = false;
}

void Win32TrayIcon::ShowBalloon(std::int32_t kind, const std::string& message,
                                const std::string& title, std::int32_t milliseconds) {
    if (!m_shown) return;
    NOTIFYICONDATAW data = Data(NIF_INFO);
    CopyCut(data.szInfo, Widen(message));
    CopyCut(data.szInfoTitle, Widen(title));
    data.dwInfoFlags = kind == 2 ? NIIF_WARNING : kind == 3 ? NIIF_ERROR : NIIF_INFO;
    data.uTimeout = static_cast<UINT>(milliseconds);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void Win32TrayIcon::IconHandle(const Picture& picture) {
    SetPicture(picture);
    if (!m_shown) return;
    NOTIFYICONDATAW data = Data(NIF_ICON);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

LRESULT CALLBACK Win32TrayIcon::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* icon = reinterpret_cast<Win32TrayIcon*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (icon && message == kCallbackMessage) {
        if (icon->m_wanted && icon->OnTrayMouseEvent) {
            icon->OnTrayMouseEvent(static_cast<std::int32_t>(LOWORD(lParam)));
        }
        return 0;
    }
    if (icon && message == icon->m_taskbarCreated && icon->m_wanted) {
        NOTIFYICONDATAW data = icon->Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
        icon->m_shown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace talvex::platform::win32
