#include "settings/WindowPlacement.h"

#include <algorithm>
#include <limits>

namespace talvex::placement {

using platform::TwipsRect;

namespace {

std::int64_t Overlap(std::int64_t start, std::int64_t extent, std::int64_t screenStart,
                     std::int64_t screenExtent) {
    const std::int64_t end = std::min(start + extent, screenStart + screenExtent);
    return std::max<std::int64_t>(0, end - std::max(start, screenStart));
}

// Gap between the two ranges along one axis; 0 where they meet or overlap.
std::int64_t Gap(std::int64_t start, std::int64_t extent, std::int64_t screenStart,
                 std::int64_t screenExtent) {
    if (start + extent < screenStart) return screenStart - (start + extent);
    if (screenStart + screenExtent < start) return start - (screenStart + screenExtent);
    return 0;
}

const TwipsRect& ChooseScreen(const TwipsRect& w, const std::vector<TwipsRect>& screens) {
    const TwipsRect* best = &screens.front();
    std::int64_t bestArea = -1;
    std::int64_t bestGap = std::numeric_limits<std::int64_t>::max();
    for (const TwipsRect& s : screens) {
        const std::int64_t area =
            Overlap(w.left, w.width, s.left, s.width) * Overlap(w.top, w.height, s.top, s.height);
        const std::int64_t gx = Gap(w.left, w.width, s.left, s.width);
        const std::int64_t gy = Gap(w.top, w.height, s.top, s.height);
        const std::int64_t gap = gx * gx + gy * gy;
        if (area > bestArea || (area == 0 && bestArea == 0 && gap < bestGap)) {
            best = &s;
            bestArea = area;
            bestGap = gap;
        }
    }
    return *best;
}

std::int32_t Centred(std::int32_t screenStart, std::int32_t screenExtent, std::int32_t extent) {
    return static_cast<std::int32_t>(std::int64_t{screenStart} + screenExtent / 2 - extent / 2);
}

}  // namespace

TwipsRect FitOnScreens(const TwipsRect& window, const std::vector<TwipsRect>& screens,
                       const MinVisible& keep) {
    if (screens.empty()) return window;
    const TwipsRect& s = ChooseScreen(window, screens);
    TwipsRect r = window;
    r.width = std::min(r.width, s.width);
    r.height = std::min(r.height, s.height);
    if (Overlap(r.left, r.width, s.left, s.width) < std::min<std::int64_t>(keep.x, r.width)) {
        r.left = Centred(s.left, s.width, r.width);
    }
    if (r.top < s.top ||
        Overlap(r.top, r.height, s.top, s.height) < std::min<std::int64_t>(keep.y, r.height)) {
        r.top = Centred(s.top, s.height, r.height);
    }
    return r;
}

}  // namespace talvex::placement
