#include "platform/win32/Win32Autostart.h"

#include <vector>

#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

using win32::RegKey;
using win32::Widen;

namespace {

std::string OwnFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    // The root of a drive keeps its separator ("C:\"), as the system reports it.
    path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);
    return win32::Narrow(path);
}

// Whether the Task Manager's start-up list switched the entry off: the first byte of
// its binary value is odd then.
bool SwitchedOff(const std::string& sName) {
    const RegKey key =
        RegKey::Open(HKEY_CURRENT_USER, Widen(Win32Autostart::kApprovedKey), KEY_QUERY_VALUE);
    if (!key) return false;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), Widen(sName).c_str(), nullptr, &type, data, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    return type == REG_BINARY && size >= 1 && (data[0] & 1) != 0;
}

void ForgetSwitch(const std::string& sName) {
    const RegKey key =
        RegKey::Open(HKEY_CURRENT_USER, Widen(Win32Autostart::kApprovedKey), KEY_SET_VALUE);
    if (key) key.DeleteValue(Widen(sName));
}

}  // namespace

Win32Autostart::Win32Autostart(std::string programFolder)
    : m_programFolder(programFolder.empty() ? OwnFolder() : std::move(programFolder)) {}

bool Win32Autostart::RegOpenKeyExA(bool bForWriting) {
    const RegKey key = bForWriting
                           ? RegKey::Create(HKEY_CURRENT_USER, Widen(kRunKey), KEY_WRITE)
                           : RegKey::Open(HKEY_CURRENT_USER, Widen(kRunKey), KEY_QUERY_VALUE);
    return static_cast<bool>(key);
}

bool Win32Autostart::RegSetValueExA(const std::string& sName, const std::string& sCommandPath) {
    const RegKey key = RegKey::Create(HKEY_CURRENT_USER, Widen(kRunKey), KEY_WRITE);
    if (!key.WriteText(Widen(sName), L"\"" + Widen(sCommandPath) + L"\"")) return false;
    ForgetSwitch(sName);
    return true;
}

bool Win32Autostart::RegDeleteValueA(const std::string& sName) {
    const RegKey key = RegKey::Open(HKEY_CURRENT_USER, Widen(kRunKey), KEY_WRITE);
    if (!key) return true;  // no Run key, no entry
    ForgetSwitch(sName);
    return key.DeleteValue(Widen(sName));
}

std::optional<std::string> Win32Autostart::RegQueryValueExA(const std::string& sName) {
    const RegKey key = RegKey::Open(HKEY_CURRENT_USER, Widen(kRunKey), KEY_QUERY_VALUE);
    // Two more for the quotes around the path.
    auto data = key.ReadText(Widen(sName), kMaxPathChars + 2);
    if (!data || SwitchedOff(sName)) return std::nullopt;
    if (data->size() >= 2 && data->front() == L'"' && data->back() == L'"') {
        *data = data->substr(1, data->size() - 2);
    }
    if (data->size() > kMaxPathChars) return std::nullopt;
    return win32::Narrow(*data);
}

std::string Win32Autostart::ProgramPath() {
    return m_programFolder + "\\talvex.exe";
}

}  // namespace talvex::platform
