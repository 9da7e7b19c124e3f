// The real Linux desktop: processes through procfs, windows through X11 or the Wayland
// compositor's own announcements.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/Desktop.h"
#include "platform/linux/LinuxClock.h"
#include "platform/linux/LinuxCpuGroups.h"
#include "platform/linux/LinuxForeground.h"
#include "platform/linux/LinuxLevers.h"
#include "platform/linux/LinuxProcessApi.h"

namespace talvex::app {

namespace {

// How long an end through exit() waits for changes the kernel turns away for a moment.
constexpr std::uint32_t kExitUndoWaitMs = 350;

platform::IProcessApi* g_undoAtExit = nullptr;
platform::LinuxForeground* g_stopAtExit = nullptr;

// Qt's X11 connection ends the program with exit() when the X server dies; every
// change is undone then too, and the compositor stops announcing to Talvex (the X11
// connection, which may be the one that broke, is left alone).
void UndoAtExit() {
    if (g_undoAtExit) g_undoAtExit->UndoAllChanges(kExitUndoWaitMs);
    if (g_stopAtExit) g_stopAtExit->StopCompositorSource();
}

// Undoes what an earlier copy left changed before this one changes anything. The
// record is kept in a file always: without a private folder for it the file cannot be
// saved, and no change is made.
std::string FolderAfterUndoingEarlierRuns() {
    std::string folder = platform::RecordFolder();
    const auto uid = static_cast<std::uint32_t>(::geteuid());
    platform::LinuxLevers levers(uid);
    levers.UseHelper(platform::StartLeversHelper());
    platform::UndoEarlierRuns(folder, levers, uid);
    return folder;
}

class LinuxDesktop final : public Desktop {
  public:
    LinuxDesktop() : m_processes(FolderAfterUndoingEarlierRuns()) {
        static const bool registered = std::atexit(UndoAtExit) == 0;
        (void)registered;
        g_undoAtExit = &m_processes;
        g_stopAtExit = &m_foreground;
    }
    ~LinuxDesktop() override {
        g_undoAtExit = nullptr;
        g_stopAtExit = nullptr;
    }
    LinuxDesktop(const LinuxDesktop&) = delete;
    LinuxDesktop& operator=(const LinuxDesktop&) = delete;

    platform::IProcessApi& Processes() override { return m_processes; }
    platform::IWindowApi& Windows() override { return m_foreground; }
    platform::IClock& Clock() override { return m_clock; }
    platform::IForegroundSource* Foreground() override { return &m_foreground; }
    platform::ICpuGroups* CpuGroups() override { return &m_groups; }

  private:
    platform::LinuxProcessApi m_processes;
    platform::LinuxForeground m_foreground;
    platform::LinuxClock m_clock;
    platform::LinuxCpuGroups m_groups{"", ::geteuid()};
};
}  // namespace

int UndoEarlierRuns() {
    std::string why;
    const std::string folder = platform::RecordFolder(&why);
    const auto uid = static_cast<std::uint32_t>(::geteuid());
    platform::LinuxLevers levers(uid);
    levers.UseHelper(platform::StartLeversHelper());
    const auto undo = platform::UndoEarlierRuns(folder, levers, uid);
    for (const auto& change : undo.restored) {
        std::printf("%s\n", platform::DescribeRestored(change).c_str());
    }
    if (!undo.folder) {
        std::fprintf(stderr, "talvex: no folder for the record of changes: %s\n",
                     folder.empty() ? why.c_str() : folder.c_str());
        return kExitRestoreIncomplete;
    }
    if (!undo.complete) {
        std::fprintf(stderr,
                     "talvex: some changes could not be put back; what may yet be is kept in %s\n",
                     folder.c_str());
        return kExitRestoreIncomplete;
    }
    return 0;
}

std::unique_ptr<Desktop> CreateDesktop() {
    return std::make_unique<LinuxDesktop>();
}

}  // namespace talvex::app
