#include "levelmenu/ui/seisekitime1.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include <QLineEdit>

#include "context/Procedures.h"
#include "levelmenu/Graph.h"
#include "levelmenu/LevelMenu.h"
#include "levelmenu/Ranking.h"
#include "levelmenu/ResultsViews.h"
#include "platform/ui/DrawingArea.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultsSummary.h"
#include "startup/Calendar.h"
#include "startup/ui/App.h"
#include "startup/ui/Navigation.h"
#include "text/Characters.h"
#include "text/SortedLines.h"

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

// Rows of a column, relative to the top of the columns.
constexpr int kNameTop = 0, kNameHeight = 480;
constexpr int kStartTop = 520, kStartHeight = 560;
constexpr int kHeaderTop = 1120, kHeaderHeight = 300;
constexpr int kFiguresTop = 1440, kFiguresHeight = 300;
constexpr int kPassTop = 1760, kPassHeight = 300;
constexpr int kListTop = 2100, kListHeight = 6560;
constexpr int kTargetTop = 8700, kTargetHeight = 320;

const QString kStartTip = QStringLiteral("クリックしてスタートします。番号を押してもよろしい");
const QString kOverPractice = QStringLiteral("やりすぎ禁止");
const QString kToday = QStringLiteral("今日");
const QString kSoFar = QStringLiteral("今まで");

const char* const kGradeItems[] = {"全学年", "中学生全体", "小学生全体", "中３", "中２", "中１",
                                   "小６",   "小５",       "小４",       "小３", "小２", "小１"};
const char* const kPeriodItems[] = {"　　　今週の全成績", "　　先週からの全成績",
                                    "　　１ヶ月間の全成績", "　　１年間の全成績",
                                    "　　今までの全成績\""};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString elementName(const char* name, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

} // namespace

seisekitime1::seisekitime1(App& app) : TwipsForm(kDesignWidth, kDesignHeight), m_app(app) {
    setObjectName(QStringLiteral("seisekitime1"));
    setWindowTitle(QStringLiteral("Kestrel"));
    buildHeader();
    buildOptions();
    m_columns = new QWidget(this);
    m_columns->setObjectName(QStringLiteral("ColumnArea"));
    place(m_columns, 0, kColumnsTop, kDesignWidth, kScrollTop - kColumnsTop);
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    place(HScroll1, 240, kScrollTop, kDesignWidth - 480, kScrollHeight);
    HScroll1->hide();
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    qApp->installEventFilter(this);
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

    Command1 = new QPushButton(QStringLiteral("戻る(0)"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    place(Command1, 13850, 90, 1300, 660);
    setTwipsFont(Command1, kPGothic, 14, true);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    Command8 = new QPushButton(QStringLiteral("データ処理"), this);
    Command8->setObjectName(QStringLiteral("Command8"));
    place(Command8, 13850, 820, 1300, 420);
    setTwipsFont(Command8, kPGothic, 10);
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
        b->setObjectName(elementName("Option2", m));
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
        b->setObjectName(elementName("Option1", k));
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
    auto panelLabel = [this](QWidget* panel, const char* name, const char* text, QRect r) {
        auto* l = new VbLabel(panel, QLatin1String(name), QString::fromUtf8(text));
        l->setAlignment(VbLabel::Align::Center);
        place(l, r.x(), r.y(), r.width(), r.height());
        setTwipsFont(l, kPGothic, 24, true);
    };
    auto bar = [this](QWidget* panel, const char* name, QRect r) {
        auto* b = new QProgressBar(panel);
        b->setObjectName(QLatin1String(name));
        b->setTextVisible(false);
        b->setRange(0, 1);
        b->setValue(0);
        place(b, r.x(), r.y(), r.width(), r.height());
        return b;
    };

    Picture6 = panel(this, QStringLiteral("Picture6"), 0, kHeadingTop, kDesignWidth,
                     kScrollTop - kHeadingTop);
    panelLabel(Picture6, "Label30", "Just a momento, please.", {2400, 3200, 10560, 700});
    ProgressBar2 = bar(Picture6, "ProgressBar2", {3000, 4200, 9360, 360});
    Picture6->hide();

    Picture7 = panel(this, QStringLiteral("Picture7"), 4080, 2880, 7200, 4320);
    Picture7->hide();
    buildMaintenancePanel();

    Picture2 = panel(this, QStringLiteral("Picture2"), 0, 0, kDesignWidth, kDesignHeight);
    panelLabel(Picture2, "Label19", "Just a moment, please.", {2400, 4800, 10560, 700});
    ProgressBar1 = bar(Picture2, "ProgressBar1", {3000, 5800, 9360, 360});
}

void seisekitime1::buildColumn(int i) {
    auto label = [this, i](std::vector<VbLabel*>& array, const char* name, double points,
                           bool bold) {
        auto* l = new VbLabel(m_columns, elementName(name, i));
        setTwipsFont(l, kPGothic, points, bold);
        array[static_cast<size_t>(i)] = l;
        return l;
    };
    label(Label1, "Label1", 18, true)->setAlignment(VbLabel::Align::Center);
    VbLabel* name = label(Label3, "Label3", 14, true);
    connect(name, &VbLabel::clicked, this, [this, i] { Label3_Click(i); });

    auto* start = new QPushButton(m_columns);
    start->setObjectName(elementName("Command4", i));
    start->setToolTip(kStartTip);
    setTwipsFont(start, kPGothic, 13, true);
    connect(start, &QPushButton::clicked, this, [this, i] { Command4_Click(i); });
    Command4[static_cast<size_t>(i)] = start;

    VbLabel* notice = label(Text1, "Text1", 12, true);
    notice->setAlignment(VbLabel::Align::Center);
    notice->setForeColor(rgb(255, 0, 0));
    notice->setBackColor(rgb(255, 255, 255));
    notice->setBorder(true);
    notice->setText(kOverPractice);
    notice->hide();

    label(Label9, "Label9", 10, false)->setAlignment(VbLabel::Align::Center);
    label(Label10, "Label10", 10, false)->setAlignment(VbLabel::Align::Center);
    label(Label14, "Label14", 10, true)->setAlignment(VbLabel::Align::Center);
    label(Label15, "Label15", 10, true)->setAlignment(VbLabel::Align::Center);
    label(Label8, "Label8", 9, false)->setBackColor(fromColourValue(kLabelGrey));

    auto* list = new VbListBox(m_columns, elementName("List5", i), VbListBox::Order::Ranking);
    list->setTwipsFont(*this, kGothic, 11);
    list->setBackColor(fromColourValue(kListYellow));
    List5[static_cast<size_t>(i)] = list;

    label(Label7, "Label7", 9, false)->setBackColor(fromColourValue(kLabelGrey));
}

void seisekitime1::placeColumns(int scrollPosition) {
    const int w = m_columnWidth;
    const int half = w / 2;
    const int numberWidth = w / 5;
    const int scroll = scrollPosition > 0 ? scrollPosition : 1;
    for (int i = 0; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        // The template stays at the left margin.
        const int x = i == 0 ? columnMargin(kDesignWidth) : columnLeft(i, scroll, w, kDesignWidth);
        place(Label1[k], x, kNameTop, numberWidth, kNameHeight);
        place(Label3[k], x + numberWidth, kNameTop, w - numberWidth, kNameHeight);
        place(Command4[k], x, kStartTop, w, kStartHeight);
        // The notice stands in front of the button's middle.
        place(Text1[k], x + w / 8, kStartTop + 100, w * 3 / 4, kStartHeight - 200);
        place(Label9[k], x, kHeaderTop, half, kHeaderHeight);
        place(Label10[k], x + half, kHeaderTop, half, kHeaderHeight);
        place(Label14[k], x, kFiguresTop, half, kFiguresHeight);
        place(Label15[k], x + half, kFiguresTop, half, kFiguresHeight);
        place(Label8[k], x, kPassTop, w, kPassHeight);
        place(List5[k], x, kListTop, w, kListHeight);
        place(Label7[k], x, kTargetTop, w, kTargetHeight);
    }
}

void seisekitime1::Form_Load() {
    Context& ctx = m_app.ctx();
    setBackColor(fromColourValue(ctx.state.SeasonColour));
    ctx.state.AllPeriod = kAllPeriodMonth;

    m_levelCount = std::clamp<int>(ctx.program.LevelCount, 0, kMaxLevel);
    const ColumnLayout layout = columnLayout(m_levelCount);
    m_columnWidth = layout.width;
    if (layout.scrollBar) {
        HScroll1->blockSignals(true);
        HScroll1->setRange(1, std::max(1, layout.scrollMax));
        HScroll1->setPageStep(1);
        HScroll1->blockSignals(false);
        HScroll1->show();
    }

    for (const char* item : kGradeItems)
        Combo1->addItem(QString::fromUtf8(item));
    const QString filter = qs(ctx.roster.GradeFilter);
    Combo1->setCurrentIndex(Combo1->findText(filter));
    Combo1->setEditText(filter);
    for (const char* item : kPeriodItems)
        Combo2->addItem(QString::fromUtf8(item));
    Combo2->setCurrentIndex(kAllPeriodMonth - 1);

    const size_t n = static_cast<size_t>(m_levelCount) + 1;
    for (auto* array :
         {&Label1, &Label3, &Text1, &Label9, &Label10, &Label14, &Label15, &Label8, &Label7})
        array->assign(n, nullptr);
    Command4.assign(n, nullptr);
    List5.assign(n, nullptr);
    for (int i = 0; i <= m_levelCount; ++i)
        buildColumn(i);

    // At load the first level stands in the leftmost column.
    placeColumns(1);

    for (QWidget* w : {static_cast<QWidget*>(Label1[0]), static_cast<QWidget*>(Label3[0]),
                       static_cast<QWidget*>(Command4[0]), static_cast<QWidget*>(Text1[0]),
                       static_cast<QWidget*>(Label9[0]), static_cast<QWidget*>(Label10[0]),
                       static_cast<QWidget*>(Label14[0]), static_cast<QWidget*>(Label15[0]),
                       static_cast<QWidget*>(Label8[0]), static_cast<QWidget*>(List5[0]),
                       static_cast<QWidget*>(Label7[0])})
        w->hide();

    const int student = ctx.state.CurrentStudentNumber;
    for (int i = 1; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        Label1[k]->setText(QString::number(i));
        const QString name = qs(ctx.program.LevelNames[k]);
        Label3[k]->setText(name);
        Label3[k]->setToolTip(name);
        Command4[k]->setText(QStringLiteral("ｽﾀｰﾄ(&%1)").arg(i));
        Label7[k]->setText(qs(targetLine(ctx.criteria[i])));
        Label8[k]->setText(qs(passPeriodFigures(ctx.criteria[i], *ctx.summary, i, student)));
    }

    buildGraphPanel();
    buildPanels();
    QPalette cover = Picture2->palette();
    cover.setColor(QPalette::Window, fromColourValue(ctx.state.SeasonColour));
    Picture2->setPalette(cover);
    Picture6->setPalette(cover);
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

void seisekitime1::setStartButtonsEnabled(bool enabled) {
    for (int i = 1; i <= m_levelCount; ++i)
        Command4[static_cast<size_t>(i)]->setEnabled(enabled);
}

void seisekitime1::setListsVisible(bool visible) {
    for (int i = 1; i <= m_levelCount; ++i)
        List5[static_cast<size_t>(i)]->setVisible(visible);
}

void seisekitime1::Form_Activate() {
    // Keys and clicks meanwhile are ignored: the refresh may wait for the
    // shared folder, and the cover panel is up all the while.
    const BusyScope refreshing(*this);
    Context& ctx = m_app.ctx();
    SharedState& st = ctx.state;
    Command8->setVisible(isTeacherName(st.CurrentStudentName));
    Command24[1]->setVisible(isTeacherName(st.CurrentStudentName));
    Label17->setText(
        QStringLiteral("起動後%1分").arg(minutesSinceSignIn(st, ctx.services.clock.now())));

    m_menuReady = 0;
    showCover();
    Option1[1]->setText(QStringLiteral("累計順"));
    Option1[2]->setText(QStringLiteral("本日順"));

    Unload(m_app, Screen::namesel);
    if (!BuildSummary(ctx)) return;

    st.TodayRunCount = static_cast<int16_t>(todayRunCount(*ctx.summary, st.CurrentStudentNumber));
    Label18->setText(QStringLiteral("本日総回数＝%1回").arg(st.TodayRunCount));

    ProgressBar1->setRange(0, std::max(1, m_levelCount));
    ProgressBar1->setValue(0);
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

    setListsVisible(true);
    Picture6->hide();
    Label12->setText(qs(st.CurrentGradeLabel + " " + trimSpaces(st.CurrentStudentName)));
    Label13->setText(qs(ctx.config.SchoolName + ":" + std::to_string(st.CurrentStudentNumber)));
    const QString title = qs(ctx.program.ProgramTitle);
    setTwipsFont(Label11, kPGothic, title.size() > 9 ? 20 : 24, true);
    Label11->setText(title);

    const ColumnLayout layout = columnLayout(m_levelCount);
    st.ScrollPosition = effectiveScrollPosition(st.ScrollPosition, layout);
    HScroll1->blockSignals(true);
    HScroll1->setValue(st.ScrollPosition);
    HScroll1->blockSignals(false);
    placeColumns(st.ScrollPosition);

    const int student = st.CurrentStudentNumber;
    for (int i = 1; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        Label7[k]->setBackColor(fromColourValue(kLabelGrey));
        Label8[k]->setBackColor(fromColourValue(kLabelGrey));
        Command4[k]->setEnabled(true);
        Label14[k]->setText(qs(todayFigures(*ctx.summary, i, student)));
        Label15[k]->setText(qs(allTimeFigures(*ctx.summary, i, student)));
    }

    setStartButtonsEnabled(false);
    Command9_Click();

    Picture2->hide();
    ProgressBar1->hide();
    m_menuReady = 1;
}

void seisekitime1::Command9_Click() {
    Context& ctx = m_app.ctx();
    const LevelAvailability a =
        levelAvailability(ctx.program, ctx.criteria, *ctx.summary, ctx.state.CurrentStudentNumber);
    ctx.state.GoalLevelCleared = a.goalLevelCleared;
    for (int i = 1; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        const bool closed = k < a.closed.size() && a.closed[k];
        Command4[k]->setEnabled(!closed);
        Text1[k]->setVisible(closed);
        if (closed) Text1[k]->raise();
    }
    Picture6->lower();
}

void seisekitime1::回数など表示() {
    for (int i = 1; i <= m_levelCount; ++i) {
        const auto k = static_cast<size_t>(i);
        Label9[k]->setText(kToday);
        Label10[k]->setText(kSoFar);
        List5[k]->Clear();
    }
}

void seisekitime1::成績リスト色表示() {
    const Context& ctx = m_app.ctx();
    for (int i = 1; i <= m_levelCount; ++i) {
        VbListBox* list = List5[static_cast<size_t>(i)];
        if (m_displayMode == 1) {
            if (auto colour = timeListColour(list->sortedUtf8Lines(), ctx.criteria[i]))
                list->setBackColor(fromColourValue(*colour));
        }
        if (list->ListCount() > 0) list->setListIndex(-1);
    }
}

void seisekitime1::成績リスト色表示単独(int level) {
    if (level < 1 || level > m_levelCount) return;
    VbListBox* list = List5[static_cast<size_t>(level)];
    if (list->ListCount() > 0) list->setListIndex(-1);
}

void seisekitime1::Command3_Click(int level) {
    if (level < 1 || level > m_levelCount) return;
    const Context& ctx = m_app.ctx();
    const auto k = static_cast<size_t>(level);
    Label9[k]->setText(kToday);
    Label10[k]->setText(kSoFar);
    if (m_displayMode == 0) m_displayMode = 1;
    const std::vector<RankingLine> ranking =
        buildRanking(ctx.roster, *ctx.summary, level, rankingBasis(m_displayMode, m_rankingKind),
                     Combo1->currentText().toStdString(), ctx.state.CurrentStudentNumber);
    VbListBox* list = List5[k];
    list->Clear();
    pump();
    // The lines in the order the list shows them, and where the signed-in
    // student's line stands among them.
    SortedLines sorted(true);
    std::vector<std::string> texts;
    texts.reserve(ranking.size());
    const std::string* own = nullptr;
    for (const RankingLine& line : ranking) {
        texts.push_back(line.text);
        if (line.student == ctx.state.CurrentStudentNumber) own = &line.text;
    }
    const std::string ownText = own ? *own : std::string();
    sorted.assign(std::move(texts));
    QStringList lines;
    lines.reserve(sorted.size());
    int ownIndex = -1;
    for (int j = 0; j < sorted.size(); ++j) {
        if (own && ownIndex < 0 && sorted.at(j) == ownText) ownIndex = j;
        lines.push_back(qs(sorted.at(j)));
    }
    list->setLines(lines);
    // Bring the signed-in student's line into view, with the line above it.
    if (ownIndex > 0)
        list->scrollToItem(list->item(ownIndex - 1), QAbstractItemView::PositionAtTop);
    成績リスト色表示単独(level);
}

void seisekitime1::Command6_Click() {
    Context& ctx = m_app.ctx();
    Label5->setText(QStringLiteral("ベスト成績"));
    ctx.state.ListChoice = 1;
    回数など表示();
    ProgressBar2->setRange(0, std::max(1, m_levelCount));
    for (int i = 1; i <= m_levelCount; ++i) {
        ProgressBar2->setValue(i);
        Command3_Click(i);
        List5[static_cast<size_t>(i)]->setListIndex(-1);
    }
    Frame1->setEnabled(true);
}

void seisekitime1::pointsRankings(int kind) {
    const int levels = std::max(1, m_levelCount);
    if (kind == 1) {
        m_rankingKind = 1;
        Label5->setText(QStringLiteral("獲得ポイント（今まで順位）"));
        ProgressBar1->setRange(0, levels);
        ProgressBar1->setValue(0);
        ProgressBar2->setRange(0, levels);
        ProgressBar2->setValue(0);
        for (int level = 1; level <= m_levelCount; ++level) {
            ProgressBar1->setValue(level);
            ProgressBar2->setValue(level);
            Command3_Click(level);
        }
    } else if (kind == 2) {
        Label5->setText(QStringLiteral("獲得ポイント（今日の順位）"));
        m_rankingKind = 2;
        ProgressBar2->setRange(0, levels);
        ProgressBar2->setValue(0);
        for (int level = 1; level <= m_levelCount; ++level) {
            ProgressBar2->setValue(level);
            Command3_Click(level);
        }
    }
}

bool seisekitime1::scanResults(LogReader& scan, uint64_t lastRecords) {
    return ReadRecentResults(m_app.ctx(), scan, lastRecords);
}

void seisekitime1::fillLists(std::vector<std::vector<std::string>> lines) {
    for (int i = 1; i <= m_levelCount && static_cast<size_t>(i) < lines.size(); ++i)
        List5[static_cast<size_t>(i)]->setUtf8Lines(std::move(lines[static_cast<size_t>(i)]));
}

namespace {

constexpr uint32_t kProgressStepMs = 100;

// The scan of a view, its progress on the wait panel's bar: the record
// being read, of (records + 1) x 1.1.
ViewScan viewScan(Context& ctx, QProgressBar* bar, ViewKind kind, int levelCount, int days,
                  const QString& gradeGroup) {
    ViewSetup setup;
    setup.kind = kind;
    setup.levelCount = levelCount;
    setup.today = static_cast<double>(dayNumber(ctx.services.clock.today()));
    setup.periodDays = days;
    setup.gradeGroup = gradeGroup.toStdString();
    setup.signedInStudent = ctx.state.CurrentStudentNumber;
    ViewScan scan(std::move(setup), ctx.roster, ctx.criteria);
    bar->setValue(0);
    // The bar repaints at once when it moves: it moves when the eye can
    // follow it (a slow shared folder) and at the end.
    Clock& clock = ctx.services.clock;
    scan.onProgress = [bar, &clock, shown = clock.tickMs()](uint64_t record,
                                                            uint64_t records) mutable {
        const uint32_t now = clock.tickMs();
        if (record < records && now - shown < kProgressStepMs) return;
        shown = now;
        const double top = std::min((static_cast<double>(records) + 1) * 1.1, 2e9);
        bar->setRange(0, std::max(1, static_cast<int>(top)));
        bar->setValue(static_cast<int>(std::min<uint64_t>(record, 2000000000)));
    };
    return scan;
}

} // namespace

void seisekitime1::Command5_Click() {
    Context& ctx = m_app.ctx();
    Label5->setText(QStringLiteral("本日の成績"));
    ctx.state.ListChoice = 2;
    回数など表示();
    ViewScan scan =
        viewScan(ctx, ProgressBar2, ViewKind::Today, m_levelCount, 1, Combo1->currentText());
    if (!scanResults(scan, kTodayViewRecords)) return;
    fillLists(scan.takeLines());
    成績リスト色表示();
    Frame1->setEnabled(true);
}

void seisekitime1::Command7_Click() {
    Context& ctx = m_app.ctx();
    ctx.state.ListChoice = 3;
    回数など表示();
    const int days = periodDays(ctx.state.AllPeriod, ctx.services.clock.today());
    Label5->setText(QString());
    ViewScan scan =
        viewScan(ctx, ProgressBar2, m_displayMode == 1 ? ViewKind::AllTimes : ViewKind::AllPoints,
                 m_levelCount, days, Combo1->currentText());
    if (!scanResults(scan, kAllRunsViewRecords)) return;
    fillLists(scan.takeLines());
    成績リスト色表示();
    Frame1->setEnabled(true);
    Combo2->show();
}

void seisekitime1::Command16_Click() {
    Context& ctx = m_app.ctx();
    // The graph panel's lists: the school's students and the levels.
    if (auto students = graphStudentList(ctx.roster, ctx.folders.SharedFolder)) {
        List2->setUtf8Lines(std::move(*students));
    } else {
        List2->Clear();
    }
    QStringList levels;
    for (int i = 1; i <= m_levelCount; ++i)
        levels.push_back(QString::number(i));
    List3->setLines(levels);
    m_graphSubject = ctx.state.CurrentStudentNumber;

    ctx.state.ListChoice = 3;
    回数など表示();
    Label5->setText(QStringLiteral("個人別ﾀｲﾑ"));
    ViewScan scan = viewScan(ctx, ProgressBar2, ViewKind::Personal, m_levelCount,
                             kPersonalPeriodDays, Combo1->currentText());
    if (!scanResults(scan, kAllRunsViewRecords)) return;
    fillLists(scan.takeLines());
    Picture6->hide();
    Command9_Click();
    setListsVisible(true);
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
    setStartButtonsEnabled(false);
    setListsVisible(false);
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
    setStartButtonsEnabled(false);
    setListsVisible(false);
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
    setListsVisible(true);
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
    placeColumns(position);
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

void seisekitime1::buildMaintenancePanel() {
    QPalette panel = Picture7->palette();
    panel.setColor(QPalette::Window, rgb(255, 255, 224));
    Picture7->setPalette(panel);
    auto* frame = new VbLabel(Picture7, QStringLiteral("Picture7Frame"));
    frame->setBorder(true);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    place(frame, 0, 0, 7200, 4320);

    Label28 =
        new VbLabel(Picture7, QStringLiteral("Label28"), QStringLiteral("データ変更パスワード"));
    place(Label28, 360, 360, 6480, 420);
    setTwipsFont(Label28, kPGothic, 14, true);

    Text3 = new QLineEdit(Picture7);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setEchoMode(QLineEdit::Password);
    Text3->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    Text3->setAccessibleName(QStringLiteral("データ変更パスワード"));
    place(Text3, 360, 900, 6480, 540);
    setTwipsFont(Text3, kPGothic, 16);

    auto button = [this](const QString& name, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromUtf8(text), Picture7);
        b->setObjectName(name);
        place(b, r.x(), r.y(), r.width(), r.height());
        setTwipsFont(b, kPGothic, 12, true);
        return b;
    };
    Command10[0] = button(QStringLiteral("Command10_0"), "データ変更", {360, 1800, 3120, 720});
    Command10[1] =
        button(QStringLiteral("Command10_1"), "合格タイムデータ変更", {3720, 1800, 3120, 720});
    Command12 = button(QStringLiteral("Command12"), "戻る", {2520, 3060, 2160, 720});
    for (int i = 0; i < 2; ++i)
        connect(Command10[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { Command10_Click(i); });
    connect(Command12, &QPushButton::clicked, this, [this] { Command12_Click(); });
}

void seisekitime1::Command8_Click() {
    if (busy()) return;
    Picture7->show();
    Picture7->raise();
    Text3->setFocus();
}

void seisekitime1::Command12_Click() {
    if (busy()) return;
    Picture7->hide();
}

void seisekitime1::Command10_Click(int index) {
    if (busy() || Picture7->isHidden() || (index != 0 && index != 1)) return;
    Context& ctx = m_app.ctx();
    if (!teacherPasswordMatches(ctx.config.TeacherPassword, Text3->text().toStdString())) {
        const BusyScope telling(*this);
        ctx.services.dialogs.message("パスワードを入力して下さい", ctx.program.ProgramTitle,
                                     MessageButtons::Ok);
        return;
    }
    setLeaving();
    Show(m_app, index == 0 ? Screen::FrmData : Screen::FrmTimeData);
    Unload(m_app, Screen::seisekitime1);
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

// ---- The graph panel ------------------------------------------------------

namespace {

// The panel over the columns, and its elements in twips of the panel.
constexpr int kPanelLeft = 120, kPanelTop = 1740, kPanelWidth = 15240, kPanelHeight = 9300;
constexpr int kPictureLeft = 3180, kPictureTop = 120;
constexpr int kPictureWidth = kPanelWidth - kPictureLeft - 120;
constexpr int kPictureHeight = kPanelHeight - 240;

// The rows of a list in list order that are selected.
std::vector<int> selectedRows(const VbListBox* list) {
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) rows.push_back(i);
    return rows;
}

} // namespace

void seisekitime1::buildGraphPanel() {
    auto button = [this](QWidget* parent, const char* name, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromUtf8(text), parent);
        b->setObjectName(QLatin1String(name));
        place(b, r.x(), r.y(), r.width(), r.height());
        setTwipsFont(b, kPGothic, 11, true);
        return b;
    };
    Command17 = button(this, "Command17", "グラフ", {11000, 980, 1300, 420});
    Command17->hide();
    connect(Command17, &QPushButton::clicked, this, [this] { Command17_Click(); });

    Picture11 =
        panel(this, QStringLiteral("Picture11"), kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight);

    List3 = new VbListBox(Picture11, QStringLiteral("List3"));
    List3->setSelectionMode(QAbstractItemView::MultiSelection);
    place(List3, 120, 120, 1300, 1900);
    List3->setTwipsFont(*this, kGothic, 12);
    List3->setAccessibleName(QStringLiteral("レベル"));
    // A choice in a list of several choices is a click once it is made.
    connect(List3, &QListWidget::itemSelectionChanged, this, [this] { List3_Click(); });

    Command24[0] = button(Picture11, "Command24_0", "表示", {1560, 120, 1500, 460});
    Command24[1] = button(Picture11, "Command24_1", "印刷", {1560, 640, 1500, 460});
    Command18 = button(Picture11, "Command18", "戻る", {1560, 1160, 1500, 460});
    Command25 = button(Picture11, "Command25", "他の人のデータを見る", {120, 2160, 2940, 460});
    for (int out = 0; out < 2; ++out)
        connect(Command24[static_cast<size_t>(out)], &QPushButton::clicked, this,
                [this, out] { Command24_Click(out); });
    connect(Command18, &QPushButton::clicked, this, [this] { Command18_Click(); });
    connect(Command25, &QPushButton::clicked, this, [this] { Command25_Click(); });

    List2 = new VbListBox(Picture11, QStringLiteral("List2"), VbListBox::Order::Sorted);
    List2->setSelectionMode(QAbstractItemView::MultiSelection);
    place(List2, 120, 2160, 2940, kPanelHeight - 2280);
    List2->setTwipsFont(*this, kGothic, 10);
    List2->setAccessibleName(QStringLiteral("生徒"));
    List2->hide();
    connect(List2, &QListWidget::itemSelectionChanged, this, [this] { List2_Click(); });

    Picture12 = new DrawingArea(Picture11, QStringLiteral("Picture12"), kPictureWidth);
    place(Picture12, kPictureLeft, kPictureTop, kPictureWidth, kPictureHeight);
    Picture12->setAccessibleName(QStringLiteral("グラフ"));
    Picture11->hide();
}

void seisekitime1::Command17_Click() {
    if (busy()) return;
    const BusyScope drawing(*this);
    m_graphSubject = m_app.ctx().state.CurrentStudentNumber;
    List2->hide();
    Command25->show();
    // Chosen without a click: no list runs its click action here.
    const bool students = List2->blockSignals(true);
    List2->clearSelection();
    List2->blockSignals(students);
    const bool levels = List3->blockSignals(true);
    List3->clearSelection();
    for (int i = 0; i < std::min(3, List3->count()); ++i)
        List3->item(i)->setSelected(true);
    List3->blockSignals(levels);
    Picture11->raise();
    Picture11->show();
    drawGraphs(0);
}

void seisekitime1::Command25_Click() {
    if (busy()) return;
    Command25->hide();
    List2->show();
}

void seisekitime1::Command24_Click(int out) {
    if (busy()) return;
    const BusyScope drawing(*this);
    drawGraphs(out == 1 ? 1 : 0);
}

void seisekitime1::Command18_Click() {
    if (busy()) return;
    Picture11->hide();
}

void seisekitime1::List2_Click() {
    if (busy()) return;
    const BusyScope drawing(*this);
    drawGraphs(0);
}

void seisekitime1::List3_Click() {
    if (busy() || Picture11->isHidden()) return;
    const BusyScope drawing(*this);
    drawGraphs(0);
}

void seisekitime1::drawGraphs(int out) {
    Context& ctx = m_app.ctx();
    std::vector<int> subjects;
    for (int row : selectedRows(List2))
        subjects.push_back(graphListStudent(List2->List(row).toStdString()));
    if (subjects.empty())
        subjects.push_back(m_graphSubject);
    else
        m_graphSubject = subjects.back();
    std::vector<int> levels;
    for (int row : selectedRows(List3))
        levels.push_back(row + 1);

    // The log may be held by another PC: the wait panel shows meanwhile.
    showWaitPanel();
    RunCollector log;
    const bool read = ReadRecentResults(ctx, log, kAllRunsViewRecords);
    Picture6->hide();
    if (!read) return;

    const GraphOutput output = out == 1 ? GraphOutput::Printer : GraphOutput::Screen;
    const GraphSources sources{ctx.program,
                               ctx.roster,
                               *ctx.summary,
                               Combo1->currentText().toStdString(),
                               ctx.state.CurrentStudentNumber,
                               m_rankingKind,
                               static_cast<double>(dayNumber(ctx.services.clock.today()))};
    const std::string font = kGothic.toStdString();
    std::vector<Drawing> pages;
    for (int subject : subjects) {
        std::vector<Drawing> own = graphPages(sources, output, font, subject, levels, log.runs);
        // On the screen each student's graphs replace the last ones.
        if (output == GraphOutput::Screen) pages.clear();
        for (Drawing& page : own)
            pages.push_back(std::move(page));
    }

    if (output == GraphOutput::Screen) {
        Picture12->setDrawing(pages.empty() ? Drawing{font, {}} : std::move(pages.back()));
        const size_t S = static_cast<size_t>(std::clamp(m_graphSubject, 0, kMaxStudent));
        Picture12->setAccessibleName(
            QStringLiteral("グラフ %1").arg(qs(trimSpaces(ctx.roster.StudentNames[S]))));
        return;
    }
    const LocalTime now = ctx.services.clock.now();
    const PrintResult result =
        ctx.services.printer.print(graphPrintRequest(ctx.program, now), pages);
    if (const std::optional<std::string> message = printOutcomeMessage(result))
        ctx.services.dialogs.message(*message, ctx.program.ProgramTitle, MessageButtons::Ok);
}

} // namespace kestrel
