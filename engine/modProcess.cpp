#include "engine/modProcess.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "i18n/TalvexError.h"

namespace talvex {

using namespace platform;

namespace {
constexpr double kMin16 = std::numeric_limits<std::int16_t>::min();
constexpr double kMax16 = std::numeric_limits<std::int16_t>::max();

// Nearest integer with halves going to the even neighbour (12.5 -> 12, 13.5 -> 14),
// whatever rounding mode the floating-point unit happens to be in.
double RoundHalfEven(double value) {
    const double down = std::floor(value);
    const double rest = value - down;
    if (rest < 0.5) return down;
    if (rest > 0.5) return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

std::int16_t Saturate16(double value) {
    return static_cast<std::int16_t>(std::clamp(value, kMin16, kMax16));
}
}  // namespace

std::int16_t CpuPercent(std::uint64_t before, std::uint64_t after, std::uint64_t elapsedMs) {
    // Full 64-bit difference, read as signed so that a time that went back gives a
    // negative share instead of a huge one. Milliseconds are cut toward zero.
    const auto spent = static_cast<std::int64_t>(after - before);
    const std::int64_t ms = spent / 10000;
    const double percent = static_cast<double>(ms * 100) / static_cast<double>(elapsedMs);
    return Saturate16(RoundHalfEven(percent));
}

std::int32_t modProcess::BuildProcessTable(std::vector<ProcessEntry>& table) {
    auto snapshot = m_processes.CreateToolhelp32Snapshot();
    if (!snapshot) return -1;
    std::vector<ProcessEntry> built;
    const bool ok = RunQuietly([&] {
        built.reserve(snapshot->size());
        for (const ProcessInfo& info : *snapshot) {
            ProcessEntry entry;
            entry.lPid = info.pid;
            entry.sExeName = info.exeName.substr(0, info.exeName.find('\0'));
            entry.sExePath = OpenProcessEntry(entry) ? GetProcessModulePath(entry, kPathMax)
                                                     : entry.sExeName;
            SampleProcessCpu(entry);
            CloseProcessEntry(entry);
            if (entry.sExePath == kSystemProcessName) continue;
            built.push_back(std::move(entry));
        }
    });
    if (!ok) return -1;
    table = std::move(built);
    return static_cast<std::int32_t>(table.size()) - 1;
}

bool modProcess::OpenProcessEntry(ProcessEntry& entry) {
    if (entry.lPid == 0) return false;
    entry.hProcess = m_processes.OpenProcess(kOpenAccess, entry.lPid);
    if (entry.hProcess == 0) return false;
    SampleProcessCpu(entry);
    return true;
}

bool modProcess::SampleProcessCpu(ProcessEntry& entry) {
    const std::uint64_t previousTick = entry.lTick;
    // The time stamp is renewed before the read, so a failed read renews it too.
    entry.lTick = m_clock.GetTickCount64();
    ProcessTimes now;
    if (entry.hProcess == 0 || !m_processes.GetProcessTimes(entry.hProcess, now)) return false;
    const std::uint64_t kernelBefore = entry.ftKernel;
    const std::uint64_t userBefore = entry.ftUser;
    entry.ftCreation = now.creation;
    entry.ftExit = now.exit;
    entry.ftKernel = now.kernel;
    entry.ftUser = now.user;
    if (previousTick == 0) return true;  // first sample: the baseline
    // The clock never goes back; the same millisecond measures nothing.
    if (entry.lTick <= previousTick) return false;
    const std::uint64_t elapsed = entry.lTick - previousTick;
    entry.iCpuKernel = CpuPercent(kernelBefore, now.kernel, elapsed);
    entry.iCpuUser = CpuPercent(userBefore, now.user, elapsed);
    entry.iCpuUsage = Saturate16(static_cast<double>(entry.iCpuKernel) + entry.iCpuUser);
    return true;
}

void modProcess::CloseProcessEntry(ProcessEntry& entry) {
    if (entry.hProcess != 0 && m_processes.CloseHandle(entry.hProcess)) entry.hProcess = 0;
}

std::string modProcess::GetProcessModulePath(const ProcessEntry& entry,
                                             std::int16_t iMaxLength) {
    if (entry.hProcess == 0 || iMaxLength <= 0) return {};
    const auto maxChars = static_cast<std::size_t>(std::min(iMaxLength, kPathMax));
    return m_processes.GetModuleFileNameExA(entry.hProcess, maxChars);
}

}  // namespace talvex
