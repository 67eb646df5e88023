#include "platform/ui/VbWidgets.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace kestrel {

VbLabel::VbLabel(QWidget* parent, const QString& objectName, const QString& text)
    : QWidget(parent), m_text(text) {
    setObjectName(objectName);
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

void VbLabel::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    update();
    // A screen reader hears the new text.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}
void VbLabel::setAlignment(Align a) {
    m_align = a;
    update();
}
void VbLabel::setForeColor(const QColor& c) {
    m_fore = c;
    update();
}
void VbLabel::setBackColor(const QColor& c) {
    m_back = c;
    m_transparent = false;
    update();
}
void VbLabel::setTransparent(bool transparent) {
    m_transparent = transparent;
    update();
}
void VbLabel::setBorder(bool border) {
    m_border = border;
    update();
}
void VbLabel::setWordWrap(bool wrap) {
    m_wrap = wrap;
    update();
}

void VbLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit clicked();
    QWidget::mousePressEvent(e);
}

void VbLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!m_transparent) p.fillRect(rect(), m_back);
    const int inset = m_border ? 2 : 0;
    QRectF area = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    p.setFont(font());
    p.setPen(m_fore);
    QString text = m_text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (m_wrap) {
        int flags = Qt::TextWordWrap | Qt::AlignTop;
        flags |= m_align == Align::Right    ? Qt::AlignRight
                 : m_align == Align::Center ? Qt::AlignHCenter
                                            : Qt::AlignLeft;
        p.drawText(area, flags, text);
    } else {
        // Each line placed by its full advance, trailing blanks included, so
        // that right-aligned rows of a fixed-pitch font keep their columns.
        QFontMetricsF fm(font());
        double y = area.top() + fm.ascent();
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            const double w = fm.horizontalAdvance(line);
            double x = area.left();
            if (m_align == Align::Right)
                x = area.right() - w;
            else if (m_align == Align::Center)
                x = area.left() + (area.width() - w) / 2;
            p.drawText(QPointF(x, y), line);
            y += fm.lineSpacing();
        }
    }
    if (m_border) {
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

VbShape::VbShape(QWidget* parent, const QString& objectName, const QColor& fill)
    : QWidget(parent), m_fill(fill) {
    setObjectName(objectName);
}
void VbShape::setFillColor(const QColor& c) {
    m_fill = c;
    update();
}
void VbShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_fill);
}

VbLine::VbLine(QWidget* parent, const QString& objectName, const QColor& colour, int penPixels)
    : QWidget(parent), m_colour(colour), m_pen(penPixels) {
    setObjectName(objectName);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void VbLine::setPenPixels(double px) {
    m_pen = px;
    update();
}

void VbLine::setEnds(QPointF from, QPointF to) {
    m_from = from;
    m_to = to;
    const double margin = std::ceil(m_pen / 2 + 1);
    QRectF box = QRectF(from, to).normalized().adjusted(-margin, -margin, margin, margin);
    setGeometry(box.toAlignedRect());
    update();
}

void VbLine::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_colour, m_pen, Qt::SolidLine, Qt::RoundCap));
    const QPointF origin = pos();
    p.drawLine(m_from - origin, m_to - origin);
}

VbPicture::VbPicture(QWidget* parent, const QString& objectName, Painter paint)
    : QWidget(parent), m_paint(std::move(paint)) {
    setObjectName(objectName);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void VbPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_paint) m_paint(p, width(), height());
}

} // namespace kestrel
