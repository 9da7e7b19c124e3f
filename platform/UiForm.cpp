#include "platform/UiForm.h"

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

void Form::Show() {
    m_loaded = true;
    const bool wasVisible = m_visible;
    m_visible = true;
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

}  // namespace talvex::platform
