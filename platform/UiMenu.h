#pragma once
// Popup menus: a tree of items with captions, check marks, separators and submenus.
// The top item only holds the popup and is never shown itself.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace talvex::platform {

class MenuItem {
  public:
    explicit MenuItem(std::string name, std::string caption = {}, bool separator = false);
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;

    const std::string& Name() const { return m_name; }
    /// Appends an item (which becomes a submenu as soon as it has items of its own).
    MenuItem& Add(const std::string& name, const std::string& caption);
    MenuItem& AddSeparator(const std::string& name);
    /// The item of that name in this menu or any submenu; null when none.
    MenuItem* Find(const std::string& name);
    const std::vector<std::unique_ptr<MenuItem>>& Items() const { return m_items; }
    bool IsSubmenu() const { return !m_items.empty(); }
    bool IsSeparator() const { return m_separator; }

    std::string caption;
    bool checked = false;
    bool enabled = true;
    bool visible = true;

    /// Runs when the item is chosen. Must not throw.
    std::function<void()> OnClick;
    /// Chooses the item as the user would: runs OnClick unless the item is disabled,
    /// hidden, a separator or a submenu. Returns whether it ran.
    bool Choose();

  private:
    std::string m_name;
    bool m_separator;
    std::vector<std::unique_ptr<MenuItem>> m_items;
};

}  // namespace talvex::platform
