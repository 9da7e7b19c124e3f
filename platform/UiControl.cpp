#include "platform/UiControl.h"

#include <algorithm>

#include "platform/UiForm.h"

namespace talvex::platform {

namespace {

bool TakesFocusByDefault(ControlKind kind) {
    switch (kind) {
        case ControlKind::CheckBox:
        case ControlKind::OptionButton:
        case ControlKind::ListBox:
        case ControlKind::TextBox:
        case ControlKind::PushButton:
        case ControlKind::Slider:
        case ControlKind::ReportList:
            return true;
        default:
            return false;
    }
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

char AccessKeyOf(std::string_view caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;  // "&&" is an ampersand, no access key
            continue;
        }
        return UpperAscii(caption[i + 1]);
    }
    return 0;
}

Control::Control(Form& form, ControlKind kind, std::string name, std::int16_t index, TwipsRect rect)
    : m_form(form),
      m_kind(kind),
      m_name(std::move(name)),
      m_index(index),
      m_group(m_name),
      m_rect(rect),
      m_tabStop(TakesFocusByDefault(kind)) {}

void Control::SetTabStop(bool stop) {
    if (m_tabStop == stop) return;
    m_tabStop = stop;
    Notify(UiProperty::Keyboard);
}

bool Control::CanFocus() const {
    return Usable() && (m_tabStop || m_kind == ControlKind::OptionButton);
}

void Control::SetFocus() {
    if (!CanFocus()) return;
    m_form.NotifyFocus(this);
    Notify(UiProperty::Focus);
}

void Control::SetDefault(bool isDefault) {
    if (m_default == isDefault) return;
    m_default = isDefault;
    Notify(UiProperty::Keyboard);
}

void Control::Notify(UiProperty what) {
    if (m_view) m_view->Update(what);
}

void Control::Run(const std::function<void()>& handler) {
    if (handler) handler();
}

void Control::SetCaption(const std::string& text) {
    if (m_caption == text) return;
    m_caption = text;
    Notify(UiProperty::Caption);
}

void Control::SetText(const std::string& text) {
    if (m_text == text) return;
    m_text = text;
    Notify(UiProperty::Value);
    Run(OnChange);
}

void Control::SetValue(std::int32_t value) {
    if (m_kind == ControlKind::Slider) value = std::clamp(value, m_min, std::max(m_min, m_max));
    if (m_kind == ControlKind::OptionButton) value = value != 0 ? 1 : 0;
    if (m_value == value) return;
    m_value = value;
    if (m_kind == ControlKind::OptionButton && value == 1) {
        for (const auto& other : m_form.Controls()) {
            if (other.get() != this && other->m_kind == ControlKind::OptionButton &&
                other->m_group == m_group) {
                other->Deselect();
            }
        }
    }
    Notify(UiProperty::Value);
    if (m_kind == ControlKind::Slider) {
        Run(OnChange);
    } else if (m_kind != ControlKind::OptionButton || value == 1) {
        Run(OnClick);
    }
}

void Control::Deselect() {
    if (m_value == 0) return;
    m_value = 0;
    Notify(UiProperty::Value);
}

void Control::AddItem(const std::string& item) {
    m_items.push_back(item);
    Notify(UiProperty::Items);
}

void Control::RemoveItem(std::int32_t index) {
    if (index < 0 || index >= ListCount()) return;
    m_items.erase(m_items.begin() + index);
    if (m_listIndex == index) {
        m_listIndex = -1;
    } else if (m_listIndex > index) {
        --m_listIndex;
    }
    Notify(UiProperty::Items);
}

void Control::Clear() {
    m_items.clear();
    m_listIndex = -1;
    Notify(UiProperty::Items);
}

void Control::SetItems(std::vector<std::string> items) {
    m_items = std::move(items);
    m_listIndex = -1;
    Notify(UiProperty::Items);
}

std::string Control::List(std::int32_t index) const {
    if (index < 0 || index >= ListCount()) return {};
    return m_items[static_cast<std::size_t>(index)];
}

void Control::SetList(std::int32_t index, const std::string& item) {
    if (index < 0 || index >= ListCount()) return;
    m_items[static_cast<std::size_t>(index)] = item;
    Notify(UiProperty::Items);
}

void Control::SetColumns(std::vector<ReportColumn> columns) {
    if (m_columns == columns) return;
    m_columns = std::move(columns);
    Notify(UiProperty::Columns);
}

void Control::SetRows(std::vector<ReportRow> rows) {
    if (m_rows == rows) return;
    m_rows = std::move(rows);
    if (m_listIndex >= ListCount()) m_listIndex = -1;
    Notify(UiProperty::Items);
}

std::string Control::Cell(std::int32_t row, std::int32_t column) const {
    if (row < 0 || row >= ListCount() || column < 0) return {};
    const ReportRow& cells = m_rows[static_cast<std::size_t>(row)];
    if (static_cast<std::size_t>(column) >= cells.size()) return {};
    return cells[static_cast<std::size_t>(column)];
}

void Control::SetListIndex(std::int32_t index) {
    if (index < -1 || index >= ListCount()) index = -1;
    if (m_listIndex == index) return;
    m_listIndex = index;
    Notify(UiProperty::Value);
    Run(OnClick);
}

void Control::SetRange(std::int32_t min, std::int32_t max) {
    m_min = min;
    m_max = std::max(min, max);
    Notify(UiProperty::Range);
    SetValue(m_value);
}

void Control::SetTickFrequency(std::int32_t frequency) {
    if (m_tickFrequency == frequency) return;
    m_tickFrequency = frequency;
    Notify(UiProperty::Range);
}

void Control::Move(const TwipsRect& rect) {
    if (m_rect == rect) return;
    m_rect = rect;
    Notify(UiProperty::Rect);
}

void Control::SetVisible(bool visible) {
    if (m_visible == visible) return;
    m_visible = visible;
    Notify(UiProperty::Visible);
}

void Control::SetEnabled(bool enabled) {
    if (m_enabled == enabled) return;
    m_enabled = enabled;
    Notify(UiProperty::Enabled);
}

void Control::SetPicture(const Picture& picture) {
    if (m_picture == picture) return;
    m_picture = picture;
    Notify(UiProperty::Picture);
}

void Control::SetStyle(const ControlStyle& style) {
    if (m_style == style) return;
    m_style = style;
    Notify(UiProperty::Style);
}

void Control::UserClick() {
    if (!Usable()) return;
    switch (m_kind) {
        case ControlKind::CheckBox:
            SetValue(m_value == 1 ? 0 : 1);
            break;
        case ControlKind::OptionButton:
            SetValue(1);
            break;
        case ControlKind::ListBox:
        case ControlKind::TextBox:
        case ControlKind::Slider:
        case ControlKind::ReportList:
            break;
        default:
            Run(OnClick);
            break;
    }
}

void Control::UserDblClick() {
    if (Usable()) Run(OnDblClick);
}

void Control::UserMouseDown(int button, int shift, std::int32_t x, std::int32_t y) {
    if (Usable() && OnMouseDown) OnMouseDown(button, shift, x, y);
}

void Control::UserMouseUp(int button, int shift, std::int32_t x, std::int32_t y) {
    if (Usable() && OnMouseUp) OnMouseUp(button, shift, x, y);
}

void Control::UserType(const std::string& text) {
    if (Usable() && m_kind == ControlKind::TextBox) SetText(text);
}

std::int32_t Control::FilterKey(std::int32_t keyAscii) {
    if (!Usable() || m_kind != ControlKind::TextBox) return 0;
    if (OnKeyPress) OnKeyPress(keyAscii);
    return keyAscii;
}

std::int32_t Control::UserKeyPress(std::int32_t keyAscii) {
    keyAscii = FilterKey(keyAscii);
    if (keyAscii == 8) {
        if (!m_text.empty()) {
            // Removes a whole UTF-8 character, not just its last byte.
            std::size_t end = m_text.size() - 1;
            while (end > 0 && (static_cast<unsigned char>(m_text[end]) & 0xC0) == 0x80) --end;
            SetText(m_text.substr(0, end));
        }
    } else if (keyAscii >= 32 && keyAscii < 127) {
        SetText(m_text + static_cast<char>(keyAscii));
    }
    return keyAscii;
}

void Control::UserLeave() {
    if (Usable()) Run(OnLostFocus);
}

void Control::UserSelect(std::int32_t index) {
    const bool list = m_kind == ControlKind::ListBox || m_kind == ControlKind::ReportList;
    if (Usable() && list && index >= 0 && index < ListCount()) {
        SetListIndex(index);
    }
}

void Control::UserSlide(std::int32_t value) {
    if (Usable() && m_kind == ControlKind::Slider) SetValue(value);
}

void Control::AttachView(std::unique_ptr<IControlView> view) {
    m_view = std::move(view);
}

}  // namespace talvex::platform
