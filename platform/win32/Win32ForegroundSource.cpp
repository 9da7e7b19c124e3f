#include "platform/win32/Win32ForegroundSource.h"

#include <windows.h>

#include <cstdint>

#include "platform/win32/Win32Text.h"

namespace talvex::platform {

namespace {

Win32ForegroundSource* g_listening = nullptr;

// Called for a new foreground window and, because not every system says that (Wine
// does not), for every move of the keyboard focus; only a change of the foreground
// window is handed on.
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
    if (!g_listening) return;
    const HWND window = ::GetForegroundWindow();
    ForegroundChange change;
    change.window = static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
    if (change.window == g_listening->LastWindow()) return;
    DWORD pid = 0;
    if (window) ::GetWindowThreadProcessId(window, &pid);
    change.pid = static_cast<std::int32_t>(pid);
    wchar_t title[256] = {};
    if (window) ::GetWindowTextW(window, title, 256);
    change.title = win32::Narrow(title);
    g_listening->Announce(change);
}

}  // namespace

Win32ForegroundSource::~Win32ForegroundSource() {
    Stop();
}

bool Win32ForegroundSource::Start(IUiServices& ui, OnChange onChange) {
    (void)ui;  // the hook calls back from the message loop of this thread by itself
    Stop();
    if (g_listening) return false;
    for (const DWORD event : {EVENT_SYSTEM_FOREGROUND, EVENT_OBJECT_FOCUS}) {
        void* hook =
            ::SetWinEventHook(event, event, nullptr, OnWinEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
        if (!hook) {
            Stop();
            return false;
        }
        m_hooks.push_back(hook);
    }
    m_last = static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(::GetForegroundWindow()));
    m_onChange = std::move(onChange);
    g_listening = this;
    return true;
}

void Win32ForegroundSource::Stop() {
    for (void* hook : m_hooks) ::UnhookWinEvent(static_cast<HWINEVENTHOOK>(hook));
    m_hooks.clear();
    m_onChange = nullptr;
    if (g_listening == this) g_listening = nullptr;
}

void Win32ForegroundSource::Announce(const ForegroundChange& change) {
    m_last = change.window;
    // The handler may stop the source; it runs from a copy.
    const OnChange handler = m_onChange;
    if (handler) handler(change);
}

}  // namespace talvex::platform
