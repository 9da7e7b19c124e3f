#pragma once
// Process services: the few calls the engine makes on other processes.
// Operations carry the names of the Windows calls they stand in for, so every
// backend reads against the same list.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChangeRecord.h"

namespace talvex::platform {

// A handle to one opened process; 0 means "not opened". A handle always refers to
// the very process it was opened for: once that process ends, or its pid is reused,
// every call on the handle fails.
using ProcessHandle = std::uintptr_t;

// Access rights, with the Windows values the engine asks for.
inline constexpr std::uint32_t PROCESS_SET_INFORMATION = 0x0200;
inline constexpr std::uint32_t PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr std::uint32_t PROCESS_VM_READ = 0x0010;
inline constexpr std::uint32_t PROCESS_ALL_ACCESS_LEGACY = 0x1F0FFF;

// Priority classes, carried as signed 32-bit values.
inline constexpr std::int32_t IDLE_PRIORITY_CLASS = 64;
inline constexpr std::int32_t BELOW_NORMAL_PRIORITY_CLASS = 16384;
inline constexpr std::int32_t NORMAL_PRIORITY_CLASS = 32;
inline constexpr std::int32_t ABOVE_NORMAL_PRIORITY_CLASS = 32768;
inline constexpr std::int32_t HIGH_PRIORITY_CLASS = 128;
inline constexpr std::int32_t REALTIME_PRIORITY_CLASS = 256;

/// A class's place from Idle (0) to Realtime (5); -1 for a value that is not a class.
constexpr int PriorityRank(std::int64_t priorityClass) {
    switch (priorityClass) {
        case IDLE_PRIORITY_CLASS:
            return 0;
        case BELOW_NORMAL_PRIORITY_CLASS:
            return 1;
        case NORMAL_PRIORITY_CLASS:
            return 2;
        case ABOVE_NORMAL_PRIORITY_CLASS:
            return 3;
        case HIGH_PRIORITY_CLASS:
            return 4;
        case REALTIME_PRIORITY_CLASS:
            return 5;
        default:
            return -1;
    }
}

/// The class a nice value reads back as (every value maps; beyond -20 and 19 the ends).
/// Nice values stand for the classes on Linux, and the change record carries them.
constexpr std::int32_t ClassForNice(std::int64_t nice) {
    if (nice >= 15) return IDLE_PRIORITY_CLASS;
    if (nice >= 5) return BELOW_NORMAL_PRIORITY_CLASS;
    if (nice >= -2) return NORMAL_PRIORITY_CLASS;
    if (nice >= -7) return ABOVE_NORMAL_PRIORITY_CLASS;
    // Realtime is the deepest nice the helper's floor allows (-15 by default, down to
    // -20), so it reads back as Realtime wherever that floor lies.
    if (nice >= -12) return HIGH_PRIORITY_CLASS;
    return REALTIME_PRIORITY_CLASS;
}

/// How this program raises priorities.
enum class RaiseRoute {
    Helper,       // through its helper program, which alone holds the right (Linux)
    OwnRight,     // by a right of its own
    NiceLimit,    // within the user's nice limit (Linux)
    Unavailable,  // not at all
};
struct RaiseRight {
    RaiseRoute route = RaiseRoute::Unavailable;
    std::string file;  // the file that holds or would need the right; may be empty
};

// The four times of a process, in units of 100 ns.
struct ProcessTimes {
    std::uint64_t creation = 0;
    std::uint64_t exit = 0;
    std::uint64_t kernel = 0;
    std::uint64_t user = 0;
};

// What all processors of the machine together did since it started, in units of 100 ns.
struct SystemTimes {
    std::uint64_t busy = 0;   // running anything, in kernel or user mode
    std::uint64_t total = 0;  // busy and idle
};

// Whether a process is waiting for a processor: a process that got no processor time
// may be idle, or starved by busier ones.
struct Readiness {
    std::uint64_t waitedNs = 0;  // how long its threads together waited while ready to run
    bool readyNow = false;       // one of its threads is running or ready to run now
};

// One process as the enumeration reports it.
struct ProcessInfo {
    std::int32_t pid = 0;
    std::string exeName;  // executable file name, e.g. "firefox"
};

class IProcessApi {
  public:
    virtual ~IProcessApi() = default;

    /// Opens process `pid` with the given access mask; 0 when it cannot be opened.
    virtual ProcessHandle OpenProcess(std::uint32_t access, std::int32_t pid) = 0;
    /// Closes a handle; false when the handle was not open.
    virtual bool CloseHandle(ProcessHandle handle) = 0;
    /// Priority class of the process; 0 on failure.
    virtual std::int32_t GetPriorityClass(ProcessHandle handle) = 0;
    /// Sets the priority class; false on failure (callers read the class back instead).
    virtual bool SetPriorityClass(ProcessHandle handle, std::int32_t priorityClass) = 0;
    /// Reads the four times of the process; false on failure.
    virtual bool GetProcessTimes(ProcessHandle handle, ProcessTimes& times) = 0;
    /// The machine's processor times (Windows: GetSystemTimes); false on failure.
    virtual bool GetSystemTimes(SystemTimes& times) = 0;
    /// How long the process's threads have waited for a processor, and whether one is
    /// ready to run now; nullopt where the system does not say.
    virtual std::optional<Readiness> GetReadiness(ProcessHandle handle) = 0;
    /// Full path of the process's main executable, at most maxChars characters;
    /// empty on failure. Stands for EnumProcessModules followed by GetModuleFileNameExA.
    virtual std::string GetModuleFileNameExA(ProcessHandle handle, std::size_t maxChars) = 0;
    /// Snapshot of all processes in enumeration order; nullopt when none can be taken.
    virtual std::optional<std::vector<ProcessInfo>> CreateToolhelp32Snapshot() = 0;
    /// The program's own process id.
    virtual std::int32_t GetCurrentProcessId() = 0;
    /// Whether a thread of the process runs under a real-time policy (SCHED_FIFO,
    /// SCHED_RR or SCHED_DEADLINE). Where no such policies exist (Windows), false.
    virtual bool HasRealtimeThread(ProcessHandle handle) = 0;
    /// Id of the sandboxed application the process belongs to (a Flatpak app id, like
    /// "org.example.Editor"); empty for any other process, and where there are none.
    virtual std::string GetAppId(ProcessHandle handle) = 0;
    /// Whether this program holds the right to raise priorities (and to restore
    /// Normal after lowering). Without it such changes fail quietly.
    virtual bool CanRaisePriority() = 0;
    /// How priorities are raised, and the file that would need the right (on Linux the
    /// helper program, empty where there is none).
    virtual RaiseRight RaiseRightInUse() = 0;

    // Every change SetPriorityClass makes is recorded first (see ChangeRecord), so that
    // it can be undone exactly: each thread or group gets back the value it had.

    /// Undoes this program's changes to process `pid` where the value is still the one
    /// it set; changes of an ended process that had that pid are dropped. Returns how
    /// many changes were put back.
    virtual int UndoChanges(std::int32_t pid) = 0;
    /// Undoes every change this program holds, waiting at most `waitMs` for changes the
    /// system turns away for a moment. True when nothing is held any more; what is left
    /// stays on record for the next start.
    virtual bool UndoAllChanges(std::uint32_t waitMs) = 0;
    /// The changes held now.
    virtual const ChangeRecord& Changes() const = 0;
    /// The program in front is now process `pid` (0: none). Where the system schedules
    /// groups of processes, a group that holds it is never lowered, and a lowering made
    /// before it came to the front is undone. Nothing to do where there are no groups.
    virtual void SetFrontProcess(std::int32_t pid) = 0;
};

}  // namespace talvex::platform
