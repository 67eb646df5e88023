#include "drill/ui/MainFrm.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "drill/DrillTexts.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtText.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultsSummary.h"
#include "text/Characters.h"

namespace kestrel {

namespace {

const QColor kTurquoise = rgb(0, 192, 192);
const QColor kLightGreen = rgb(128, 255, 128);
const QColor kBlue = rgb(0, 0, 255);
const QColor kRed = rgb(255, 0, 0);
const QColor kHeaderGreen = rgb(192, 255, 192);
const QColor kTitleGreen = rgb(0, 192, 0);
constexpr double kDigitPoints = 99.75; // one half-width cell is about 1000 twips
constexpr int kStrokePixels = 5;       // at the design size

// The time bar, in twips of the header panel.
constexpr int kBarLeft = 210;
constexpr int kBarTop = 1380;
constexpr int kBarWidth = 15015;
constexpr int kBarHeight = 150;

// The pause between the recorded run and the end screen is counted in
// steps of this many milliseconds of the tick count.
constexpr uint32_t kWaitStepMs = 10;

// Windows' key codes of the keys the drill reacts to on key-down.
constexpr uint16_t kKeyReturn = 13;
constexpr uint16_t kKeyBackspace = 8;
constexpr uint16_t kKeySpace = 32;
// The character X reports for the Delete key: it types nothing.
constexpr uint16_t kDeleteCharacter = 127;

// Windows' virtual key code of a Qt key, for the keys it shares with Qt;
// 0 for the others.
uint16_t windowsKeyCode(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kKeyReturn;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Backspace:
        return kKeyBackspace;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return kKeySpace;
    default:
        break;
    }
    // Digits and letters have the same numbers in both.
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return static_cast<uint16_t>(key);
    return 0;
}

// 1 Shift, 2 Ctrl, 4 Alt.
int shiftState(Qt::KeyboardModifiers m) {
    return (m.testFlag(Qt::ShiftModifier) ? 1 : 0) | (m.testFlag(Qt::ControlModifier) ? 2 : 0) |
           (m.testFlag(Qt::AltModifier) ? 4 : 0);
}

} // namespace

MainFrm::MainFrm(App& app)
    : TwipsForm(15420, 11340), m_app(app),
      m_run(app.ctx(), app.ctx().state, app.ctx().services.random) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Kestrel"));
    setBackColor(kTurquoise);

    setFocusPolicy(Qt::StrongFocus);

    // Created back to front: the header, the answer area, then the number
    // with its carry row, then the strokes over both, and the cover on top.
    buildHeader();
    buildAnswerArea();
    buildProblemArea();
    buildCover();

    sTimer1 = new QTimer(this);
    sTimer1->setObjectName(QStringLiteral("sTimer1"));
    sTimer1->setInterval(1000);
    connect(sTimer1, &QTimer::timeout, this, &MainFrm::sTimer1_Timer);
    sTimer2 = new QTimer(this);
    sTimer2->setObjectName(QStringLiteral("sTimer2"));
    sTimer2->setInterval(10000);
    connect(sTimer2, &QTimer::timeout, this, &MainFrm::sTimer2_Timer);
    sTimer2->start();

    connect(Commandkakunin, &QPushButton::clicked, this, &MainFrm::Commandkakunin_Click);
    relayout();
}

VbLabel* MainFrm::addHeaderLabel(const QString& name, const QRect& twips, double points, bool bold,
                                 const QString& text) {
    auto* label = new VbLabel(sPicture1, name, text);
    place(label, twips.x(), twips.y(), twips.width(), twips.height());
    setTwipsFont(label, kPGothic, points, bold);
    return label;
}

VbLabel* MainFrm::addFigureLabel(const QString& name, const QRect& twips, const QColor& back) {
    VbLabel* label = addHeaderLabel(name, twips, 15.75, true);
    label->setAlignment(VbLabel::Align::Center);
    label->setBorder(true);
    label->setBackColor(back);
    return label;
}

VbShape* MainFrm::addBar(const QString& name, const QColor& fill) {
    auto* bar = new VbShape(sPicture1, name, fill);
    place(bar, kBarLeft, kBarTop, kBarWidth, kBarHeight);
    return bar;
}

void MainFrm::buildHeader() {
    sPicture1 = new VbShape(this, QStringLiteral("sPicture1"), kHeaderGreen);
    place(sPicture1, -15, 0, 15420, 1635);

    sLabel1 = addHeaderLabel(QStringLiteral("sLabel1"), {45, 60, 9930, 600}, 9);
    sLabel1->setBackColor(kTitleGreen);
    sLabel2 = addHeaderLabel(QStringLiteral("sLabel2"), {90, 150, 9795, 420}, 16.8);
    setTwipsFont(sLabel2, kGothic, 16.8, true, true);
    sLabel2->setBackColor(kTitleGreen);
    sLabel2->setForeColor(Qt::white);

    sLabel14 = addFigureLabel(QStringLiteral("sLabel14"), {10290, 135, 1800, 435}, kTitleGreen);
    sLabel7 = addFigureLabel(QStringLiteral("sLabel7"), {12150, 135, 2970, 435}, kTitleGreen);
    sLabel8 = addFigureLabel(QStringLiteral("sLabel8"), {10305, 720, 1785, 435}, kTitleGreen);

    // The second row: figures from 720, their small captions level with
    // the figures' foot.
    const int captionTop = 930;
    const int captionHeight = 225;
    auto caption = [&](const QString& name, int left, int width, const QString& text) {
        return addHeaderLabel(name, {left, captionTop, width, captionHeight}, 8.25, false, text);
    };
    sLabel4 = caption(QStringLiteral("sLabel4"), 12180, 345, QStringLiteral("残り"));
    sLabel9 = addFigureLabel(QStringLiteral("sLabel9"), {12525, 720, 855, 435}, kHeaderGreen);
    sLabel6 = caption(QStringLiteral("sLabel6"), 13380, 330, QStringLiteral("問"));
    sLabel5 = caption(QStringLiteral("sLabel5"), 13710, 540, QStringLiteral("タイム"));
    sLabel10 = addFigureLabel(QStringLiteral("sLabel10"), {14250, 720, 1080, 435}, kHeaderGreen);

    struct Caption {
        int left, width;
        const char16_t* text;
    };
    const Caption captions[] = {{45, 540, u"起動後"},       {1170, 180, u"分"},
                                {1290, 450, u"本日"},       {2400, 345, u"回目"},
                                {2745, 780, u"このレベル"}, {4170, 400, u"回目"}};
    for (size_t i = 0; i < sLabel16.size(); ++i)
        sLabel16[i] = caption(QStringLiteral("sLabel16_%1").arg(i), captions[i].left,
                              captions[i].width, QString::fromUtf16(captions[i].text));
    sLabel13 = addFigureLabel(QStringLiteral("sLabel13"), {585, 720, 585, 435}, kHeaderGreen);
    sLabel12 = addFigureLabel(QStringLiteral("sLabel12"), {1740, 720, 660, 435}, kHeaderGreen);
    sLabel11 = addFigureLabel(QStringLiteral("sLabel11"), {3525, 720, 645, 435}, kHeaderGreen);

    sShape5 = addBar(QStringLiteral("sShape5"), Qt::white);
    sShape4 = addBar(QStringLiteral("sShape4"), rgb(128, 255, 128));
    sShape3 = addBar(QStringLiteral("sShape3"), rgb(0, 255, 0));
    sShape2 = addBar(QStringLiteral("sShape2"), kBlue);
    for (VbShape* bar : {sShape4, sShape3, sShape2})
        resizeTo(bar, 0, kBarHeight);
}

void MainFrm::buildCover() {
    sPicture2 = new VbShape(this, QStringLiteral("sPicture2"), kTurquoise);
    place(sPicture2, 0, 0, 15450, 11340);
    auto message = [&](const QString& name, int left, int top, const QColor& fore,
                       const QString& text) {
        auto* label = new VbLabel(sPicture2, name, text);
        place(label, left, top, 6270, 960);
        setTwipsFont(label, kPGothic, 36);
        label->setAlignment(VbLabel::Align::Center);
        label->setForeColor(fore);
        label->hide();
        return label;
    };
    lblsss1 = message(QStringLiteral("lblsss1"), 4335, 4725, Qt::black,
                      QString::fromUtf8(kRecordingCover));
    lblsss2 = message(QStringLiteral("lblsss2"), 4410, 5175, kRed, QString::fromUtf8(kTimeUpCover));
    sPicture2->hide();
}

VbLabel* MainFrm::addLabel(const QString& name, const QRect& twips, const QString& family,
                           double points, bool bold, const QString& text) {
    auto* label = new VbLabel(this, name, text);
    place(label, twips.x(), twips.y(), twips.width(), twips.height());
    setTwipsFont(label, family, points, bold);
    return label;
}

VbLabel* MainFrm::addDigitLabel(const QString& name, const QRect& twips, const QColor& fore,
                                const QString& text) {
    VbLabel* label = addLabel(name, twips, kGothic, kDigitPoints, false, text);
    label->setAlignment(VbLabel::Align::Right);
    label->setForeColor(fore);
    return label;
}

void MainFrm::buildAnswerArea() {
    Label2 = addDigitLabel(QStringLiteral("Label2"), {2655, 5445, 1215, 1935}, Qt::black,
                           QStringLiteral("="));

    inputLabel = addDigitLabel(QStringLiteral("inputLabel"), {3915, 5490, 7110, 1935}, kBlue);
    inputLabel->setBackColor(kLightGreen);
    inputLabel->setBorder(true);

    Label11 = addDigitLabel(QStringLiteral("Label11"), {2655, 7380, 1215, 1935}, kRed,
                            QStringLiteral("="));
    Label11->hide();

    seitouLabel = addDigitLabel(QStringLiteral("seitouLabel"), {3915, 7425, 7110, 1935}, kRed);
    seitouLabel->setBackColor(rgb(255, 128, 128));
    seitouLabel->setBorder(true);
    seitouLabel->hide();

    Commandkakunin2 = addLabel(QStringLiteral("Commandkakunin2"), {3915, 9360, 7110, 615}, kPGothic,
                               24, true, QString::fromUtf8(kConfirmPrompt));
    Commandkakunin2->setForeColor(kRed);
    Commandkakunin2->hide();

    // Reached by the second "+" only, never by the mouse.
    Commandkakunin = new QPushButton(QStringLiteral("確認"), this);
    Commandkakunin->setObjectName(QStringLiteral("Commandkakunin"));
    Commandkakunin->setFocusPolicy(Qt::NoFocus);
    Commandkakunin->hide();

    Label5 = addLabel(QStringLiteral("Label5"), {4545, 10035, 7000, 450}, kPGothic, 18, false,
                      QStringLiteral("スペースキー＝判定"));
    Label1 = addLabel(QStringLiteral("Label1"), {4545, 10485, 7000, 450}, kPGothic, 18, false,
                      QStringLiteral("矢印キー、リターンキー＝クリア"));
}

void MainFrm::buildProblemArea() {
    Label10 = addLabel(QStringLiteral("Label10"), {2565, 1665, 9645, 555}, kPGothic, 24);
    Label10->setAlignment(VbLabel::Align::Center);
    Label10->setBackColor(rgb(255, 192, 128));

    qLabel1 = addDigitLabel(QStringLiteral("qLabel1"), {2700, 3690, 8325, 1890}, kBlue);
    qLabel1->setBackColor(kLightGreen);

    // Over qLabel1, so that the foot of a carried digit is not cut off where
    // the two overlap.
    Label9 = addDigitLabel(QStringLiteral("Label9"), {2250, 2115, 8775, 1755}, rgb(255, 255, 0));
    Label9->hide();

    for (size_t j = 0; j < Line1.size(); ++j) {
        Line1[j] = new VbLine(this, QStringLiteral("Line1_%1").arg(j), kRed, kStrokePixels);
        Line1[j]->hide();
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &MainFrm::Timer1_Timer);

    Command1 = new QPushButton(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFocusPolicy(Qt::NoFocus);
    Command1->hide();
    connect(Command1, &QPushButton::clicked, this, &MainFrm::Command1_Click);
}

void MainFrm::afterLayout() {
    placeStrokes();
}

void MainFrm::placeStrokes() {
    if (!qLabel1) return;
    // qLabel1 draws its text right-aligned by the text's full advance, so
    // the cell of place j ends j - 1 advances left of its right edge.
    const QFontMetricsF fm(qLabel1->font());
    const QRectF box = QRectF(qLabel1->geometry());
    // The character cell runs from the label's top through ascent and
    // descent; kept within the label so that no stroke reaches the answer.
    const double top = box.top();
    const double bottom = std::min(box.bottom(), box.top() + fm.ascent() + fm.descent());
    const double pen = std::max(1.0, kStrokePixels * scale() * 15.0);
    for (size_t j = 1; j < Line1.size(); ++j) {
        const double right = box.right() - fm.horizontalAdvance(QString(int(j) - 1, u'0'));
        const double left = box.right() - fm.horizontalAdvance(QString(int(j), u'0'));
        Line1[j]->setPenPixels(pen);
        Line1[j]->setEnds(QPointF(right, top), QPointF(left, bottom));
    }
}

void MainFrm::問題作成表示() {
    if (const std::optional<ShownProblem> p = m_run.drawProblem(monotonicNow())) showProblem(*p);
}

void MainFrm::showProblem(const ShownProblem& shown) {
    qLabel1->setText(QString());
    inputLabel->setText(QString());
    Timer1->stop();
    Label11->hide();
    // Line 7 is never crossed by the numbers drawn here, but hiding it too
    // costs nothing.
    for (size_t j = 1; j < Line1.size(); ++j)
        Line1[j]->hide();

    Label9->hide();
    m_problem = shown.problem;
    qLabel1->setText(qs(m_problem.ProblemText));
    Label10->setText(qs(m_problem.instruction));

    setBackColor(kTurquoise);
    Timer1->setInterval(shown.hintDelayMs);
    Timer1->start();
}

double MainFrm::monotonicNow() {
    return m_app.ctx().services.clock.monotonicSeconds();
}

void MainFrm::Command1_Click() {
    const Working w = workingFor(m_problem.ProblemText, m_problem.RoundPlace);
    for (size_t j = 1; j < Line1.size(); ++j)
        if (w.crossed[j]) Line1[j]->show();
    Label9->setText(qs(w.carryRow));
}

void MainFrm::Timer1_Timer() {
    Timer1->stop();
    Command1_Click();
    Label9->show();
    m_run.hintShown();
}

// ---- The run ---------------------------------------------------------------

void MainFrm::Form_Load() {
    Context& ctx = m_app.ctx();
    ctx.services.random.seed(ctx.services.clock.secondsSinceMidnight());
}

void MainFrm::Form_Activate() {
    // Coming back to this screen from a window over it must not start the
    // run afresh.
    if (m_started) return;
    m_started = true;
    setFocus();
    moveTo(sPicture2, 0, 0);
    初期設定();
    レベル別設定();
    スタート();
    showProblem(m_first);
}

void MainFrm::Form_Unload() {
    Timer1->stop();
    sTimer1->stop();
    sTimer2->stop();
}

void MainFrm::setBarWidth(VbShape* bar, double widthTwips) {
    resizeTo(bar, static_cast<int>(std::lround(widthTwips)), kBarHeight);
}

void MainFrm::初期設定() {
    Context& ctx = m_app.ctx();
    Unload(m_app, Screen::seisekitime1);
    Unload(m_app, Screen::BASEFRM);

    const RunStart start =
        m_run.start(monotonicNow(), ctx.services.clock.now(), twipsRect(sShape5).width());
    const RunHeader& h = start.header;
    m_first = start.first;
    m_timed = h.timed;
    if (h.timed) {
        sLabel10->setText(QStringLiteral("0"));
        setBarWidth(sShape2, 0);
        setBarWidth(sShape3, m_run.barWidth(h.targetTime));
        setBarWidth(sShape4, m_run.barWidth(h.minimumTime));
    }
    setTwipsFont(sLabel2, kGothic, h.smallTitle ? 14 : 16.8, true, true);
    sLabel2->setText(qs(h.title));
    sLabel7->setText(qs(h.studentName));
    sLabel8->setText(qs(h.levelName));
    sLabel14->setText(qs(h.schoolName));
    sLabel13->setText(QString::number(h.minutesSinceSignIn));
    sLabel12->setText(qs(h.todayRun));
    sLabel11->setText(qs(h.levelRun));
}

void MainFrm::レベル別設定() {
    sLabel9->setText(QString::number(m_run.remaining()));
}

void MainFrm::スタート() {
    sTimer1->start();
}

void MainFrm::sTimer1_Timer() {
    Context& ctx = m_app.ctx();
    const RunRules::Tick tick = m_run.tick(monotonicNow());
    if (m_timed) sLabel10->setText(QString::number(m_run.elapsedSeconds()));
    // Keys already waiting are handled before the time-out is decided: a
    // last right answer typed in time ends the run with its time.
    ctx.services.events.processEvents();

    // Without a time limit the bar has no scale to grow on.
    if (m_run.hasLimit()) {
        setBarWidth(sShape2, tick == RunRules::Tick::Running
                                 ? m_run.barWidth(m_run.elapsedSeconds())
                                 : m_run.fullScale());
    }
    if (tick == RunRules::Tick::AtLimit && m_run.timeOut()) {
        sTimer1->stop();
        EndRun();
        return;
    }
    ctx.services.events.processEvents();
}

void MainFrm::sTimer2_Timer() {
    Context& ctx = m_app.ctx();
    sLabel13->setText(QString::number(minutesSinceSignIn(ctx.state, ctx.services.clock.now())));
}

void MainFrm::EndRun() {
    Context& ctx = m_app.ctx();
    ctx.services.events.processEvents();
    const RunEnd end = m_run.finish(ctx.services.clock.now());
    if (!end.claimed) return;
    // From here on the screen only waits to be replaced.
    setLeaving();

    sPicture2->show();
    sPicture2->raise();
    lblsss1->setVisible(!end.timeUp);
    lblsss2->setVisible(end.timeUp);
    repaintNow();

    // A practice run, and a run without a clock, have no time to record.
    if (!end.record) {
        Show(m_app, Screen::BASEFRM);
        Unload(m_app, Screen::MainFrm);
        Show(m_app, Screen::seisekitime1);
        ctx.services.events.processEvents();
        return;
    }

    sTimer1->stop();
    const std::optional<RecordFlags> outcome = RecordRun(ctx, *end.record);
    if (!outcome) return;
    m_outcome = *outcome;
    Show(m_app, Screen::BASEFRM);
    ctx.services.events.processEvents();
    WaitThenShowEndScreen(1);
}

void MainFrm::WaitThenShowEndScreen(double seconds) {
    Context& ctx = m_app.ctx();
    Clock& clock = ctx.services.clock;
    uint32_t start = clock.tickMs();
    int64_t steps = 0;
    for (;;) {
        // One step per pass at most; the surplus is kept for the next passes.
        if (static_cast<uint32_t>(clock.tickMs() - start) > kWaitStepMs) {
            ++steps;
            start += kWaitStepMs;
        }
        if (static_cast<double>(steps) * kWaitStepMs / 1000.0 >= seconds) break;
        ctx.services.events.idle(static_cast<int>(kWaitStepMs));
    }
    ShowEndScreen(m_app, m_outcome);
}

// ---- Answer entry and judging --------------------------------------------------

void MainFrm::keyPressEvent(QKeyEvent* event) {
    const uint16_t code = windowsKeyCode(event->key());
    if (code != 0) Form_KeyDown(code, shiftState(event->modifiers()));
    const QString text = event->text();
    uint16_t c = 0;
    if (!text.isEmpty())
        c = text.at(0).unicode();
    else if (event->key() == Qt::Key_Backspace)
        c = kKeyBackspace;
    if (c != 0 && c != kDeleteCharacter) Form_KeyPress(c);
    event->accept();
}

void MainFrm::showEntry() {
    inputLabel->setText(QString::fromStdString(m_run.entry()));
}

void MainFrm::Form_KeyDown(uint16_t keyCode, int /*shift*/) {
    if (m_run.keyDown(keyCode)) showEntry();
}

void MainFrm::Form_KeyPress(uint16_t keyAscii) {
    switch (m_run.keyPress(keyAscii)) {
    case RunRules::Key::Judge:
        判定();
        判定後処理();
        m_run.judgingDone();
        break;
    case RunRules::Key::EntryChanged:
        showEntry();
        break;
    case RunRules::Key::Refused:
        PlayWarningCue(m_app.ctx());
        break;
    case RunRules::Key::Confirm:
        Commandkakunin_Click();
        break;
    case RunRules::Key::Waiting:
    case RunRules::Key::Ignored:
        break;
    }
}

void MainFrm::判定() {
    m_answered = m_run.judge(monotonicNow());
}

void MainFrm::repaintNow() {
    repaint();
    m_app.ctx().services.events.processEvents();
}

void MainFrm::判定後処理() {
    Context& ctx = m_app.ctx();
    const Judgement verdict = m_answered.verdict;
    m_answered.verdict = Judgement::None;
    if (verdict == Judgement::Wrong) {
        seitouLabel->setText(qs(m_answered.correctAnswer));
        seitouLabel->show();
        Label11->show();
    }
    if (verdict != Judgement::None) {
        // The worked hint stays on screen while the cue plays.
        Timer1->stop();
        Command1_Click();
        Label9->show();
        repaintNow();
        if (verdict == Judgement::Right)
            PlayRightCue(ctx);
        else
            PlayWrongCue(ctx);
    }

    const AfterAnswer next = m_run.proceed(monotonicNow());
    switch (next.kind) {
    case AfterAnswer::Kind::Next:
        sLabel9->setText(QString::number(next.remaining));
        showProblem(*next.next);
        break;
    case AfterAnswer::Kind::Ended:
        sLabel9->setText(QString::number(next.remaining));
        sTimer1->stop();
        EndRun();
        break;
    case AfterAnswer::Kind::Confirm:
        Commandkakunin2->show();
        break;
    case AfterAnswer::Kind::None:
        break;
    }
}

void MainFrm::Commandkakunin_Click() {
    Commandkakunin2->hide();
    const std::optional<ShownProblem> next = m_run.confirm(monotonicNow());
    inputLabel->setText(QString());
    seitouLabel->hide();
    Label11->hide();
    if (next) showProblem(*next);
}

} // namespace kestrel
