#pragma once
// Reaches the engine's private state, for tests and benchmarks that start from a state
// a real run takes long to reach (a hang-up counted half-way, a table just rebuilt).

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Engine.h"

namespace talvex {

struct EngineProbe {
    static std::int32_t& FailureCounter(Engine& e) { return e.m_lFailureCounter; }
    static bool& FailureTurnOff(Engine& e) { return e.m_bFailureTurnOff; }
    static std::int32_t& RebuildCountdown(Engine& e) { return e.m_lRebuildCountdown; }
    static std::vector<ProcessEntry>& ProcessTable(Engine& e) { return e.m_Processes; }
    static const std::string& WarnedExe(const Engine& e) { return e.m_sWarnedExe; }
};

}  // namespace talvex
