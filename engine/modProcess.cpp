#include "engine/modProcess.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include "base/RunQuietly.h"

namespace talvex::modProcess {

using namespace platform;

namespace {
constexpr std::int64_t kMin16 = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kMax16 = std::numeric_limits<std::int16_t>::max();

std::int16_t Saturate16(std::int64_t value) {
    return static_cast<std::int16_t>(std::clamp(value, kMin16, kMax16));
}

// numerator / denominator (denominator > 0) to the nearest integer, halves going to the
// even neighbour (12.5 -> 12, 13.5 -> 14). Exact integer arithmetic: no floating-point
// error near the halves and no dependence on the rounding mode.
std::int64_t DivideRoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
    const bool negative = numerator < 0;
    // Magnitudes stay far below the 64-bit limit: at most 2^63 / 10000 * 100.
    const std::uint64_t magnitude = negative
                                        ? std::uint64_t{0} - static_cast<std::uint64_t>(numerator)
                                        : static_cast<std::uint64_t>(numerator);
    const auto divisor = static_cast<std::uint64_t>(denominator);
    std::uint64_t quotient = magnitude / divisor;
    const std::uint64_t twiceRest = 2 * (magnitude % divisor);
    if (twiceRest > divisor || (twiceRest == divisor && (quotient & 1) != 0)) ++quotient;
    const auto rounded = static_cast<std::int64_t>(std::min<std::uint64_t>(quotient, INT64_MAX));
    return negative ? -rounded : rounded;
}
}  // namespace

std::int16_t CpuPercent(std::uint64_t before, std::uint64_t after, std::uint64_t elapsedMs) {
    // Full 64-bit difference, read as signed so that a time that went back gives a
    // negative share instead of a huge one. Milliseconds are cut toward zero.
    if (elapsedMs == 0) return 0;
    const auto spent = static_cast<std::int64_t>(after - before);
    const std::int64_t ms = spent / 10000;
    const auto elapsed = static_cast<std::int64_t>(
        std::min<std::uint64_t>(elapsedMs, static_cast<std::uint64_t>(INT64_MAX)));
    return Saturate16(DivideRoundHalfEven(ms * 100, elapsed));
}

namespace {
// The entry the table had for the very process `entry` was opened as: the same pid, the
// same start and the same executable name. Null when there is none.
const ProcessEntry* SameProcess(const std::unordered_map<std::int32_t, const ProcessEntry*>& before,
                                const ProcessEntry& entry) {
    const auto it = before.find(entry.lPid);
    if (it == before.end()) return nullptr;
    const ProcessEntry& old = *it->second;
    const bool same =
        old.ftCreation != 0 && old.ftCreation == entry.ftCreation && old.sExeName == entry.sExeName;
    return same ? &old : nullptr;
}
}  // namespace

std::int32_t Sampler::BuildProcessTable(std::vector<ProcessEntry>& table) {
    auto snapshot = m_processes.CreateToolhelp32Snapshot();
    if (!snapshot) return -1;
    // A process that stays keeps its path and application id: reading them for every
    // process at every rebuild would cost more than the rebuild's other reads together.
    // (A program that replaced itself by another one carries another name.)
    std::unordered_map<std::int32_t, const ProcessEntry*> before;
    before.reserve(table.size());
    for (const ProcessEntry& old : table) before.emplace(old.lPid, &old);
    std::vector<ProcessEntry> built;
    const bool ok = RunQuietly("BuildProcessTable", [&] {
        built.reserve(snapshot->size());
        for (const ProcessInfo& info : *snapshot) {
            ProcessEntry entry;
            entry.lPid = info.pid;
            entry.sExeName = info.exeName.substr(0, info.exeName.find('\0'));
            const bool opened = OpenProcessEntry(entry);
            const ProcessEntry* same = opened ? SameProcess(before, entry) : nullptr;
            if (same) {
                entry.sExePath = same->sExePath;
                entry.sAppId = same->sAppId;
            } else {
                entry.sExePath = opened ? GetProcessModulePath(entry, kPathMax) : entry.sExeName;
                if (opened) entry.sAppId = m_processes.GetAppId(entry.hProcess);
            }
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

bool Sampler::OpenProcessEntry(ProcessEntry& entry) {
    if (entry.lPid == 0) return false;
    entry.hProcess = m_processes.OpenProcess(kOpenAccess, entry.lPid);
    if (entry.hProcess == 0) return false;
    SampleProcessCpu(entry);
    return true;
}

bool Sampler::SampleProcessCpu(ProcessEntry& entry) {
    const std::uint64_t previousTick = entry.lTick;
    const std::uint64_t now = m_clock.GetTickCount64();
    // The times advance in clock ticks of 10 ms, so a span shorter than that measures
    // nothing (a busy process would read 0 %): such a sample is not taken, and the next
    // one measures from the last real one.
    if (previousTick != 0 && now >= previousTick && now - previousTick < kMinSampleSpanMs) {
        return false;
    }
    // The time stamp is renewed before the read, so a failed read renews it too.
    entry.lTick = now;
    ProcessTimes times;
    if (entry.hProcess == 0 || !m_processes.GetProcessTimes(entry.hProcess, times)) return false;
    const std::uint64_t kernelBefore = entry.ftKernel;
    const std::uint64_t userBefore = entry.ftUser;
    entry.ftCreation = times.creation;
    entry.ftExit = times.exit;
    entry.ftKernel = times.kernel;
    entry.ftUser = times.user;
    if (previousTick == 0) return true;  // first sample: the baseline
    // The clock never goes back; the same millisecond measures nothing.
    if (entry.lTick <= previousTick) return false;
    const std::uint64_t elapsed = entry.lTick - previousTick;
    entry.iCpuKernel = CpuPercent(kernelBefore, times.kernel, elapsed);
    entry.iCpuUser = CpuPercent(userBefore, times.user, elapsed);
    entry.iCpuUsage = Saturate16(std::int64_t{entry.iCpuKernel} + entry.iCpuUser);
    if (entry.iCpuUsage > 0) {
        entry.lQuietSince = 0;
    } else if (entry.lQuietSince == 0) {
        entry.lQuietSince = previousTick;  // quiet since the sample before
    }
    return true;
}

void Sampler::SampleReadiness(ProcessEntry& entry) {
    const auto ready =
        entry.hProcess == 0 ? std::nullopt : m_processes.GetReadiness(entry.hProcess);
    if (!ready) {
        entry.lRunQueueWait = ProcessEntry::kNoWait;
        entry.iWaited = -1;
        return;
    }
    // The wait is counted when a thread gets the processor: one that got none this tick
    // shows no wait yet, but it is ready to run now. A thread that ended takes its count
    // along: a smaller sum only says it did not grow.
    if (ready->readyNow) {
        entry.iWaited = 1;
    } else if (entry.lRunQueueWait == ProcessEntry::kNoWait) {
        entry.iWaited = -1;
    } else {
        entry.iWaited = ready->waitedNs > entry.lRunQueueWait ? 1 : 0;
    }
    entry.lRunQueueWait = ready->waitedNs;
}

bool IsIdle(const ProcessEntry& entry) {
    if (entry.iCpuUsage > 0) return false;
    if (entry.iWaited >= 0) return entry.iWaited == 0;
    return entry.lQuietSince != 0 && entry.lTick - entry.lQuietSince >= kQuietMsBeforeIdle;
}

void Sampler::CloseProcessEntry(ProcessEntry& entry) {
    if (entry.hProcess != 0 && m_processes.CloseHandle(entry.hProcess)) entry.hProcess = 0;
}

std::string Sampler::GetProcessModulePath(const ProcessEntry& entry, std::int16_t iMaxLength) {
    if (entry.hProcess == 0 || iMaxLength <= 0) return {};
    const auto maxChars = static_cast<std::size_t>(std::min(iMaxLength, kPathMax));
    return m_processes.GetModuleFileNameExA(entry.hProcess, maxChars);
}

}  // namespace talvex::modProcess
