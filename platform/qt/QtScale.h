#pragma once
// Twips to pixels: 15 twips per pixel at 96 dpi, following the screen's logical dpi
// (Qt maps logical pixels to device pixels on high-density screens by itself).

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>
#include <cstdint>

namespace talvex::platform::qt {

inline double LogicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

inline int Px(std::int32_t twips) {
    return qRound(twips * LogicalDpi() / 1440.0);
}

inline std::int32_t Twips(int px) {
    return static_cast<std::int32_t>(qRound(px * 1440.0 / LogicalDpi()));
}

/// Height of a tool window's title bar and borders, which the form heights include.
inline constexpr std::int32_t kNonClientTwips = 345;

}  // namespace talvex::platform::qt
