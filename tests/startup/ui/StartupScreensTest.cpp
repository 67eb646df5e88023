#include <gtest/gtest.h>

#include <QTimer>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "drill/ui/MainFrm.h"
#include "platform/ui/Shots.h"
#include "platform/ui/VbWidgets.h"
#include "roster/ui/namesel.h"
#include "startup/Calendar.h"
#include "startup/Folders.h"
#include "startup/ProgramDefinition.h"
#include "startup/Season.h"
#include "startup/ui/BASEFRM.h"
#include "startup/ui/Firstfrm.h"
#include "support/Installation.h"
#include "support/SystemFiles.h"

using namespace kestrel;
using namespace kestrel::test; // the errno-made failure of either system
using kestrel::test::colourShare;
using kestrel::test::Installation;
using kestrel::test::shot;
using kestrel::test::TestContext;

TEST(Firstfrm, LoadShowsTheDateOnTheSeasonColourAndArmsTheTimer) {
    struct Case {
        CivilDate date;
        uint32_t colour;
    } cases[] = {{{2026, 2, 3}, 33023}, {{2026, 12, 9}, 12648384}};
    for (const auto& c : cases) {
        TestContext t;
        t.clock.set(c.date, 8 * 3600 + 12.25);
        App app(t.ctx);
        Firstfrm& splash = app.show<Firstfrm>();

        EXPECT_EQ(t.ctx.state.SeasonColour, c.colour);
        EXPECT_EQ(splash.backColor(), fromColourValue(c.colour));
        auto* label5 = splash.findChild<VbLabel*>(QStringLiteral("Label5"));
        ASSERT_NE(label5, nullptr);
        EXPECT_EQ(label5->text().toStdString(), eraDate(c.date));
        EXPECT_EQ(t.random.seeds, std::vector<double>{8 * 3600 + 12.25});

        auto* timer = splash.findChild<QTimer*>(QStringLiteral("Timer1"));
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(timer->interval(), 100);
        EXPECT_TRUE(timer->isSingleShot());
        EXPECT_TRUE(timer->isActive());
        // Drawn: the season all round the title art, the date in black on white.
        const QImage seen =
            shot(splash, c.date.month == 12 ? "Firstfrm.png" : "Firstfrm_february.png");
        auto* art = splash.findChild<QWidget*>(QStringLiteral("Picture1"));
        ASSERT_NE(art, nullptr);
        EXPECT_EQ(QColor(seen.pixel(seen.width() / 2, art->y() / 2)), fromColourValue(c.colour));
        EXPECT_GT(colourShare(seen, splash, *label5, Qt::white), 0.5);
        EXPECT_GT(colourShare(seen, splash, *label5, Qt::black), 0.01);
        timer->stop();
    }
}

TEST(Firstfrm, TimerRunsStartUpAndOpensTheNameScreen) {
    Installation inst;
    TestContext t;
    t.ctx.programFile = inst.programFile();
    App app(t.ctx);
    Firstfrm& splash = app.show<Firstfrm>();
    splash.Timer1_Timer();

    EXPECT_FALSE(splash.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    EXPECT_EQ(app.find<Firstfrm>(), nullptr);
    EXPECT_NE(app.find<namesel>(), nullptr);
    EXPECT_EQ(app.find<MainFrm>(), nullptr);
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(t.ctx.folders.SharedFolder, inst.sharedFolder());
    EXPECT_EQ(t.ctx.config.SchoolName, "テスト小学校");
    EXPECT_EQ(t.ctx.criteria[1].targetTime, 60);
    // Nobody is signed in until a name is chosen.
    EXPECT_EQ(t.ctx.state.CurrentStudentNumber, 0);
}

TEST(Firstfrm, StartUpFailureIsShownAndEndsTheProgram) {
    const auto without = [](const char* file) {
        return [file](Installation& inst, TestContext&) { inst.remove(file); };
    };
    struct Case {
        std::function<void(Installation&, TestContext&)> breakIt;
        const char* named;
    } cases[] = {
        {without(Installation::kPathFile), "パスデータ.txt"},
        {without(Installation::kConfigFile), "共通データ.txt"},
        {without(Installation::kCriteriaFile), "タイム回数データ.txt"},
        // Without the mount table nothing tells whether the locks reach the other PCs.
        {[](Installation&, TestContext& t) {
             auto table = std::make_unique<test::FakeMountTable>();
             table->failure = posixFileStatus(EACCES);
             t.ctx.mounts = std::move(table);
         },
         "/proc/self/mountinfo"},
    };
    for (const auto& c : cases) {
        Installation inst;
        TestContext t;
        c.breakIt(inst, t);
        t.ctx.programFile = inst.programFile();
        App app(t.ctx);
        Firstfrm& splash = app.show<Firstfrm>();
        try {
            splash.Timer1_Timer();
            ADD_FAILURE() << c.named << ": the program went on";
        } catch (const ProgramEnded& e) {
            EXPECT_NE(e.status(), 0);
        }
        ASSERT_EQ(t.dialogs.shown.size(), 1u) << c.named;
        EXPECT_EQ(t.dialogs.shown[0].title, "起動エラー");
        EXPECT_NE(t.dialogs.shown[0].text.find(c.named), std::string::npos)
            << t.dialogs.shown[0].text;
        EXPECT_EQ(app.find<MainFrm>(), nullptr);
    }
}

TEST(StartDrill, ResetsTheRunStateTheSameWayEveryTime) {
    Installation inst;
    TestContext t;
    t.ctx.programFile = inst.programFile();
    App app(t.ctx);
    InitialiseFolders(t.ctx);
    DefineLevelTable(t.ctx.program);
    t.ctx.state.CurrentStudentNumber = 1;
    t.ctx.state.CurrentLevel = 2;
    // A run that ended by time-out between the two "+" after a wrong answer.
    {
        RunRules run(t.ctx.state);
        LevelCriteria criteria;
        criteria.minimumTime = 60;
        run.setLimits(criteria, 15015);
        run.start(36000);
        run.keyPress(u'7');
        run.keyPress(u' ');
        run.judge(1000);
        run.afterJudgement();
        run.judgingDone();
        run.keyPress(u'+');
        run.tick(36290);
        run.claimEnd();
    }
    t.ctx.state.RightCount = 7;

    auto flags = [&] {
        const SharedState& s = t.ctx.state;
        const RunFlags& f = s.runFlags;
        return std::vector<int>{f.TimeUp(),
                                f.RunFinished(),
                                f.EndHandled(),
                                f.JudgeBusy(),
                                static_cast<int>(f.ConfirmState()),
                                s.RightCount,
                                s.CurrentLevel};
    };
    ASSERT_NE(flags(), (std::vector<int>{0, 0, 0, 0, 0, 0, 2}));
    StartDrill(app);
    const std::vector<int> once = flags();
    EXPECT_EQ(once, (std::vector<int>{0, 0, 0, 0, 0, 0, 2}));
    StartDrill(app);
    EXPECT_EQ(flags(), once);
    EXPECT_NE(app.find<MainFrm>(), nullptr);
    EXPECT_GE(t.events.processed, 2);
}

TEST(BASEFRM, ShowsTheWaitTextAndLetsUpdatesRun) {
    TestContext t;
    App app(t.ctx);
    BASEFRM& wait = app.show<BASEFRM>();
    auto* label = wait.findChild<VbLabel*>(QStringLiteral("Label19"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Just a moment, please."));
    EXPECT_GE(t.events.processed, 1);
    const QImage seen = shot(wait, "BASEFRM.png");
    EXPECT_GT(colourShare(seen, wait, *label, Qt::white), 0.5);
    EXPECT_GT(colourShare(seen, wait, *label, Qt::black), 0.01) << "the text is drawn";
}
