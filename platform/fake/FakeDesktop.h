#pragma once
// In-memory desktop for tests: processes, windows, the foreground window and a clock
// that only moves when a test moves it. Implements the platform's process, window and
// clock services; tests steer it through the control methods below.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/IClock.h"
#include "platform/ICpuGroups.h"
#include "platform/IProcessApi.h"
#include "platform/IWindowApi.h"

namespace talvex::platform {

struct FakeProcessSpec {
    FakeProcessSpec(std::string path, std::int32_t cls = NORMAL_PRIORITY_CLASS,
                    std::uint32_t grantable = PROCESS_ALL_ACCESS_LEGACY)
        : exePath(std::move(path)), priorityClass(cls), grantableAccess(grantable) {}

    std::string exePath;  // full path; the file name after the last '/' or '\' is the exe name
    std::int32_t priorityClass = NORMAL_PRIORITY_CLASS;
    // Access bits a caller may be granted. A mask asking for any other bit fails.
    std::uint32_t grantableAccess = PROCESS_ALL_ACCESS_LEGACY;
    std::optional<std::int32_t> pid;  // chosen by the desktop when not given
    // Executable name the enumeration reports; derived from exePath when empty.
    std::string exeName;
    std::string appId;  // the sandboxed application's id; empty for an ordinary process
};

class FakeDesktop final : public IProcessApi, public IWindowApi, public IClock, public ICpuGroups {
  public:
    FakeDesktop();

    // ---- control interface for tests ----
    /// Starts a process; returns its pid. Reusing the pid of an ended process is allowed.
    std::int32_t AddProcess(const FakeProcessSpec& spec);
    /// The process runs another program from now on (as exec does): same pid, same start.
    void ReplaceImage(std::int32_t pid, const std::string& exePath);
    /// Ends a process: its handles go stale and its windows disappear.
    void EndProcess(std::int32_t pid);
    bool IsRunning(std::int32_t pid) const;
    /// Changes which access bits may be granted for the process.
    void SetGrantableAccess(std::int32_t pid, std::uint32_t access);
    /// The class a process has now, whatever any handle says (-1 when not running).
    std::int32_t PriorityOf(std::int32_t pid) const;
    void SetPriorityOf(std::int32_t pid, std::int32_t priorityClass);
    /// Gives the process a thread with a real-time policy, or takes it away.
    void SetRealtimeThread(std::int32_t pid, bool realtime);
    /// Adds CPU time in milliseconds.
    void AddCpuTime(std::int32_t pid, std::uint64_t kernelMs, std::uint64_t userMs);
    /// Sets the kernel and user times outright, in units of 100 ns.
    void SetCpuTimes(std::int32_t pid, std::uint64_t kernel, std::uint64_t user);
    /// Puts the process into a per-application CPU group ("" for none); the group's time
    /// is its processes' time together. Rescans see it.
    void SetCpuGroup(std::int32_t pid, const std::string& group);
    /// How often the groups' times were read.
    std::uint64_t GroupReads() const { return m_groupReads; }
    /// Adds time a process spent ready to run but waiting for a processor.
    void AddRunQueueWait(std::int32_t pid, std::uint64_t ms);
    /// Whether one of the process's threads is ready to run now.
    void SetReadyNow(std::int32_t pid, bool ready);
    /// Whether the desktop tells readiness at all (as Windows does not).
    void SetReadinessKnown(bool known) { m_waitKnown = known; }
    /// Adds busy time of the machine that no listed process accounts for (other users',
    /// the kernel's), in milliseconds.
    void AddOtherBusyTime(std::uint64_t ms) { m_machineBusy += ms * 10000; }
    /// Makes the machine's processor times unreadable (or readable again).
    void SetSystemTimesFail(bool fail) { m_systemTimesFail = fail; }
    /// How often the machine's processor times and a process's times were read.
    std::uint64_t SystemTimesReads() const { return m_systemTimesReads; }
    std::uint64_t ProcessTimesReads() const { return m_processTimesReads; }
    /// How often a process's path or application id was read, and how often the
    /// desktop was asked about windows (the window in front, a title, an owner).
    std::uint64_t PathReads() const { return m_pathReads; }
    std::uint64_t ReadinessReads() const { return m_readinessReads; }
    std::uint64_t WindowQueries() const { return m_windowQueries; }
    /// Without the right to raise, a change to a stronger class fails quietly.
    void SetMayRaisePriority(bool may) { m_mayRaise = may; }
    /// Makes every priority write turn away for a moment (as a rate limit does) until
    /// switched off again.
    void SetWritesBusy(bool busy) { m_writesBusy = busy; }
    /// Keeps the record of changes in `file` from now on (before any change is held).
    void SetRecordFile(IRecordFile* file);
    /// Makes the next snapshots fail.
    void SetSnapshotFails(bool fails) { m_snapshotFails = fails; }
    /// Sets the program's own pid (it must be a process added before).
    void SetCurrentProcess(std::int32_t pid) { m_currentPid = pid; }

    WindowHandle AddWindow(std::int32_t ownerPid, const std::string& title);
    void SetWindowTitle(WindowHandle window, const std::string& title);
    void CloseWindow(WindowHandle window);
    /// Brings a window to the front; 0 leaves no window in front.
    void SetForeground(WindowHandle window) { m_foreground = window; }
    bool IsTopmost(WindowHandle window) const;

    void AdvanceClock(std::uint64_t ms) { m_tick += ms; }
    void SetClock(std::uint64_t ms) { m_tick = ms; }
    void SetDateTimeText(const std::string& text) { m_dateTime = text; }

    /// Number of handles that are open now (tests check that none leak).
    std::size_t OpenHandleCount() const { return m_handles.size(); }
    /// Number of successful and failed OpenProcess calls so far.
    std::uint64_t OpenCalls() const { return m_openCalls; }
    /// Every SetPriorityClass that changed a class: (pid, new class), oldest first.
    const std::vector<std::pair<std::int32_t, std::int32_t>>& PriorityChanges() const {
        return m_changes;
    }

    // ---- IProcessApi ----
    ProcessHandle OpenProcess(std::uint32_t access, std::int32_t pid) override;
    bool CloseHandle(ProcessHandle handle) override;
    std::int32_t GetPriorityClass(ProcessHandle handle) override;
    bool SetPriorityClass(ProcessHandle handle, std::int32_t priorityClass) override;
    bool GetProcessTimes(ProcessHandle handle, ProcessTimes& times) override;
    bool GetSystemTimes(SystemTimes& times) override;
    std::optional<Readiness> GetReadiness(ProcessHandle handle) override;
    std::string GetModuleFileNameExA(ProcessHandle handle, std::size_t maxChars) override;
    std::optional<std::vector<ProcessInfo>> CreateToolhelp32Snapshot() override;
    std::int32_t GetCurrentProcessId() override { return m_currentPid; }
    bool CanRaisePriority() override { return m_mayRaise; }
    bool HasRealtimeThread(ProcessHandle handle) override;
    std::string GetAppId(ProcessHandle handle) override;
    RaiseRight RaiseRightInUse() override {
        return {m_mayRaise ? RaiseRoute::OwnRight : RaiseRoute::Unavailable, {}};
    }
    int UndoChanges(std::int32_t pid) override { return m_record->UndoProcess(pid); }
    bool UndoAllChanges(std::uint32_t waitMs) override;
    const ChangeRecord& Changes() const override { return *m_record; }
    void SetFrontProcess(std::int32_t pid) override { m_fronts.push_back(pid); }
    /// Every program announced as the one in front (0: none), oldest first.
    const std::vector<std::int32_t>& FrontProcesses() const { return m_fronts; }
    /// The priority classes as a lever: the record reads and writes them here.
    ILeverAccess& Levers() { return m_levers; }

    // ---- IWindowApi ----
    WindowHandle GetForegroundWindow() override;
    std::string GetWindowTextA(WindowHandle window, std::size_t maxChars) override;
    std::int32_t GetWindowThreadProcessId(WindowHandle window) override;
    void SetWindowPos(WindowHandle window, bool topmost) override;
    std::string TopmostUnavailableOn() override { return {}; }

    // ---- ICpuGroups ----
    std::vector<CpuGroupTime> ReadGroupTimes(bool rescan) override;
    std::string GroupOf(std::int32_t pid) const override;

    // ---- IClock ----
    std::uint64_t GetTickCount64() override { return m_tick; }
    std::string LocalDateTimeText() override { return m_dateTime; }

  private:
    struct Process {
        std::uint64_t serial = 0;  // tells a reused pid from the process that had it
        std::string exePath;
        std::string exeName;
        std::int32_t priorityClass = NORMAL_PRIORITY_CLASS;
        std::uint32_t grantable = PROCESS_ALL_ACCESS_LEGACY;
        ProcessTimes times;
        bool realtimeThread = false;
        std::string appId;
        std::uint64_t waitNs = 0;
        bool readyNow = false;
        std::string group;
    };
    struct Handle {
        std::int32_t pid = 0;
        std::uint64_t serial = 0;
        std::uint32_t access = 0;
    };
    struct Window {
        std::int32_t owner = 0;
        std::string title;
        bool topmost = false;
    };

    // Priority classes as the record sees them: a process is pinned by its serial.
    class ClassLevers final : public ILeverAccess {
      public:
        explicit ClassLevers(FakeDesktop& desktop) : m_desktop(desktop) {}
        std::optional<std::int64_t> ReadLever(const LeverTarget& target) override;
        Write WriteLever(const LeverTarget& target, std::int64_t value) override;

      private:
        FakeDesktop& m_desktop;
    };

    Process* Live(std::int32_t pid);
    const Process* Live(std::int32_t pid) const;
    // The process behind a handle that was granted all of `needed`; null otherwise.
    Process* Resolve(ProcessHandle handle, std::uint32_t needed);

    std::map<std::int32_t, Process> m_processes;  // ordered: enumeration order by pid
    std::map<ProcessHandle, Handle> m_handles;
    std::map<WindowHandle, Window> m_windows;
    std::int32_t m_nextPid = 1000;
    std::uint64_t m_nextSerial = 1;
    ProcessHandle m_nextHandle = 4;
    WindowHandle m_nextWindow = 0x10000;
    WindowHandle m_foreground = 0;
    std::int32_t m_currentPid = 0;
    std::uint64_t m_tick = 1;
    std::string m_dateTime = "09.12.2026 08:48:46";
    bool m_mayRaise = true;
    bool m_waitKnown = true;
    bool m_systemTimesFail = false;
    std::uint64_t m_machineBusy = 0;  // 100 ns units
    std::uint64_t m_systemTimesReads = 0;
    std::uint64_t m_processTimesReads = 0;
    std::uint64_t m_pathReads = 0;
    std::uint64_t m_groupReads = 0;
    std::uint64_t m_readinessReads = 0;
    std::map<std::int32_t, std::string> m_groupOf;  // as the last rescan found it
    std::uint64_t m_windowQueries = 0;
    std::vector<std::int32_t> m_fronts;
    bool m_snapshotFails = false;
    std::uint64_t m_openCalls = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> m_changes;
    bool m_writesBusy = false;
    ClassLevers m_levers{*this};
    std::unique_ptr<ChangeRecord> m_record;
};

}  // namespace talvex::platform
