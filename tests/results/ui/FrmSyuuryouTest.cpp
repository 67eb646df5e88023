#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "drill/RunStates.h"
#include "drill/ui/MainFrm.h"
#include "drill/ui/ScreenInk.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "results/ui/FrmSyuuryou.h"
#include "roster/Grades.h"
#include "startup/ProgramDefinition.h"
#include "startup/ui/BASEFRM.h"

using namespace kestrel;
using kestrel::test::logBytes;
using kestrel::test::runRecord;
using kestrel::test::TempDir;
using kestrel::test::TestContext;

namespace {

constexpr int16_t kStudent = 7;
constexpr int16_t kOther = 3;
const std::string kSounds = "/snd/";

// The screen as the child sees it, saved when screenshots are asked for.
QImage saveShot(QWidget& w, const char* name) {
    const QImage shot = w.grab().toImage();
    if (const char* dir = std::getenv("KESTREL_SCREENSHOT_DIR")) {
        std::filesystem::create_directories(dir);
        EXPECT_TRUE(
            shot.save(QString::fromStdString((std::filesystem::path(dir) / name).string())));
    }
    return shot;
}

std::string text(const VbLabel* label) {
    return label->text().toStdString();
}

// A signed-in student at the end of a run: the log holds the earlier runs,
// the level menu has built the summary from it, and the drill records the
// run just made before it opens the end screen over the wait form.
struct EndScreen {
    TestContext t;
    TempDir dir;
    App app{t.ctx};

    EndScreen() {
        Context& ctx = t.ctx;
        DefineProgram(ctx.program);
        DefineLevelTable(ctx.program);
        ctx.folders.DataFolder = dir.path().string() + "/";
        ctx.folders.SoundFolder = kSounds;
        ctx.config.SchoolCode = "A01";
        test::setUniformCriteria(ctx, 5);
        SoundCue& personal = ctx.sounds.cue(SoundTable::kPersonalBestCue);
        personal.files[1] = "自己A";
        personal.files[2] = "自己B";
        personal.count = "2";
        SoundCue& failed = ctx.sounds.cue(SoundTable::kFailedCue);
        failed.files[1] = "残念";
        failed.count = "1";
        ctx.state.CurrentStudentNumber = kStudent;
        ctx.state.CurrentStudentName = "  山田　花子        ";
        ctx.state.CurrentLevel = 2;
    }

    double today() const { return static_cast<double>(dayNumber(CivilDate{2025, 6, 10})); }

    void earlierRuns(const std::vector<ResultRecord>& records) {
        test::writeBytes(resultsLogPath(t.ctx.folders), logBytes(records));
    }
    // Earlier runs of the student today at the current level.
    void earlierRunsToday(int count, int32_t seconds) {
        std::vector<ResultRecord> records;
        for (int i = 0; i < count; ++i)
            records.push_back(runRecord(today(), kStudent, t.ctx.state.CurrentLevel, seconds));
        earlierRuns(records);
    }

    FrmSyuuryou& finish(int32_t runTime, bool timeUp = false) {
        Context& ctx = t.ctx;
        EXPECT_TRUE(BuildSummary(ctx));
        if (timeUp) test::timedOut(ctx.state);
        ctx.state.RunTime = timeUp ? kNoTime : runTime;
        const std::optional<RecordFlags> outcome = RecordRun(ctx, ctx.state.CurrentLevel);
        EXPECT_TRUE(outcome.has_value());
        Show(app, Screen::BASEFRM);
        ShowEndScreen(app, outcome.value_or(RecordFlags{}));
        return *app.find<FrmSyuuryou>();
    }

    std::vector<std::string> sounds(std::initializer_list<const char*> names) const {
        std::vector<std::string> out;
        for (const char* n : names)
            out.push_back(kSounds + n);
        return out;
    }
};

// Before the run is evaluated the child sees no message, no goal panel and
// no way on yet; the captions are the screen's own.
TEST(FrmSyuuryou, NothingShowsUntilTheRunIsEvaluated) {
    EndScreen e;
    FrmSyuuryou f(e.app);
    EXPECT_EQ(f.windowTitle().toStdString(), "終了");
    EXPECT_EQ(f.Command4->text().toStdString(), "メニューへ");
    EXPECT_EQ(f.Command5->text().toStdString(), "もう一度");
    EXPECT_EQ(text(f.Label2), "このレベルクリア");
    EXPECT_EQ(text(f.Label1), "目標レベルクリア。おめでとう！");
    for (QWidget* w :
         std::initializer_list<QWidget*>{f.Label20, f.Label2, f.Picture1, f.Command4, f.Command5})
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
}

TEST(FrmSyuuryou, ShowsTheRunAndTodaysRunNumbers) {
    EndScreen e;
    const double today = e.today();
    e.earlierRuns({runRecord(today, kStudent, 2, 70), runRecord(today, kStudent, 2, 80),
                   runRecord(today, kStudent, 3, 90), runRecord(today - 1, kStudent, 2, 65),
                   runRecord(today, kStudent, 4, 99999), // timed out: not counted
                   runRecord(today, kOther, 2, 75)});
    e.t.ctx.criteria[2].minimumTime = 60;
    FrmSyuuryou& f = e.finish(66);

    EXPECT_EQ(text(f.Label15), kProgramTitle);
    EXPECT_EQ(text(f.Label16), "レベル２");
    EXPECT_EQ(text(f.Label17), "山田　花子");
    EXPECT_EQ(text(f.Label18), "今の成績：66秒");
    EXPECT_EQ(text(f.Label19), "獲得ポイント：4点×1→4点");
    EXPECT_EQ(text(f.Label13), " (このレベル　3回目)");
    EXPECT_EQ(text(f.Label14), "（4回目)");
    EXPECT_EQ(e.t.ctx.state.TodayRunCount, 4);
    // Slower than before and than the minimum line: nothing to say, no sound.
    EXPECT_TRUE(f.Label20->isHidden());
    EXPECT_TRUE(e.t.audio.played.empty());
    EXPECT_EQ(e.app.find<BASEFRM>(), nullptr);
    EXPECT_TRUE(f.Timer1->isActive());
}

TEST(FrmSyuuryou, PointsUseTheLevelsTargetAndMultiplier) {
    struct Case {
        int32_t target;
        float multiplier;
        int32_t seconds;
        const char* points;
    } cases[] = {
        {60, 2.0f, 60, "獲得ポイント：5点×2→10点"},
        {100, 1.5f, 28, "獲得ポイント：23点×1.5→34点"},
        {60, 1.25f, 120, "獲得ポイント：1点×1.25→1点"},
        {60, 1.0f, 600, "獲得ポイント：0点×1→0点"},
        // Judged by the full seconds, not by the log's first three digits.
        {2000, 1.0f, 1234, "獲得ポイント：7点×1→7点"},
    };
    for (const Case& c : cases) {
        EndScreen e;
        e.t.ctx.criteria[2].targetTime = c.target;
        e.t.ctx.criteria[2].pointMultiplier = c.multiplier;
        FrmSyuuryou& f = e.finish(c.seconds);
        EXPECT_EQ(text(f.Label19), c.points) << c.seconds;
        EXPECT_EQ(text(f.Label18), "今の成績：" + std::to_string(c.seconds) + "秒");
    }
}

TEST(FrmSyuuryou, MessageAndSoundOfTheRun) {
    struct Case {
        const char* what;
        std::vector<ResultRecord> earlier;
        int32_t seconds;
        bool timeUp;
        float random;
        const char* message; // nullptr: hidden
        std::vector<std::string> played;
    } cases[] = {
        {"time-out", {}, 0, true, 0, "時間切れ", {}},
        {"first run: personal and overall best",
         {},
         100,
         false,
         0,
         "！！！最高新記録！！！",
         {"最高1.wav"}},
        {"personal best behind another student",
         {runRecord(0, kOther, 2, 40), runRecord(0, kStudent, 2, 100)},
         90,
         false,
         0.6f,
         "新記録おめでとう",
         {"自己B.wav"}},
        {"within the minimum line, no record",
         {runRecord(0, kOther, 2, 40), runRecord(0, kStudent, 2, 50)},
         120,
         false,
         0,
         nullptr,
         {"残念.wav"}},
        {"equal to the best sets no record",
         {runRecord(0, kStudent, 2, 50)},
         50,
         false,
         0,
         nullptr,
         {"残念.wav"}},
        {"slower than the minimum line",
         {runRecord(0, kStudent, 2, 50)},
         121,
         false,
         0,
         nullptr,
         {}},
    };
    for (Case& c : cases) {
        EndScreen e;
        for (ResultRecord& r : c.earlier)
            r.date = e.today() - 3;
        e.earlierRuns(c.earlier);
        e.t.random.fallback = c.random;
        FrmSyuuryou& f = e.finish(c.seconds, c.timeUp);

        if (c.message) {
            EXPECT_FALSE(f.Label20->isHidden()) << c.what;
            EXPECT_EQ(text(f.Label20), c.message) << c.what;
        } else {
            EXPECT_TRUE(f.Label20->isHidden()) << c.what;
        }
        std::vector<std::string> played;
        for (const std::string& p : c.played)
            played.push_back(kSounds + p);
        EXPECT_EQ(e.t.audio.played, played) << c.what;
        if (c.timeUp) {
            EXPECT_EQ(text(f.Label18), "記録なし") << c.what;
        }
    }
}

TEST(FrmSyuuryou, LastLevelClearedForTheFirstTime) {
    EndScreen e;
    e.t.ctx.state.CurrentLevel = 5;
    e.earlierRunsToday(2, 30); // 11 points each: 22 of 30, two runs of three
    FrmSyuuryou& f = e.finish(30);

    EXPECT_FALSE(f.Label2->isHidden());
    EXPECT_FALSE(f.Picture1->isHidden());
    // The run's own cue first, then the level-cleared sound.
    EXPECT_EQ(e.t.audio.played, e.sounds({"残念.wav", "合格.wav"}));

    f.Timer1_Timer();
    EXPECT_TRUE(f.Picture1->isHidden());
    EXPECT_FALSE(f.Command4->isHidden());
    EXPECT_FALSE(f.Command5->isHidden());
    EXPECT_FALSE(f.Timer1->isActive());
}

TEST(FrmSyuuryou, LastLevelClearedBeforePlaysNoClearedSound) {
    EndScreen e;
    e.t.ctx.state.CurrentLevel = 5;
    e.earlierRunsToday(3, 30);
    FrmSyuuryou& f = e.finish(31);

    EXPECT_FALSE(f.Label2->isHidden());
    EXPECT_FALSE(f.Picture1->isHidden()); // until the timer fires
    EXPECT_EQ(e.t.audio.played, e.sounds({"残念.wav"}));
    f.Timer1_Timer();
    EXPECT_TRUE(f.Picture1->isHidden());
}

TEST(FrmSyuuryou, NoGoalPanelWhenALevelCannotBeCleared) {
    // Clearing a level before the last never shows the panel either.
    {
        EndScreen e;
        e.earlierRunsToday(2, 30);
        FrmSyuuryou& f = e.finish(30);
        EXPECT_FALSE(f.Label2->isHidden());
        EXPECT_TRUE(f.Picture1->isHidden());
        EXPECT_EQ(e.t.audio.played, e.sounds({"残念.wav"}));
    }
    for (int closedLevel : {5, 2, 35}) {
        EndScreen e;
        e.t.ctx.state.CurrentLevel = 5;
        e.t.ctx.criteria[closedLevel].clearCount = 9999;
        // This run clears level 5 unless level 5 itself is the one closed.
        e.earlierRunsToday(2, 30);
        FrmSyuuryou& f = e.finish(30);
        const bool cleared = closedLevel != 5;
        EXPECT_TRUE(f.Picture1->isHidden()) << closedLevel;
        EXPECT_EQ(f.Label2->isHidden(), !cleared) << closedLevel;
        EXPECT_EQ(e.t.audio.played,
                  cleared ? e.sounds({"残念.wav", "合格.wav"}) : e.sounds({"残念.wav"}))
            << closedLevel;
    }
}

TEST(FrmSyuuryou, TimerOffersTheWaysOn) {
    struct Case {
        const char* what;
        int16_t level;
        int32_t clearPoints;
        const char* overPracticeCount;
        int16_t goalLevelCleared;
        bool retry;
        const char* label2; // nullptr: hidden
    } cases[] = {
        {"cleared and over-practised", 2, 30, "3", 0, false, "次のレベルへ進みましょう"},
        {"the same after the goal", 2, 30, "3", 1, true, "このレベルクリア"},
        {"the last level", 5, 30, "3", 0, true, nullptr},
        {"cleared, not over-practised", 2, 30, "4", 0, true, "このレベルクリア"},
        {"over-practised, not cleared", 2, 999, "3", 0, true, nullptr},
    };
    for (const Case& c : cases) {
        EndScreen e;
        e.t.ctx.state.CurrentLevel = c.level;
        e.t.ctx.state.GoalLevelCleared = c.goalLevelCleared;
        e.t.ctx.criteria[c.level].clearPoints = c.clearPoints;
        e.t.ctx.criteria[c.level].overPracticeCount = c.overPracticeCount;
        e.earlierRunsToday(2, 30);
        FrmSyuuryou& f = e.finish(30);
        ASSERT_TRUE(f.Command4->isHidden()) << c.what;
        ASSERT_TRUE(f.Command5->isHidden()) << c.what;

        f.Timer1_Timer();
        EXPECT_FALSE(f.Command4->isHidden()) << c.what;
        EXPECT_EQ(f.focusWidget(), f.Command4) << c.what;
        EXPECT_EQ(!f.Command5->isHidden(), c.retry) << c.what;
        if (c.label2) {
            EXPECT_FALSE(f.Label2->isHidden()) << c.what;
            EXPECT_EQ(text(f.Label2), c.label2) << c.what;
        } else {
            EXPECT_TRUE(f.Label2->isHidden()) << c.what;
        }
        if (c.level == 5) {
            EXPECT_EQ(text(f.Label2), "") << c.what;
        }
    }
}

TEST(FrmSyuuryou, ButtonsWaitForTheEndOfTheSounds) {
    EndScreen e;
    e.t.ctx.state.CurrentLevel = 5;
    e.earlierRunsToday(2, 30);
    // The sounds take longer than the timer's half second; a click meanwhile
    // must find no button to press.
    std::vector<bool> menuShown;
    e.t.events.onProcess = [&] {
        if (FrmSyuuryou* f = e.app.find<FrmSyuuryou>(); f && f->Timer1->isActive()) {
            QThread::msleep(600);
            QCoreApplication::processEvents();
            menuShown.push_back(!f->Command4->isHidden());
        }
    };
    FrmSyuuryou& f = e.finish(30);
    e.t.events.onProcess = nullptr;

    ASSERT_FALSE(menuShown.empty());
    for (bool shown : menuShown)
        EXPECT_FALSE(shown);
    // The tick that came meanwhile is taken as soon as the sounds are over.
    EXPECT_FALSE(f.Command4->isHidden());
    EXPECT_FALSE(f.Command5->isHidden());
    EXPECT_TRUE(f.Picture1->isHidden());
    EXPECT_EQ(e.t.audio.played, e.sounds({"残念.wav", "合格.wav"}));
}

TEST(FrmSyuuryou, AgainStartsTheSameLevelOverTheWaitForm) {
    EndScreen e;
    e.t.ctx.state.CurrentLevel = 3;
    FrmSyuuryou& f = e.finish(70);
    f.Timer1_Timer();
    e.t.ctx.state.RightCount = 10;
    f.Command5->click();

    EXPECT_EQ(e.app.find<FrmSyuuryou>(), nullptr);
    EXPECT_NE(e.app.find<MainFrm>(), nullptr);
    EXPECT_EQ(e.t.ctx.state.CurrentLevel, 3);
    EXPECT_EQ(e.t.ctx.state.RightCount, 0); // a fresh run
    EXPECT_FALSE(f.Command4->isEnabled());
    // A second press before the screen has gone starts nothing more.
    e.app.unload<MainFrm>();
    e.app.unload<BASEFRM>();
    f.Command5_Click();
    f.Command4_Click();
    EXPECT_EQ(e.app.find<MainFrm>(), nullptr);
    EXPECT_EQ(e.app.find<BASEFRM>(), nullptr);
}

TEST(FrmSyuuryou, MenuLeadsOnFromTheEndScreenAndEnterPressesIt) {
    EndScreen e;
    e.t.ctx.state.CurrentLevel = 4;
    FrmSyuuryou& f = e.finish(70);
    f.Timer1_Timer();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(f.Command4, &enter);

    EXPECT_FALSE(f.Command4->isEnabled());
    EXPECT_EQ(e.app.find<FrmSyuuryou>(), nullptr);
    ASSERT_NE(e.app.activeForm(), nullptr); // the menu, or what stands in for it
}

TEST(FrmSyuuryou, ScreenshotOfANewRecord) {
    EndScreen e;
    e.t.ctx.state.CurrentLevel = 5;
    e.t.ctx.criteria[5].pointMultiplier = 1.5f;
    e.earlierRunsToday(2, 40);
    FrmSyuuryou& f = e.finish(28);
    EXPECT_EQ(text(f.Label20), "！！！最高新記録！！！");
    const QImage goal = saveShot(f, "FrmSyuuryou_goal.png");
    // The time in dark large type, the record message in red, and the
    // yellow goal panel.
    const auto dark = test::near(QColor(30, 30, 30), 40);
    const auto red = test::near(QColor(230, 0, 60), 40);
    const auto yellow = test::near(QColor(255, 215, 40), 20);
    EXPECT_GT(test::inkIn(goal, test::areaOn(&f, f.Label18), dark), 200);
    EXPECT_GT(test::inkIn(goal, test::areaOn(&f, f.Label20), red), 200);
    EXPECT_GT(test::shareOf(goal, test::areaOn(&f, f.Picture1), yellow), 0.5);
    f.Timer1_Timer();
    const QImage after = saveShot(f, "FrmSyuuryou.png");
    EXPECT_LT(test::shareOf(after, test::areaOn(&f, f.Picture1), yellow), 0.1)
        << "the goal panel has gone";
    EXPECT_GT(test::inkIn(after, test::areaOn(&f, f.Label18), dark), 200);
}

} // namespace
