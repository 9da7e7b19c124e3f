#pragma once
// The process table's record and the operations that fill and sample it. The table
// itself belongs to the engine; these operations only work on the entries given.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/IClock.h"
#include "platform/IProcessApi.h"

namespace talvex {

/// One process of the table, with its last CPU sample.
struct ProcessEntry {
    platform::ProcessHandle hProcess = 0;  // open only between opening and closing in one tick
    std::int32_t lPid = 0;
    // The four times at the last successful read, in units of 100 ns.
    std::uint64_t ftCreation = 0;
    std::uint64_t ftExit = 0;
    std::uint64_t ftKernel = 0;
    std::uint64_t ftUser = 0;
    std::uint64_t lTick = 0;     // monotonic milliseconds at the last sample; 0 = none yet
    std::int16_t iCpuUsage = 0;  // iCpuKernel + iCpuUser, may exceed 100 on several cores
    std::int16_t iCpuUser = 0;
    std::int16_t iCpuKernel = 0;
    // Whether a quiet process is idle or starved: a process lowered under contention may
    // get no processor for a whole tick and read 0 %, yet it waited to run all along.
    static constexpr std::uint64_t kNoWait = ~std::uint64_t{0};
    std::uint64_t lRunQueueWait = kNoWait;  // ns its threads waited for a processor, last read
    std::int8_t iWaited = -1;  // it waited since the read before, or waits now: 1, 0; -1 unknown
    std::uint64_t lQuietSince = 0;  // start of the latest unbroken run of 0 % samples; 0 none
    std::string sExePath;           // main module path; the bare name when it could not be opened
    std::string sExeName;           // the name the enumeration reports
    std::string sAppId;             // a sandboxed application's id; empty for other processes
    std::string sCpuGroup;          // its per-application CPU group; empty for none

    // Rule lookup cache: iRule is the first rule matching sExePath while the rule list
    // was at generation lRuleGeneration. Saves searching every rule on every tick.
    static constexpr std::uint64_t kNoGeneration = ~std::uint64_t{0};
    std::uint64_t lRuleGeneration = kNoGeneration;
    std::int16_t iRule = -1;
};

/// Entry name of the idle process on Windows; it never stays in the table.
inline constexpr const char* kSystemProcessName = "[System Process]";

namespace modProcess {

/// Access mask the table opens processes with (all access as older Windows defined it).
inline constexpr std::uint32_t kOpenAccess = platform::PROCESS_ALL_ACCESS_LEGACY;
/// Longest module path the build asks for.
inline constexpr std::int16_t kPathMax = 1024;
/// Shortest span a CPU sample measures over, in milliseconds (one kernel clock tick).
inline constexpr std::uint64_t kMinSampleSpanMs = 10;

/// Fills the table and samples its entries.
class Sampler {
  public:
    Sampler(platform::IProcessApi& processes, platform::IClock& clock)
        : m_processes(processes), m_clock(clock) {}

    /// Fills the table anew from a process snapshot, in enumeration order, without the
    /// idle process. Returns the index of the last entry: -1 when no snapshot could be
    /// taken (the table is then left as it was) or when it held no process.
    std::int32_t BuildProcessTable(std::vector<ProcessEntry>& table);
    /// Opens the entry's process and takes a sample; false when it cannot be opened.
    bool OpenProcessEntry(ProcessEntry& entry);
    /// Reads the times and computes the usage since the previous sample. True when the
    /// times were read and either a first sample was stored or a usage was computed;
    /// false without any change within kMinSampleSpanMs of the previous sample.
    bool SampleProcessCpu(ProcessEntry& entry);
    /// Reads whether the opened entry waited for a processor since the last read, or
    /// waits now (iWaited).
    void SampleReadiness(ProcessEntry& entry);
    /// Closes the entry's handle; a failed close leaves it as it is.
    void CloseProcessEntry(ProcessEntry& entry);
    /// Main module path of an opened entry, at most iMaxLength characters; empty on failure.
    std::string GetProcessModulePath(const ProcessEntry& entry, std::int16_t iMaxLength);

  private:
    platform::IProcessApi& m_processes;
    platform::IClock& m_clock;
};

/// How long a process must read 0 % before it counts as idle where the system does not
/// say how long it waited for a processor (Windows). Windows relieves a starved thread
/// about every four seconds, so a busy process lowered to Idle under contention can
/// read 0 % for nearly that long; an idle one is put back a few seconds later, which
/// costs it nothing while it is idle.
inline constexpr std::uint64_t kQuietMsBeforeIdle = 4000;

/// Whether the entry was idle over its last sample: it used no processor time, and it
/// did not wait for one either (or, where waits are not known, it stayed at 0 % for
/// kQuietMsBeforeIdle).
bool IsIdle(const ProcessEntry& entry);

/// Whole percent of CPU used: the time spent (100 ns units, before and after) over the
/// elapsed milliseconds, times 100, rounded half to even and held within 16 bits.
std::int16_t CpuPercent(std::uint64_t before, std::uint64_t after, std::uint64_t elapsedMs);

}  // namespace modProcess
}  // namespace talvex
