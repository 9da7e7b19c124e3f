#pragma once
// Time services.

#include <cstdint>
#include <string>

namespace talvex::platform {

class IClock {
  public:
    virtual ~IClock() = default;

    /// Milliseconds from a fixed point in the past; never goes backwards, never wraps.
    virtual std::uint64_t GetTickCount64() = 0;
    /// The local date and time as short text, to the second ("09.12.2026 08:48:46").
    virtual std::string LocalDateTimeText() = 0;
};

}  // namespace talvex::platform
