#include "platform/linux/LinuxClock.h"

#include <ctime>

namespace talvex::platform {

std::uint64_t LinuxClock::GetTickCount64() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000U +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000U;
}

std::string LinuxClock::LocalDateTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return {};
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
    return std::string(text, n);
}

}  // namespace talvex::platform
