#include "platform/win32/Win32WindowApi.h"

#include <string>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform {

namespace {

HWND AsWindow(WindowHandle window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

DWORD OwnerOf(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

// The process of a Store app's core window inside its frame; 0 when there is none
// (the app is suspended or still starting, and only the frame host is there).
DWORD StoreAppInside(HWND frame, DWORD framePid) {
    struct Search {
        DWORD framePid;
        DWORD found;
    } search{framePid, 0};
    EnumChildWindows(
        frame,
        [](HWND child, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            if (ClassOf(child) != L"Windows.UI.Core.CoreWindow") return TRUE;
            const DWORD pid = OwnerOf(child);
            if (pid == 0 || pid == s.framePid) return TRUE;
            s.found = pid;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

WindowHandle Win32WindowApi::GetForegroundWindow() {
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(::GetForegroundWindow()));
}

std::string Win32WindowApi::GetWindowTextA(WindowHandle window, std::size_t maxChars) {
    if (window == 0 || maxChars < 2 || !IsWindow(AsWindow(window))) return {};
    std::wstring text(maxChars, L'\0');
    const int copied = GetWindowTextW(AsWindow(window), text.data(), static_cast<int>(maxChars));
    if (copied <= 0) return {};
    text.resize(static_cast<std::size_t>(copied));
    if (IS_HIGH_SURROGATE(text.back())) text.pop_back();
    return win32::Narrow(text);
}

std::int32_t Win32WindowApi::GetWindowThreadProcessId(WindowHandle window) {
    if (window == 0) return 0;
    const HWND hwnd = AsWindow(window);
    if (!IsWindow(hwnd)) return 0;
    const DWORD pid = OwnerOf(hwnd);
    if (pid != 0 && ClassOf(hwnd) == L"ApplicationFrameWindow") {
        if (const DWORD app = StoreAppInside(hwnd, pid)) return static_cast<std::int32_t>(app);
    }
    return static_cast<std::int32_t>(pid);
}

void Win32WindowApi::SetWindowPos(WindowHandle window, bool topmost) {
    if (window == 0) return;
    ::SetWindowPos(AsWindow(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace talvex::platform
