// A drill run through its use case alone: the order of judging, ticks, the
// time-out and the confirmation, whichever front drives it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drill/DrillTexts.h"
#include "school/DrillRun.h"
#include "support/Fakes.h"

namespace kestrel::test {
namespace {

// Level 3 of a school whose level 3 has a 100-second limit (minimum 20 s).
// The fake random source draws the same problem every time.
struct RunSchool {
    School school;
    SharedState state;
    FakeRandom random;
    RunSchool() {
        DefineProgram(school.program);
        DefineLevelTable(school.program);
        school.criteria[3].minimumTime = 20;
        school.criteria[3].targetTime = 10;
        school.config.SchoolCode = "12345";
        state.CurrentLevel = 3;
        state.CurrentStudentNumber = 7;
        state.CurrentStudentName = " 山田　花子 ";
    }
};

// What a step does to the run, and what it answers, as a word.
enum class Op {
    Right,     // the right answer typed and judged; proceed() follows at once
    Wrong,     // nothing typed and judged; proceed() follows
    JudgeOnly, // the right answer judged, its follow-up still to come
    Proceed,   // the follow-up of the answer judged
    Key,       // a character typed
    Confirm,   // "+" "+"
    Tick,      // the run clock's tick, time-out included
    CatchUp,   // every tick due, as a front without a timer of its own
};
struct Step {
    double at;
    Op op;
    char16_t key = 0;
    std::string expect = {}; // what it answered, when given
};

std::string word(RunRules::Key k) {
    const char* names[] = {"ignored", "judge", "typed", "refused", "confirm", "waiting"};
    return names[int(k)];
}
std::string word(AfterAnswer::Kind k) {
    const char* names[] = {"none", "next", "ended", "confirm"};
    return names[int(k)];
}
std::string word(RunRules::Tick t) {
    const char* names[] = {"running", "limit", "timeout"};
    return names[int(t)];
}

struct Played {
    std::vector<std::string> answers;
    RunEnd end;
};

Played play(const std::vector<Step>& steps) {
    RunSchool s;
    DrillRun run(s.school, s.state, s.random);
    run.start(0, LocalTime{CivilDate{2026, 12, 10}, 36000});
    Played out;
    auto typed = [&](const std::string& text) {
        for (char c : text)
            run.keyPress(static_cast<char16_t>(c));
    };
    const std::string right = correctAnswerText(run.problem().CorrectAnswer);
    for (const Step& st : steps) {
        std::string answer;
        switch (st.op) {
        case Op::Right:
        case Op::JudgeOnly:
        case Op::Wrong:
            if (st.op != Op::Wrong) typed(right);
            answer = word(run.keyPress(u' '));
            if (answer == "judge") {
                const Answered a = run.judge(st.at);
                answer = a.verdict == Judgement::Right ? "right" : "wrong";
                if (st.op == Op::JudgeOnly) break;
                answer += " " + word(run.proceed(st.at).kind);
                run.judgingDone();
            }
            break;
        case Op::Proceed:
            answer = word(run.proceed(st.at).kind);
            run.judgingDone();
            break;
        case Op::Key:
            answer = word(run.keyPress(st.key));
            break;
        case Op::Confirm:
            answer = run.confirm(st.at) ? "problem" : "nothing";
            break;
        case Op::Tick: {
            const RunRules::Tick t = run.tick(st.at);
            answer = word(t);
            if (t == RunRules::Tick::AtLimit && run.timeOut()) answer = "timeout";
            break;
        }
        case Op::CatchUp:
            answer = word(run.catchUp(st.at));
            break;
        }
        if (!st.expect.empty()) {
            EXPECT_EQ(answer, st.expect) << "at " << st.at;
        }
        out.answers.push_back(answer);
        if (run.flags().ended() && !run.flags().JudgeBusy() && !out.end.claimed)
            out.end = run.finish(LocalTime{CivilDate{2026, 12, 10}, 36000 + st.at});
    }
    return out;
}

std::vector<Step> rights(double from, int n, double gap = 1) {
    std::vector<Step> steps;
    for (int k = 0; k < n; ++k)
        steps.push_back({from + k * gap, Op::Right});
    return steps;
}

std::vector<Step> join(std::vector<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(DrillRunUseCase, JudgingTicksTimeOutsAndConfirmationsInEveryOrder) {
    struct Case {
        const char* what;
        std::vector<Step> steps;
        int32_t recorded; // the record's seconds
    };
    const Case cases[] = {
        {"ten right answers, the time of the last tick",
         join({{{1, Op::Tick}, {2, Op::Tick}, {3, Op::Tick}}, rights(3.6, 10, 0.01)}), 3},
        {"keys while an answer is judged are dropped, and no problem is drawn",
         join({{{1, Op::JudgeOnly, 0, "right"},
                {1.1, Op::Key, u'5', "ignored"},
                {1.2, Op::Key, u' ', "ignored"},
                {1.3, Op::Proceed, 0, "next"},
                {1.4, Op::Key, u'5', "typed"},
                {1.5, Op::Key, 8, "typed"}},
               rights(2, 9)}),
         0},
        {"the time-out waits for the answer being judged, which ends the run",
         join({rights(1, 9),
               {{99, Op::Tick},
                {99.5, Op::JudgeOnly, 0, "right"},
                {100, Op::Tick, 0, "limit"},
                {100.1, Op::Proceed, 0, "ended"}}}),
         100},
        {"a time-out while a wrong answer waits for + +",
         {{5, Op::Wrong, 0, "wrong confirm"},
          {6, Op::Key, u'+', "waiting"},
          {50, Op::Tick},
          {100, Op::Tick, 0, "timeout"},
          {101, Op::Confirm, 0, "nothing"},
          {101, Op::Key, u'+', "ignored"}},
         99999},
        {"only two + in a row confirm",
         join({{{2, Op::Wrong},
                {3, Op::Key, u'+', "waiting"},
                {3.1, Op::Key, u'1', "waiting"},
                {3.2, Op::Key, u'+', "waiting"},
                {3.3, Op::Key, u'+', "confirm"},
                {3.4, Op::Confirm, 0, "problem"},
                {3.5, Op::Confirm, 0, "nothing"}},
               {{3.9, Op::Tick}},
               rights(4, 10)}),
         14},
        {"a front without a timer catches up: the time is the last whole second",
         join({rights(1.5, 9, 2), {{19.9, Op::CatchUp}}, rights(19.95, 1)}), 19},
        {"catching up after the limit times the run out",
         join({rights(1, 3), {{100.5, Op::CatchUp, 0, "timeout"}}}), 99999},
        {"a wrong answer's ten seconds show from the next tick",
         join({{{2.5, Op::Wrong}, {2.6, Op::Confirm}, {3, Op::Tick}}, rights(3.2, 10, 0.05)}), 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Played p = play(c.steps);
        ASSERT_TRUE(p.end.claimed);
        ASSERT_TRUE(p.end.record);
        EXPECT_EQ(p.end.record->seconds, c.recorded);
        EXPECT_EQ(p.end.timeUp, c.recorded == 99999);
    }
}

TEST(DrillRunUseCase, TheRecordIsDatedByTheWallClockAndTimedByTheMonotonicOne) {
    RunSchool s;
    DrillRun run(s.school, s.state, s.random);
    const RunStart start = run.start(1000, LocalTime{CivilDate{2026, 12, 10}, 36000});
    EXPECT_EQ(start.header.limitSeconds, 100);
    EXPECT_EQ(start.header.studentName, "山田　花子");
    EXPECT_EQ(start.header.remaining, 10);
    const std::string right = correctAnswerText(run.problem().CorrectAnswer);
    for (int k = 1; k <= 10; ++k) {
        run.tick(1000 + 2 * k);
        for (char c : right)
            run.keyPress(static_cast<char16_t>(c));
        ASSERT_EQ(run.keyPress(u' '), RunRules::Key::Judge);
        run.judge(1000 + 2 * k + 0.5);
        run.proceed(1000 + 2 * k + 0.5);
    }
    // The wall clock was put back an hour meanwhile: the record's date and
    // time of day are the wall clock's, its seconds the run's own.
    const RunEnd end = run.finish(LocalTime{CivilDate{2026, 12, 10}, 36000 - 3600 + 21});
    ASSERT_TRUE(end.record);
    EXPECT_EQ(end.record->seconds, 20);
    EXPECT_DOUBLE_EQ(end.record->timeOfDay, (36000 - 3600 + 21) / 86400.0);
    EXPECT_EQ(end.record->studentNumber, 7);
    EXPECT_FALSE(run.finish(LocalTime{}).claimed) << "the end is handed off once";
}

TEST(DrillRunUseCase, UntimedAndPracticeLevelsRecordNothingAndHaveNoLimit) {
    struct Case {
        const char* what;
        int level;
        const char* name;
        bool timed;
    };
    const Case cases[] = {{"practice", 3, "練習", true}, {"untimed", 30, "ﾚﾍﾞﾙ30", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunSchool s;
        s.school.program.LevelNames[static_cast<size_t>(c.level)] = c.name;
        s.school.criteria[c.level].minimumTime = 20;
        s.state.CurrentLevel = static_cast<int16_t>(c.level);
        DrillRun run(s.school, s.state, s.random);
        const RunStart start = run.start(0, LocalTime{});
        EXPECT_EQ(start.header.timed, c.timed);
        EXPECT_EQ(start.header.limitSeconds, c.timed ? 100 : 0);
        if (!c.timed) {
            EXPECT_EQ(run.catchUp(10000), RunRules::Tick::Running);
        }
        const RunEnd end = run.finish(LocalTime{});
        EXPECT_TRUE(end.claimed);
        EXPECT_FALSE(end.record);
    }
}

TEST(DrillRunUseCase, ATabletsAnswerIsJudgedOnlyAsTheKeysCouldHaveTypedIt) {
    RunSchool s;
    DrillRun run(s.school, s.state, s.random);
    run.start(0, LocalTime{});
    for (const char* refused : {"12345678901", "1e3", "１０００", " 1000", "abc"})
        EXPECT_FALSE(run.answer(refused, 1)) << refused;
    const std::optional<Answered> wrong = run.answer("", 1);
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->verdict, Judgement::Wrong);
    EXPECT_EQ(run.proceed(1).kind, AfterAnswer::Kind::Confirm);
    EXPECT_FALSE(run.answer("1000", 2)) << "a wrong answer waits for its confirmation";
    EXPECT_TRUE(run.confirm(3));
    const std::optional<Answered> right =
        run.answer(correctAnswerText(run.problem().CorrectAnswer) + ".0", 4.25);
    ASSERT_TRUE(right);
    EXPECT_EQ(right->verdict, Judgement::Right);
    EXPECT_EQ(right->answerMs, 1250) << "from the problem drawn at the confirmation";
}

} // namespace
} // namespace kestrel::test
