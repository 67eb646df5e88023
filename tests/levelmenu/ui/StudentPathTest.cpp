// The whole path of a student through the program: the name screen, the
// level menu, a run of level 1, the end screen and the menu again.
#include <gtest/gtest.h>

#include <QPushButton>

#include "drill/ui/DrillRunFixture.h"
#include "levelmenu/ui/seisekitime1.h"
#include "results/ui/FrmSyuuryou.h"
#include "roster/ui/NameScreenSupport.h"

using namespace kestrel;

namespace {

int lineOf(VbListBox* list, const QString& part) {
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().contains(part)) return i;
    return -1;
}

} // namespace

TEST(StudentPath, SignInRunLevelOneAndSeeTheRunOnTheMenu) {
    test::NameScreen n;
    n.t.random.fallback = 0.5f; // every problem is 50, rounded at the ones to 50
    namesel& names = n.open();

    // Nobody is chosen yet: "1" is refused with the wrong-answer cue.
    test::key(&names, Qt::Key_1, QStringLiteral("1"));
    EXPECT_NE(n.app->find<namesel>(), nullptr);
    EXPECT_EQ(n.app->find<seisekitime1>(), nullptr);

    const int row = lineOf(names.List1, QStringLiteral("佐藤"));
    ASSERT_GT(row, 0);
    test::clickLine(names.List1, row);
    test::key(&names, Qt::Key_1, QStringLiteral("1"));
    EXPECT_EQ(n.ctx.state.CurrentStudentNumber, 4);
    EXPECT_EQ(n.ctx.state.CurrentGradeLabel, "小３");

    seisekitime1* menu = n.app->find<seisekitime1>();
    ASSERT_NE(menu, nullptr);
    test::deleteUnloadedScreens();
    EXPECT_EQ(n.app->find<namesel>(), nullptr);
    EXPECT_EQ(menu->MenuReady(), 1);
    EXPECT_EQ(menu->Label14[1]->text(), QStringLiteral("-----"));
    EXPECT_EQ(menu->Label18->text(), QStringLiteral("本日総回数＝0回"));

    test::key(menu, Qt::Key_1, QStringLiteral("1"));
    MainFrm* drill = n.app->find<MainFrm>();
    ASSERT_NE(drill, nullptr);
    test::deleteUnloadedScreens();
    EXPECT_EQ(n.app->find<seisekitime1>(), nullptr);
    EXPECT_EQ(n.ctx.state.CurrentLevel, 1);
    EXPECT_EQ(drill->Label10->text(), QStringLiteral("一の位を四捨五入しなさい"));

    // Ten right answers, two seconds each.
    for (int i = 0; i < 10; ++i) {
        n.t.clock.advance(2);
        drill->sTimer1_Timer();
        test::typeKeys(drill, QString::number(drill->currentProblem().CorrectAnswer) +
                                  QStringLiteral(" "));
    }
    EXPECT_EQ(n.ctx.state.RunTime, 20);
    const auto records = test::readLog(n.ctx.folders);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].studentNumber, 4);
    EXPECT_EQ(records[0].level, 1);
    EXPECT_EQ(records[0].seconds, 20);

    FrmSyuuryou* end = n.app->find<FrmSyuuryou>();
    ASSERT_NE(end, nullptr);
    test::deleteUnloadedScreens();
    EXPECT_EQ(n.app->find<MainFrm>(), nullptr);
    // Target 60 s: ((60 - 20) / 60)^3 x 50 + 5 = 19.8, so 19 points.
    EXPECT_EQ(end->findChild<VbLabel*>("Label19")->text(),
              QStringLiteral("獲得ポイント：19点×1→19点"));
    end->Timer1_Timer();
    ASSERT_FALSE(end->Command4->isHidden());
    end->Command4_Click();

    menu = n.app->find<seisekitime1>();
    ASSERT_NE(menu, nullptr);
    test::deleteUnloadedScreens();
    EXPECT_EQ(n.app->find<FrmSyuuryou>(), nullptr);
    EXPECT_EQ(menu->Label14[1]->text(), QStringLiteral("1回/19点"));
    EXPECT_EQ(menu->Label15[1]->text(), QStringLiteral("1回/19点"));
    EXPECT_EQ(menu->Label18->text(), QStringLiteral("本日総回数＝1回"));
    // The cumulative points ranking of level 1: the student ranks first,
    // with 19 points today and in total.
    const int mine = lineOf(menu->List5[1], QStringLiteral("●"));
    ASSERT_GE(mine, 0);
    const QString line = menu->List5[1]->item(mine)->text();
    EXPECT_TRUE(line.startsWith(QStringLiteral(" 1●"))) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral(" 19/   19"))) << line.toStdString();

    n.app->unloadAll();
    test::deleteUnloadedScreens();
    EXPECT_TRUE(n.exit.statuses.empty());
}
