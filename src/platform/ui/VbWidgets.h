#pragma once
// The plain elements the screens are built from: a label that draws its own
// text (so that trailing blanks of right-aligned text keep their cells), a
// filled shape and a straight line. Colours are given as red, green, blue.
#include <QColor>
#include <QWidget>
#include <functional>

class QPainter;

namespace kestrel {

inline QColor rgb(int r, int g, int b) {
    return QColor(r, g, b);
}
// A colour stored as a 32-bit value: red in the low byte, then green, then blue.
inline QColor fromColourValue(uint32_t v) {
    return QColor(static_cast<int>(v & 0xff), static_cast<int>((v >> 8) & 0xff),
                  static_cast<int>((v >> 16) & 0xff));
}

// Text of one or more lines (CR LF or LF), or word-wrapped. A text too
// large for the label is drawn smaller; the font property stays as set.
// Screen readers read the text (installAccessibility).
class VbLabel : public QWidget {
    Q_OBJECT
public:
    enum class Align { Left, Right, Center };
    explicit VbLabel(QWidget* parent, const QString& objectName, const QString& text = {});

    QString text() const { return m_text; }
    void setText(const QString& text);
    void setAlignment(Align a);
    void setForeColor(const QColor& c);
    void setBackColor(const QColor& c); // makes the label opaque
    void setTransparent(bool transparent);
    void setBorder(bool border);
    void setWordWrap(bool wrap);
    QColor foreColor() const { return m_fore; }
    QColor backColor() const { return m_back; }
    Align alignment() const { return m_align; }
    bool hasBorder() const { return m_border; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

private:
    QString m_text;
    Align m_align = Align::Left;
    QColor m_fore = Qt::black;
    QColor m_back = Qt::white;
    bool m_transparent = true;
    bool m_border = false;
    bool m_wrap = false;
};

// A filled rectangle (a time bar, a coloured panel behind a title).
class VbShape : public QWidget {
    Q_OBJECT
public:
    VbShape(QWidget* parent, const QString& objectName, const QColor& fill);
    void setFillColor(const QColor& c);
    QColor fillColor() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_fill;
};

// A straight line; it covers the bounding box of its two end points and
// lets mouse events through.
class VbLine : public QWidget {
    Q_OBJECT
public:
    VbLine(QWidget* parent, const QString& objectName, const QColor& colour, int penPixels);
    // End points in the parent's pixel coordinates.
    void setEnds(QPointF from, QPointF to);
    void setPenPixels(double px);
    QPointF from() const { return m_from; }
    QPointF to() const { return m_to; }
    QColor colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_colour;
    double m_pen;
    QPointF m_from, m_to;
};

// A picture drawn by code to the element's size (artwork, backgrounds); it
// lets mouse events through to what lies under it.
class VbPicture : public QWidget {
    Q_OBJECT
public:
    // Called with an antialiasing painter and the element's width and height.
    using Painter = std::function<void(QPainter&, double width, double height)>;
    VbPicture(QWidget* parent, const QString& objectName, Painter paint);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Painter m_paint;
};

} // namespace kestrel
