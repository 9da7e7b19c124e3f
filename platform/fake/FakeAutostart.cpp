#include "platform/fake/FakeAutostart.h"

namespace talvex::platform {

bool FakeAutostart::RegSetValueExA(const std::string& sName, const std::string& sCommandPath) {
    if (!m_reachable) return false;
    m_entries[sName] = sCommandPath;
    return true;
}

bool FakeAutostart::RegDeleteValueA(const std::string& sName) {
    if (!m_reachable) return false;
    m_entries.erase(sName);
    return true;
}

std::optional<std::string> FakeAutostart::RegQueryValueExA(const std::string& sName) {
    if (!m_reachable) return std::nullopt;
    const auto found = m_entries.find(sName);
    if (found == m_entries.end()) return std::nullopt;
    return found->second;
}

}  // namespace talvex::platform
