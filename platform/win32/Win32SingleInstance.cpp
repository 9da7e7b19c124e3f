#include "platform/win32/Win32SingleInstance.h"

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

Win32SingleInstance::~Win32SingleInstance() {
    ReleaseMutex();
}

MutexResult Win32SingleInstance::CreateMutexA(const std::string& sName) {
    if (m_mutex) return MutexResult::Created;
    HANDLE mutex = CreateMutexW(nullptr, TRUE, win32::Widen(sName).c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) return MutexResult::Failed;
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return MutexResult::AlreadyExists;
    }
    m_mutex = mutex;
    return MutexResult::Created;
}

void Win32SingleInstance::ReleaseMutex() {
    if (!m_mutex) return;
    ::ReleaseMutex(m_mutex);
    CloseHandle(m_mutex);
    m_mutex = nullptr;
}

}  // namespace talvex::platform
