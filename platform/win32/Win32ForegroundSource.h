#pragma once
// Foreground announcements of Windows: WinEvent hooks for EVENT_SYSTEM_FOREGROUND and
// EVENT_OBJECT_FOCUS, out of context, so that Windows calls back on the thread that set
// the hooks while its message loop runs. Nothing is injected into other programs.

#include <vector>

#include "platform/IForegroundSource.h"

namespace talvex::platform {

class Win32ForegroundSource final : public IForegroundSource {
  public:
    Win32ForegroundSource() = default;
    ~Win32ForegroundSource() override;
    Win32ForegroundSource(const Win32ForegroundSource&) = delete;
    Win32ForegroundSource& operator=(const Win32ForegroundSource&) = delete;

    /// One source listens at a time (the hook's callback has no place for its object);
    /// a second Start while another source listens fails.
    bool Start(IUiServices& ui, OnChange onChange) override;
    bool Listening() const override { return !m_hooks.empty(); }
    void Stop() override;
    std::string Name() const override { return "Windows"; }
    std::string UnreachableDesktop() const override { return {}; }  // it follows its own

    /// For the hooks' callback: the window announced last, and a new one to hand on.
    WindowHandle LastWindow() const { return m_last; }
    void Announce(const ForegroundChange& change);

  private:
    std::vector<void*> m_hooks;  // HWINEVENTHOOK
    WindowHandle m_last = 0;
    OnChange m_onChange;
};

}  // namespace talvex::platform
