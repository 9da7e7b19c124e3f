#pragma once
// One control of a form: the state every backend shows, the handlers the program
// sets, and the user actions a backend (or a test) reports. The state lives here so
// that every backend keeps the same rules: setting a value runs the control's handler
// only when the value changes, and a check box is checked at value 1.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/AccessKey.h"
#include "platform/UiTypes.h"

namespace talvex::platform {

class Form;

/// The access key of a caption: the character after a single "&", upper-cased; 0 when
/// there is none ("&&" stands for an ampersand itself).
char AccessKeyOf(std::string_view caption);
using talvex::WithoutAccessKey;

/// One column of a report list: its header text and its width when first shown.
struct ReportColumn {
    std::string caption;
    std::int32_t widthTwips = 1200;
    bool operator==(const ReportColumn&) const = default;
};
using ReportRow = std::vector<std::string>;

/// Looks of a control. Colours that are not set come from the backend's defaults.
struct ControlStyle {
    std::optional<Rgb> backColor;    // none: transparent
    std::optional<Rgb> foreColor;    // text colour
    Rgb borderColor{224, 224, 224};  // shape border, line colour, frame outline
    std::optional<Rgb> fillColor;    // shape fill; none: not filled
    std::int32_t cornerTwips = 0;    // shape corner radius
    bool bold = false;
    std::int32_t fontPoints = 0;  // 0: backend default
    bool wordWrap = true;         // labels
    bool multiSelect = false;     // list boxes (reserved, single selection only today)
    std::string toolTip;          // shown while the mouse rests on the control; "": none
    bool operator==(const ControlStyle&) const = default;
};

/// A backend's drawing of one control; told about every change of the state.
class IControlView {
  public:
    virtual ~IControlView() = default;
    virtual void Update(UiProperty what) = 0;
};

class Control {
  public:
    Control(Form& form, ControlKind kind, std::string name, std::int16_t index, TwipsRect rect);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Form& Parent() const { return m_form; }
    ControlKind Kind() const { return m_kind; }
    const std::string& Name() const { return m_name; }
    /// Index within a control array ("Option1(2)"); -1 for a single control.
    std::int16_t Index() const { return m_index; }

    /// Caption of labels, boxes, buttons and frames.
    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& text);
    /// Text of a text box. Runs OnChange when the text differs.
    const std::string& Text() const { return m_text; }
    void SetText(const std::string& text);

    /// Check box 0/1/2, option button 0/1, slider position. Runs OnClick (check box,
    /// option button) or OnChange (slider) only when the value changes. Selecting an
    /// option button clears the others of its group without running their handlers.
    std::int32_t Value() const { return m_value; }
    void SetValue(std::int32_t value);
    /// A check box counts as checked at value 1 only.
    bool Checked() const { return m_value == 1; }

    /// Option buttons with the same group exclude each other; the group defaults to
    /// the control's name, so a control array forms one group.
    const std::string& Group() const { return m_group; }
    void SetGroup(const std::string& group) { m_group = group; }

    // List box.
    void AddItem(const std::string& item);
    /// Removes an item; out of range does nothing. The selection follows the items.
    void RemoveItem(std::int32_t index);
    void Clear();
    /// Replaces every item at once (one redraw); nothing is selected afterwards.
    void SetItems(std::vector<std::string> items);
    std::int32_t ListCount() const {
        return static_cast<std::int32_t>(m_kind == ControlKind::ReportList ? m_rows.size()
                                                                           : m_items.size());
    }
    /// The item's text; empty when out of range.
    std::string List(std::int32_t index) const;
    void SetList(std::int32_t index, const std::string& item);
    const std::vector<std::string>& Items() const { return m_items; }
    /// Selected item, -1 for none. Setting it runs OnClick when it changes; values
    /// outside the list select nothing.
    std::int32_t ListIndex() const { return m_listIndex; }
    void SetListIndex(std::int32_t index);

    // Report list: a header and rows of cells, one row selected at most (ListIndex);
    // ListCount counts the rows.
    const std::vector<ReportColumn>& Columns() const { return m_columns; }
    void SetColumns(std::vector<ReportColumn> columns);
    const std::vector<ReportRow>& Rows() const { return m_rows; }
    /// Replaces every row at once. Nothing is redrawn when the rows are the same; the
    /// selection stays at its index while there is a row there, else none is selected
    /// (without running OnClick: the caller selects again what it wants selected).
    void SetRows(std::vector<ReportRow> rows);
    /// The text of a cell; empty when out of range.
    std::string Cell(std::int32_t row, std::int32_t column) const;

    // Slider.
    std::int32_t Min() const { return m_min; }
    std::int32_t Max() const { return m_max; }
    /// Sets the range and pulls the value into it (running OnChange if it moves).
    void SetRange(std::int32_t min, std::int32_t max);
    /// Distance between two tick marks; 0 draws none.
    std::int32_t TickFrequency() const { return m_tickFrequency; }
    void SetTickFrequency(std::int32_t frequency);

    const TwipsRect& Rect() const { return m_rect; }
    void Move(const TwipsRect& rect);
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    const Picture& GetPicture() const { return m_picture; }
    void SetPicture(const Picture& picture);
    const ControlStyle& Style() const { return m_style; }
    void SetStyle(const ControlStyle& style);
    /// Keyboard order; -1 keeps the order of creation.
    std::int32_t TabIndex() const { return m_tabIndex; }
    void SetTabIndex(std::int32_t tab) { m_tabIndex = tab; }
    /// Whether Tab stops at the control. On by default for check boxes, option buttons,
    /// lists, text boxes, push buttons and sliders; a picture that reacts to clicks may
    /// be made one (Space and Enter then click it).
    bool TabStop() const { return m_tabStop; }
    void SetTabStop(bool stop);
    /// Whether the control can have the keyboard focus now: a tab stop, or an option
    /// button (reached with the arrow keys), that is visible and enabled.
    bool CanFocus() const;
    /// Takes the keyboard focus, when it can.
    void SetFocus();

    /// Push buttons: Enter clicks the default button of the form (unless the focus is
    /// on another push button), Escape clicks the cancel button. One button may be both.
    bool Default() const { return m_default; }
    void SetDefault(bool isDefault);
    bool Cancel() const { return m_cancel; }
    void SetCancel(bool isCancel) { m_cancel = isCancel; }
    /// Labels: the control their access key gives the focus to.
    const std::string& Buddy() const { return m_buddy; }
    void SetBuddy(const std::string& name) { m_buddy = name; }
    /// The access key of the caption ("&Add": 'A'); 0 when it has none.
    char AccessKey() const { return AccessKeyOf(m_caption); }

    // Handlers, set by the program. They must not throw.
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void()> OnChange;
    /// Button (kLeftButton...), shift state, position in twips within the control.
    std::function<void(int, int, std::int32_t, std::int32_t)> OnMouseDown;
    std::function<void(int, int, std::int32_t, std::int32_t)> OnMouseUp;
    /// A character typed into a text box, as its code (8 for Backspace); setting it to
    /// 0 discards the character.
    std::function<void(std::int32_t& keyAscii)> OnKeyPress;
    /// The control lost the keyboard focus to another control of the program.
    std::function<void()> OnLostFocus;
    /// A key went down while the control had the focus (vbKey... code, shift state),
    /// before the control's own handling; setting the code to 0 ends its handling.
    std::function<void(std::int32_t& keyCode, int shift)> OnKeyDown;

    // User actions, reported by a backend or a test. They do nothing on a control
    // that is hidden or disabled (the form's own visibility does not count, so tests
    // can work a hidden window).
    /// A left click: toggles a check box, selects an option button, runs OnClick of
    /// buttons, pictures, labels and frames.
    void UserClick();
    void UserDblClick();
    void UserMouseDown(int button, int shift, std::int32_t x, std::int32_t y);
    void UserMouseUp(int button, int shift, std::int32_t x, std::int32_t y);
    /// Types a whole new text into a text box.
    void UserType(const std::string& text);
    /// Types one character into a text box, at its end: OnKeyPress may discard it;
    /// Backspace (8) removes the last character. Returns the code that was let through
    /// (0 when discarded), so a backend that edits the text itself knows what to do.
    std::int32_t UserKeyPress(std::int32_t keyAscii);
    /// Only the key filter of UserKeyPress: the code OnKeyPress lets through, 0 when
    /// it discards the character or the control cannot take it.
    std::int32_t FilterKey(std::int32_t keyAscii);
    /// The focus moves from this control to another one.
    void UserLeave();
    /// Clicks an item of a list box or a row of a report list.
    void UserSelect(std::int32_t index);
    /// Moves a slider.
    void UserSlide(std::int32_t value);
    /// Whether the user can reach the control at all.
    bool Usable() const { return m_visible && m_enabled; }

    void AttachView(std::unique_ptr<IControlView> view);
    IControlView* View() const { return m_view.get(); }

    /// Clears an option button without running anything (its group got another one).
    void Deselect();

  private:
    void Notify(UiProperty what);
    static void Run(const std::function<void()>& handler);

    Form& m_form;
    ControlKind m_kind;
    std::string m_name;
    std::int16_t m_index;
    std::string m_group;
    TwipsRect m_rect;
    std::string m_caption;
    std::string m_text;
    std::int32_t m_value = 0;
    std::vector<std::string> m_items;
    std::vector<ReportColumn> m_columns;
    std::vector<ReportRow> m_rows;
    std::int32_t m_listIndex = -1;
    std::int32_t m_min = 0;
    std::int32_t m_max = 10;
    std::int32_t m_tickFrequency = 0;
    bool m_visible = true;
    bool m_enabled = true;
    Picture m_picture;
    ControlStyle m_style;
    std::int32_t m_tabIndex = -1;
    bool m_tabStop = false;
    bool m_default = false;
    bool m_cancel = false;
    std::string m_buddy;
    std::unique_ptr<IControlView> m_view;
};

}  // namespace talvex::platform
