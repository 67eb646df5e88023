// The results lists of the level menu chosen with its option buttons and
// boxes: today's runs, every run of a period, the student's own runs, and
// the grade group over all of them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "levelmenu/LevelMenu.h"
#include "levelmenu/ui/MenuScreen.h"
#include "support/HeldLog.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// A fourth-grader signed in among a second-grader and a junior-high student.
struct ViewsMenu : Menu {
    ViewsMenu() {
        addStudent(4, "たなか　はな", 4);
        addStudent(7, "すずき", 2);
        addStudent(12, "ちゅうがく", 8);
        signIn(4);
    }
    QRadioButton* option(const char* name, int i) { return element<QRadioButton>(name, i); }
    // The user's choice of a display mode or list kind.
    void mode(int m) {
        option("Option2", m)->setChecked(true);
        form->Option2_Click(m);
    }
    void kind(int k) {
        option("Option1", k)->setChecked(true);
        form->Option1_Click(k);
    }
    void group(const char* text) {
        auto* box = element<QComboBox>("Combo1");
        box->setCurrentIndex(box->findText(QString::fromUtf8(text)));
        form->Combo1_Click();
    }
    void period(int item) {
        element<QComboBox>("Combo2")->setCurrentIndex(item);
        form->Combo2_Click();
    }
    QString heading() { return element<VbLabel>("Label5")->text(); }
};

} // namespace

TEST(ResultsViewsScreen, TodaysRunsFastestFirstColouredByTheSlowest) {
    ViewsMenu m;
    m.run(7, 1, 45);
    m.run(4, 1, 123);
    m.run(12, 1, 9);
    m.run(7, 1, 5, 1); // yesterday
    m.run(7, 2, 99999);
    m.open();
    m.mode(0);
    m.kind(2);
    EXPECT_EQ(m.heading(), "本日の成績");
    EXPECT_EQ(m.ctx.state.ListChoice, 2);
    EXPECT_EQ(m.list(1), (QStringList{"   9秒 12:00ⅡちゅうがくⅡ35", "  45秒 12:00②すずき　　②5",
                                      " 123秒 12:00●たなか　は●1"}));
    EXPECT_EQ(m.list(2), QStringList{"　　× 12:00②すずき　　②"});
    // 123 seconds is over the minimum time of 120: silver. A list of failed
    // runs only keeps its colour.
    EXPECT_EQ(m.element<VbListBox>("List5", 1)->backColor(), fromColourValue(kListSilver));
    EXPECT_EQ(m.element<VbListBox>("List5", 2)->backColor(), fromColourValue(kListYellow));
    EXPECT_TRUE(m.element("Picture6")->isHidden());
    EXPECT_FALSE(m.element("List5", 1)->isHidden());
    EXPECT_TRUE(m.element("Command4", 1)->isEnabled());
    EXPECT_TRUE(m.element("Combo2")->isHidden());
}

TEST(ResultsViewsScreen, AllRunsOfAPeriodInTimeAndPointModes) {
    ViewsMenu m;
    m.clock.setDate({2025, 6, 10}); // a Tuesday
    m.run(7, 1, 50, 0);
    m.run(7, 1, 40, 1);
    m.run(7, 1, 99999, 2); // Sunday, last week
    m.run(4, 1, 30, 40);
    m.open();
    m.mode(0);
    m.kind(3);
    EXPECT_EQ(m.heading(), "");
    EXPECT_EQ(m.ctx.state.ListChoice, 3);
    // The wait panel's bar followed the records: the last of four, of (4 + 1) x 1.1.
    auto* bar = m.element<QProgressBar>("ProgressBar2");
    EXPECT_EQ(bar->maximum(), 5);
    EXPECT_EQ(bar->value(), 4);
    auto* period = m.element<QComboBox>("Combo2");
    EXPECT_FALSE(period->isHidden());
    QStringList items;
    for (int i = 0; i < period->count(); ++i)
        items.push_back(period->itemText(i));
    EXPECT_EQ(items,
              (QStringList{"　　　今週の全成績", "　　先週からの全成績", "　　１ヶ月間の全成績",
                           "　　１年間の全成績", "　　今までの全成績\""}));
    EXPECT_EQ(period->currentText(), "　　１ヶ月間の全成績");
    EXPECT_EQ(m.list(1), (QStringList{"  40秒 06/09②すずき　　②6", "  50秒 06/10②すずき　　②5",
                                      "　　× 06/08②すずき　　②"}));

    m.period(0); // this week: Monday and today
    EXPECT_EQ(m.ctx.state.AllPeriod, 1);
    EXPECT_EQ(m.list(1).size(), 2);
    EXPECT_FALSE(period->isHidden());
    m.period(4); // ten years
    EXPECT_EQ(m.ctx.state.AllPeriod, 5);
    EXPECT_EQ(m.list(1).size(), 4);
    EXPECT_EQ(m.list(1)[0], "  30秒 05/01●たなか　は●11");

    // The same runs by points, lowest first.
    m.mode(1);
    EXPECT_EQ(m.option("Option1", 3)->text(), "すべて");
    EXPECT_EQ(m.list(1), (QStringList{"    5 06/10②すずき　　②50秒", "    6 06/09②すずき　　②40秒",
                                      "   11 05/01●たなか　は●30秒", "　　× 06/08②すずき　　②"}));
    // The period box belongs to the all-runs view only.
    m.kind(1);
    EXPECT_TRUE(period->isHidden());
}

TEST(ResultsViewsScreen, JuniorHighGroupHidesElementaryStudentsInEveryViewAndRanking) {
    ViewsMenu m;
    m.run(7, 1, 45);
    m.run(4, 1, 50);
    m.run(12, 1, 55);
    m.open();
    m.group("中学生全体");
    // Points rankings (the menu opens on them), then best times, today and all runs.
    auto onlyJuniorHigh = [&](const char* view) {
        const QStringList lines = m.list(1);
        ASSERT_EQ(lines.size(), 1) << view << ": " << lines.join('|').toStdString();
        EXPECT_TRUE(lines[0].contains("ちゅうがく")) << view;
    };
    onlyJuniorHigh("points so far");
    m.kind(2);
    onlyJuniorHigh("points today");
    m.mode(0);
    m.kind(1);
    onlyJuniorHigh("best times");
    m.kind(2);
    onlyJuniorHigh("today");
    m.kind(3);
    onlyJuniorHigh("all runs");
    // The signed-in fourth-grader's own runs are hidden as well.
    m.mode(2);
    EXPECT_TRUE(m.list(1).isEmpty());
}

TEST(ResultsViewsScreen, PersonalTimesThenAGradeGroupShowsThePointsView) {
    ViewsMenu m;
    m.run(4, 2, 70, 3);
    m.run(4, 2, 99999, 1);
    m.run(7, 2, 20);
    m.open();
    m.mode(2);
    EXPECT_EQ(m.heading(), "個人別ﾀｲﾑ");
    EXPECT_EQ(m.ctx.state.ListChoice, 3);
    EXPECT_EQ(m.list(2), (QStringList{"2025/06/07 12:00:00  70秒", "2025/06/09 12:00:00 ×失敗"}));
    EXPECT_FALSE(m.element("Command17")->isHidden());
    EXPECT_EQ(m.element<QPushButton>("Command17")->text(), "グラフ");
    EXPECT_EQ(m.element<VbListBox>("List3")->lines(), (QStringList{"1", "2", "3", "4", "5"}));
    // In the order of the lines' Shift-JIS text: 小 (しょう) before 中 (ちゅう).
    EXPECT_EQ(m.element<VbListBox>("List2")->lines(),
              (QStringList{"小２ /  すずき/7", "小４ /  たなか　はな/4", "中２ /  ちゅうがく/12"}));
    EXPECT_TRUE(m.element("Picture6")->isHidden());
    EXPECT_TRUE(m.element("Command1")->isEnabled());

    m.group("全学年");
    EXPECT_EQ(m.heading(), "獲得ポイント（今まで順位）");
    EXPECT_EQ(m.form->DisplayMode(), 2);
    EXPECT_TRUE(m.option("Option2", 1)->isChecked());
    EXPECT_TRUE(m.element("Command17")->isHidden());
    EXPECT_EQ(m.list(2).size(), 3);
}

TEST(ResultsViewsScreen, AMissingLogIsAnEmptyListAndAHeldLogIsWaitedFor) {
    ViewsMenu m;
    m.run(7, 1, 45);
    m.open();
    m.mode(0);
    // The data folder gone meanwhile: empty lists, no message, no wait.
    const std::filesystem::path folder = m.ctx.folders.DataFolder;
    m.ctx.folders.DataFolder = (m.dir / "gone").string() + "/";
    m.kind(2);
    EXPECT_TRUE(m.list(1).isEmpty());
    EXPECT_TRUE(m.dialogs.shown.empty());
    EXPECT_EQ(m.events.idled, 0);

    // Another PC holds the log: the view waits, busy, and then lists the run.
    m.ctx.folders.DataFolder = folder.string();
    HeldLog held(resultsLogPath(m.ctx.folders));
    ASSERT_TRUE(held.held());
    bool busyMeanwhile = false;
    bool panelMeanwhile = false;
    m.events.onProcess = [&] {
        if (m.events.idled == 0) return;
        busyMeanwhile = m.form->busy();
        panelMeanwhile = !m.element("Picture6")->isHidden();
        if (m.events.idled == 5) held.release();
    };
    m.kind(3);
    m.events.onProcess = nullptr;
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_TRUE(panelMeanwhile);
    EXPECT_GE(m.events.idled, 5);
    EXPECT_EQ(m.list(1).size(), 1);
    EXPECT_FALSE(m.form->busy());
    EXPECT_TRUE(m.dialogs.shown.empty());
}
