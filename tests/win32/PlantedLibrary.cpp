// A library as a hostile program would place it beside talvex.exe, under the name of a
// system library (WINHTTP.dll, MSIMG32.dll, COMCTL32.dll): when it is loaded, it
// leaves a marker file beside itself, "<its own path>.loaded". Its exports (see
// PlantedLibrary.def) carry the names such a program imports and do nothing.
#include <windows.h>

extern "C" __declspec(dllexport) INT_PTR PlantedStub() {
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcatW(path, L".loaded");
    HANDLE marker =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return TRUE;
}
