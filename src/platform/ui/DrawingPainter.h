#pragma once
// Draws a Drawing with a QPainter, on a widget or on a printer's page.
#include <QRectF>

#include "platform/Drawing.h"

class QPainter;

namespace kestrel {

// `area` receives the drawing's 0..1 coordinates. A pen unit is
// `pixelsPerPen` device pixels; a point of text is `pixelsPerPoint` device
// pixels, or the device's own point size when it is 0 (a printer).
void paintDrawing(QPainter& painter, const Drawing& drawing, const QRectF& area,
                  double pixelsPerPen, double pixelsPerPoint);

} // namespace kestrel
