#pragma once
// A form as a top-level window. Labels, pictures, shapes, lines and frames have no
// window of their own: the form paints them, in the order of their creation, and
// hands their mouse clicks on; the other controls are child windows whose background
// is the form's painting beneath them. Sizes follow the window's own dpi.

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/UiForm.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32ToolTips.h"

namespace talvex::platform::win32 {

class Win32ControlView;

class Win32FormView final : public IFormView {
  public:
    /// The window class of every form; the message loop hands keyboard messages of
    /// these windows to the dialog manager.
    static constexpr const wchar_t* kClassName = L"TalvexForm";

    explicit Win32FormView(Form& form);
    ~Win32FormView() override;
    Win32FormView(const Win32FormView&) = delete;
    Win32FormView& operator=(const Win32FormView&) = delete;

    void Update(UiProperty what) override;
    std::unique_ptr<IControlView> CreateControlView(Control& control) override;
    WindowHandle Handle() override;
    void Activate() override;

    HWND Window() const { return m_hwnd; }
    unsigned Dpi() const { return m_dpi; }
    int Px(std::int32_t twips) const;
    /// A control's rectangle in client pixels.
    RECT PixelRect(const Control& control) const;
    /// The font of a control's style at this form's dpi (owned by the form).
    HFONT FontFor(const ControlStyle& style);
    /// Repaints the part of the form a windowless control covers (and what lies on it).
    void InvalidateArea(const RECT& area);
    /// The painted background changed: child windows draw theirs again.
    void BackgroundChanged();

    /// The form's tooltips.
    Win32ToolTips& ToolTips() { return *m_tips; }

    void Register(int id, Win32ControlView* view) { m_children[id] = view; }
    void Unregister(int id) { m_children.erase(id); }
    int NextId() { return m_nextId++; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleMouse(UINT message, WPARAM keys, LPARAM lParam);
    LRESULT ChildColor(HDC dc, HWND child);
    void Paint(HDC dc, const RECT& area);
    void PaintControl(HDC dc, const Control& control);
    UINT LabelPrefix(const Control& label) const;
    void ApplyGeometry();
    void ApplyBorder();
    void ApplyIcon();
    void ApplyTabOrder();
    void DpiChanged(unsigned dpi, const RECT& suggested);
    void Close(CloseReason reason);
    HBRUSH BackgroundBrush();
    Control* ControlAt(POINT point) const;
    Win32ControlView* DefaultButton() const;

    Form& m_form;
    HWND m_hwnd = nullptr;
    unsigned m_dpi = 96;
    bool m_applying = false;     // our own move or resize is under way
    bool m_userClosing = false;  // the close comes from the title bar or the keyboard
    HWND m_focus = nullptr;      // the control that had the focus when the form lost it
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    HBRUSH m_backBrush = nullptr;
    std::map<std::pair<bool, std::int32_t>, HFONT> m_fonts;
    std::map<int, Win32ControlView*> m_children;
    int m_nextId = 100;            // clear of IDOK and IDCANCEL
    Control* m_pressed = nullptr;  // the windowless control the left button went down on
    std::unique_ptr<Win32ToolTips> m_tips;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace talvex::platform::win32
