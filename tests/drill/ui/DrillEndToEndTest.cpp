#include <gtest/gtest.h>

#include <QPushButton>

#include "context/Procedures.h"
#include "drill/ui/DrillRunFixture.h"
#include "drill/ui/ScreenInk.h"
#include "results/ResultsRules.h"
#include "results/SortByKey.h"
#include "results/ui/FrmSyuuryou.h"
#include "roster/Grades.h"
#include "startup/Folders.h"
#include "startup/ui/BASEFRM.h"
#include "support/Installation.h"

using namespace kestrel;
using kestrel::test::typeKeys;

namespace {

// The installed program with a signed-in student, the level menu's summary
// built, about to start a level.
struct InstalledDrill {
    test::Installation inst;
    test::TestContext tc;
    App app{tc.ctx};

    explicit InstalledDrill(int16_t level) {
        Context& ctx = tc.ctx;
        ctx.programFile = inst.programFile();
        InitialiseFolders(ctx);
        DefineLevelTable(ctx.program);
        ctx.state.CurrentStudentNumber = 2;
        ctx.state.CurrentStudentName = "佐藤　一郎          ";
        ctx.state.SessionStartDay = dayNumber(tc.clock.today());
        ctx.state.SessionStartSeconds = static_cast<int32_t>(tc.clock.secondsSinceMidnight());
        ctx.state.CurrentLevel = level;
        BuildSummary(ctx);
    }
    ~InstalledDrill() {
        app.unloadAll();
        test::deleteUnloadedScreens();
    }
    MainFrm* drill() const { return app.find<MainFrm>(); }
    void tick(double seconds) {
        tc.clock.advance(seconds);
        drill()->sTimer1_Timer();
    }
    // Saves the screen as the child sees it, and returns it.
    QImage save(QWidget* screen, const char* file) const {
        const QString path = test::screenshotDir() + QLatin1Char('/') + QLatin1String(file);
        const QImage shot = screen->grab().toImage();
        EXPECT_TRUE(shot.save(path)) << path.toStdString();
        return shot;
    }
    // The random values that draw `number` to be approximated at `place`
    // (level 3), after the one drawn by the cue of the answer before.
    void scriptAfterCue(int number, int place) {
        tc.random.push(0.5f);
        tc.random.push(static_cast<float>((number - 1000 + 0.5) / 9000));
        tc.random.push(static_cast<float>((place - 1 + 0.5) / 3));
    }
    QString endText(const char* name) const {
        return app.find<FrmSyuuryou>()->findChild<VbLabel*>(name)->text();
    }
};

} // namespace

TEST(DrillEndToEnd, TenAnswersToTheRecordAndTheEndScreen) {
    InstalledDrill d(3);
    d.tc.random.push(static_cast<float>((2768 - 1000 + 0.5) / 9000));
    d.tc.random.push(static_cast<float>((2 - 1 + 0.5) / 3));
    StartDrill(d.app);
    MainFrm* form = d.drill();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->qLabel1->text(), QStringLiteral("  2768"));
    EXPECT_EQ(form->sLabel14->text(), QStringLiteral("テスト小学校"));
    EXPECT_EQ(form->sLabel12->text(), QStringLiteral("1"));
    EXPECT_EQ(form->sLabel11->text(), QStringLiteral("1"));
    EXPECT_EQ(d.tc.ctx.state.TimeLimitSeconds, 1200);

    // Right, wrong, three right, wrong (4350 approximated to the hundreds),
    // six right: 14 s by the clock and 20 s of penalties.
    d.tick(3);
    d.scriptAfterCue(1234, 1);
    typeKeys(form, QStringLiteral("2800 "));
    d.tick(1);
    typeKeys(form, QStringLiteral("1200 ++"));
    for (int i = 0; i < 3; ++i) {
        d.tick(1);
        if (i == 2) d.scriptAfterCue(4350, 2);
        typeKeys(form, QString::number(form->currentProblem().CorrectAnswer) + QStringLiteral(" "));
    }
    d.tick(1);
    ASSERT_EQ(form->qLabel1->text(), QStringLiteral("  4350"));
    typeKeys(form, QStringLiteral("4300 "));
    d.tick(1);
    EXPECT_EQ(form->sLabel10->text(), QStringLiteral("29"));
    EXPECT_EQ(form->sLabel9->text(), QStringLiteral("6"));
    EXPECT_EQ(form->seitouLabel->text(), QStringLiteral("4400"));
    const QImage wrong = d.save(form, "MainFrm_run_wrong_answer.png");
    EXPECT_GT(test::inkIn(wrong, test::areaOn(form, form->seitouLabel),
                          test::near(QColor(255, 0, 0), 60)),
              100)
        << "the correct answer in red";
    EXPECT_GT(test::inkIn(wrong, test::areaOn(form, form->Commandkakunin2),
                          test::near(QColor(255, 0, 0), 60)),
              20);
    typeKeys(form, QStringLiteral("++"));

    bool covered = false;
    d.tc.events.onProcess = [&] {
        if (covered || form->sPicture2->isHidden()) return;
        covered = true;
        const QImage shot = d.save(form, "MainFrm_run_recording.png");
        // "成績記録中" in black on the cover, not "時間切れ".
        EXPECT_GT(
            test::inkIn(shot, test::areaOn(form, form->lblsss1), test::near(QColor(0, 0, 0), 60)),
            100);
        EXPECT_EQ(
            test::inkIn(shot, test::areaOn(form, form->lblsss2), test::near(QColor(255, 0, 0), 60)),
            0);
    };
    for (int i = 0; i < 6; ++i) {
        if (i > 0) d.tick(1);
        typeKeys(form, QString::number(form->currentProblem().CorrectAnswer) + QStringLiteral(" "));
    }
    d.tc.events.onProcess = nullptr;
    EXPECT_TRUE(covered);
    EXPECT_EQ(d.tc.ctx.state.RightCount, 10);
    EXPECT_EQ(d.tc.ctx.state.RunTime, 34);

    const auto records = test::readLog(d.tc.ctx.folders);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].studentNumber, 2);
    EXPECT_EQ(records[0].level, 3);
    EXPECT_EQ(records[0].seconds, 34);
    EXPECT_EQ(resultTextUtf8(records[0].schoolCode), "12345");

    auto* end = d.app.find<FrmSyuuryou>();
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(d.drill(), nullptr);
    EXPECT_EQ(d.app.find<BASEFRM>(), nullptr);
    EXPECT_EQ(d.endText("Label18"), QStringLiteral("今の成績：34秒"));
    EXPECT_EQ(d.endText("Label19"), QStringLiteral("獲得ポイント：23点×1.5→34点"));
    EXPECT_EQ(d.endText("Label20"), QStringLiteral("！！！最高新記録！！！"));
    end->Timer1_Timer();
    EXPECT_FALSE(end->Command4->isHidden());
    EXPECT_FALSE(end->Command5->isHidden());
    const QImage after = d.save(end, "FrmSyuuryou_after_run.png");
    EXPECT_GT(test::inkIn(after, test::areaOn(end, end->findChild<VbLabel*>("Label18")),
                          test::near(QColor(30, 30, 30), 40)),
              200)
        << "the run's time written large";

    // Once more: the run just recorded counts in today's numbers.
    end->Command5_Click();
    MainFrm* again = d.drill();
    ASSERT_NE(again, nullptr);
    ASSERT_NE(again, form);
    EXPECT_EQ(again->sLabel12->text(), QStringLiteral("2"));
    EXPECT_EQ(again->sLabel11->text(), QStringLiteral("2"));
    EXPECT_EQ(again->sLabel10->text(), QStringLiteral("0"));
    EXPECT_EQ(again->sLabel9->text(), QStringLiteral("10"));
    EXPECT_EQ(d.tc.ctx.state.RightCount, 0);
}

TEST(DrillEndToEnd, LevelWithoutCriteriaRunsWithoutTimeOutAndScoresNothing) {
    InstalledDrill d(4);
    d.tc.ctx.criteria[4] = LevelCriteria{};
    StartDrill(d.app);
    MainFrm* form = d.drill();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(d.tc.ctx.state.TimeLimitSeconds, 0);
    for (int i = 0; i < 10; ++i) {
        d.tick(100);
        EXPECT_FALSE(d.tc.ctx.state.runFlags.TimeUp());
        for (VbShape* bar : {form->sShape4, form->sShape3, form->sShape2})
            EXPECT_EQ(form->twipsRect(bar).width(), 0);
        typeKeys(form, QString::number(form->currentProblem().CorrectAnswer) + QStringLiteral(" "));
    }
    ASSERT_EQ(test::readLog(d.tc.ctx.folders).size(), 1u);
    EXPECT_EQ(test::readLog(d.tc.ctx.folders)[0].seconds, 1000);
    ASSERT_NE(d.app.find<FrmSyuuryou>(), nullptr);
    EXPECT_EQ(d.endText("Label18"), QStringLiteral("今の成績：1000秒"));
    EXPECT_EQ(d.endText("Label19"), QStringLiteral("獲得ポイント：0点×0→0点"));
}
