#include "platform/ui/TwipsForm.h"

#include "platform/ui/Fonts.h"
#include "platform/ui/VbWidgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>

namespace kestrel {
namespace {

// What a user does to start something: keys, clicks, access keys, the wheel.
bool isInput(QEvent::Type t) {
    switch (t) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

// Sees every event of the application before its receiver does and drops
// the input meant for a busy screen.
class InputGate : public QObject {
public:
    explicit InputGate(TwipsForm* form) : QObject(form), m_form(form) {
        qApp->installEventFilter(this);
    }
    ~InputGate() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_form->busy() || !isInput(event->type()) || !watched->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(watched);
        return w->window() == m_form;
    }

private:
    TwipsForm* m_form;
};

} // namespace

TwipsForm::TwipsForm(int designWidthTwips, int designHeightTwips, QWidget* parent)
    : QWidget(parent), m_designW(designWidthTwips), m_designH(designHeightTwips) {
    setAutoFillBackground(true);
    resize(static_cast<int>(std::lround(m_designW / 15.0)),
           static_cast<int>(std::lround(m_designH / 15.0)));
    m_gate = new InputGate(this);
}

TwipsForm::~TwipsForm() {
    // Before the widget's own teardown, which still sends events.
    delete m_gate;
}

TwipsForm::BusyScope::BusyScope(TwipsForm& form) : m_form(&form) {
    if (form.m_busy++ == 0) form.releaseInput();
}

TwipsForm::BusyScope::~BusyScope() {
    if (m_form) --m_form->m_busy;
}

void TwipsForm::releaseInput() {
    for (QAbstractButton* b : findChildren<QAbstractButton*>())
        if (b->isDown()) b->setDown(false);
}

TwipsForm::Placement* TwipsForm::findPlacement(const QWidget* element) {
    for (auto& p : m_placements)
        if (p.element == element) return &p;
    return nullptr;
}

QRect TwipsForm::twipsRect(const QWidget* element) const {
    for (const auto& p : m_placements)
        if (p.element == element) return p.twips;
    return {};
}

void TwipsForm::place(QWidget* element, int left, int top, int width, int height) {
    if (Placement* p = findPlacement(element)) {
        p->twips = QRect(left, top, width, height);
        apply(*p);
        return;
    }
    m_placements.push_back({element, QRect(left, top, width, height)});
    apply(m_placements.back());
}

QWidget* TwipsForm::panel(QWidget* parent, const QString& name, int left, int top, int width,
                          int height, const QColor& backColor) {
    auto* p = new QWidget(parent);
    p->setObjectName(name);
    p->setAutoFillBackground(true);
    if (backColor.isValid()) {
        QPalette pal = p->palette();
        pal.setColor(QPalette::Window, backColor);
        p->setPalette(pal);
    }
    place(p, left, top, width, height);
    return p;
}

void TwipsForm::moveTo(QWidget* element, int left, int top) {
    if (Placement* p = findPlacement(element)) {
        p->twips.moveTo(left, top);
        apply(*p);
    }
}

void TwipsForm::resizeTo(QWidget* element, int width, int height) {
    if (Placement* p = findPlacement(element)) {
        p->twips.setSize(QSize(width, height));
        apply(*p);
    }
}

void TwipsForm::placeLine(VbLine* line, int x1, int y1, int x2, int y2, double penPixelsAtDesign) {
    m_lines.push_back({line, QLineF(x1, y1, x2, y2), penPixelsAtDesign});
    relayout();
}

void TwipsForm::setTwipsFont(QWidget* element, const QString& family, double points, bool bold,
                             bool italic, bool underline) {
    for (auto& f : m_fonts)
        if (f.element == element) {
            f = {element, family, points, bold, italic, underline};
            applyFont(f);
            return;
        }
    m_fonts.push_back({element, family, points, bold, italic, underline});
    applyFont(m_fonts.back());
}

QPointF TwipsForm::toPixels(double xTwips, double yTwips) const {
    return m_origin + QPointF(xTwips * m_scale, yTwips * m_scale);
}

void TwipsForm::setBackColor(const QColor& c) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, c);
    setPalette(pal);
}

QColor TwipsForm::backColor() const {
    return palette().color(QPalette::Window);
}

void TwipsForm::apply(const Placement& p) {
    if (!p.element) return;
    const bool topLevelElement = p.element->parentWidget() == this;
    const QPointF o = topLevelElement ? m_origin : QPointF(0, 0);
    const double x = o.x() + p.twips.x() * m_scale;
    const double y = o.y() + p.twips.y() * m_scale;
    const double r = o.x() + (p.twips.x() + p.twips.width()) * m_scale;
    const double b = o.y() + (p.twips.y() + p.twips.height()) * m_scale;
    const int ix = static_cast<int>(std::lround(x));
    const int iy = static_cast<int>(std::lround(y));
    p.element->setGeometry(ix, iy, std::max(0, static_cast<int>(std::lround(r)) - ix),
                           std::max(0, static_cast<int>(std::lround(b)) - iy));
}

void TwipsForm::applyFont(const FontSpec& f) {
    if (!f.element) return;
    QFont font = namedFont(f.family);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    // One point is 20 twips.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(f.points * 20.0 * m_scale))));
    f.element->setFont(font);
}

void TwipsForm::relayout() {
    const double sx = width() / static_cast<double>(m_designW);
    const double sy = height() / static_cast<double>(m_designH);
    m_scale = std::max(1e-4, std::min(sx, sy));
    m_origin = QPointF((width() - m_designW * m_scale) / 2, (height() - m_designH * m_scale) / 2);
    for (const auto& p : m_placements)
        apply(p);
    for (const auto& f : m_fonts)
        applyFont(f);
    for (const auto& l : m_lines) {
        if (!l.line) continue;
        const bool top = l.line->parentWidget() == this;
        const QPointF o = top ? m_origin : QPointF(0, 0);
        l.line->setPenPixels(std::max(1.0, l.pen * m_scale * 15.0));
        l.line->setEnds(o + l.twips.p1() * m_scale, o + l.twips.p2() * m_scale);
    }
    afterLayout();
}

void TwipsForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

} // namespace kestrel
