#pragma once
// The program's own pictures, drawn from the SVG sources compiled into the program.

#include <QIcon>
#include <QPixmap>
#include <QSize>

#include "platform/UiTypes.h"

namespace talvex::platform::qt {

/// The picture at `size` logical pixels for a screen with `ratio` device pixels per
/// logical pixel; a null pixmap for an unknown name.
QPixmap ArtworkPixmap(const Picture& name, QSize size, qreal ratio);
/// The picture's natural size in pixels (as drawn in its source).
QSize ArtworkSize(const Picture& name);
/// An icon with the sizes a window title and a notification area use.
QIcon ArtworkIcon(const Picture& name);

}  // namespace talvex::platform::qt
