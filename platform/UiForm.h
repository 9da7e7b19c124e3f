#pragma once
// A form (top-level window) and its controls. Like Control, the state lives here and a
// backend's view draws it; controls are placed in twips within the client area and
// drawn in the order of creation, later ones above earlier ones.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/IWindowApi.h"
#include "platform/UiControl.h"

namespace talvex::platform {

/// A backend's drawing of one form.
class IFormView {
  public:
    virtual ~IFormView() = default;
    virtual void Update(UiProperty what) = 0;
    /// Makes the drawing of a control that was just added to the form.
    virtual std::unique_ptr<IControlView> CreateControlView(Control& control) = 0;
    /// The desktop's handle of the window (0 when it has none yet).
    virtual WindowHandle Handle() = 0;
    /// Brings the shown window to the front.
    virtual void Activate() = 0;
    /// The tab order or the default button changed.
    virtual void UpdateKeyboard() {}
};

class Form {
  public:
    explicit Form(std::string name);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return m_name; }

    /// Adds a control; `index` >= 0 makes it an element of a control array.
    Control& Add(ControlKind kind, const std::string& name, const TwipsRect& rect,
                 std::int16_t index = -1);
    /// The control by name and index; null when there is none.
    Control* Find(const std::string& name, std::int16_t index = -1) const;
    const std::vector<std::unique_ptr<Control>>& Controls() const { return m_controls; }

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);
    /// Outer position of the window in twips.
    std::int32_t Left() const { return m_left; }
    std::int32_t Top() const { return m_top; }
    void Move(std::int32_t left, std::int32_t top);
    /// Width of the client area and height of the whole window (title bar included),
    /// in twips.
    std::int32_t ClientWidth() const { return m_clientWidth; }
    std::int32_t Height() const { return m_height; }
    void SetClientWidth(std::int32_t twips);
    void SetHeight(std::int32_t twips);
    /// The smallest size the user may give a sizable form (client width and window
    /// height, twips); 0 for none.
    std::int32_t MinClientWidth() const { return m_minClientWidth; }
    std::int32_t MinHeight() const { return m_minHeight; }
    void SetMinimumSize(std::int32_t clientWidth, std::int32_t height);
    /// Called by a backend when the user has resized the window: takes the new size
    /// and runs OnResize.
    void NotifyResized(std::int32_t clientWidth, std::int32_t height);
    /// Runs after the user has resized the window.
    std::function<void()> OnResize;

    bool Visible() const { return m_visible; }
    /// Shows the window (and brings it to the front); a shown window stays shown.
    void Show();
    void Hide();
    /// The program closes the form: OnQueryUnload runs with ProgramClose; unless it
    /// cancels, OnUnload runs and the form is hidden and counts as unloaded.
    void Close();
    /// A close asked for from outside (title-bar button, session end, termination):
    /// OnQueryUnload decides; without a cancel the form closes as in Close().
    void RequestClose(CloseReason reason);
    /// False after the form has been closed.
    bool Loaded() const { return m_loaded; }

    const Picture& Icon() const { return m_icon; }
    void SetIcon(const Picture& icon);
    const Rgb& BackColor() const { return m_backColor; }
    void SetBackColor(const Rgb& color);
    /// Drawn from the top left corner, cut off at the window's edges.
    const Picture& BackPicture() const { return m_backPicture; }
    void SetBackPicture(const Picture& picture);
    FormBorder Border() const { return m_border; }
    void SetBorder(FormBorder border);

    /// The desktop's handle of the window; 0 when the backend has none.
    WindowHandle Handle() const { return m_view ? m_view->Handle() : 0; }

    /// Asked before the form closes; set the flag to keep it open.
    std::function<void(bool& cancel, CloseReason reason)> OnQueryUnload;
    /// Runs when the form closes.
    std::function<void()> OnUnload;
    /// Runs each time the window has appeared on the screen after being hidden, so
    /// that requests to the desktop about the window (such as keeping it on top) find it.
    std::function<void()> OnShown;
    /// Called by a backend when the window has appeared.
    void NotifyShown() {
        if (OnShown && m_visible) OnShown();
    }

    // ---- keyboard ----
    /// The controls Tab visits, in order: those that can take the focus, by tab index
    /// (controls without one after them, in the order of creation). Of a group of option
    /// buttons only the selected one (or else the first) is a stop; the arrow keys move
    /// within the group.
    std::vector<Control*> TabOrder() const;
    /// The control with the keyboard focus; null when none of this form's controls has
    /// it or the one that had it can take it no longer.
    Control* ActiveControl() const;
    /// Called when the focus moved to a control (by a backend, or by Control::SetFocus).
    void NotifyFocus(Control* control) { m_activeControl = control; }
    /// Moves the focus on by one tab stop (back with `backwards`), round the form.
    void FocusNext(bool backwards);
    /// A key went down on the form: runs OnKeyDown of the form, then that of the focused
    /// control, then moves between the option buttons of a group with the arrow keys.
    /// True when the key was used up; the backend's own handling must not see it then.
    bool PreviewKey(std::int32_t keyCode, int shift);
    /// A key nothing else used: Enter clicks the focused push button or picture, else the
    /// default button; Escape clicks the cancel button; Space clicks a focused picture;
    /// Alt with a letter or digit works the control with that access key (a label's goes
    /// to its buddy). True when the key was used.
    bool DialogKey(std::int32_t keyCode, int shift);
    /// Runs before any control sees a key (as with a form that previews its keys).
    std::function<void(std::int32_t& keyCode, int shift)> OnKeyDown;

    void AttachView(std::unique_ptr<IFormView> view);
    IFormView* View() const { return m_view.get(); }

  private:
    void Notify(UiProperty what);

    std::string m_name;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::string m_caption;
    std::int32_t m_left = 0;
    std::int32_t m_top = 0;
    std::int32_t m_clientWidth = 4800;
    std::int32_t m_height = 3600;
    std::int32_t m_minClientWidth = 0;
    std::int32_t m_minHeight = 0;
    bool m_visible = false;
    bool m_loaded = true;
    Picture m_icon;
    Rgb m_backColor{240, 240, 240};
    Picture m_backPicture;
    FormBorder m_border = FormBorder::FixedToolWindow;
    Control* m_activeControl = nullptr;
    std::unique_ptr<IFormView> m_view;
};

}  // namespace talvex::platform
