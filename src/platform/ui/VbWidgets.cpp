#include "platform/ui/VbWidgets.h"

#include <QAccessible>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
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

namespace {

double lineLeft(const QFontMetricsF& fm, const QString& line, const QRectF& area,
                VbLabel::Align align) {
    const double w = fm.horizontalAdvance(line);
    if (align == VbLabel::Align::Right) return area.right() - w;
    if (align == VbLabel::Align::Center) return area.left() + (area.width() - w) / 2;
    return area.left();
}

bool isBlank(const QString& line) {
    return std::all_of(line.begin(), line.end(), [](QChar c) { return c.isSpace(); });
}

// Lines up to the last one that shows anything.
int shownLines(const QStringList& lines) {
    int shown = static_cast<int>(lines.size());
    while (shown > 0 && isBlank(lines[shown - 1]))
        --shown;
    return shown;
}

// Whether every visible glyph of the lines lies inside the area. Blanks may
// stick out: they show nothing, and right-aligned rows rely on them.
bool fitsIn(const QFont& font, const QStringList& lines, const QRectF& area, VbLabel::Align align) {
    const QFontMetricsF fm(font);
    for (const QString& line : lines) {
        qsizetype first = 0, last = line.size();
        while (first < last && line[first].isSpace())
            ++first;
        while (last > first && line[last - 1].isSpace())
            --last;
        if (first == last) continue;
        const double x = lineLeft(fm, line, area, align);
        const double inkLeft = x + fm.horizontalAdvance(line.left(first));
        const double inkRight = x + fm.horizontalAdvance(line.left(last));
        if (inkLeft < area.left() - 0.5 || inkRight > area.right() + 0.5) return false;
    }
    // Several lines must also fit one above the other.
    const int shown = shownLines(lines);
    if (shown < 2) return true;
    return fm.ascent() + (shown - 1) * fm.lineSpacing() + fm.descent() <= area.height() + 0.5;
}

// The largest size of the font below its own that shows the lines whole.
QFont smallerFont(const QFont& font, const QStringList& lines, const QRectF& area,
                  VbLabel::Align align) {
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    // Start from the size at which the widest line, or the lines together,
    // would just fit, then step down.
    const QFontMetricsF fm(font);
    double widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, fm.horizontalAdvance(line.trimmed()));
    const int shown = shownLines(lines);
    const double tall = fm.ascent() + (shown - 1) * fm.lineSpacing() + fm.descent();
    int size = pixels - 1;
    if (widest > area.width())
        size = std::min(size, static_cast<int>(std::ceil(pixels * area.width() / widest)));
    if (shown > 1 && tall > area.height())
        size = std::min(size, static_cast<int>(std::ceil(pixels * area.height() / tall)));
    QFont smaller(font);
    for (; size > 1; --size) {
        smaller.setPixelSize(size);
        if (fitsIn(smaller, lines, area, align)) return smaller;
    }
    smaller.setPixelSize(1);
    return smaller;
}

} // namespace

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
        // A text too large for the label is drawn smaller rather than cut.
        const QStringList lines = text.split(QLatin1Char('\n'));
        QFont drawn = font();
        if (area.width() > 2 && area.height() > 1 && !fitsIn(drawn, lines, area, m_align)) {
            // A pixel clear of either side keeps the soft edges of the glyphs.
            area.adjust(1, 0, -1, 0);
            drawn = smallerFont(drawn, lines, area, m_align);
        }
        QFontMetricsF fm(drawn);
        double y = area.top() + fm.ascent();
        if (drawn != font()) {
            // The smaller lines sit in the middle of the room the full size took.
            const int shown = std::max(1, shownLines(lines));
            const double room =
                std::min(area.height(), shown * QFontMetricsF(font()).lineSpacing());
            y += std::max(0.0, (room - shown * fm.lineSpacing()) / 2);
            p.setFont(drawn);
        }
        for (const QString& line : lines) {
            p.drawText(QPointF(lineLeft(fm, line, area, m_align), y), line);
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
