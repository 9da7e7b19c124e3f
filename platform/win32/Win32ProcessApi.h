#pragma once
// Processes through the Win32 API: OpenProcess with the engine's access masks,
// Get/SetPriorityClass, GetProcessTimes, QueryFullProcessImageNameW and Toolhelp.
//
// A process counts as opened only when Windows grants the access asked for and the
// process runs as the same user as this program. A process of another user (which an
// elevated Talvex could open) or an elevated process (which a normal one cannot) is
// therefore never touched; the engine reads it as -9999.
//
// The handles handed out are Windows handles: one always refers to the process it
// was opened for, even after its id was reused; once that process ended, every call
// on it fails.
//
// Every class change is on record before it is made: in a file of the record folder
// (Win32RecordFile), so that a crash or a kill leaves it for the next start or
// `talvex.exe --restore` to put back, or in memory only where the caller chooses so.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChangeRecord.h"
#include "platform/IProcessApi.h"

namespace talvex::platform {

namespace win32 {
class Win32RecordFile;
}

class Win32ProcessApi final : public IProcessApi {
  public:
    /// With `recordFolder` (UTF-8) the record is a file there, always (empty: every
    /// save fails, so nothing is changed); without it, in memory only (tests).
    explicit Win32ProcessApi(const std::optional<std::string>& recordFolder = std::nullopt);
    ~Win32ProcessApi() override;
    Win32ProcessApi(const Win32ProcessApi&) = delete;
    Win32ProcessApi& operator=(const Win32ProcessApi&) = delete;

    ProcessHandle OpenProcess(std::uint32_t access, std::int32_t pid) override;
    bool CloseHandle(ProcessHandle handle) override;
    std::int32_t GetPriorityClass(ProcessHandle handle) override;
    /// True only when the class read back afterwards is the one asked for: Windows
    /// quietly gives High instead of Realtime to a program without the right to raise
    /// the base priority, and that must not count as success (the process then has
    /// High, on record to be put back like any change).
    bool SetPriorityClass(ProcessHandle handle, std::int32_t priorityClass) override;
    bool GetProcessTimes(ProcessHandle handle, ProcessTimes& times) override;
    bool GetSystemTimes(SystemTimes& times) override;
    /// Windows has no real-time scheduling policies beside the classes Talvex sets itself.
    bool HasRealtimeThread(ProcessHandle) override { return false; }
    /// Packaged apps are matched by their path.
    std::string GetAppId(ProcessHandle) override { return {}; }
    /// Only the program's own right, which raises to High (Realtime as an administrator).
    RaiseRight RaiseRightInUse() override {
        return {CanRaisePriority() ? RaiseRoute::OwnRight : RaiseRoute::Unavailable, {}};
    }
    std::optional<Readiness> GetReadiness(ProcessHandle handle) override;
    std::string GetModuleFileNameExA(ProcessHandle handle, std::size_t maxChars) override;
    std::optional<std::vector<ProcessInfo>> CreateToolhelp32Snapshot() override;
    std::int32_t GetCurrentProcessId() override;
    /// A normal user may raise a process of their own up to High on Windows.
    bool CanRaisePriority() override { return true; }
    int UndoChanges(std::int32_t pid) override { return m_record.UndoProcess(pid); }
    bool UndoAllChanges(std::uint32_t waitMs) override;
    const ChangeRecord& Changes() const override { return m_record; }
    /// Priority classes as the record reads and writes them: of the user's own
    /// processes, each pinned by its creation time.
    ILeverAccess& Levers() { return m_levers; }
    // Windows schedules no groups of processes that a lowering could reach.
    void SetFrontProcess(std::int32_t) override {}

  private:
    // Priority classes as the record sees them: a process is pinned by its creation
    // time, and every read and write opens it afresh and checks that time first.
    class ClassLevers final : public ILeverAccess {
      public:
        explicit ClassLevers(Win32ProcessApi& api) : m_api(api) {}
        std::optional<std::int64_t> ReadLever(const LeverTarget& target) override;
        Write WriteLever(const LeverTarget& target, std::int64_t value) override;

      private:
        void* Open(const LeverTarget& target, unsigned long access);
        Win32ProcessApi& m_api;
    };

    bool SameUser(void* process) const;
    bool SetClassNow(void* process, std::int32_t priorityClass);
    bool ThreadTimesOf(void* process, ProcessTimes& times);

    // Threads by process, from one snapshot, reused for the calls of one tick.
    std::vector<std::pair<unsigned long, unsigned long>> m_threads;  // (pid, thread id)
    unsigned long long m_threadsTaken = 0;
    std::vector<unsigned char> m_ownSid;
    bool m_triedRealtimeRight = false;
    bool m_threadTimes = false;  // GetProcessTimes reports only this program's own times
    ClassLevers m_levers{*this};
    std::unique_ptr<win32::Win32RecordFile> m_recordFile;
    ChangeRecord m_record;
};

}  // namespace talvex::platform
