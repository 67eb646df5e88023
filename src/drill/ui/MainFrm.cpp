#include "drill/ui/MainFrm.h"

#include <QFontMetricsF>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "platform/ui/Fonts.h"
#include "platform/ui/VbWidgets.h"
#include "startup/ui/App.h"

namespace kestrel {

namespace {

const QColor kTurquoise = rgb(0, 192, 192);
const QColor kLightGreen = rgb(128, 255, 128);
const QColor kBlue = rgb(0, 0, 255);
const QColor kRed = rgb(255, 0, 0);
constexpr double kDigitPoints = 99.75; // one half-width cell is about 1000 twips
constexpr int kStrokePixels = 5;       // at the design size

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

MainFrm::MainFrm(App& app) : TwipsForm(15420, 11340), m_app(app) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Kestrel"));
    setBackColor(kTurquoise);

    // Created back to front: the answer area, then the number with its carry
    // row, then the strokes over both.
    buildAnswerArea();
    buildProblemArea();
    relayout();
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
                               24, true, QStringLiteral("\"+\"を２回押しなさい"));
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
    SharedState& s = m_app.ctx().state;
    if (s.TimeUp == 1 || s.RunFinished == 1 || s.JudgeBusy == 1) return;

    qLabel1->setText(QString());
    inputLabel->setText(QString());
    Timer1->stop();
    Label11->hide();

    Random& random = m_app.ctx().services.random;
    const int type = problemTypeForLevel(s.CurrentLevel, random);
    // Line 7 is never crossed by the numbers drawn here, but hiding it too
    // costs nothing.
    for (size_t j = 1; j < Line1.size(); ++j)
        Line1[j]->hide();

    Label9->hide();
    m_problem = drawProblem(type, random);
    qLabel1->setText(qs(m_problem.ProblemText));
    Label10->setText(qs(m_problem.instruction));

    setBackColor(kTurquoise);
    Timer1->setInterval(hintDelayMs(s.RightCount, s.ProblemsPerRun));
    Timer1->start();
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
}

} // namespace kestrel
