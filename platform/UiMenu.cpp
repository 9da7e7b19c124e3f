#include "platform/UiMenu.h"

namespace talvex::platform {

MenuItem::MenuItem(std::string name, std::string caption, bool separator)
    : caption(std::move(caption)), m_name(std::move(name)), m_separator(separator) {}

MenuItem& MenuItem::Add(const std::string& name, const std::string& caption) {
    m_items.push_back(std::make_unique<MenuItem>(name, caption));
    return *m_items.back();
}

MenuItem& MenuItem::AddSeparator(const std::string& name) {
    m_items.push_back(std::make_unique<MenuItem>(name, "-", true));
    return *m_items.back();
}

MenuItem* MenuItem::Find(const std::string& name) {
    if (m_name == name) return this;
    for (const auto& item : m_items) {
        if (MenuItem* found = item->Find(name)) return found;
    }
    return nullptr;
}

bool MenuItem::Choose() {
    if (!enabled || !visible || m_separator || IsSubmenu()) return false;
    if (OnClick) OnClick();
    return true;
}

}  // namespace talvex::platform
