#pragma once
// Reading /proc/PID/stat and mapping priority classes to nice values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvex::platform::linux_proc {

// The fields of /proc/PID/stat the backend uses.
struct ProcStat {
    char state = '?';             // R, S, D, Z, X, ...
    std::int32_t session = 0;     // session id
    std::uint32_t flags = 0;      // kernel PF_* flags
    std::uint64_t utime = 0;      // clock ticks, whole process
    std::uint64_t stime = 0;      // clock ticks, whole process
    std::int32_t nice = 0;        // nice of the main thread
    std::uint64_t starttime = 0;  // clock ticks after boot
};

/// A small procfs file whole (procfs files report size 0, so it is read until the end);
/// nullopt when it cannot be read.
std::optional<std::string> ReadProcText(const std::string& path);

/// Parses the text of /proc/PID/stat; nullopt when it is malformed. The command
/// name may hold spaces and parentheses, so the fields are counted from the last ')'.
std::optional<ProcStat> ParseProcStat(std::string_view text);

/// True for a kernel thread, which has no user space to prioritise.
bool IsKernelThread(const ProcStat& stat);
/// True once the process has ended (a zombie waiting for its parent counts as ended).
bool HasEnded(const ProcStat& stat);

/// The nice value a priority class sets; nullopt for a value that is not a class.
std::optional<int> NiceForClass(std::int32_t priorityClass);

/// Real, effective and saved user ids from the text of /proc/PID/status.
struct StatusUids {
    std::uint32_t real = 0, effective = 0, saved = 0;
};
std::optional<StatusUids> ParseStatusUids(std::string_view text);

/// The machine's processor times, in clock ticks, from the first line of /proc/stat.
struct CpuTotals {
    std::uint64_t busy = 0;   // everything but idle and waiting for I/O
    std::uint64_t total = 0;  // busy, idle and waiting for I/O
};
std::optional<CpuTotals> ParseCpuTotals(std::string_view text);

/// A task's time waiting on a run queue (nanoseconds) from its schedstat file.
std::optional<std::uint64_t> ParseSchedstatWait(std::string_view text);

}  // namespace talvex::platform::linux_proc
