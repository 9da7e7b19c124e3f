// A program for the Win32 tests to start and watch: with a title it shows a window of
// that title and brings it to the front; without one it only waits. It ends when its
// window is closed, or when the test ends it.
#include <windows.h>
// (after windows.h)
#include <shellapi.h>

#include <string>

namespace {

LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring title = argv && argc > 1 ? argv[1] : L"";
    if (title.empty()) {
        Sleep(INFINITE);
        return 0;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ChildProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TalvexTestChild";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"TalvexTestChild", title.c_str(), WS_OVERLAPPEDWINDOW, 100,
                                  100, 320, 200, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
