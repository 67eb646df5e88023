#pragma once
// A drawing area of a screen: shows a Drawing on white, scaled with the
// screen (a point of text and a pen unit grow as the design's twips do).
// Screen readers read the drawing's texts as the area's description.
#include <QWidget>

#include "platform/Drawing.h"
#include "platform/ui/DrawingPainter.h"

namespace kestrel {

class DrawingArea : public QWidget {
    Q_OBJECT
public:
    // `designWidthTwips`: the area's width in the screen's design, by which
    // points and pens are scaled.
    DrawingArea(QWidget* parent, const QString& objectName, int designWidthTwips);

    void setDrawing(Drawing drawing);
    void clear();
    const Drawing& drawing() const { return m_drawing; }
    // Where its texts are painted at the area's present size.
    std::vector<PlacedText> placedTexts() const;

signals:
    // A new drawing was set (or the area cleared).
    void changed();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    // Device pixels of a point of text and of a pen unit at the present size.
    double pixelsPerPoint() const;

    Drawing m_drawing;
    int m_designWidth;
};

} // namespace kestrel
