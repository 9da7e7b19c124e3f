#pragma once
// GetTickCount64 and the local date and time in the user's short formats.

#include "platform/IClock.h"

namespace talvex::platform {

class Win32Clock final : public IClock {
  public:
    std::uint64_t GetTickCount64() override;
    std::string LocalDateTimeText() override;
};

}  // namespace talvex::platform
