// The real Windows desktop: processes, windows and the clock through the Win32 API.
#include "app/Desktop.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32ForegroundSource.h"
#include "platform/win32/Win32ProcessApi.h"
#include "platform/win32/Win32WindowApi.h"

namespace talvex::app {

namespace {
class Win32Desktop final : public Desktop {
  public:
    platform::IProcessApi& Processes() override { return m_processes; }
    platform::IWindowApi& Windows() override { return m_windows; }
    platform::IClock& Clock() override { return m_clock; }
    platform::IForegroundSource* Foreground() override { return &m_foreground; }

  private:
    platform::Win32ProcessApi m_processes;
    platform::Win32WindowApi m_windows;
    platform::Win32Clock m_clock;
    platform::Win32ForegroundSource m_foreground;
};
}  // namespace

std::unique_ptr<Desktop> CreateDesktop() {
    return std::make_unique<Win32Desktop>();
}

}  // namespace talvex::app
