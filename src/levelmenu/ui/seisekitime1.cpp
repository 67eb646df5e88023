#include "levelmenu/ui/seisekitime1.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <algorithm>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "levelmenu/LevelMenu.h"
#include "levelmenu/Ranking.h"
#include "levelmenu/ResultsViews.h"
#include "levelmenu/ui/seisekitime1Columns.h"
#include "levelmenu/ui/seisekitime1GraphPanel.h"
#include "levelmenu/ui/seisekitime1MaintenancePanel.h"
#include "levelmenu/ui/seisekitime1WaitPanel.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtText.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultsSummary.h"
#include "roster/Grades.h"
#include "school/LevelMenuView.h"
#include "startup/Calendar.h"
#include "startup/ProgramDefinition.h"
#include "text/Characters.h"

namespace kestrel {
namespace {

constexpr int kDesignWidth = 15360;
constexpr int kDesignHeight = 11520;

// The list heading; the columns start just below it.
constexpr int kHeadingTop = 1500;
constexpr int kHeadingHeight = 420;
constexpr int kColumnsTop = kHeadingTop + kHeadingHeight * 105 / 100;
constexpr int kScrollTop = 11070;
constexpr int kScrollHeight = 330;

} // namespace

seisekitime1::seisekitime1(App& app)
    : TwipsForm(kDesignWidth, kDesignHeight),
      m_levels(new LevelColumns(
          *this, kColumnsTop, kScrollTop - kColumnsTop,
          {[this](int i) { Command4_Click(i); }, [this](int i) { Label3_Click(i); }})),
      Label1(m_levels->Label1), Label3(m_levels->Label3), Text1(m_levels->Text1),
      Label9(m_levels->Label9), Label10(m_levels->Label10), Label14(m_levels->Label14),
      Label15(m_levels->Label15), Label8(m_levels->Label8), Label7(m_levels->Label7),
      Command4(m_levels->Command4), List5(m_levels->List5), m_app(app) {
    setObjectName(QStringLiteral("seisekitime1"));
    setWindowTitle(QStringLiteral("Kestrel"));
    buildHeader();
    buildOptions();
    // Stacked above the header, as it lies below it.
    m_levels->raise();
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    place(HScroll1, 240, kScrollTop, kDesignWidth - 480, kScrollHeight);
    HScroll1->hide();
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    qApp->installEventFilter(this);
}

QPushButton* seisekitime1::button(const char* name, const char* text, QRect twips, double points,
                                  bool bold) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setObjectName(QLatin1String(name));
    place(b, twips.x(), twips.y(), twips.width(), twips.height());
    setTwipsFont(b, kPGothic, points, bold);
    return b;
}

void seisekitime1::buildHeader() {
    auto label = [this](const char* name, QRect r, double points, bool bold) {
        auto* l = new VbLabel(this, QLatin1String(name));
        place(l, r.x(), r.y(), r.width(), r.height());
        setTwipsFont(l, kPGothic, points, bold);
        return l;
    };
    Label11 = label("Label11", {240, 90, 7200, 620}, 24, true);
    Label11->setForeColor(rgb(0, 0, 128));
    Label12 = label("Label12", {7560, 90, 4300, 480}, 18, true);
    Label13 = label("Label13", {7560, 600, 4300, 330}, 11, false);
    Label17 = label("Label17", {11950, 120, 1800, 330}, 11, false);
    Label18 = label("Label18", {11950, 480, 1800, 330}, 11, false);
    Label5 = label("Label5", {240, kHeadingTop, 9000, kHeadingHeight}, 14, true);
    Label5->setText(QStringLiteral("ベスト成績"));

    Command1 = button("Command1", "戻る(0)", {13850, 90, 1300, 660}, 14, true);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    Command8 = button("Command8", "データ処理", {13850, 820, 1300, 420}, 10, false);
    Command8->hide();
    connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
}

void seisekitime1::buildOptions() {
    static const char* const modes[] = {"ﾀｲﾑ表示", "ﾎﾟｲﾝﾄ表示", "個人ﾀｲﾑ"};
    auto* modePanel = new QWidget(this);
    modePanel->setObjectName(QStringLiteral("Frame2"));
    place(modePanel, 240, 960, 4440, 460);
    for (int m = 0; m < 3; ++m) {
        auto* b = new QRadioButton(QString::fromUtf8(modes[m]), modePanel);
        b->setObjectName(QStringLiteral("Option2_%1").arg(m));
        place(b, 60 + m * 1460, 40, 1440, 380);
        setTwipsFont(b, kPGothic, 11);
        connect(b, &QRadioButton::clicked, this, [this, m] { Option2_Click(m); });
        Option2[static_cast<size_t>(m)] = b;
    }

    static const char* const kinds[] = {"BEST表示", "本日のみ", "オール表示"};
    Frame1 = new QWidget(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, 4800, 960, 4260, 460);
    for (int k = 1; k <= 3; ++k) {
        auto* b = new QRadioButton(QString::fromUtf8(kinds[k - 1]), Frame1);
        b->setObjectName(QStringLiteral("Option1_%1").arg(k));
        place(b, 60 + (k - 1) * 1400, 40, 1380, 380);
        setTwipsFont(b, kPGothic, 11);
        connect(b, &QRadioButton::clicked, this, [this, k] { Option1_Click(k); });
        Option1[static_cast<size_t>(k)] = b;
    }

    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    // The twelve groups to choose from; a group typed on the name screen
    // shows as the box's text.
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setToolTip(QStringLiteral("表示する学年を選びます"));
    place(Combo1, 9180, 1000, 1700, 380);
    setTwipsFont(Combo1, kPGothic, 11);
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });

    Combo2 = new QComboBox(this);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    place(Combo2, 11000, 1000, 2700, 380);
    setTwipsFont(Combo2, kPGothic, 11);
    Combo2->hide();
    connect(Combo2, &QComboBox::activated, this, [this] { Combo2_Click(); });
}

void seisekitime1::buildPanels() {
    Clock& clock = m_app.ctx().services.clock;
    Picture6 = new WaitPanel(*this, clock, {"Picture6", "Label30", "ProgressBar2"},
                             QStringLiteral("Just a momento, please."),
                             {0, kHeadingTop, kDesignWidth, kScrollTop - kHeadingTop}, 3200);
    ProgressBar2 = Picture6->bar();
    Picture6->hide();

    Picture7 = new MaintenancePanel(*this, m_app);
    Label28 = Picture7->Label28;
    Text3 = Picture7->Text3;
    Command10 = Picture7->Command10;
    Command12 = Picture7->Command12;

    Picture2 = new WaitPanel(*this, clock, {"Picture2", "Label19", "ProgressBar1"},
                             QStringLiteral("Just a moment, please."),
                             {0, 0, kDesignWidth, kDesignHeight}, 4800);
    ProgressBar1 = Picture2->bar();
}

void seisekitime1::Form_Load() {
    Context& ctx = m_app.ctx();
    setBackColor(fromColourValue(ctx.state.SeasonColour));
    ctx.state.AllPeriod = kAllPeriodMonth;

    m_levelCount = std::clamp<int>(ctx.program.LevelCount, 0, kMaxLevel);
    const ColumnLayout layout = columnLayout(m_levelCount);
    if (layout.scrollBar) {
        const QSignalBlocker quiet(HScroll1);
        HScroll1->setRange(1, std::max(1, layout.scrollMax));
        HScroll1->setPageStep(1);
        HScroll1->show();
    }

    for (const char* item : kGradeFilterItems)
        Combo1->addItem(QString::fromUtf8(item));
    const QString filter = qs(ctx.roster.GradeFilter);
    Combo1->setCurrentIndex(Combo1->findText(filter));
    Combo1->setEditText(filter);
    for (const char* item : kPeriodItems)
        Combo2->addItem(QString::fromUtf8(item));
    Combo2->setCurrentIndex(kAllPeriodMonth - 1);

    m_levels->build(levelColumns(ctx, ctx.state.CurrentStudentNumber));

    buildGraphPanel();
    buildPanels();
    Picture2->setBackColor(fromColourValue(ctx.state.SeasonColour));
    Picture6->setBackColor(fromColourValue(ctx.state.SeasonColour));
    Picture2->raise();
}

void seisekitime1::pump() {
    m_app.ctx().services.events.processEvents();
}

void seisekitime1::showCover() {
    place(Picture2, 0, 0, kDesignWidth, kDesignHeight);
    Picture2->raise();
    Picture2->show();
}

void seisekitime1::showWaitPanel() {
    Picture6->raise();
    Picture6->show();
    // The cover stays in front of the wait panel while it is up.
    if (!Picture2->isHidden()) Picture2->raise();
}

void seisekitime1::Form_Activate() {
    // Keys and clicks meanwhile are ignored: the refresh may wait for the
    // shared folder, and the cover panel is up all the while.
    const BusyScope refreshing(*this);
    Context& ctx = m_app.ctx();
    SharedState& st = ctx.state;
    Command8->setVisible(isTeacherName(st.CurrentStudentName));
    Picture11->setTeacher(isTeacherName(st.CurrentStudentName));
    Label17->setText(qs(minutesSinceSignInText(minutesSinceSignIn(st, ctx.services.clock.now()))));

    m_menuReady = 0;
    showCover();
    Option1[1]->setText(QStringLiteral("累計順"));
    Option1[2]->setText(QStringLiteral("本日順"));

    Unload(m_app, Screen::namesel);
    if (!BuildSummary(ctx)) return;

    const MenuHeader header = menuHeader(ctx, st, ctx.services.clock.now());
    Label18->setText(qs(header.todayTotal));

    Picture2->start(std::max(1, m_levelCount));
    ProgressBar1->show();

    m_displayMode = 2;
    st.ListChoice = 1;
    m_inActivation = 1;
    // Selecting the option runs its list, whether or not it was selected before.
    Option1[static_cast<size_t>(st.ListChoice)]->setChecked(true);
    listKind(st.ListChoice);
    displayMode(1);
    Option2[1]->setChecked(true);
    Command1->setEnabled(true);
    m_inActivation = 0;

    m_levels->setListsVisible(true);
    Picture6->hide();
    Label12->setText(qs(header.student));
    Label13->setText(qs(header.school));
    setTwipsFont(Label11, kPGothic, header.smallTitle ? 20 : 24, true);
    Label11->setText(qs(header.title));

    st.ScrollPosition = effectiveScrollPosition(st.ScrollPosition, columnLayout(m_levelCount));
    HScroll1->blockSignals(true);
    HScroll1->setValue(st.ScrollPosition);
    HScroll1->blockSignals(false);
    m_levels->placeFor(st.ScrollPosition);
    m_levels->showFigures(levelColumns(ctx, st.CurrentStudentNumber));

    m_levels->setStartButtonsEnabled(false);
    Command9_Click();

    Picture2->hide();
    ProgressBar1->hide();
    m_menuReady = 1;
}

void seisekitime1::Command9_Click() {
    Context& ctx = m_app.ctx();
    m_levels->showAvailability(refreshAvailability(ctx, ctx.state));
    Picture6->lower();
}

void seisekitime1::回数など表示() {
    m_levels->resetLists();
}

void seisekitime1::成績リスト色表示() {
    m_levels->colourLists(m_displayMode == 1, m_app.ctx().criteria);
}

void seisekitime1::成績リスト色表示単独(int level) {
    m_levels->clearSelection(level);
}

void seisekitime1::Command3_Click(int level) {
    if (level < 1 || level > m_levelCount) return;
    const Context& ctx = m_app.ctx();
    m_levels->resetHeaders(level);
    if (m_displayMode == 0) m_displayMode = 1;
    ColumnList ranking =
        rankingList(ctx, level, rankingBasis(m_displayMode, m_rankingKind),
                    Combo1->currentText().toStdString(), ctx.state.CurrentStudentNumber);
    List5[static_cast<size_t>(level)]->Clear();
    pump();
    m_levels->showList(level, std::move(ranking));
    成績リスト色表示単独(level);
}

void seisekitime1::Command6_Click() {
    Context& ctx = m_app.ctx();
    Label5->setText(QStringLiteral("ベスト成績"));
    ctx.state.ListChoice = 1;
    回数など表示();
    Picture6->start(std::max(1, m_levelCount));
    for (int i = 1; i <= m_levelCount; ++i) {
        Picture6->step(i);
        Command3_Click(i);
        List5[static_cast<size_t>(i)]->setListIndex(-1);
    }
    Picture6->settle();
    Frame1->setEnabled(true);
}

void seisekitime1::pointsRankings(int kind) {
    if (kind != 1 && kind != 2) return;
    m_rankingKind = static_cast<int16_t>(kind);
    Label5->setText(qs(pointsRankingHeading(kind)));
    // The cumulative ranking, the one the activation shows, moves the cover's bar too.
    const int levels = std::max(1, m_levelCount);
    if (kind == 1) Picture2->start(levels);
    Picture6->start(levels);
    for (int level = 1; level <= m_levelCount; ++level) {
        if (kind == 1) Picture2->step(level);
        Picture6->step(level);
        Command3_Click(level);
    }
    Picture2->settle();
    Picture6->settle();
}

ViewScan seisekitime1::viewScan(ViewKind kind, int days) {
    Context& ctx = m_app.ctx();
    const double today = static_cast<double>(dayNumber(ctx.services.clock.today()));
    ViewScan scan({kind, m_levelCount, today, days, Combo1->currentText().toStdString(),
                   ctx.state.CurrentStudentNumber},
                  ctx.roster, ctx.criteria);
    Picture6->follow(scan);
    return scan;
}

void seisekitime1::Command5_Click() {
    Context& ctx = m_app.ctx();
    Label5->setText(QStringLiteral("本日の成績"));
    ctx.state.ListChoice = 2;
    回数など表示();
    ViewScan scan = viewScan(ViewKind::Today, 1);
    if (!ReadRecentResults(ctx, scan, kTodayViewRecords)) return;
    m_levels->fillLists(scan.takeLines());
    成績リスト色表示();
    Frame1->setEnabled(true);
}

void seisekitime1::Command7_Click() {
    Context& ctx = m_app.ctx();
    ctx.state.ListChoice = 3;
    回数など表示();
    const int days = periodDays(ctx.state.AllPeriod, ctx.services.clock.today());
    Label5->setText(QString());
    ViewScan scan = viewScan(m_displayMode == 1 ? ViewKind::AllTimes : ViewKind::AllPoints, days);
    if (!ReadRecentResults(ctx, scan, kAllRunsViewRecords)) return;
    m_levels->fillLists(scan.takeLines());
    成績リスト色表示();
    Frame1->setEnabled(true);
    Combo2->show();
}

void seisekitime1::Command16_Click() {
    Context& ctx = m_app.ctx();
    // The graph panel's lists: the school's students and the levels.
    Picture11->fillLists(m_levelCount);

    ctx.state.ListChoice = 3;
    回数など表示();
    Label5->setText(QStringLiteral("個人別ﾀｲﾑ"));
    ViewScan scan = viewScan(ViewKind::Personal, kPersonalPeriodDays);
    if (!ReadRecentResults(ctx, scan, kAllRunsViewRecords)) return;
    m_levels->fillLists(scan.takeLines());
    Picture6->hide();
    Command9_Click();
    m_levels->setListsVisible(true);
    Command1->setEnabled(true);
}

void seisekitime1::Option2_Click(int index) {
    if (busy()) return;
    const BusyScope rebuilding(*this);
    displayMode(index);
}

void seisekitime1::Option1_Click(int index) {
    if (busy()) return;
    const BusyScope rebuilding(*this);
    listKind(index);
}

void seisekitime1::displayMode(int index) {
    Command17->hide();
    Picture11->hide();
    Command1->setEnabled(false);
    m_levels->setStartButtonsEnabled(false);
    m_levels->setListsVisible(false);
    showWaitPanel();
    pump();
    if (m_inActivation == 1) return;

    if (index == 0) {
        Option1[1]->setText(QStringLiteral("BEST表示"));
        Option1[2]->setText(QStringLiteral("本日のみ"));
        Option1[3]->setEnabled(true);
        m_displayMode = 1;
        for (int k = 1; k <= 3; ++k)
            if (Option1[static_cast<size_t>(k)]->isChecked()) {
                listKind(k);
                break;
            }
    } else if (index == 1) {
        Combo2->hide();
        Option1[1]->setText(QStringLiteral("合計累計"));
        Option1[2]->setText(QStringLiteral("合計本日"));
        Option1[3]->setText(QStringLiteral("すべて"));
        Option1[3]->setEnabled(true);
        m_displayMode = 2;
        pump();
        if (Option1[1]->isChecked()) {
            m_rankingKind = 1;
            listKind(1);
        } else if (Option1[3]->isChecked()) {
            listKind(3);
        } else if (Option1[2]->isChecked()) {
            m_rankingKind = 2;
            listKind(2);
        }
    } else if (index == 2) {
        Command17->show();
        Combo2->hide();
        Command16_Click();
    }
}

void seisekitime1::listKind(int index) {
    Command1->setEnabled(false);
    m_levels->setStartButtonsEnabled(false);
    m_levels->setListsVisible(false);
    showWaitPanel();
    Combo2->hide();
    Frame1->setEnabled(false);
    pump();

    if (m_displayMode == 0) m_displayMode = 1;
    if (m_displayMode == 1) {
        if (index == 1)
            Command6_Click();
        else if (index == 2)
            Command5_Click();
        else if (index == 3)
            Command7_Click();
    } else if (m_displayMode == 2) {
        if (m_rankingKind == 0) m_rankingKind = 1;
        if (index == 1 || index == 2)
            pointsRankings(index);
        else if (index == 3)
            Command7_Click();
        Frame1->setEnabled(true);
    }

    Command1->setEnabled(true);
    Command9_Click();
    m_levels->setListsVisible(true);
    Picture6->hide();
}

void seisekitime1::Combo1_Click() {
    if (busy()) return;
    const BusyScope rebuilding(*this);
    const int mode = Option2[0]->isChecked() ? 0 : 1;
    // The points view replaces the student's own times too; its option shows it.
    Option2[static_cast<size_t>(mode)]->setChecked(true);
    displayMode(mode);
    if (m_levelCount >= 1) Command4[1]->setFocus();
}

void seisekitime1::Combo2_Click() {
    if (busy() || !Option1[3]->isChecked()) return;
    const BusyScope rebuilding(*this);
    m_app.ctx().state.AllPeriod = static_cast<int16_t>(Combo2->currentIndex() + 1);
    listKind(3);
}

void seisekitime1::HScroll1_Change() {
    if (busy()) return;
    int16_t position = static_cast<int16_t>(HScroll1->value());
    if (position > m_levelCount) position = 1;
    m_app.ctx().state.ScrollPosition = position;
    m_levels->placeFor(position);
}

bool seisekitime1::startAllowed(int level) const {
    if (level < 1 || level > m_levelCount) return false;
    return Picture7->isHidden() && Command4[static_cast<size_t>(level)]->isEnabled();
}

void seisekitime1::Command4_Click(int level) {
    if (busy() || !startAllowed(level)) return;
    // The menu only waits to be unloaded by the drill from here on: a key
    // typed twice, or a click during the repaint, starts nothing more.
    setLeaving();
    showCover();
    m_app.ctx().state.CurrentLevel = static_cast<int16_t>(level);
    m_menuReady = 0;
    pump();
    StartDrill(m_app);
}

void seisekitime1::Label3_Click(int level) {
    if (busy() || !startAllowed(level)) return;
    setLeaving();
    m_app.ctx().state.CurrentLevel = static_cast<int16_t>(level);
    StartDrill(m_app);
    Unload(m_app, Screen::seisekitime1);
}

void seisekitime1::Command1_Click() {
    if (busy()) return;
    setLeaving();
    showCover();
    Show(m_app, Screen::namesel);
}

void seisekitime1::Command8_Click() {
    if (busy()) return;
    Picture7->open();
}

void seisekitime1::Form_KeyPress(const QString& text) {
    if (busy() || m_menuReady == 0 || !Picture7->isHidden()) return;
    const MenuKey key = menuKey(text.toStdU32String(), m_levelCount);
    if (key.action == MenuKey::Action::StartLevel)
        Command4_Click(key.level);
    else if (key.action == MenuKey::Action::Back && Command1->isEnabled())
        Command1_Click();
}

void seisekitime1::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty()) Form_KeyPress(event->text());
    TwipsForm::keyPressEvent(event);
}

bool seisekitime1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w == this || w->window() != this) return false;
    // The maintenance panel's password box takes every key.
    if (Picture7->isAncestorOf(w)) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) return false;
    if (menuKey(key->text().toStdU32String(), m_levelCount).action == MenuKey::Action::None)
        return false;
    Form_KeyPress(key->text());
    return true;
}

void seisekitime1::buildGraphPanel() {
    Command17 = button("Command17", "グラフ", {11000, 980, 1300, 420}, 11, true);
    Command17->hide();
    connect(Command17, &QPushButton::clicked, this, [this] { Command17_Click(); });

    GraphPanel::Menu menu;
    menu.gradeGroup = [this] { return Combo1->currentText(); };
    // Today's points only while today's list is chosen, not a kind left from an earlier view.
    menu.rankingKind = [this] { return Option1[2]->isChecked() ? m_rankingKind : int16_t{1}; };
    menu.showWaitPanel = [this](bool show) { show ? showWaitPanel() : Picture6->hide(); };
    Picture11 = new GraphPanel(*this, m_app, std::move(menu));
}

void seisekitime1::Command17_Click() {
    if (busy()) return;
    Picture11->open();
}

} // namespace kestrel
