#pragma once
// Draws a Drawing with a QPainter, on a widget or on a printer's page.
#include <QFont>
#include <QRectF>
#include <vector>

#include "platform/Drawing.h"

class QPainter;
class QPaintDevice;

namespace kestrel {

// A text of a drawing as it is painted, in device pixels.
struct PlacedText {
    size_t step = 0; // index of the text in the drawing's steps
    QFont font;
    QRectF rect;        // the text's ink line: its advance wide, one line high
    bool moved = false; // moved clear of a text painted before it
};

// Where the texts of `drawing` are painted on `device`: each at its own
// position, or, where it would overprint a text painted before it, moved
// down just clear of every such text. Blanks at either end take no room.
// Sizes as for paintDrawing.
std::vector<PlacedText> placeTexts(const Drawing& drawing, const QRectF& area,
                                   double pixelsPerPoint, const QPaintDevice* device);

// `area` receives the drawing's 0..1 coordinates. A pen unit is
// `pixelsPerPen` device pixels; a point of text is `pixelsPerPoint` device
// pixels, or the device's own point size when it is 0 (a printer). Texts
// stand where placeTexts puts them.
void paintDrawing(QPainter& painter, const Drawing& drawing, const QRectF& area,
                  double pixelsPerPen, double pixelsPerPoint);

} // namespace kestrel
