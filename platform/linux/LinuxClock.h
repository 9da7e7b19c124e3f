#pragma once
// The clock from CLOCK_MONOTONIC and the local time zone.

#include "platform/IClock.h"

namespace talvex::platform {

class LinuxClock final : public IClock {
  public:
    std::uint64_t GetTickCount64() override;
    std::string LocalDateTimeText() override;
};

}  // namespace talvex::platform
