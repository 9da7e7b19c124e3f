#include "platform/win32/Win32CommonControls.h"

#include "platform/win32/Win32SystemLibrary.h"

namespace talvex::platform::win32 {

namespace {

struct CommonControls {
    decltype(&::InitCommonControlsEx) init = nullptr;
    decltype(&::SetWindowSubclass) subclass = nullptr;
    decltype(&::RemoveWindowSubclass) unsubclass = nullptr;
    decltype(&::DefSubclassProc) defSubclass = nullptr;
};

const CommonControls& Functions() {
    static const CommonControls functions = [] {
        HMODULE library = SystemLibrary(L"comctl32.dll");
        CommonControls loaded;
        loaded.init = SystemFunction<decltype(loaded.init)>(library, "InitCommonControlsEx");
        loaded.subclass = SystemFunction<decltype(loaded.subclass)>(library, "SetWindowSubclass");
        loaded.unsubclass =
            SystemFunction<decltype(loaded.unsubclass)>(library, "RemoveWindowSubclass");
        loaded.defSubclass =
            SystemFunction<decltype(loaded.defSubclass)>(library, "DefSubclassProc");
        return loaded;
    }();
    return functions;
}

}  // namespace

bool InitControls(const INITCOMMONCONTROLSEX& controls) {
    const auto init = Functions().init;
    return init && init(&controls);
}

bool Subclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    const auto subclass = Functions().subclass;
    return subclass && subclass(hwnd, proc, id, data);
}

bool Unsubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id) {
    const auto unsubclass = Functions().unsubclass;
    return unsubclass && unsubclass(hwnd, proc, id);
}

LRESULT DefSubclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // (only ever called for a window that Subclass subclassed, so the function is there)
    const auto defSubclass = Functions().defSubclass;
    return defSubclass ? defSubclass(hwnd, message, wParam, lParam)
                       : DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace talvex::platform::win32
