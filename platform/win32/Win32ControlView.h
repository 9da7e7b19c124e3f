#pragma once
// One control of a form. Check boxes, option buttons, push buttons, list boxes, text
// boxes and sliders are child windows of the form (the standard controls); the others
// are painted by the form, and their view only asks it to paint them again. The
// user's actions reach the control's model, which decides what happens; the child
// window then shows the model's state.

#include <memory>
#include <vector>

#include "platform/UiControl.h"
#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

class Win32FormView;

class Win32ControlView final : public IControlView {
  public:
    Win32ControlView(Win32FormView& form, Control& control, std::weak_ptr<bool> formAlive);
    ~Win32ControlView() override;
    Win32ControlView(const Win32ControlView&) = delete;
    Win32ControlView& operator=(const Win32ControlView&) = delete;

    void Update(UiProperty what) override;

    const Control& Model() const { return m_control; }
    /// The child window; null for a control the form paints.
    HWND Window() const { return m_hwnd; }
    /// A WM_COMMAND notification of the child window.
    void OnCommand(WORD code);
    /// A WM_NOTIFY of the child window (a report list's selection or double click).
    void OnNotify(const NMHDR& header, LPARAM lParam);
    /// The slider moved.
    void OnScroll();
    /// The form's dpi changed: new place and font.
    void DpiChanged();
    /// A brush of the control's own background colour.
    HBRUSH BackBrush();

  private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    bool Filter(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    HWND MakeWindow();
    void ApplyAll();
    void ApplyRect();
    void ApplyCaption();
    void ApplyValue();
    void ApplyItems();
    void ApplyRange();
    void ApplyStyle();
    void ApplyKeyboard();
    void Repaint();
    bool FormAlive() const { return !m_formAlive.expired() && *m_formAlive.lock(); }

    Win32FormView& m_form;
    Control& m_control;
    std::weak_ptr<bool> m_formAlive;
    HWND m_hwnd = nullptr;
    int m_id = 0;
    RECT m_lastArea{};  // where a painted control was, to paint that place again
    bool m_syncing = false;
    std::vector<std::string> m_shownItems;
    std::vector<ReportRow> m_shownRows;
    HBRUSH m_backBrush = nullptr;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace talvex::platform::win32
