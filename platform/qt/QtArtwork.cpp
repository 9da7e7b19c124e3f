#include "platform/qt/QtArtwork.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

namespace talvex::platform::qt {

namespace {
QString SourceOf(const Picture& name) {
    return QStringLiteral(":/talvex/") + QString::fromStdString(name) + QStringLiteral(".svg");
}
}  // namespace

QSize ArtworkSize(const Picture& name) {
    if (name.empty()) return {};
    QSvgRenderer renderer(SourceOf(name));
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

QPixmap ArtworkPixmap(const Picture& name, QSize size, qreal ratio) {
    if (name.empty() || size.isEmpty()) return {};
    QSvgRenderer renderer(SourceOf(name));
    if (!renderer.isValid()) return {};
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(image);
}

QIcon ArtworkIcon(const Picture& name) {
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        const QPixmap pixmap = ArtworkPixmap(name, QSize(side, side), 1.0);
        if (!pixmap.isNull()) icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace talvex::platform::qt
