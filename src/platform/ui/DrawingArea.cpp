#include "platform/ui/DrawingArea.h"

#include <QAccessible>
#include <QPainter>
#include <QStringList>

#include "platform/ui/DrawingPainter.h"

namespace kestrel {

DrawingArea::DrawingArea(QWidget* parent, const QString& objectName, int designWidthTwips)
    : QWidget(parent), m_designWidth(designWidthTwips > 0 ? designWidthTwips : 1) {
    setObjectName(objectName);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DrawingArea::setDrawing(Drawing drawing) {
    m_drawing = std::move(drawing);
    QStringList texts;
    for (const std::string& t : m_drawing.texts())
        texts.push_back(QString::fromStdString(t));
    setAccessibleDescription(texts.join(QLatin1Char('\n')));
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
    update();
    emit changed();
}

void DrawingArea::clear() {
    setDrawing(Drawing{m_drawing.fontFamily, {}});
}

void DrawingArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    // Twips of the design per pixel shown: a point is 20 twips, a pen unit
    // one pixel of the design size (15 twips).
    const double pixelsPerTwip = width() / static_cast<double>(m_designWidth);
    paintDrawing(painter, m_drawing, QRectF(rect()), 15.0 * pixelsPerTwip, 20.0 * pixelsPerTwip);
}

} // namespace kestrel
