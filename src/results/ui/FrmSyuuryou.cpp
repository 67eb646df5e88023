#include "results/ui/FrmSyuuryou.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtText.h"
#include "platform/ui/VbWidgets.h"
#include "results/RunEvaluation.h"
#include "sound/SoundCues.h"
#include "text/Characters.h"

namespace kestrel {
namespace {

constexpr int kDesignWidth = 15360;
constexpr int kDesignHeight = 11520;
constexpr int kTimerMs = 500;

// Where the white card behind the run's figures lies, in design twips.
const QRectF kCardTwips(960, 2760, 13440, 6240);

// A five-pointed star around `centre`, `r` to its points.
QPainterPath starPath(QPointF centre, double r) {
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double a = M_PI / 2 + i * M_PI / 5;
        const double rr = (i % 2 == 0) ? r : r * 0.45;
        const QPointF pt(centre.x() + rr * std::cos(a), centre.y() - rr * std::sin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

// A sky that fades into a sunny meadow, with a white card for the figures
// and a few stars around it. Drawn to the widget's size.
void paintBackground(QPainter& p, double w, double h) {
    const double k = w / kDesignWidth; // pixels per twip

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(110, 190, 250));
    sky.setColorAt(0.55, QColor(200, 235, 255));
    sky.setColorAt(1.0, QColor(255, 246, 210));
    p.fillRect(QRectF(0, 0, w, h), sky);

    // The sun behind the title, top left.
    QRadialGradient sun(QPointF(w * 0.06, h * 0.05), w * 0.12);
    sun.setColorAt(0.0, QColor(255, 240, 150, 230));
    sun.setColorAt(1.0, QColor(255, 240, 150, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(w * 0.06, h * 0.05), w * 0.12, w * 0.12);

    // Two rolling hills along the bottom.
    QPainterPath far;
    far.moveTo(0, h * 0.86);
    far.cubicTo(w * 0.25, h * 0.78, w * 0.45, h * 0.84, w * 0.62, h * 0.82);
    far.cubicTo(w * 0.80, h * 0.80, w * 0.92, h * 0.84, w, h * 0.80);
    far.lineTo(w, h);
    far.lineTo(0, h);
    far.closeSubpath();
    p.setBrush(QColor(150, 215, 120));
    p.drawPath(far);
    QPainterPath near;
    near.moveTo(0, h * 0.92);
    near.cubicTo(w * 0.30, h * 0.86, w * 0.60, h * 0.95, w, h * 0.88);
    near.lineTo(w, h);
    near.lineTo(0, h);
    near.closeSubpath();
    p.setBrush(QColor(110, 190, 90));
    p.drawPath(near);

    // The card, with a soft shadow.
    const QRectF card(kCardTwips.x() * k, kCardTwips.y() * k, kCardTwips.width() * k,
                      kCardTwips.height() * k);
    const double radius = 360 * k;
    p.setBrush(QColor(0, 60, 120, 40));
    p.drawRoundedRect(card.translated(90 * k, 120 * k), radius, radius);
    p.setBrush(QColor(255, 255, 255, 235));
    p.setPen(QPen(QColor(255, 190, 60), std::max(1.0, 60 * k)));
    p.drawRoundedRect(card, radius, radius);

    // Stars in the margins beside the card.
    struct Star {
        double x, y, r;
        QColor colour;
    };
    const Star stars[] = {
        {420, 3600, 260, QColor(255, 200, 40)},   {600, 6600, 200, QColor(255, 120, 150)},
        {360, 8400, 160, QColor(120, 170, 255)},  {14940, 3300, 220, QColor(120, 200, 120)},
        {14760, 5700, 280, QColor(255, 200, 40)}, {15000, 8100, 180, QColor(255, 120, 150)},
        {12900, 720, 150, QColor(255, 255, 255)}, {14700, 960, 120, QColor(255, 255, 255)},
    };
    p.setPen(Qt::NoPen);
    for (const Star& s : stars) {
        p.setBrush(s.colour);
        p.drawPath(starPath(QPointF(s.x * k, s.y * k), s.r * k));
    }
}

} // namespace

FrmSyuuryou::FrmSyuuryou(App& app) : TwipsForm(kDesignWidth, kDesignHeight), m_app(app) {
    setObjectName(QStringLiteral("FrmSyuuryou"));
    setWindowTitle(QStringLiteral("終了"));
    setBackColor(rgb(200, 235, 255));

    Image1 = new VbPicture(this, QStringLiteral("Image1"), paintBackground);
    place(Image1, 0, 0, kDesignWidth, kDesignHeight);

    const QColor navy = rgb(20, 50, 120);
    Label15 = addLabel(this, QStringLiteral("Label15"), {480, 300, 14400, 840}, 26, navy);
    Label15->setAlignment(VbLabel::Align::Center);
    Label16 = addLabel(this, QStringLiteral("Label16"), {1200, 1500, 6600, 720}, 24, navy);
    Label17 = addLabel(this, QStringLiteral("Label17"), {7560, 1500, 6600, 720}, 24, navy);
    Label17->setAlignment(VbLabel::Align::Right);

    // Today's run numbers, under the level's name.
    addLabel(this, QStringLiteral("LabelToday"), {1200, 2180, 900, 520}, 18, navy,
             QStringLiteral("本日"));
    Label14 = addLabel(this, QStringLiteral("Label14"), {2100, 2180, 1800, 520}, 18, navy);
    Label13 = addLabel(this, QStringLiteral("Label13"), {3900, 2180, 5400, 520}, 18, navy);

    Label18 =
        addLabel(this, QStringLiteral("Label18"), {1200, 3120, 12960, 1380}, 48, rgb(30, 30, 30));
    Label18->setAlignment(VbLabel::Align::Center);
    setTwipsFont(Label18, kGothic, 48, true);
    Label19 =
        addLabel(this, QStringLiteral("Label19"), {1200, 4680, 12960, 960}, 30, rgb(210, 90, 0));
    Label19->setAlignment(VbLabel::Align::Center);
    Label20 =
        addLabel(this, QStringLiteral("Label20"), {1200, 5880, 12960, 1260}, 44, rgb(230, 0, 60));
    Label20->setAlignment(VbLabel::Align::Center);
    Label20->hide();
    Label2 = addLabel(this, QStringLiteral("Label2"), {1200, 7440, 12960, 960}, 32, rgb(0, 140, 60),
                      QString::fromUtf8(kLevelClearedText));
    Label2->setAlignment(VbLabel::Align::Center);
    Label2->hide();

    Picture1 = new VbShape(this, QStringLiteral("Picture1"), rgb(255, 215, 40));
    place(Picture1, 1920, 9240, 11520, 1560);
    Label1 = addLabel(Picture1, QStringLiteral("Label1"), {0, 300, 11520, 960}, 34, rgb(220, 0, 40),
                      QString::fromUtf8(kGoalClearedText));
    Label1->setAlignment(VbLabel::Align::Center);
    Picture1->hide();

    Command4 = addButton(QStringLiteral("Command4"), QString::fromUtf8(kToMenuCaption),
                         {2400, 9420, 4800, 1260}, rgb(40, 120, 220));
    connect(Command4, &QPushButton::clicked, this, &FrmSyuuryou::Command4_Click);
    Command5 = addButton(QStringLiteral("Command5"), QString::fromUtf8(kRetryCaption),
                         {8160, 9420, 4800, 1260}, rgb(245, 130, 20));
    connect(Command5, &QPushButton::clicked, this, &FrmSyuuryou::Command5_Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerMs);
    connect(Timer1, &QTimer::timeout, this, &FrmSyuuryou::onTimer1);

    relayout();
}

VbLabel* FrmSyuuryou::addLabel(QWidget* parent, const QString& name, const QRect& twips,
                               double points, const QColor& fore, const QString& text) {
    auto* label = new VbLabel(parent, name, text);
    place(label, twips.x(), twips.y(), twips.width(), twips.height());
    setTwipsFont(label, kPGothic, points, true);
    label->setForeColor(fore);
    return label;
}

QPushButton* FrmSyuuryou::addButton(const QString& name, const QString& text, const QRect& twips,
                                    const QColor& face) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setStyleSheet(QStringLiteral("QPushButton { color: white; background: %1;"
                                         " border: 4px solid %2; border-radius: 18px; }"
                                         "QPushButton:focus { border: 6px solid rgb(255, 225, 0); }"
                                         "QPushButton:pressed { background: %2; }"
                                         "QPushButton:disabled { background: rgb(170, 170, 170);"
                                         " border-color: rgb(140, 140, 140); }")
                              .arg(face.name(), face.darker(140).name()));
    place(button, twips.x(), twips.y(), twips.width(), twips.height());
    setTwipsFont(button, kPGothic, 26, true);
    button->hide();
    return button;
}

void FrmSyuuryou::repaintNow() {
    repaint();
    m_app.ctx().services.events.processEvents();
}

void FrmSyuuryou::Form_Activate() {
    if (m_evaluated) return;
    m_evaluated = true;
    m_evaluating = true;
    // No way on may be taken while the evaluation and its sounds run.
    const BusyScope evaluating(*this);

    Context& ctx = m_app.ctx();
    Label13->setText(QString::number(runNumberBeforeRebuild(ctx, ctx.state)));
    if (!EvaluateRun(ctx, m_outcome, m_facts)) return;
    const EndScreenFacts& f = m_facts;

    if (f.cleared) {
        Label2->show();
        if (f.goalPanel) Picture1->show();
    }
    repaintNow();
    Timer1->start();

    Label19->setText(qs(f.points));
    Label18->setText(qs(f.runTime));
    Label17->setText(qs(f.studentName));
    Label15->setText(qs(f.title));
    Label16->setText(qs(f.levelName));
    Label13->setText(qs(f.levelRun));
    Label14->setText(qs(f.todayRun));

    if (!f.messageText.empty()) {
        Label20->setText(qs(f.messageText));
        Label20->show();
    }
    if (!f.messageSound.silent()) {
        repaintNow();
        PlaySound(ctx, f.messageSound);
        repaintNow();
    }

    if (f.cleared && f.lastLevel) {
        if (!f.goalSound.silent()) {
            repaintNow();
            PlaySound(ctx, f.goalSound);
            repaintNow();
        }
    } else {
        Picture1->hide();
    }

    Unload(m_app, Screen::BASEFRM);

    m_evaluating = false;
    // The buttons come only once the sounds are over, so that no click can
    // leave the screen while it is still evaluating.
    if (m_timerDue) Timer1_Timer();
}

void FrmSyuuryou::onTimer1() {
    if (m_evaluating) {
        Timer1->stop();
        m_timerDue = true;
        return;
    }
    Timer1_Timer();
}

void FrmSyuuryou::Timer1_Timer() {
    m_timerDue = false;
    Picture1->hide();
    Command4->show();
    Command4->setFocus();
    Timer1->stop();

    const WaysOn& ways = m_facts.ways;
    switch (ways.label2) {
    case WaysOn::Label2::Keep:
        break;
    case WaysOn::Label2::Hide:
        Label2->setText(QString());
        Label2->hide();
        break;
    case WaysOn::Label2::NextLevel:
        Label2->setText(QString::fromUtf8(kNextLevelText));
        break;
    }
    if (ways.retry) Command5->show();
}

void FrmSyuuryou::Command4_Click() {
    leave(false);
}

void FrmSyuuryou::Command5_Click() {
    leave(true);
}

void FrmSyuuryou::leave(bool again) {
    if (busy()) return;
    setLeaving();
    Command4->setEnabled(false);
    Command5->setEnabled(false);
    if (again) {
        Show(m_app, Screen::BASEFRM);
        Unload(m_app, Screen::FrmSyuuryou);
        StartDrill(m_app);
    } else {
        Show(m_app, Screen::seisekitime1);
        Unload(m_app, Screen::FrmSyuuryou);
    }
}

void FrmSyuuryou::Form_Unload() {
    Timer1->stop();
}

void FrmSyuuryou::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* button = qobject_cast<QPushButton*>(focusWidget());
        if (button && button->isVisible() && button->isEnabled()) {
            button->click();
            return;
        }
    }
    TwipsForm::keyPressEvent(event);
}

} // namespace kestrel
