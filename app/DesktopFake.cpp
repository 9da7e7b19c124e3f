// Stand-in for builds without a desktop backend: the in-memory desktop, holding only
// this program, so that the tray program starts and can be tried out; it boosts nothing.
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "app/Desktop.h"
#include "platform/fake/FakeDesktop.h"

namespace talvex::app {

namespace {
std::string OwnPath() {
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "talvex";
}

class InMemoryDesktop final : public Desktop {
  public:
    InMemoryDesktop() {
        platform::FakeProcessSpec self(OwnPath());
        self.pid = static_cast<std::int32_t>(::getpid());
        m_desktop.SetCurrentProcess(m_desktop.AddProcess(self));
        std::fprintf(stderr,
                     "talvex: built without the Linux desktop backend; nothing is boosted.\n");
    }
    platform::IProcessApi& Processes() override { return m_desktop; }
    platform::IWindowApi& Windows() override { return m_desktop; }
    platform::IClock& Clock() override { return m_desktop; }

  private:
    platform::FakeDesktop m_desktop;
};
}  // namespace

int UndoEarlierRuns() { return 0; }  // the in-memory desktop keeps no record

std::unique_ptr<Desktop> CreateDesktop() {
    return std::make_unique<InMemoryDesktop>();
}

}  // namespace talvex::app
