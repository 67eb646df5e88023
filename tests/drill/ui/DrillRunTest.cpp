#include <gtest/gtest.h>

#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include "drill/RunStates.h"
#include "drill/ui/DrillRunFixture.h"
#include "drill/ui/ScreenInk.h"
#include "levelmenu/ui/seisekitime1.h"
#include "platform/ui/VbWidgets.h"
#include "results/ui/FrmSyuuryou.h"
#include "startup/ui/BASEFRM.h"

using namespace kestrel;
using kestrel::test::DrillScreen;
using kestrel::test::pressKey;
using kestrel::test::typeKeys;

namespace {

// Scripts the random values that draw `number` rounded at `place`.
void scriptProblem(test::FakeRandom& random, int type, int number, int place) {
    if (type == 1) {
        random.push(static_cast<float>((number - 1 + 0.5) / 99));
        random.push(0.5f);
    } else {
        random.push(static_cast<float>((number - 1000 + 0.5) / 9000));
        random.push(static_cast<float>((place - 1 + 0.5) / 3));
    }
}

int barWidth(const DrillScreen& d, VbShape* bar) {
    return d.form->twipsRect(bar).width();
}

} // namespace

TEST(DrillStart, HeaderShowsStudentLevelAndTodaysRunNumbers) {
    DrillScreen d(3, 60, 30);
    d.tc.ctx.summary->countToday[3][7] = 2;
    d.tc.ctx.summary->countToday[1][7] = 1;
    d.tc.ctx.summary->countToday[16][7] = 5; // beyond the levels that count today
    d.tc.ctx.summary->countToday[3][8] = 4;  // another student
    d.start();
    ASSERT_NE(d.form, nullptr);

    EXPECT_EQ(d.text("sLabel2"), QStringLiteral("四捨五入と概数のドリル"));
    EXPECT_EQ(d.text("sLabel7"), QStringLiteral("山田　花子"));
    EXPECT_EQ(d.text("sLabel8"), QStringLiteral("レベル３"));
    EXPECT_EQ(d.text("sLabel14"), QStringLiteral("みなみ小学校"));
    EXPECT_EQ(d.text("sLabel13"), QStringLiteral("2"));
    EXPECT_EQ(d.text("sLabel12"), QStringLiteral("4"));
    EXPECT_EQ(d.text("sLabel11"), QStringLiteral("3"));
    EXPECT_EQ(d.text("sLabel9"), QStringLiteral("10"));
    EXPECT_EQ(d.text("sLabel10"), QStringLiteral("0"));
    EXPECT_EQ(d.state().TodayRunCount, 3);
    EXPECT_EQ(d.text("qLabel1"), QStringLiteral("  1000"));

    // Time bar: 300 s over the full scale, the target and minimum lines on it.
    EXPECT_EQ(d.state().TimeLimitSeconds, 300);
    EXPECT_EQ(barWidth(d, d.form->sShape5), 15015);
    EXPECT_EQ(barWidth(d, d.form->sShape4), 3003);
    EXPECT_EQ(barWidth(d, d.form->sShape3), 1502);
    EXPECT_EQ(barWidth(d, d.form->sShape2), 0);
    EXPECT_TRUE(d.form->sTimer1->isActive());
    EXPECT_TRUE(d.form->sTimer2->isActive());
    EXPECT_FALSE(d.shown("sPicture2"));
    EXPECT_EQ(d.tc.random.seeds.size(), 1u);

    // The sign-in clock keeps the minutes up to date.
    d.tc.clock.advance(60);
    d.form->sTimer2_Timer();
    EXPECT_EQ(d.text("sLabel13"), QStringLiteral("3"));
}

TEST(DrillEntry, KeysBuildTheEntryUpToTenCharacters) {
    DrillScreen d;
    d.start();
    typeKeys(d.form, QStringLiteral("1a2+,-./*x3"));
    EXPECT_EQ(d.form->run().entry(), std::string("12+,-./*3"));
    EXPECT_EQ(d.text("inputLabel"), QStringLiteral("12+,-./*3"));

    typeKeys(d.form, QStringLiteral("4"));
    EXPECT_EQ(d.form->run().entry().size(), 10);
    EXPECT_EQ(d.played("警告1.wav"), 0);
    typeKeys(d.form, QStringLiteral("5"));
    EXPECT_EQ(d.form->run().entry(), std::string("12+,-./*34"));
    EXPECT_EQ(d.played("警告1.wav"), 1);
    // Any further character is refused with the warning, even one never typed.
    typeKeys(d.form, QStringLiteral("a"));
    EXPECT_EQ(d.played("警告1.wav"), 2);

    pressKey(d.form, Qt::Key_Backspace, QStringLiteral("\b"));
    EXPECT_EQ(d.text("inputLabel"), QStringLiteral("12+,-./*3"));
    d.form->Form_KeyPress(8);
    EXPECT_EQ(d.form->run().entry(), std::string("12+,-./*"));
    for (int i = 0; i < 12; ++i)
        d.form->Form_KeyPress(8);
    EXPECT_EQ(d.form->run().entry(), std::string());
    EXPECT_EQ(d.played("警告1.wav"), 2);
}

TEST(DrillEntry, ReturnAndArrowsClearTheEntryWhateverTheState) {
    const int keys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Left,
                        Qt::Key_Up,     Qt::Key_Right, Qt::Key_Down};
    enum class State { Entry, AnswerShown, Judging, RunOver };
    for (State state : {State::Entry, State::AnswerShown, State::Judging, State::RunOver}) {
        for (int key : keys) {
            SCOPED_TRACE(testing::Message() << "state " << int(state) << " key " << key);
            DrillScreen d;
            d.start();
            if (state == State::AnswerShown) d.answerWrong(false);
            d.form->run().rules().EntryText = "123";
            if (state == State::Judging) test::judging(d.state());
            if (state == State::RunOver) test::runFinished(d.state());
            pressKey(d.form, key, key == Qt::Key_Return ? QStringLiteral("\r") : QString());
            EXPECT_EQ(d.form->run().entry(), std::string());
            EXPECT_EQ(d.text("inputLabel"), QString());
        }
    }
    // Other key-down codes leave the entry alone.
    DrillScreen d;
    d.start();
    typeKeys(d.form, QStringLiteral("12"));
    for (uint16_t code : {12, 36, 41, 46})
        d.form->Form_KeyDown(code, 0);
    EXPECT_EQ(d.form->run().entry(), std::string("12"));
}

TEST(DrillJudging, EntryIsReadAsTheNumberAtItsStart) {
    struct Case {
        int level, type, number, place;
        const char* entry;
        bool right;
    } cases[] = {
        {3, 3, 1000, 1, "1000", true},   {3, 3, 1000, 1, "1000.0", true},
        {3, 3, 1000, 1, "1000+", true},  {3, 3, 1000, 1, "+1000", true},
        {3, 3, 1000, 1, "1,000", false}, {3, 3, 1000, 1, "", false},
        {3, 3, 4350, 2, "4400", true},   {3, 3, 4350, 2, "4300", false},
        {1, 1, 4, 1, "0", true},         {1, 1, 4, 1, "", false},
        {1, 1, 4, 1, "-0", true},        {1, 1, 95, 1, "100", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.number << " entry '" << c.entry << "'");
        DrillScreen d(c.level);
        scriptProblem(d.tc.random, c.type, c.number, c.place);
        d.start();
        ASSERT_EQ(d.form->currentProblem().number, c.number);
        d.tick(5);
        typeKeys(d.form, QString::fromUtf8(c.entry));
        typeKeys(d.form, QStringLiteral(" "));
        EXPECT_FALSE(d.state().runFlags.JudgeBusy());
        if (c.right) {
            EXPECT_EQ(d.state().RightCount, 1);
            EXPECT_EQ(d.text("sLabel9"), QStringLiteral("9"));
            EXPECT_EQ(d.played("seikai.wav"), 1);
            EXPECT_EQ(d.state().runFlags.ConfirmState(), ConfirmStep::Entry);
            EXPECT_EQ(d.form->run().entry(), std::string());
        } else {
            EXPECT_EQ(d.state().RightCount, 0);
            EXPECT_EQ(d.played("machigai.wav"), 1);
            EXPECT_EQ(d.state().runFlags.ConfirmState(), ConfirmStep::AnswerShown);
            EXPECT_FALSE(d.form->Timer1->isActive());
            EXPECT_EQ(d.form->run().entry(), std::string(c.entry));
        }
    }
}

TEST(DrillJudging, WrongAnswerShowsTheAnswerAndWaitsForTwoPlusKeys) {
    DrillScreen d(3);
    scriptProblem(d.tc.random, 3, 4350, 2);
    d.start();
    d.tick(4);
    EXPECT_EQ(d.text("sLabel10"), QStringLiteral("4"));

    typeKeys(d.form, QStringLiteral("4300 "));
    EXPECT_EQ(d.text("seitouLabel"), QStringLiteral("4400"));
    for (const char* name : {"seitouLabel", "Label11", "Commandkakunin2", "Label9"})
        EXPECT_TRUE(d.shown(name)) << name;
    EXPECT_EQ(d.text("Label9"), QStringLiteral("4  "));
    EXPECT_FALSE(d.form->Line1[2]->isHidden());
    EXPECT_EQ(d.text("Commandkakunin2"), QStringLiteral("\"+\"を２回押しなさい"));
    EXPECT_EQ(d.text("inputLabel"), QStringLiteral("4300"));

    // The clock jumps by the penalty at the next tick.
    d.tick();
    EXPECT_EQ(d.text("sLabel10"), QStringLiteral("15"));

    // Keys do not type, and only two "+" in a row confirm.
    const int drawn = d.tc.random.drawn;
    typeKeys(d.form, QStringLiteral("+1+"));
    EXPECT_EQ(d.state().runFlags.ConfirmState(), ConfirmStep::OnePlus);
    typeKeys(d.form, QStringLiteral(" 5+"));
    EXPECT_EQ(d.state().runFlags.ConfirmState(), ConfirmStep::OnePlus);
    EXPECT_EQ(d.form->run().entry(), std::string("4300"));
    EXPECT_TRUE(d.shown("seitouLabel"));
    EXPECT_EQ(d.tc.random.drawn, drawn);
    EXPECT_EQ(d.played("machigai.wav"), 1);

    scriptProblem(d.tc.random, 3, 9999, 3);
    typeKeys(d.form, QStringLiteral("+"));
    EXPECT_EQ(d.state().runFlags.ConfirmState(), ConfirmStep::Entry);
    EXPECT_EQ(d.text("qLabel1"), QStringLiteral("  9999"));
    for (const char* name : {"seitouLabel", "Label11", "Commandkakunin2", "Label9"})
        EXPECT_FALSE(d.shown(name)) << name;
    EXPECT_EQ(d.form->run().entry(), std::string());
    EXPECT_EQ(d.text("inputLabel"), QString());
    EXPECT_EQ(d.state().RightCount, 0);
    EXPECT_TRUE(d.form->Timer1->isActive());

    // "+" is typed again in normal entry.
    typeKeys(d.form, QStringLiteral("+"));
    EXPECT_EQ(d.form->run().entry(), std::string("+"));

    // Three wrong answers cost thirty seconds in all.
    d.form->run().keyDown(13);
    d.answerWrong();
    d.answerWrong();
    d.tick();
    EXPECT_EQ(d.text("sLabel10"), QStringLiteral("36"));
}

TEST(DrillJudging, KeysDuringJudgementAreDropped) {
    DrillScreen d;
    d.start();
    typeKeys(d.form, QStringLiteral("1000"));
    int events = 0;
    d.tc.events.onProcess = [&] {
        // A key press and the hint timer arriving while the cue is due.
        if (++events > 1) return;
        d.form->Form_KeyPress(u'5');
        d.form->Form_KeyPress(u' ');
        d.form->問題作成表示();
    };
    const int drawn = d.tc.random.drawn;
    typeKeys(d.form, QStringLiteral(" "));
    d.tc.events.onProcess = nullptr;
    EXPECT_EQ(d.state().RightCount, 1);
    EXPECT_EQ(d.played("seikai.wav"), 1);
    // The cue's draw and the next problem's two, nothing more.
    EXPECT_EQ(d.tc.random.drawn, drawn + 3);
    EXPECT_EQ(d.form->run().entry(), std::string());
}

TEST(DrillRunEnd, TenthRightAnswerEndsTheRunAndRecordsItOnce) {
    DrillScreen d(2, 60, 30);
    d.start();
    MainFrm* form = d.form;
    for (int i = 0; i < 9; ++i) {
        d.tick(2);
        d.answerRight();
    }
    EXPECT_EQ(d.text("sLabel9"), QStringLiteral("1"));
    d.tick(2);
    const int drawn = d.tc.random.drawn;
    d.answerRight();

    EXPECT_TRUE(d.state().runFlags.RunFinished());
    EXPECT_FALSE(d.state().runFlags.TimeUp());
    EXPECT_EQ(d.state().RightCount, 10);
    EXPECT_EQ(d.text("sLabel9"), QStringLiteral("0"));
    EXPECT_EQ(d.tc.random.drawn, drawn + 1) << "no eleventh problem";
    EXPECT_FALSE(form->sTimer1->isActive());
    EXPECT_TRUE(d.shown("sPicture2"));
    EXPECT_TRUE(d.shown("lblsss1"));
    EXPECT_FALSE(d.shown("lblsss2"));
    EXPECT_EQ(d.state().RunTime, 20);

    const auto records = test::readLog(d.tc.ctx.folders);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].seconds, 20);
    EXPECT_EQ(records[0].level, 2);
    EXPECT_EQ(records[0].studentNumber, 7);

    // The end screen replaces the drill after about a second.
    EXPECT_EQ(d.app.find<MainFrm>(), nullptr);
    EXPECT_NE(d.app.find<FrmSyuuryou>(), nullptr);
    EXPECT_EQ(d.app.find<BASEFRM>(), nullptr);
    EXPECT_GE(d.tc.events.idled, 100);
    EXPECT_LE(d.tc.events.idled, 102);

    // A late tick, a second call and keys change nothing.
    form->sTimer1_Timer();
    form->EndRun();
    form->Form_KeyPress(u' ');
    EXPECT_EQ(test::readLog(d.tc.ctx.folders).size(), 1u);
    EXPECT_EQ(d.state().RightCount, 10);
}

TEST(DrillRunEnd, TimeOutAtFiveTimesTheMinimumTime) {
    DrillScreen d(4, 60, 30);
    d.start();
    MainFrm* form = d.form;
    d.answerRight();
    d.tick(150);
    EXPECT_EQ(barWidth(d, form->sShape2), 7508);
    d.tick(149.4);
    EXPECT_EQ(d.text("sLabel10"), QStringLiteral("299"));
    EXPECT_FALSE(d.state().runFlags.TimeUp());
    EXPECT_TRUE(form->sTimer1->isActive());

    bool covered = false;
    d.tc.events.onProcess = [&] {
        if (covered || form->sPicture2->isHidden()) return;
        covered = true;
        const QImage shot = form->grab().toImage();
        EXPECT_TRUE(shot.save(test::screenshotDir() + "/MainFrm_run_time_up.png"));
        // The turquoise cover over the whole drill, "時間切れ" in red on it,
        // and no "成績記録中".
        EXPECT_GT(test::shareOf(shot, shot.rect(), test::near(QColor(0, 192, 192), 8)), 0.8);
        EXPECT_GT(
            test::inkIn(shot, test::areaOn(form, form->lblsss2), test::near(QColor(255, 0, 0), 60)),
            100);
        EXPECT_EQ(
            test::inkIn(shot, test::areaOn(form, form->lblsss1), test::near(QColor(0, 0, 0), 60)),
            0);
    };
    d.tick(0.2); // 299.6 reads as 300
    d.tc.events.onProcess = nullptr;
    EXPECT_TRUE(covered);
    EXPECT_EQ(d.text("sLabel10"), QStringLiteral("300"));
    EXPECT_EQ(barWidth(d, form->sShape2), barWidth(d, form->sShape5));
    EXPECT_TRUE(d.state().runFlags.TimeUp());
    EXPECT_FALSE(form->sTimer1->isActive());
    EXPECT_TRUE(d.shown("lblsss2"));
    EXPECT_FALSE(d.shown("lblsss1"));
    EXPECT_EQ(form->lblsss2->text(), QStringLiteral("時間切れ"));
    EXPECT_EQ(d.state().RunTime, 99999);
    const auto records = test::readLog(d.tc.ctx.folders);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].seconds, 99999);
    EXPECT_NE(d.app.find<FrmSyuuryou>(), nullptr);

    // Nothing more is judged.
    typeKeys(form, QStringLiteral("1000 "));
    EXPECT_EQ(d.state().RightCount, 1);
    form->EndRun();
    EXPECT_EQ(test::readLog(d.tc.ctx.folders).size(), 1u);
}

TEST(DrillRunEnd, TimeOutWaitsForTheJudgementInProgress) {
    // The tenth right answer during a time-out tick: the run is completed.
    {
        DrillScreen d(3, 60, 30);
        d.start();
        for (int i = 0; i < 9; ++i)
            d.answerRight();
        d.tick(299);
        bool ticked = false;
        d.tc.events.onProcess = [&] {
            if (ticked) return;
            ticked = true;
            d.tick(2);
        };
        d.answerRight();
        EXPECT_TRUE(ticked);
        EXPECT_FALSE(d.state().runFlags.TimeUp());
        EXPECT_TRUE(d.state().runFlags.RunFinished());
        EXPECT_EQ(d.state().RunTime, 301);
        EXPECT_FALSE(d.shown("lblsss2"));
        EXPECT_TRUE(d.shown("lblsss1"));
        const auto records = test::readLog(d.tc.ctx.folders);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].seconds, 301);
    }
    // A wrong answer during a time-out tick is shown first; the next tick ends the run.
    {
        DrillScreen d(3, 60, 30);
        d.start();
        d.tick(299);
        bool ticked = false;
        d.tc.events.onProcess = [&] {
            if (ticked) return;
            ticked = true;
            d.tick(0.6);
        };
        d.answerWrong(false);
        d.tc.events.onProcess = nullptr;
        EXPECT_FALSE(d.state().runFlags.TimeUp());
        EXPECT_TRUE(d.shown("Commandkakunin2"));
        EXPECT_TRUE(d.form->sTimer1->isActive());
        d.tick(0.5);
        EXPECT_TRUE(d.state().runFlags.TimeUp());
        EXPECT_EQ(d.state().RunTime, 99999);
    }
}

TEST(DrillRunEnd, PracticeLevelRecordsNothingAndGoesBackToTheMenu) {
    DrillScreen d(3, 60, 30);
    d.tc.ctx.program.LevelNames[3] = "練習";
    d.tc.ctx.summary->countToday[3][7] = 2;
    d.start();
    MainFrm* form = d.form;
    EXPECT_EQ(d.text("sLabel12"), QStringLiteral("－"));
    EXPECT_EQ(d.text("sLabel11"), QStringLiteral("－"));
    for (int i = 0; i < 10; ++i) {
        d.tick();
        d.answerRight();
    }
    EXPECT_TRUE(!form->lblsss1->isHidden());
    EXPECT_EQ(test::readLog(d.tc.ctx.folders).size(), 0u);
    EXPECT_EQ(d.app.find<FrmSyuuryou>(), nullptr);
    EXPECT_EQ(d.app.find<MainFrm>(), nullptr);
    EXPECT_NE(d.app.find<seisekitime1>(), nullptr);
}

TEST(DrillRunEnd, ARunAcrossMidnightKeepsItsRealTime) {
    // Signed in at 23:50, the run starts at 23:59:50 and ends at 00:00:20.
    DrillScreen d(3, 60, 30);
    d.tc.clock.set(CivilDate{2026, 12, 9}, 86390);
    d.state().SessionStartDay = dayNumber(CivilDate{2026, 12, 9});
    d.state().SessionStartSeconds = 85800;
    d.start();
    EXPECT_EQ(d.text("sLabel13"), QStringLiteral("9"));
    for (int i = 0; i < 10; ++i) {
        d.tick(3);
        if (i == 3) {
            d.form->sTimer2_Timer();
            EXPECT_EQ(d.text("sLabel13"), QStringLiteral("10")) << "minutes after midnight";
        }
        d.answerRight();
    }
    EXPECT_EQ(d.state().RunTime, 30);
    const auto records = test::readLog(d.tc.ctx.folders);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].seconds, 30);
    EXPECT_EQ(records[0].date, static_cast<double>(dayNumber(CivilDate{2026, 12, 10})));
}

TEST(DrillRunEnd, ARunAcrossMidnightTimesOut) {
    DrillScreen d(3, 10, 5); // 50 seconds to the time-out
    d.tc.clock.set(CivilDate{2026, 12, 9}, 86380);
    d.start();
    d.tick(30); // 00:00:10
    EXPECT_FALSE(d.state().runFlags.TimeUp());
    EXPECT_EQ(d.text("sLabel10"), QStringLiteral("30"));
    d.tick(20);
    EXPECT_TRUE(d.state().runFlags.TimeUp());
    EXPECT_EQ(test::readLog(d.tc.ctx.folders).at(0).seconds, 99999);
}

TEST(DrillEntry, DeleteTypesNothing) {
    // X reports the Delete key with the text U+007F: no character of the
    // entry, no warning at a full entry, and no break of "+" "+".
    DrillScreen d;
    d.start();
    typeKeys(d.form, QStringLiteral("1234567890"));
    pressKey(d.form, Qt::Key_Delete, QString(QChar(0x7f)));
    EXPECT_EQ(d.form->run().entry(), std::string("1234567890"));
    EXPECT_TRUE(d.tc.audio.played.empty());

    typeKeys(d.form, QStringLiteral(" ")); // wrong: the answer is shown
    const size_t played = d.tc.audio.played.size();
    typeKeys(d.form, QStringLiteral("+"));
    pressKey(d.form, Qt::Key_Delete, QString(QChar(0x7f)));
    typeKeys(d.form, QStringLiteral("+"));
    EXPECT_EQ(d.state().runFlags.ConfirmState(), ConfirmStep::Entry) << "confirmed";
    EXPECT_TRUE(d.form->seitouLabel->isHidden());
    EXPECT_EQ(d.tc.audio.played.size(), played);
}

TEST(DrillRunEnd, TheWaitScreenIsASmallWindowOverTheCover) {
    // While the run is recorded and the end screen comes, the child sees
    // the cover's "成績記録中" around a small "Just a moment, please.".
    DrillScreen d(2, 60, 30);
    d.start();
    MainFrm* form = d.form;
    for (int i = 0; i < 9; ++i)
        d.answerRight();
    bool seen = false;
    d.tc.events.onProcess = [&] {
        auto* wait = d.app.find<BASEFRM>();
        if (seen || !wait || !wait->isVisible()) return;
        seen = true;
        const QRect drill = form->geometry();
        const QRect small = wait->geometry();
        EXPECT_TRUE(drill.contains(small)) << "over the drill";
        EXPECT_LT(small.width(), drill.width() / 2);
        EXPECT_LT(small.height(), drill.height() / 4);
        EXPECT_NEAR(small.center().x(), drill.center().x(), 2);
        // The cover's messages stay in sight.
        for (VbLabel* message : {form->lblsss1, form->lblsss2}) {
            const QRect m(message->mapTo(form, QPoint(0, 0)) + drill.topLeft(), message->size());
            EXPECT_FALSE(small.intersects(m)) << message->objectName().toStdString();
        }
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(form->sPicture2->isVisible());
        EXPECT_TRUE(form->lblsss1->isVisible());
        EXPECT_EQ(d.app.activeForm(), form) << "the wait screen is not a screen of its own";
        EXPECT_TRUE(wait->windowFlags() & Qt::FramelessWindowHint);
        // What the child sees: the drill with the small window over it.
        QPixmap shot = form->grab();
        QPainter p(&shot);
        p.drawPixmap(small.topLeft() - drill.topLeft(), wait->grab());
        p.end();
        EXPECT_TRUE(shot.save(test::screenshotDir() + "/MainFrm_run_recorded_wait.png"));
    };
    d.answerRight();
    d.tc.events.onProcess = nullptr;
    EXPECT_TRUE(seen);
}
