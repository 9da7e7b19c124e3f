#include "platform/win32/Win32ToolTips.h"

#include "platform/win32/Win32Text.h"

namespace talvex::platform::win32 {

Win32ToolTips::~Win32ToolTips() {
    // Gone already when the form's window went first: it owns the tooltip window.
    if (m_tip && IsWindow(m_tip)) DestroyWindow(m_tip);
}

bool Win32ToolTips::Made() {
    if (m_tip) return true;
    m_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, m_owner, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    return m_tip != nullptr;
}

void Win32ToolTips::SetArea(UINT_PTR key, const RECT& area, const std::string& text) {
    Set(TTF_SUBCLASS, key, area, text);
}

void Win32ToolTips::SetWindow(HWND child, const std::string& text) {
    Set(TTF_SUBCLASS | TTF_IDISHWND, reinterpret_cast<UINT_PTR>(child), RECT{}, text);
}

void Win32ToolTips::Set(UINT flags, UINT_PTR id, const RECT& area, const std::string& text) {
    const bool known = m_tools.count(id) != 0;
    if (text.empty() && !known) return;
    if (!Made()) return;
    std::wstring wide = Widen(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = flags;
    tool.hwnd = m_owner;
    tool.uId = id;
    tool.rect = area;
    tool.hinst = GetModuleHandleW(nullptr);
    tool.lpszText = wide.data();
    if (text.empty()) {
        SendMessageW(m_tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        m_tools.erase(id);
    } else if (known) {
        if ((flags & TTF_IDISHWND) == 0) {
            SendMessageW(m_tip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        SendMessageW(m_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    } else if (SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
        m_tools.insert(id);
    }
}

}  // namespace talvex::platform::win32
