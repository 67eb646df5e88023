#include "platform/ui/DrawingArea.h"

#include <QAccessible>
#include <QPainter>
#include <QStringList>

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

double DrawingArea::pixelsPerPoint() const {
    // A point is 20 twips of the design, a pen unit one pixel of the design
    // size (15 twips).
    return 20.0 * width() / static_cast<double>(m_designWidth);
}

std::vector<PlacedText> DrawingArea::placedTexts() const {
    return placeTexts(m_drawing, QRectF(rect()), pixelsPerPoint(), this);
}

void DrawingArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    paintDrawing(painter, m_drawing, QRectF(rect()), pixelsPerPoint() * 15.0 / 20.0,
                 pixelsPerPoint());
}

} // namespace kestrel
