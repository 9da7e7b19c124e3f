#pragma once
// Windows through user32: the foreground window, its title, its owner and the topmost
// band. A window of a Store app belongs to the frame host that draws its border
// (ApplicationFrameHost.exe); the owner reported for it is the app's own process,
// found through the app's core window inside the frame, so that the app is boosted
// and not the host.

#include "platform/IWindowApi.h"

namespace talvex::platform {

class Win32WindowApi final : public IWindowApi {
  public:
    WindowHandle GetForegroundWindow() override;
    std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) override;
    std::int32_t GetWindowThreadProcessId(WindowHandle window) override;
    void SetWindowPos(WindowHandle window, bool topmost) override;
    std::string TopmostUnavailableOn() override { return {}; }
};

}  // namespace talvex::platform
