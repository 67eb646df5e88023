#include "platform/ui/DrawingPainter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

#include "platform/ui/VbWidgets.h"

namespace kestrel {

void paintDrawing(QPainter& painter, const Drawing& drawing, const QRectF& area,
                  double pixelsPerPen, double pixelsPerPoint) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    auto at = [&](double x, double y) {
        return QPointF(area.left() + x * area.width(), area.top() + y * area.height());
    };
    const QString family = QString::fromStdString(drawing.fontFamily);
    for (const DrawStep& s : drawing.steps) {
        switch (s.kind) {
        case DrawStep::Kind::Line: {
            QPen pen(fromColourValue(s.colour), std::max(1.0, s.pen * pixelsPerPen));
            pen.setCapStyle(Qt::RoundCap);
            painter.setPen(pen);
            painter.drawLine(at(s.x, s.y), at(s.x2, s.y2));
            break;
        }
        case DrawStep::Kind::Dot: {
            QPen pen(fromColourValue(s.colour), std::max(1.0, s.pen * pixelsPerPen));
            pen.setCapStyle(Qt::RoundCap);
            painter.setPen(pen);
            painter.drawPoint(at(s.x, s.y));
            break;
        }
        case DrawStep::Kind::Text: {
            QFont font(family);
            if (pixelsPerPoint > 0)
                font.setPixelSize(std::max(1, static_cast<int>(s.points * pixelsPerPoint + 0.5)));
            else
                font.setPointSizeF(std::max(1.0, s.points));
            painter.setFont(font);
            painter.setPen(fromColourValue(s.colour));
            // The position is the text's top left, as a picture's current point.
            const QPointF p = at(s.x, s.y);
            painter.drawText(QPointF(p.x(), p.y() + QFontMetricsF(font, painter.device()).ascent()),
                             QString::fromStdString(s.text));
            break;
        }
        }
    }
    painter.restore();
}

} // namespace kestrel
