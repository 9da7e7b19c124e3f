// The real Windows desktop: processes, windows and the clock through the Win32 API.
#include <cstdio>

#include "app/Desktop.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32ForegroundSource.h"
#include "platform/win32/Win32ProcessApi.h"
#include "platform/win32/Win32RecordFile.h"
#include "platform/win32/Win32WindowApi.h"

namespace talvex::app {

namespace {

// Undoes what an earlier copy left changed before this one changes anything. The
// record is kept in a file always: without a folder for it the file cannot be saved,
// and no change is made.
std::string FolderAfterUndoingEarlierRuns() {
    std::string folder = platform::win32::RecordFolder();
    platform::Win32ProcessApi processes;  // its levers only; it changes nothing itself
    platform::win32::UndoEarlierRuns(folder, processes.Levers());
    return folder;
}

class Win32Desktop final : public Desktop {
  public:
    Win32Desktop() : m_processes(FolderAfterUndoingEarlierRuns()) {}

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

int UndoEarlierRuns() {
    std::string why;
    const std::string folder = platform::win32::RecordFolder(&why);
    platform::Win32ProcessApi processes;
    const auto undo = platform::win32::UndoEarlierRuns(folder, processes.Levers());
    for (const auto& change : undo.restored) {
        std::printf("%s\n", platform::DescribeRestored(change).c_str());
    }
    std::fflush(stdout);
    if (!undo.folder) {
        std::fprintf(stderr, "talvex: no folder for the record of changes: %s\n", why.c_str());
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
    return std::make_unique<Win32Desktop>();
}

}  // namespace talvex::app
