#pragma once
// The tooltips of one form: a tooltip window owned by the form, with one tool per
// control that has a tip. Controls the form paints itself are tools by their area of
// the form; child windows are tools by their window. Made when the first tip comes.

#include <set>
#include <string>

#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

class Win32ToolTips {
  public:
    explicit Win32ToolTips(HWND owner) : m_owner(owner) {}
    ~Win32ToolTips();
    Win32ToolTips(const Win32ToolTips&) = delete;
    Win32ToolTips& operator=(const Win32ToolTips&) = delete;

    /// The tip over an area of the form, by a key of the caller's; "" removes it.
    void SetArea(UINT_PTR key, const RECT& area, const std::string& text);
    /// The tip over a child window; "" removes it.
    void SetWindow(HWND child, const std::string& text);

  private:
    void Set(UINT flags, UINT_PTR id, const RECT& area, const std::string& text);
    bool Made();

    HWND m_owner;
    HWND m_tip = nullptr;
    std::set<UINT_PTR> m_tools;
};

}  // namespace talvex::platform::win32
