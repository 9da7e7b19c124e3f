#include "platform/win32/Win32Registry.h"

#include <vector>

namespace talvex::platform::win32 {

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        Close();
        m_key = other.m_key;
        other.m_key = nullptr;
    }
    return *this;
}

RegKey RegKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return {};
    return RegKey(key);
}

RegKey RegKey::Create(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return RegKey(key);
}

void RegKey::Close() {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
}

std::optional<std::wstring> RegKey::ReadText(const std::wstring& name, std::size_t maxChars) const {
    if (!m_key) return std::nullopt;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // A value may change between the two calls; read again with the larger size then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LSTATUS status = RegQueryValueExW(m_key, name.c_str(), nullptr, &type,
                                                reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_MORE_DATA) {
            bytes = size;
            continue;
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        // The stored text need not end with a zero, and may hold one early.
        std::wstring text(buffer.data(), size / sizeof(wchar_t));
        const auto end = text.find(L'\0');
        if (end != std::wstring::npos) text.resize(end);
        if (text.size() > maxChars) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

bool RegKey::WriteText(const std::wstring& name, const std::wstring& value) const {
    if (!m_key) return false;
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(m_key, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

bool RegKey::DeleteValue(const std::wstring& name) const {
    if (!m_key) return false;
    const LSTATUS status = RegDeleteValueW(m_key, name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace talvex::platform::win32
