#include "platform/ui/DrawingPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

#include "platform/ui/Fonts.h"
#include "platform/ui/VbWidgets.h"

namespace kestrel {
namespace {

QPointF at(const QRectF& area, double x, double y) {
    return QPointF(area.left() + x * area.width(), area.top() + y * area.height());
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QChar(0x3000);
}

// Whether two texts would print over each other: more than a hair in common.
bool overprints(const QRectF& a, const QRectF& b) {
    const QRectF common = a.intersected(b);
    return common.width() > 0.5 && common.height() > 0.5;
}

} // namespace

std::vector<PlacedText> placeTexts(const Drawing& drawing, const QRectF& area,
                                   double pixelsPerPoint, const QPaintDevice* device) {
    std::vector<PlacedText> placed;
    const QString family = QString::fromStdString(drawing.fontFamily);
    for (size_t i = 0; i < drawing.steps.size(); ++i) {
        const DrawStep& s = drawing.steps[i];
        if (s.kind != DrawStep::Kind::Text) continue;
        PlacedText t;
        t.step = i;
        t.font = namedFont(family);
        if (pixelsPerPoint > 0)
            t.font.setPixelSize(std::max(1, static_cast<int>(s.points * pixelsPerPoint + 0.5)));
        else
            t.font.setPointSizeF(std::max(1.0, s.points));
        const QFontMetricsF metrics(t.font, device);
        const QString text = QString::fromStdString(s.text);
        qsizetype first = 0, end = text.size();
        while (first < end && isBlank(text[first]))
            ++first;
        while (end > first && isBlank(text[end - 1]))
            --end;
        const QPointF p = at(area, s.x, s.y);
        t.rect = QRectF(p.x() + metrics.horizontalAdvance(text.left(first)), p.y(),
                        metrics.horizontalAdvance(text.mid(first, end - first)), metrics.height());
        // Moving down only, a text passes each one before it at most once.
        for (bool clear = false; !clear;) {
            clear = true;
            for (const PlacedText& before : placed)
                if (overprints(before.rect, t.rect)) {
                    t.rect.moveTop(before.rect.bottom());
                    t.moved = true;
                    clear = false;
                }
        }
        placed.push_back(std::move(t));
    }
    return placed;
}

void paintDrawing(QPainter& painter, const Drawing& drawing, const QRectF& area,
                  double pixelsPerPen, double pixelsPerPoint) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const std::vector<PlacedText> texts =
        placeTexts(drawing, area, pixelsPerPoint, painter.device());
    auto text = texts.begin();
    for (const DrawStep& s : drawing.steps) {
        switch (s.kind) {
        case DrawStep::Kind::Line: {
            QPen pen(fromColourValue(s.colour), std::max(1.0, s.pen * pixelsPerPen));
            pen.setCapStyle(Qt::RoundCap);
            painter.setPen(pen);
            painter.drawLine(at(area, s.x, s.y), at(area, s.x2, s.y2));
            break;
        }
        case DrawStep::Kind::Dot: {
            QPen pen(fromColourValue(s.colour), std::max(1.0, s.pen * pixelsPerPen));
            pen.setCapStyle(Qt::RoundCap);
            painter.setPen(pen);
            painter.drawPoint(at(area, s.x, s.y));
            break;
        }
        case DrawStep::Kind::Text: {
            painter.setFont(text->font);
            painter.setPen(fromColourValue(s.colour));
            // The position is the text's top left, as a picture's current point.
            const double ascent = QFontMetricsF(text->font, painter.device()).ascent();
            painter.drawText(QPointF(at(area, s.x, s.y).x(), text->rect.top() + ascent),
                             QString::fromStdString(s.text));
            ++text;
            break;
        }
        }
    }
    painter.restore();
}

} // namespace kestrel
