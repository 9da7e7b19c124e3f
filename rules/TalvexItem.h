#pragma once
// One per-program rule.

#include <cstdint>
#include <string>

namespace talvex {

struct TalvexItem {
    std::int32_t iBoostLevel = 0;  // 0 Above Normal, 1 High, 2 Realtime; anything else: no raise
    bool bNeverBoost = false;      // never boosted, whatever iBoostLevel says
    bool bNoBkgObservation = false;
    bool bNoHangUpObservation = false;
    bool bNoHangUpObservationMsg = false;
    std::string sItem;  // text that must occur in the executable path or name
};

}  // namespace talvex
