#include "engine/LoadGate.h"

#include <algorithm>

#include "engine/modProcess.h"

namespace talvex {

void UsageSpan::Read(std::optional<Reading> now) {
    m_prev = m_now;
    m_now = now;
}

bool UsageSpan::Needed(std::int16_t percent, std::uint64_t tickMs) const {
    if (!m_now || !m_prev || !m_base) return true;
    // Talvex's own time is taken out: what is left is what every other process used.
    const std::uint64_t nowBusy = m_now->busy - std::min(m_now->own, m_now->busy);
    const std::uint64_t prevBusy = m_prev->busy - std::min(m_prev->own, m_prev->busy);
    if (nowBusy < prevBusy) return true;
    if (tickMs == 0) {
        if (m_now->tick <= m_prev->tick) return true;
        tickMs = m_now->tick - m_prev->tick;
    }
    // Busy time in 100 ns units against percent of one processor over the tick in ms:
    // busy / (tick * 10000) > percent / 100.
    const std::uint64_t busy = nowBusy - prevBusy;
    const std::uint64_t allowed =
        tickMs * 100 * static_cast<std::uint64_t>(percent < 0 ? 0 : percent);
    return busy > allowed;
}

std::int16_t UsageSpan::LastTickUsageAtLeast(std::uint64_t since, std::uint64_t used) const {
    // Only for a process last sampled at the whole sample, skipped on the quiet ticks
    // after it: the set's time over those ticks bounds what it can have used then, and
    // the rest fell into the last tick.
    if (!m_base || !m_prev || !m_now || since != m_base->tick) return 0;
    if (m_prev->tick <= since || m_now->tick <= m_prev->tick || m_prev->busy < m_base->busy) {
        return 0;
    }
    const std::uint64_t quiet = m_prev->busy - m_base->busy;
    if (used <= quiet) return 0;
    return modProcess::CpuPercent(quiet, used, m_now->tick - m_prev->tick);
}

std::uint64_t LoadGate::OwnBusy() {
    const platform::ProcessHandle own = m_processes.OpenProcess(platform::PROCESS_QUERY_INFORMATION,
                                                                m_processes.GetCurrentProcessId());
    if (own == 0) return 0;
    platform::ProcessTimes times;
    const bool read = m_processes.GetProcessTimes(own, times);
    m_processes.CloseHandle(own);
    return read ? times.kernel + times.user : 0;
}

void LoadGate::Read() {
    // Read before the machine's: what Talvex uses in between counts as another
    // process's, so the quiet machine is never taken for quieter than it was.
    const std::uint64_t own = OwnBusy();
    platform::SystemTimes times;
    if (m_processes.GetSystemTimes(times)) {
        m_span.Read(UsageSpan::Reading{times.busy, m_clock.GetTickCount64(), 0, own});
    } else {
        m_span.Read(std::nullopt);
    }
}

bool LoadGate::WholeSampleNeeded(std::int16_t percent) {
    Read();
    return m_span.Needed(percent);
}

void LoadGate::WholeSampleTaken() {
    // A whole sample outside WholeSampleNeeded (the table's rebuild) reads its own.
    if (m_span.ReadAt() == 0 || m_span.ReadAt() != m_clock.GetTickCount64()) Read();
    m_span.Taken();
}

}  // namespace talvex
