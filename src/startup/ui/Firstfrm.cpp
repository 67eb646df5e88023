#include "startup/ui/Firstfrm.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include "app/App.h"
#include "app/Navigation.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/VbWidgets.h"
#include "startup/Calendar.h"
#include "startup/ProgramDefinition.h"
#include "startup/Season.h"

namespace kestrel {
namespace {

// The title artwork: a number line on which 4350 is rounded up to 4400, and
// the title in outlined letters. Drawn to the widget's size, on a
// transparent ground so that the season's colour shows through.
void paintTitleArt(QPainter& p, double w, double h) {
    const QColor ink(40, 40, 40);

    // Number line from 4300 to 4400 with ticks every 10.
    const double y = h * 0.30, left = w * 0.14, right = w * 0.86;
    p.setPen(QPen(ink, std::max(1.0, h * 0.008)));
    p.drawLine(QPointF(left, y), QPointF(right, y));
    for (int i = 0; i <= 10; ++i) {
        const double x = left + (right - left) * i / 10.0;
        const double tick = (i == 0 || i == 5 || i == 10) ? h * 0.045 : h * 0.025;
        p.drawLine(QPointF(x, y - tick), QPointF(x, y + tick));
    }
    QFont numbers(kPGothic);
    numbers.setPixelSize(std::max(1, static_cast<int>(h * 0.055)));
    numbers.setBold(true);
    p.setFont(numbers);
    const double labelTop = y + h * 0.06, labelH = h * 0.08;
    p.drawText(QRectF(left - w * 0.1, labelTop, w * 0.2, labelH), Qt::AlignCenter,
               QStringLiteral("4300"));
    p.drawText(QRectF(right - w * 0.1, labelTop, w * 0.2, labelH), Qt::AlignCenter,
               QStringLiteral("4400"));
    const double mid = (left + right) / 2;
    p.drawText(QRectF(mid - w * 0.1, labelTop, w * 0.2, labelH), Qt::AlignCenter,
               QStringLiteral("4350"));

    // The point at 4350 and the arc that carries it up to 4400.
    p.setBrush(QColor(230, 30, 30));
    p.setPen(Qt::NoPen);
    const double r = h * 0.022;
    p.drawEllipse(QPointF(mid, y), r, r);
    QPainterPath arc;
    arc.moveTo(mid, y - r * 1.5);
    arc.cubicTo(mid + (right - mid) * 0.25, y - h * 0.2, right - (right - mid) * 0.25, y - h * 0.2,
                right, y - r * 1.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(230, 30, 30), std::max(1.0, h * 0.012), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc);
    const QPointF tip(right, y - r * 1.5);
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip + QPointF(-h * 0.045, -h * 0.03));
    head.lineTo(tip + QPointF(-h * 0.01, -h * 0.055));
    head.closeSubpath();
    p.setBrush(QColor(230, 30, 30));
    p.drawPath(head);

    // The title, white letters with a dark outline, fitted to the width.
    QFont title(kPGothic);
    title.setBold(true);
    title.setPixelSize(std::max(1, static_cast<int>(h * 0.17)));
    const QString text = QString::fromUtf8(kProgramTitle);
    QFontMetricsF fm(title);
    const double maxWidth = w * 0.92;
    if (fm.horizontalAdvance(text) > maxWidth) {
        title.setPixelSize(std::max(
            1, static_cast<int>(title.pixelSize() * maxWidth / fm.horizontalAdvance(text))));
        fm = QFontMetricsF(title);
    }
    QPainterPath letters;
    letters.addText(QPointF((w - fm.horizontalAdvance(text)) / 2, h * 0.78), title, text);
    p.setPen(QPen(ink, std::max(1.0, h * 0.014), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(letters);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(letters);
}

} // namespace

Firstfrm::Firstfrm(App& app) : TwipsForm(9600, 7200), m_app(app) {
    setObjectName(QStringLiteral("Firstfrm"));
    setWindowTitle(QString::fromUtf8(kProgramTitle));

    m_picture1 = new VbPicture(this, QStringLiteral("Picture1"), paintTitleArt);
    place(m_picture1, 0, 240, 9600, 5400);

    m_label5 = new VbLabel(this, QStringLiteral("Label5"));
    m_label5->setAlignment(VbLabel::Align::Center);
    m_label5->setBackColor(rgb(255, 255, 255));
    m_label5->setBorder(true);
    place(m_label5, 2400, 6000, 4800, 480);
    setTwipsFont(m_label5, kPGothic, 14, true);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(100);
    m_timer1->setSingleShot(true);
    connect(m_timer1, &QTimer::timeout, this, &Firstfrm::Timer1_Timer);
}

void Firstfrm::Form_Load() {
    Context& ctx = m_app.ctx();
    ctx.services.events.processEvents();
    const LocalTime now = ctx.services.clock.now();
    ctx.state.SeasonColour = seasonColour(now.date.month);
    setBackColor(fromColourValue(ctx.state.SeasonColour));
    ctx.services.random.seed(now.secondsOfDay);
    m_label5->setText(QString::fromStdString(eraDate(now.date)));
    ctx.services.events.processEvents();
    m_timer1->start();
}

void Firstfrm::Timer1_Timer() {
    m_timer1->stop();
    AfterSplash(m_app);
    Unload(m_app, Screen::Firstfrm);
}

} // namespace kestrel
