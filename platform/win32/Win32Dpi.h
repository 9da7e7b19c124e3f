#pragma once
// Twips and pixels: 1440 twips an inch, so 15 twips a pixel at 96 dpi. Every window
// converts with its own dpi (per-monitor awareness), so the forms keep their size in
// inches on every screen.

#include <cstdint>

namespace talvex::platform::win32 {

inline int Px(std::int32_t twips, unsigned dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    // Rounded half away from zero, so negative positions mirror positive ones.
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

inline std::int32_t Twips(int px, unsigned dpi) {
    if (dpi == 0) dpi = 96;
    const long long scaled = static_cast<long long>(px) * 1440;
    const long long half = dpi / 2;
    return static_cast<std::int32_t>(scaled >= 0 ? (scaled + half) / dpi
                                                 : -((-scaled + half) / dpi));
}

/// Height of a form's title bar and borders in twips, which the forms' heights include
/// (the forms in ui/ size themselves with it); the client area gets the rest.
inline constexpr std::int32_t kNonClientTwips = 345;

}  // namespace talvex::platform::win32
