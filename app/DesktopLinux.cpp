// The real Linux desktop: processes through procfs, windows through X11.
#include "app/Desktop.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxProcessApi.h"
#include "platform/linux/X11WindowApi.h"

namespace talvex::app {

namespace {
class LinuxDesktop final : public Desktop {
  public:
    platform::IProcessApi& Processes() override { return m_processes; }
    platform::IWindowApi& Windows() override { return m_windows; }
    platform::IClock& Clock() override { return m_clock; }

  private:
    platform::LinuxProcessApi m_processes;
    platform::X11WindowApi m_windows;
    platform::LinuxClock m_clock;
};
}  // namespace

std::unique_ptr<Desktop> CreateDesktop() {
    return std::make_unique<LinuxDesktop>();
}

}  // namespace talvex::app
