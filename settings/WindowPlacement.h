#pragma once
// Where a window with a stored position goes when the screens have changed since it was
// saved: a monitor unplugged, a smaller resolution, a damaged value.

#include <cstdint>
#include <vector>

#include "platform/UiTypes.h"

namespace talvex::placement {

/// How much of the window must lie on a screen, per axis, for its stored position to
/// stay; in twips.
struct MinVisible {
    std::int64_t x = 0;
    std::int64_t y = 0;
};

/// The window on the screens: on the screen it overlaps most (or, overlapping none, the
/// nearest), its size capped to that screen. Along an axis where less than `keep`
/// would be visible, or where the top edge lies above the screen (the title bar is
/// there), it is centred on that screen. No screens: the window as it is.
platform::TwipsRect FitOnScreens(const platform::TwipsRect& window,
                                 const std::vector<platform::TwipsRect>& screens,
                                 const MinVisible& keep);

}  // namespace talvex::placement
