#include "platform/linux/CompositorWindowApi.h"

#include <algorithm>

#include "platform/linux/Utf8.h"

namespace talvex::platform {

namespace {
// The windows that were in front lately; the engine asks only about the one in front
// and the one it recorded at the last change.
constexpr std::size_t kKeep = 32;
}  // namespace

const ForegroundChange* CompositorWindowApi::Find(WindowHandle window) const {
    if (window == 0) return nullptr;
    const auto it =
        std::find_if(m_known.begin(), m_known.end(),
                     [window](const ForegroundChange& c) { return c.window == window; });
    return it == m_known.end() ? nullptr : &*it;
}

WindowHandle CompositorWindowApi::HandleFor(const std::string& id) {
    const auto [it, added] = m_handles.try_emplace(id, m_nextHandle);
    if (added) ++m_nextHandle;
    return it->second;
}

WindowHandle CompositorWindowApi::KnownHandle(const std::string& id) const {
    const auto it = m_handles.find(id);
    return it == m_handles.end() ? 0 : it->second;
}

void CompositorWindowApi::SetFront(const ForegroundChange& front) {
    m_front = front.window;
    if (front.window == 0) return;
    std::erase_if(m_known, [&](const ForegroundChange& c) { return c.window == front.window; });
    m_known.push_front(front);
    if (m_known.size() > kKeep) m_known.pop_back();
}

void CompositorWindowApi::SetTitle(WindowHandle window, const std::string& title) {
    for (ForegroundChange& known : m_known) {
        if (known.window == window) known.title = title;
    }
}

void CompositorWindowApi::Forget(WindowHandle window) {
    std::erase_if(m_known, [&](const ForegroundChange& c) { return c.window == window; });
    // A closed window is never named again; its number is not given to another.
    std::erase_if(m_handles, [&](const auto& entry) { return entry.second == window; });
    if (m_front == window) m_front = 0;
}

void CompositorWindowApi::Clear() {
    m_known.clear();
    m_front = 0;
}

std::string CompositorWindowApi::GetWindowTextA(WindowHandle window, std::size_t maxChars) {
    const ForegroundChange* known = Find(window);
    if (!known) return m_own ? m_own->GetWindowTextA(window, maxChars) : std::string{};
    if (maxChars < 2) return {};
    // A title ends at its first NUL, as C text does.
    std::string title = known->title.substr(0, known->title.find('\0'));
    return CutUtf8(std::move(title), maxChars - 1);
}

std::int32_t CompositorWindowApi::GetWindowThreadProcessId(WindowHandle window) {
    const ForegroundChange* known = Find(window);
    if (!known) return m_own ? m_own->GetWindowThreadProcessId(window) : 0;
    return known->pid > 0 ? known->pid : 0;
}

void CompositorWindowApi::SetWindowPos(WindowHandle window, bool topmost) {
    if (m_own) m_own->SetWindowPos(window, topmost);
}

}  // namespace talvex::platform
