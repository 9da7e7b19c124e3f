#include "engine/LoadGate.h"

#include "engine/modProcess.h"

namespace talvex {

void LoadGate::Read() {
    platform::SystemTimes times;
    m_prev = m_now;
    if (m_processes.GetSystemTimes(times)) {
        m_now = Reading{times.busy, m_clock.GetTickCount64()};
    } else {
        m_now.reset();
    }
}

bool LoadGate::WholeSampleNeeded(std::int16_t percent) {
    Read();
    if (!m_now || !m_base || m_now->tick <= m_base->tick || m_now->busy < m_base->busy) return true;
    // Busy time in 100 ns units against percent of one processor over the span in ms:
    // busy / (span * 10000) > percent / 100.
    const std::uint64_t busy = m_now->busy - m_base->busy;
    const std::uint64_t span = m_now->tick - m_base->tick;
    const std::uint64_t allowed =
        span * 100 * static_cast<std::uint64_t>(percent < 0 ? 0 : percent);
    return busy > allowed;
}

void LoadGate::WholeSampleTaken() {
    // A whole sample outside WholeSampleNeeded (the table's rebuild) reads its own.
    if (!m_now || m_now->tick != m_clock.GetTickCount64()) Read();
    m_base = m_now;
}

std::int16_t LoadGate::LastTickUsageAtLeast(std::uint64_t since, std::uint64_t used) const {
    // Only for a process last sampled at the whole sample, skipped on the quiet ticks
    // after it: the machine's busy time over those ticks bounds what it can have used
    // then, and the rest fell into the last tick.
    if (!m_base || !m_prev || !m_now || since != m_base->tick) return 0;
    if (m_prev->tick <= since || m_now->tick <= m_prev->tick || m_prev->busy < m_base->busy) {
        return 0;
    }
    const std::uint64_t quiet = m_prev->busy - m_base->busy;
    if (used <= quiet) return 0;
    return modProcess::CpuPercent(quiet, used, m_now->tick - m_prev->tick);
}

}  // namespace talvex
