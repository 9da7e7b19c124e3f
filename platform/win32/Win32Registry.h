#pragma once
// Small helpers over the registry's W functions for the settings store and the Run key.

#include <optional>
#include <string>

#include "platform/win32/Win32Api.h"

namespace talvex::platform::win32 {

/// An open registry key, closed when the object goes.
class RegKey {
  public:
    RegKey() = default;
    explicit RegKey(HKEY key) : m_key(key) {}
    ~RegKey() { Close(); }
    RegKey(RegKey&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
    RegKey& operator=(RegKey&& other) noexcept;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    /// Opens an existing key; an empty object when it cannot be opened.
    static RegKey Open(HKEY root, const std::wstring& path, REGSAM access);
    /// Opens the key, creating it (and the keys above it) when missing.
    static RegKey Create(HKEY root, const std::wstring& path, REGSAM access);

    explicit operator bool() const { return m_key != nullptr; }
    HKEY Get() const { return m_key; }
    void Close();

    /// A text value (REG_SZ or REG_EXPAND_SZ, not expanded); nullopt when it is
    /// missing, of another type, or longer than maxChars characters.
    std::optional<std::wstring> ReadText(const std::wstring& name,
                                         std::size_t maxChars = 1 << 20) const;
    bool WriteText(const std::wstring& name, const std::wstring& value) const;
    /// True also when there was no such value.
    bool DeleteValue(const std::wstring& name) const;

  private:
    HKEY m_key = nullptr;
};

}  // namespace talvex::platform::win32
