#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/Screenshots.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <cstdlib>

#include "app/App.h"
#include "context/Procedures.h"
#include "drill/ui/MainFrm.h"
#include "levelmenu/LevelMenu.h"
#include "levelmenu/ui/MenuScreen.h"
#include "levelmenu/ui/seisekitime1.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultRecord.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"
#include "roster/ui/namesel.h"
#include "startup/Calendar.h"
#include "text/Cp932.h"

using namespace kestrel;
using namespace kestrel::test;

TEST(LevelMenuLayout, FiveLevelsScrollAndFourShareTheWidth) {
    Menu m;
    m.addStudent(1, "あおき", 3);
    m.signIn(1);
    m.ctx.state.ScrollPosition = 0;
    m.open();
    EXPECT_EQ(m.form->columnWidth(), 3456);
    auto* bar = m.element<QScrollBar>("HScroll1");
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 2);
    EXPECT_EQ(m.form->twipsRect(m.element("Label1", 1)).x(), 307);
    bar->setValue(2);
    EXPECT_EQ(m.ctx.state.ScrollPosition, 2);
    EXPECT_EQ(m.form->twipsRect(m.element("Label1", 1)).x(), 15360);
    EXPECT_EQ(m.form->twipsRect(m.element("List5", 2)).x(), 307);
    EXPECT_EQ(m.form->twipsRect(m.element("Label15", 5)).x(), 307 + 3 * 3456 + 3456 / 2);

    // The position survives the menu being loaded again.
    m.app.unload<seisekitime1>();
    m.form = &m.app.show<seisekitime1>();
    EXPECT_EQ(m.form->twipsRect(m.element("Label1", 1)).x(), 15360);

    Menu four;
    four.addStudent(1, "あおき", 3);
    four.signIn(1);
    four.ctx.program.LevelCount = 4;
    four.ctx.program.LastLevel = 4;
    four.open();
    EXPECT_EQ(four.form->columnWidth(), 3648);
    EXPECT_TRUE(four.element("HScroll1")->isHidden());
    EXPECT_EQ(four.element("Label1", 5), nullptr);
    EXPECT_EQ(four.form->twipsRect(four.element("Label1", 4)).x(), 307 + 3 * 3648);
}

TEST(LevelMenuColumns, FiguresTargetsAndHeader) {
    Menu m;
    m.addStudent(8, "  たなか　はな", 4);
    m.addStudent(9, "すずき", 4);
    m.signIn(8);
    m.ctx.state.CurrentGradeLabel = "小４";
    m.run(8, 1, 60);     // 5 points x 1.5, truncated
    m.run(8, 1, 45);     // 5 points x 1.5
    m.run(8, 1, 50, 30); // outside the pass period
    m.run(9, 2, 40);
    m.clock.setSeconds(10 * 3600 + 5 * 60 + 30);
    m.open();

    EXPECT_EQ(m.text("Label1", 1), "1");
    EXPECT_EQ(m.text("Label3", 5), "混合");
    EXPECT_EQ(m.element<QPushButton>("Command4", 3)->text(), "ｽﾀｰﾄ(&3)");
    EXPECT_EQ(m.text("Label14", 1), "2回/14点");
    EXPECT_EQ(m.text("Label15", 1), "3回/21点");
    EXPECT_EQ(m.text("Label8", 1), "最近7日=2回 / 14点");
    EXPECT_EQ(m.text("Label14", 2), "-----");
    EXPECT_EQ(m.text("Label15", 2), "------");
    EXPECT_EQ(m.text("Label7", 1), "目標=60秒 3回/30点(×1.5)");
    EXPECT_EQ(m.text("Label7", 2), "目標=60秒 3回/30点(×1)");
    EXPECT_EQ(m.text("Label7", 3), "目標=60秒 --------");
    EXPECT_EQ(m.text("Label9", 4), "今日");
    EXPECT_EQ(m.text("Label10", 4), "今まで");
    EXPECT_EQ(m.element<VbLabel>("Label7", 1)->backColor(), QColor(0xE0, 0xE0, 0xE0));

    EXPECT_EQ(m.element<VbLabel>("Label12")->text(), "小４ たなか　はな");
    EXPECT_EQ(m.element<VbLabel>("Label13")->text(), "みなみ小学校:8");
    EXPECT_EQ(m.element<VbLabel>("Label17")->text(), "起動後35分");
    EXPECT_EQ(m.element<VbLabel>("Label18")->text(), "本日総回数＝2回");
    EXPECT_EQ(m.ctx.state.TodayRunCount, 2);
    EXPECT_EQ(m.element<VbLabel>("Label11")->text(), "四捨五入と概数のドリル");
    EXPECT_EQ(m.form->windowTitle(), "Kestrel");
    EXPECT_TRUE(m.element("Picture2")->isHidden());
    EXPECT_TRUE(m.element("Picture6")->isHidden());
    EXPECT_EQ(m.form->MenuReady(), 1);
}

TEST(LevelMenuColumns, MinutesSinceSignIn) {
    Menu m;
    m.addStudent(1, "あおき", 3);
    m.signIn(1);
    m.open();
    struct Case {
        int32_t signedIn;
        int signInDay; // relative to today
        double now;
        const char* text;
    } cases[] = {
        {36000, 0, 36000 + 59.4, "起動後0分"}, {36000, 0, 36000 + 3 * 3600 + 60, "起動後181分"},
        {36000, 0, 35999.6, "起動後0分"}, // sign-in time rounded up
        {85800, -1, 600, "起動後20分"},   // across midnight
        {85800, -2, 600, "起動後1460分"}, // and a day later
    };
    for (const Case& c : cases) {
        m.ctx.state.SessionStartSeconds = c.signedIn;
        m.ctx.state.SessionStartDay = dayNumber(m.clock.today()) + c.signInDay;
        m.clock.setSeconds(c.now);
        m.app.activate(*m.form);
        EXPECT_EQ(m.element<VbLabel>("Label17")->text(), c.text) << c.now;
    }
}

TEST(LevelMenuAvailability, OverPracticeClosesLevelsUntilTheLastIsCleared) {
    Menu m;
    m.addStudent(3, "うえだ", 5);
    m.signIn(3);
    m.ctx.criteria[1].overPracticeCount = "2";
    m.ctx.criteria[2].overPracticePoints = "1000";
    m.ctx.criteria[5].overPracticeCount = "1";
    m.run(3, 1, 70);
    m.run(3, 1, 80);
    m.run(3, 5, 70);
    m.run(3, 5, 70);
    m.open();

    EXPECT_FALSE(m.element("Command4", 1)->isEnabled());
    EXPECT_FALSE(m.element("Text1", 1)->isHidden());
    EXPECT_EQ(m.text("Text1", 1), "やりすぎ禁止");
    EXPECT_TRUE(m.element("Command4", 2)->isEnabled());
    EXPECT_TRUE(m.element("Text1", 2)->isHidden());
    // The last level is never closed.
    EXPECT_TRUE(m.element("Command4", 5)->isEnabled());
    EXPECT_TRUE(m.element("Text1", 5)->isHidden());
    EXPECT_EQ(m.ctx.state.GoalLevelCleared, 0);

    m.type("1");
    m.form->Command4_Click(1);
    m.form->Label3_Click(1);
    EXPECT_FALSE(m.drillStarted());

    // Clearing the last level within its pass period opens every level.
    Menu cleared;
    cleared.addStudent(3, "うえだ", 5);
    cleared.signIn(3);
    cleared.ctx.criteria[1].overPracticeCount = "2";
    cleared.records = m.records;
    for (int i = 0; i < 3; ++i)
        cleared.run(3, 5, 30); // 3 runs, 39 points
    cleared.open();
    EXPECT_EQ(cleared.ctx.state.GoalLevelCleared, 1);
    EXPECT_TRUE(cleared.element("Command4", 1)->isEnabled());
    EXPECT_TRUE(cleared.element("Text1", 1)->isHidden());
}

TEST(LevelMenuKeys, StartLevelsOnlyWhenTheMenuIsReady) {
    Menu m;
    m.addStudent(4, "えもと", 2);
    m.signIn(4);
    // A key typed while the refresh lets events run is ignored.
    int typedDuringRefresh = 0;
    m.events.onProcess = [&] {
        if (m.form && m.form->MenuReady() == 0 && typedDuringRefresh++ == 0) m.type("2");
    };
    m.writeFiles();
    m.form = &m.app.load<seisekitime1>();
    m.app.show<seisekitime1>();
    m.events.onProcess = nullptr;
    EXPECT_GT(typedDuringRefresh, 0);
    EXPECT_FALSE(m.drillStarted());

    // Keys are ignored while the maintenance panel is open.
    m.element("Picture7")->show();
    m.type("2");
    m.form->Command4_Click(2);
    m.type("0");
    EXPECT_FALSE(m.drillStarted());
    EXPECT_EQ(m.app.find<namesel>(), nullptr);
    m.element("Picture7")->hide();

    m.type("6"); // five levels
    m.type("A");
    EXPECT_FALSE(m.drillStarted());

    m.type("3");
    EXPECT_TRUE(m.drillStarted());
    EXPECT_EQ(m.ctx.state.CurrentLevel, 3);
    EXPECT_EQ(m.form->MenuReady(), 0);
}

TEST(LevelMenuKeys, ZeroGoesBackToTheNameScreen) {
    Menu m;
    m.addStudent(4, "えもと", 2);
    m.signIn(4);
    m.open();
    m.type("0");
    EXPECT_NE(m.app.find<namesel>(), nullptr);
    EXPECT_EQ(m.app.find<seisekitime1>(), nullptr);
}

TEST(LevelMenuStart, ALevelNameStartsAndUnloadsTheMenu) {
    Menu m;
    m.addStudent(4, "えもと", 2);
    m.signIn(4);
    m.open();
    m.form->Label3_Click(4);
    EXPECT_TRUE(m.drillStarted());
    EXPECT_EQ(m.ctx.state.CurrentLevel, 4);
    EXPECT_EQ(m.app.find<seisekitime1>(), nullptr);
}

TEST(LevelMenuTeacher, DataButtonOnlyForTeacherNames) {
    for (auto [name, visible] :
         {std::pair{"山田先生", true}, std::pair{"★たなか", true}, std::pair{"さとう", false}}) {
        Menu m;
        m.addStudent(2, name, 3);
        m.signIn(2);
        m.open();
        EXPECT_EQ(!m.element("Command8")->isHidden(), visible) << name;
        EXPECT_EQ(m.element<QPushButton>("Command8")->text(), "データ処理");
    }
}

TEST(LevelMenuLists, ColouredByTheLastSuccessfulRun) {
    Menu m;
    m.addStudent(2, "いとう", 3);
    m.signIn(2);
    m.open();
    m.form->Option2_Click(0); // time display
    auto* list = m.element<VbListBox>("List5", 1);
    list->setLines({"   45秒 09:05①いとう①12", "　　× 10:00①いとう①"});
    m.form->成績リスト色表示();
    EXPECT_EQ(list->backColor(), QColor(0, 0xC0, 0));
    list->setLines({"   45秒 09:05①いとう①12", "   90秒 10:00①いとう①4"});
    list->setListIndex(1);
    m.form->成績リスト色表示();
    EXPECT_EQ(list->backColor(), QColor(0xC0, 0xFF, 0xC0));
    EXPECT_EQ(list->ListIndex(), -1);
    // In the points display the colours stay.
    m.form->Option2_Click(1);
    list->setLines({"  500秒 10:00①いとう①0"});
    m.form->成績リスト色表示();
    EXPECT_EQ(list->backColor(), QColor(0xC0, 0xFF, 0xC0));
}

TEST(LevelMenuRankings, ActivationShowsCumulativePointsAndTimeModeShowsBestTimes) {
    Menu m;
    for (int s = 1; s <= 12; ++s)
        m.addStudent(s, "せいと" + std::to_string(s), 6);
    m.addStudent(20, "ちゅう", 8);
    m.addStudent(21, "ごねん", 5);
    m.addStudent(22, "なし", 6);
    m.signIn(5);
    m.ctx.criteria[1].pointMultiplier = 1.0f;
    for (int s = 1; s <= 12; ++s)
        m.run(s, 1, 40 + s, 3);
    m.run(20, 1, 20, 3);
    m.run(21, 1, 25, 3);
    m.run(5, 1, 50); // today
    m.open();

    EXPECT_EQ(m.element<VbLabel>("Label5")->text(), "獲得ポイント（今まで順位）");
    EXPECT_EQ(m.element<QRadioButton>("Option1", 1)->text(), "累計順");
    EXPECT_TRUE(m.element<QRadioButton>("Option2", 1)->isChecked());
    QStringList lines = m.list(1);
    ASSERT_EQ(lines.size(), 15);
    EXPECT_TRUE(lines.contains(QStringLiteral(" 3●せいと5　  5/   10")))
        << lines.join("|").toStdString();

    // Today's ranking: only the student with points today.
    m.element<QRadioButton>("Option1", 2)->setChecked(true);
    m.form->Option1_Click(2);
    EXPECT_EQ(m.element<VbLabel>("Label5")->text(), "獲得ポイント（今日の順位）");
    EXPECT_EQ(m.list(1), QStringList{" 1●せいと5　  5/   10"});

    // Best times, the whole school.
    m.element<QRadioButton>("Option1", 1)->setChecked(true);
    m.element<QRadioButton>("Option2", 0)->setChecked(true);
    m.form->Option2_Click(0);
    EXPECT_EQ(m.form->DisplayMode(), 1);
    EXPECT_EQ(m.element<VbLabel>("Label5")->text(), "ベスト成績");
    lines = m.list(1);
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines[0], " 1Ⅱちゅう　　    20 　");
    EXPECT_EQ(lines[1], " 2⑤ごねん　　    25 　");
    EXPECT_EQ(lines[13].left(2), "14");
    EXPECT_EQ(lines[14], "--⑥なし　　　------ 　");
    EXPECT_TRUE(m.list(2).size() == 15 && m.list(2).back().startsWith("--"));

    // Sixth grade only: the fastest sixth-grader keeps rank 3.
    auto* grade = m.element<QComboBox>("Combo1");
    grade->setCurrentIndex(grade->findText("小６"));
    m.form->Combo1_Click();
    lines = m.list(1);
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[0], " 3⑥せいと1　    41 　");
    EXPECT_TRUE(m.element("Command4", 1)->isEnabled());
}

TEST(LevelMenuViews, TheGradeBoxHoldsTheTwelveGroupsAndShowsATypedFilterAsItsText) {
    const QStringList twelve{"全学年", "中学生全体", "小学生全体", "中３", "中２", "中１",
                             "小６",   "小５",       "小４",       "小３", "小２", "小１"};
    for (const char* filter : {"小３", "家族", "おとな"}) {
        Menu m;
        m.addStudent(1, "あおき", 3);
        m.addStudent(2, "いとう", 5);
        m.signIn(1);
        m.ctx.roster.GradeFilter = filter; // as typed into the name screen's box
        m.run(2, 1, 40);
        m.open();
        auto* grade = m.element<QComboBox>("Combo1");
        QStringList items;
        for (int i = 0; i < grade->count(); ++i)
            items.push_back(grade->itemText(i));
        EXPECT_EQ(items, twelve) << filter;
        EXPECT_EQ(grade->currentText(), QString::fromUtf8(filter));
        // The rankings use it: a third-grader's group, everybody, or nobody.
        const qsizetype listed = m.list(1).size();
        EXPECT_EQ(listed, std::string(filter) == "小３"   ? 1
                          : std::string(filter) == "家族" ? 2
                                                          : 0)
            << filter;
    }
}

TEST(LevelMenuScreenshot, ClassWithAWeekOfResults) {
    Menu m;
    static const char* const names[] = {
        "あおき　ゆい", "いとう　そら", "うえだ　りく", "えもと　はな", "おおた　けん",
        "かとう　みお", "きむら　こう", "くどう　あい", "けんもち",     "こばやし",
        "さとう　れん", "しみず　なな", "すずき　たく", "せきね　ゆう", "そのだ　えみ",
        "たなか　ひろ", "ちば　まい",   "つじ　しょう", "てらだ　のあ", "ともだ　りょう",
        "なかの　さき", "にしだ　かい", "ぬまた　ゆな", "ねもと　そう", "のぐち　ひな",
        "はやし　じん", "ひらの　ゆき", "ふじい　あん", "へんみ　りお", "ほんだ　えいた"};
    for (int s = 1; s <= 30; ++s)
        m.addStudent(s, names[s - 1], 3 + s % 4);
    m.addStudent(31, "やまだ先生", 0);
    m.signIn(7);
    m.ctx.state.CurrentGradeLabel = "小６";
    m.ctx.criteria[1].pointMultiplier = 1.5f;
    for (int s = 1; s <= 30; ++s)
        for (int level = 1; level <= 5; ++level)
            for (int d = 0; d < (s + level) % 5; ++d)
                m.run(s, level, 30 + (s * 7 + level * 13 + d * 5) % 90, d);
    m.ctx.criteria[2].overPracticeCount = "3";
    m.open();
    m.form->resize(1024, 768);
    const QImage shot = m.form->grab().toImage();
    EXPECT_TRUE(shot.save(test::screenshotDir() + "/seisekitime1.png"));
    // Where an element lies in the shot, and the colour most of it shows.
    auto where = [&](QWidget* w) { return QRect(w->mapTo(m.form, QPoint(0, 0)), w->size()); };
    auto mostly = [](const QImage& image, const QRect& r) {
        std::map<QRgb, int> seen;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                ++seen[image.pixel(x, y)];
        return QColor(std::max_element(seen.begin(), seen.end(), [](auto& a, auto& b) {
                          return a.second < b.second;
                      })->first);
    };
    // Points lists in light yellow, side by side left to right; the fifth
    // is cut by the right edge, to be scrolled to.
    for (int level = 1; level <= 5; ++level) {
        const QRect list = where(m.element("List5", level));
        EXPECT_EQ(mostly(shot, list & shot.rect()), QColor(255, 255, 192)) << level;
        if (level > 1) {
            EXPECT_GT(list.left(), where(m.element("List5", level - 1)).right()) << level;
        }
        EXPECT_EQ(shot.rect().contains(list), level < 5) << level;
    }
    // The closed level's notice stands in front of its button, red on white.
    ASSERT_FALSE(m.element("Text1", 2)->isHidden());
    const QRect notice = where(m.element("Text1", 2));
    EXPECT_TRUE(where(m.element("Command4", 2)).contains(notice.center()));
    EXPECT_EQ(mostly(shot, notice), QColor(255, 255, 255));
    int red = 0;
    for (int x = notice.left(); x <= notice.right(); ++x)
        red += QColor(shot.pixel(x, notice.center().y())).red() > 200 &&
               QColor(shot.pixel(x, notice.center().y())).green() < 80;
    EXPECT_GT(red, 3) << "the notice's red text";

    m.element<QRadioButton>("Option2", 0)->setChecked(true);
    m.form->Option2_Click(0);
    m.element<QRadioButton>("Option1", 2)->setChecked(true);
    m.form->Option1_Click(2);
    const QImage times = m.form->grab().toImage();
    EXPECT_TRUE(times.save(test::screenshotDir() + "/seisekitime1-times.png"));
    // Today's lists take the colour of the last successful run they show,
    // against the level's target and minimum times.
    for (int level = 1; level <= 5; ++level) {
        auto* list = m.element<VbListBox>("List5", level);
        std::vector<std::string> lines;
        for (const QString& line : list->lines())
            lines.push_back(line.toStdString());
        ASSERT_FALSE(lines.empty()) << level;
        const std::optional<uint32_t> colour = timeListColour(lines, m.ctx.criteria[level]);
        ASSERT_TRUE(colour) << level;
        const QColor shown = mostly(times, where(list) & times.rect());
        EXPECT_EQ(shown, fromColourValue(*colour)) << level << " " << shown.name().toStdString();
    }
}
