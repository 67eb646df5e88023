#pragma once
// One drill run as every front runs it: ten problems of the current level
// to answer right against the run clock, a 10-second penalty and the "+"
// "+" confirmation after a wrong answer, the time-out at five times the
// level's minimum time, and at the end the record of the run. The drill
// screen and the classroom server draw what it returns; neither knows the
// order of the steps.
//
// The run is timed by the monotonic clock (seconds from an arbitrary start,
// never stepped): a change of the wall clock during a run changes nothing
// recorded, and the wall clock only dates the record. The run's flags stay
// in the SharedState given, where every handler that pending events may
// re-enter tests them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "drill/Problem.h"
#include "drill/RunRules.h"
#include "platform/Clock.h"
#include "platform/Random.h"
#include "results/ResultRecord.h"
#include "school/School.h"
#include "startup/SharedState.h"

namespace kestrel {

// What the drill's header shows for the run and how its time bar is scaled.
struct RunHeader {
    std::string title;          // sLabel2: the program's title
    bool smallTitle = false;    // a long title takes the smaller font
    std::string studentName;    // sLabel7, blanks trimmed
    std::string levelName;      // sLabel8
    std::string schoolName;     // sLabel14
    int minutesSinceSignIn = 0; // sLabel13
    std::string todayRun;       // sLabel12: this run's number today, or "－"
    std::string levelRun;       // sLabel11: its number today at this level, or "－"
    int remaining = 10;         // sLabel9
    bool timed = false;         // the level shows the run clock and its bar, and is recorded
    int32_t limitSeconds = 0;   // the time-out; 0 when the level has none
    int32_t targetTime = 0;     // the green bar
    int32_t minimumTime = 0;    // the light green bar
};

// A problem as it is drawn, with the delay before its hint shows itself.
struct ShownProblem {
    Problem problem;
    int hintDelayMs = 0;
};

struct RunStart {
    RunHeader header;
    ShownProblem first;
};

// A judged answer, for the front to show before the run goes on.
struct Answered {
    Judgement verdict = Judgement::None; // None: nothing was judged (the run has ended)
    Problem problem;                     // the problem answered
    std::string entry;                   // the text as it was judged
    std::string correctAnswer;           // the answer in digits, shown after a wrong one
    Working working;                     // the worked hint of the problem
    int32_t elapsedSeconds = 0;          // the run clock, a wrong answer's penalty included
    int64_t answerMs = 0;                // from the problem being drawn to its judgement
    bool hintShown = false;              // the hint had shown itself before the answer
};

// What follows a judged answer once the front has shown it.
struct AfterAnswer {
    enum class Kind {
        None,    // nothing was judged
        Next,    // a right answer, not the last: the next problem
        Ended,   // the last right answer: the run is over, to be finished
        Confirm, // a wrong answer: the correct answer waits for "+" "+"
    };
    Kind kind = Kind::None;
    int remaining = 0;                // problems still to answer right
    std::optional<ShownProblem> next; // for Next
};

// The end of the run, once: the record to append, or none for a run that
// is not recorded (a practice level, a level without a clock).
struct RunEnd {
    bool claimed = false; // false: the end had been handed off already
    bool timeUp = false;
    std::optional<ResultRecord> record;
};

// The record of `state`'s run at `level` dated `wallNow`: the student, the
// run's time (RunTime) and the school's code.
ResultRecord runRecord(const School& school, const SharedState& state, int level,
                       const LocalTime& wallNow);

class DrillRun {
public:
    // The run of `state`'s student at its CurrentLevel, with the school's
    // levels, criteria and summary, drawing its problems from `random`.
    DrillRun(const School& school, SharedState& state, Random& random);

    // Starts the run at `monotonicNow`: the flags and the entry start
    // afresh, the limit and the bar's scale are set for a timed level, the
    // header's texts are made, the clock starts and the first problem is
    // drawn. `wallNow` gives the minutes since sign-in.
    // The bar's full scale is `barFullScale` (the drill screen's twips).
    RunStart start(double monotonicNow, const LocalTime& wallNow, double barFullScale = 1.0);

    // ---- Keys on a keyboard
    // A typed character; Judge asks the front to judge() the entry.
    RunRules::Key keyPress(char16_t c) { return m_rules.keyPress(c); }
    // Return or an arrow key: the entry is emptied, whatever the state.
    bool keyDown(uint16_t keyCode) { return m_rules.keyDown(keyCode); }
    const std::string& entry() const { return m_rules.EntryText; }

    // ---- Answers
    // Judges the entry as typed so far (after keyPress returned Judge).
    // JudgeBusy holds until proceed(), so that keys and the time-out wait
    // while the front shows the verdict.
    Answered judge(double monotonicNow);
    // An answer typed elsewhere (a tablet's page): judged as the keys would
    // have typed it. Nothing when it holds a character the keys cannot type
    // or is too long, or when no answer is awaited (a wrong answer is being
    // confirmed, or the run has ended).
    std::optional<Answered> answer(std::string_view typed, double monotonicNow);
    // What follows the answer last judged: the next problem, the end, or
    // the confirmation. A right answer counts here.
    AfterAnswer proceed(double monotonicNow);
    // The judgement and what follows it are over: keys count again. The
    // desktop calls it once its handler has finished, the end included.
    void judgingDone() { m_rules.judgingDone(); }
    // The "+" "+" confirmation of a wrong answer: a new problem. Nothing
    // when no wrong answer is shown.
    std::optional<ShownProblem> confirm(double monotonicNow);
    // The hint has shown itself (its timer, or a page that asked for it).
    void hintShown() { m_hintShown = true; }
    // Whether the hint may show at `monotonicNow`: its delay is over (a
    // timer elsewhere may fire `earlySeconds` early), it has shown, or a
    // wrong answer shows it with the correct one.
    bool hintDue(double monotonicNow, double earlySeconds = 0) const;
    bool hintVisible() const { return m_hintShown; }

    // ---- The run clock
    // One tick of the run clock: ElapsedSeconds, and whether the limit is
    // reached. The time-out itself is timeOut(), so that a front may let
    // pending events run in between.
    RunRules::Tick tick(double monotonicNow) { return m_rules.measure(monotonicNow); }
    bool timeOut() { return m_rules.timeOut(); }
    // Every tick of a one-second clock due by `monotonicNow`, for a front
    // without a timer of its own: its last value, and the time-out at the
    // first tick that reaches the limit. TimeOut when the run timed out now.
    RunRules::Tick catchUp(double monotonicNow);

    // The end of the run, handed off once: the record dated `wallNow` with
    // the run's time (99999 after a time-out, else the clock's last tick).
    RunEnd finish(const LocalTime& wallNow);

    // Draws a new problem of the level, unless the run has ended or an
    // answer is being judged.
    std::optional<ShownProblem> drawProblem(double monotonicNow);

    const Problem& problem() const { return m_problem; }
    // The rules underneath, for a test that sets a state no key reaches.
    RunRules& rules() { return m_rules; }
    int remaining() const { return m_rules.remaining(); }
    // The run clock as its last tick set it.
    int32_t elapsedSeconds() const { return m_state.ElapsedSeconds; }
    // The run clock at `monotonicNow`, penalties included, between ticks.
    int32_t elapsedAt(double monotonicNow) const { return m_rules.elapsedAt(monotonicNow); }
    const RunFlags& flags() const { return m_rules.flags(); }
    bool hasLimit() const { return m_rules.hasLimit(); }
    // The width of the bar that stands for `seconds`, within the full scale.
    double barWidth(double seconds) const { return m_rules.barWidth(seconds); }
    double fullScale() const { return m_rules.fullScale(); }
    int hintDelay() const;

private:
    ShownProblem drawNext(double monotonicNow);
    bool timed() const;

    const School& m_school;
    SharedState& m_state;
    Random& m_random;
    RunRules m_rules;
    Problem m_problem;
    double m_problemShownAt = 0; // monotonic seconds
    bool m_hintShown = false;
    double m_clockStart = 0; // monotonic seconds of the start, before any penalty
    int64_t m_ticks = 0;     // ticks of catchUp so far
};

} // namespace kestrel
