#include "platform/UiForm.h"

#include <algorithm>
#include <cstdint>

namespace talvex::platform {

Form::Form(std::string name) : m_name(std::move(name)) {}

Control& Form::Add(ControlKind kind, const std::string& name, const TwipsRect& rect,
                   std::int16_t index) {
    m_controls.push_back(std::make_unique<Control>(*this, kind, name, index, rect));
    Control& control = *m_controls.back();
    if (m_view) control.AttachView(m_view->CreateControlView(control));
    return control;
}

Control* Form::Find(const std::string& name, std::int16_t index) const {
    for (const auto& control : m_controls) {
        if (control->Name() == name && control->Index() == index) return control.get();
    }
    return nullptr;
}

void Form::Notify(UiProperty what) {
    if (m_view) m_view->Update(what);
}

void Form::SetCaption(const std::string& caption) {
    if (m_caption == caption) return;
    m_caption = caption;
    Notify(UiProperty::Caption);
}

void Form::Move(std::int32_t left, std::int32_t top) {
    if (m_left == left && m_top == top) return;
    m_left = left;
    m_top = top;
    Notify(UiProperty::Rect);
}

void Form::SetClientWidth(std::int32_t twips) {
    if (m_clientWidth == twips) return;
    m_clientWidth = twips;
    Notify(UiProperty::Rect);
}

void Form::SetHeight(std::int32_t twips) {
    if (m_height == twips) return;
    m_height = twips;
    Notify(UiProperty::Rect);
}

void Form::SetMinimumSize(std::int32_t clientWidth, std::int32_t height) {
    m_minClientWidth = clientWidth;
    m_minHeight = height;
    Notify(UiProperty::Rect);
}

void Form::NotifyResized(std::int32_t clientWidth, std::int32_t height) {
    const std::int32_t width = std::max(clientWidth, m_minClientWidth);
    height = std::max(height, m_minHeight);
    if (width == m_clientWidth && height == m_height) return;
    // The window has this size already; the view is not told again.
    m_clientWidth = width;
    m_height = height;
    if (OnResize) OnResize();
}

void Form::Show() {
    m_loaded = true;
    const bool wasVisible = m_visible;
    m_visible = true;
    // A window opens with the focus on its first tab stop.
    if (!ActiveControl()) {
        const auto order = TabOrder();
        if (!order.empty()) order.front()->SetFocus();
    }
    if (!wasVisible) Notify(UiProperty::Visible);
    if (m_view) m_view->Activate();
}

void Form::Hide() {
    if (!m_visible) return;
    m_visible = false;
    Notify(UiProperty::Visible);
}

void Form::Close() {
    RequestClose(CloseReason::ProgramClose);
}

void Form::RequestClose(CloseReason reason) {
    if (!m_loaded) return;
    bool cancel = false;
    if (OnQueryUnload) OnQueryUnload(cancel, reason);
    if (cancel || !m_loaded) return;
    m_loaded = false;
    if (OnUnload) OnUnload();
    Hide();
}

void Form::SetIcon(const Picture& icon) {
    if (m_icon == icon) return;
    m_icon = icon;
    Notify(UiProperty::Picture);
}

void Form::SetBackColor(const Rgb& color) {
    if (m_backColor == color) return;
    m_backColor = color;
    Notify(UiProperty::Style);
}

void Form::SetBackPicture(const Picture& picture) {
    if (m_backPicture == picture) return;
    m_backPicture = picture;
    Notify(UiProperty::Style);
}

void Form::SetBorder(FormBorder border) {
    if (m_border == border) return;
    m_border = border;
    Notify(UiProperty::Style);
}

void Form::AttachView(std::unique_ptr<IFormView> view) {
    m_view = std::move(view);
    if (!m_view) return;
    for (const auto& control : m_controls) control->AttachView(m_view->CreateControlView(*control));
}

// ---- keyboard ----

namespace {

bool IsOption(const Control* control) {
    return control->Kind() == ControlKind::OptionButton;
}

// The controls that can take the focus, by tab index; those without one come last, in
// the order of creation.
std::vector<Control*> FocusableByTabIndex(const std::vector<std::unique_ptr<Control>>& controls) {
    std::vector<Control*> ordered;
    for (const auto& control : controls) {
        if (control->CanFocus()) ordered.push_back(control.get());
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const Control* a, const Control* b) {
        const auto rank = [](const Control* c) {
            return c->TabIndex() < 0 ? INT32_MAX : c->TabIndex();
        };
        return rank(a) < rank(b);
    });
    return ordered;
}

// The option buttons of the control's group that can take the focus, in tab order.
std::vector<Control*> GroupOf(const std::vector<Control*>& ordered, const Control& option) {
    std::vector<Control*> group;
    for (Control* control : ordered) {
        if (IsOption(control) && control->Group() == option.Group()) group.push_back(control);
    }
    return group;
}

}  // namespace

std::vector<Control*> Form::TabOrder() const {
    const std::vector<Control*> ordered = FocusableByTabIndex(m_controls);
    std::vector<Control*> stops;
    for (Control* control : ordered) {
        if (!IsOption(control)) {
            stops.push_back(control);
            continue;
        }
        const auto group = GroupOf(ordered, *control);
        const auto selected = std::find_if(group.begin(), group.end(),
                                           [](const Control* c) { return c->Value() == 1; });
        if (control == (selected != group.end() ? *selected : group.front())) {
            stops.push_back(control);
        }
    }
    return stops;
}

Control* Form::ActiveControl() const {
    return m_activeControl && m_activeControl->CanFocus() ? m_activeControl : nullptr;
}

void Form::FocusNext(bool backwards) {
    const auto order = TabOrder();
    if (order.empty()) return;
    Control* from = ActiveControl();
    // From an option button, Tab leaves its group from the group's stop.
    const auto at = std::find_if(order.begin(), order.end(), [from](const Control* c) {
        return c == from || (from && IsOption(from) && IsOption(c) && c->Group() == from->Group());
    });
    std::size_t next = 0;
    if (at == order.end()) {
        next = backwards ? order.size() - 1 : 0;
    } else {
        const auto here = static_cast<std::size_t>(at - order.begin());
        next = backwards ? (here + order.size() - 1) % order.size() : (here + 1) % order.size();
    }
    if (from && from != order[next]) from->UserLeave();
    order[next]->SetFocus();
}

bool Form::PreviewKey(std::int32_t keyCode, int shift) {
    if (OnKeyDown) OnKeyDown(keyCode, shift);
    if (keyCode == 0) return true;
    Control* active = ActiveControl();
    if (active && active->OnKeyDown) {
        active->OnKeyDown(keyCode, shift);
        if (keyCode == 0) return true;
    }
    // The arrow keys select the next or previous option button of the group.
    if (active && IsOption(active) && shift == 0 &&
        (keyCode == vbKeyLeft || keyCode == vbKeyUp || keyCode == vbKeyRight ||
         keyCode == vbKeyDown)) {
        const auto group = GroupOf(FocusableByTabIndex(m_controls), *active);
        const auto at = std::find(group.begin(), group.end(), active);
        if (at == group.end()) return false;
        const auto here = static_cast<std::size_t>(at - group.begin());
        const bool back = keyCode == vbKeyLeft || keyCode == vbKeyUp;
        Control* target =
            group[back ? (here + group.size() - 1) % group.size() : (here + 1) % group.size()];
        target->SetFocus();
        target->UserClick();
        return true;
    }
    return false;
}

bool Form::DialogKey(std::int32_t keyCode, int shift) {
    Control* active = ActiveControl();
    const auto find = [this](auto&& wanted) -> Control* {
        for (const auto& control : m_controls) {
            if (control->Usable() && wanted(*control)) return control.get();
        }
        return nullptr;
    };
    if ((keyCode == vbKeyReturn || keyCode == vbKeySpace) && shift == 0 && active &&
        active->Kind() == ControlKind::Picture) {
        active->UserClick();
        return true;
    }
    if (keyCode == vbKeyReturn && shift == 0) {
        if (active && active->Kind() == ControlKind::PushButton) {
            active->UserClick();
            return true;
        }
        if (Control* button = find([](const Control& c) { return c.Default(); })) {
            button->UserClick();
            return true;
        }
        return false;
    }
    if (keyCode == vbKeyEscape && shift == 0) {
        if (Control* button = find([](const Control& c) { return c.Cancel(); })) {
            button->UserClick();
            return true;
        }
        return false;
    }
    const bool letter = (keyCode >= 'A' && keyCode <= 'Z') || (keyCode >= '0' && keyCode <= '9');
    if (!letter || shift != vbAltMask) return false;
    Control* target = find([keyCode](const Control& c) {
        return c.AccessKey() == static_cast<char>(keyCode) && c.Kind() != ControlKind::Frame;
    });
    if (!target) return false;
    if (target->Kind() == ControlKind::Label) {
        Control* buddy = target->Buddy().empty() ? nullptr : Find(target->Buddy());
        if (!buddy || !buddy->CanFocus()) return false;
        if (active && active != buddy) active->UserLeave();
        buddy->SetFocus();
        return true;
    }
    if (!target->CanFocus()) return false;
    if (active && active != target) active->UserLeave();
    target->SetFocus();
    // A button presses, a box toggles, an option button is selected.
    if (target->Kind() == ControlKind::PushButton || target->Kind() == ControlKind::CheckBox ||
        target->Kind() == ControlKind::OptionButton) {
        target->UserClick();
    }
    return true;
}

}  // namespace talvex::platform
