#include "platform/qt/QtPaintedWidget.h"

#include <QPainter>
#include <QPainterPath>

#include "platform/qt/QtArtwork.h"
#include "platform/qt/QtScale.h"

namespace talvex::platform::qt {

namespace {
QColor ToQColor(const Rgb& c) {
    return QColor(c.r, c.g, c.b);
}
}  // namespace

QtPaintedWidget::QtPaintedWidget(Control& control, QWidget* parent)
    : QWidget(parent), m_control(control) {
    if (control.Kind() != ControlKind::Picture) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
}

void QtPaintedWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ControlStyle& style = m_control.Style();
    switch (m_control.Kind()) {
        case ControlKind::Picture: {
            const QPixmap pixmap =
                ArtworkPixmap(m_control.GetPicture(), size(), devicePixelRatioF());
            if (!pixmap.isNull()) painter.drawPixmap(0, 0, pixmap);
            // A picture that takes the focus (a language flag) shows it has it.
            if (hasFocus()) {
                painter.setRenderHint(QPainter::Antialiasing, false);
                painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
                painter.drawRect(QRect(1, 1, width() - 2, height() - 2));
            }
            break;
        }
        case ControlKind::Shape: {
            const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            const qreal radius = Px(style.cornerTwips);
            QPainterPath path;
            path.addRoundedRect(box, radius, radius);
            if (style.fillColor) painter.fillPath(path, ToQColor(*style.fillColor));
            painter.setPen(QPen(ToQColor(style.borderColor), 1));
            painter.drawPath(path);
            break;
        }
        case ControlKind::Line: {
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setPen(QPen(ToQColor(style.borderColor), 1));
            const TwipsRect& r = m_control.Rect();
            // The widget spans the line's box; draw from its start to its end corner.
            const int x1 = r.width >= 0 ? 0 : width() - 1;
            const int y1 = r.height >= 0 ? 0 : height() - 1;
            painter.drawLine(x1, y1, width() - 1 - x1, height() - 1 - y1);
            break;
        }
        default:
            break;
    }
}

}  // namespace talvex::platform::qt
