#include "engine/LoadGate.h"

namespace talvex {

std::optional<LoadGate::Reading> LoadGate::Read() {
    platform::SystemTimes times;
    if (!m_processes.GetSystemTimes(times)) return std::nullopt;
    return Reading{times.busy, m_clock.GetTickCount64()};
}

bool LoadGate::WholeSampleNeeded(std::int16_t percent) {
    m_now = Read();
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
    if (!m_now || m_now->tick != m_clock.GetTickCount64()) m_now = Read();
    m_base = m_now;
}

}  // namespace talvex
