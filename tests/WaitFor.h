#pragma once
// Waiting in tests for something another thread or process brings about.

#include <chrono>
#include <thread>

namespace talvex::testing {

/// Waits up to `ms` milliseconds for `condition` to hold, looking every 4 ms.
template <typename F>
bool WaitFor(F condition, int ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    return true;
}

}  // namespace talvex::testing
