#include "platform/win32/Win32SettingsStore.h"

#include <utility>
#include <vector>

#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

using win32::RegKey;

namespace {

// An application or section name becomes one key; a "\" would reach into another.
bool UsableKeyName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

}  // namespace

Win32SettingsStore::Win32SettingsStore(std::string root) : m_root(std::move(root)) {}

std::optional<std::string> Win32SettingsStore::Read(const Name& name) const {
    const auto& [app, section, key] = name;
    if (!UsableKeyName(app) || !UsableKeyName(section)) return std::nullopt;
    const RegKey reg = RegKey::Open(
        HKEY_CURRENT_USER, win32::Widen(m_root + "\\" + app + "\\" + section), KEY_QUERY_VALUE);
    const auto text = reg.ReadText(win32::Widen(key));
    if (!text) return std::nullopt;
    return win32::Narrow(*text);
}

bool Win32SettingsStore::Write(const Name& name, const std::optional<std::string>& value) const {
    const auto& [app, section, key] = name;
    if (!UsableKeyName(app) || !UsableKeyName(section)) return false;
    const std::wstring path = win32::Widen(m_root + "\\" + app + "\\" + section);
    if (!value) {
        const RegKey reg = RegKey::Open(HKEY_CURRENT_USER, path, KEY_SET_VALUE);
        // No key means no value to delete.
        return !reg || reg.DeleteValue(win32::Widen(key));
    }
    const RegKey reg = RegKey::Create(HKEY_CURRENT_USER, path, KEY_SET_VALUE);
    return reg.WriteText(win32::Widen(key), win32::Widen(*value));
}

std::string Win32SettingsStore::GetSettingValue(const std::string& sApp,
                                                const std::string& sSection,
                                                const std::string& sKey,
                                                const std::string& sDefault) {
    const Name name{sApp, sSection, sKey};
    if (const auto pending = m_pending.find(name); pending != m_pending.end()) {
        return pending->second.value_or(sDefault);
    }
    return Read(name).value_or(sDefault);
}

bool Win32SettingsStore::Change(const Name& name, std::optional<std::string> value) {
    if (m_depth > 0) {
        m_pending[name] = std::move(value);
        return true;
    }
    return Write(name, value);
}

bool Win32SettingsStore::SaveSettingValue(const std::string& sApp, const std::string& sSection,
                                          const std::string& sKey, const std::string& sValue) {
    return Change({sApp, sSection, sKey}, sValue);
}

bool Win32SettingsStore::DeleteSettingValue(const std::string& sApp, const std::string& sSection,
                                            const std::string& sKey) {
    return Change({sApp, sSection, sKey}, std::nullopt);
}

void Win32SettingsStore::BeginUpdate() {
    ++m_depth;
}

bool Win32SettingsStore::CommitUpdate() {
    if (m_depth == 0) return true;
    if (--m_depth > 0) return true;
    auto pending = std::move(m_pending);
    m_pending.clear();
    std::vector<std::pair<Name, std::optional<std::string>>> before;
    for (const auto& [name, value] : pending) {
        std::optional<std::string> previous = Read(name);
        if (!Write(name, value)) {
            // Put back what this update already changed, newest first.
            for (auto it = before.rbegin(); it != before.rend(); ++it) Write(it->first, it->second);
            return false;
        }
        before.emplace_back(name, std::move(previous));
    }
    return true;
}

}  // namespace talvex::platform
