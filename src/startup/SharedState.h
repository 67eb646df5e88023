#pragma once
// Who is signed in, which level is practised, and the flags and counters of
// the drill run under way. The run flags guard against re-entry while
// pending events are let run: every drill procedure tests them on entry.
#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "startup/Season.h"

namespace kestrel {

struct SharedState;
class RunRules;

// How the run under way stands: still going, or how it ended. A run ends
// once, and the first end holds.
enum class RunPhase : uint8_t {
    Running,
    TimeUp,      // the run clock reached the time limit
    RunFinished, // the last problem was answered right
};

// The "+" "+" confirmation after a wrong answer.
enum class ConfirmStep : uint8_t {
    Entry,       // no wrong answer shown: keys type the answer
    AnswerShown, // the correct answer is shown: waiting for the first "+"
    OnePlus,     // one "+" received: the next "+" confirms
};

// The judgement of the last answer, until it has been acted on.
enum class Judgement : uint8_t { None, Right, Wrong };

// The run's flags. Pending events let another handler run in the middle of
// one, so every drill handler reads them on entry. Only the run's rules
// (RunRules) change them; resetRunState starts them afresh.
class RunFlags {
public:
    RunPhase phase() const { return m_phase; }
    bool TimeUp() const { return m_phase == RunPhase::TimeUp; }
    bool RunFinished() const { return m_phase == RunPhase::RunFinished; }
    bool ended() const { return m_phase != RunPhase::Running; }
    // The end of the run (cover, record, end screen) has been handed off.
    bool EndHandled() const { return m_endHandled; }
    // An answer is being judged and acted on: keys are dropped, no problem
    // is drawn and the time-out waits.
    bool JudgeBusy() const { return m_judgeBusy; }
    ConfirmStep ConfirmState() const { return m_confirm; }
    Judgement JudgeResult() const { return m_verdict; }

private:
    friend class RunRules;
    friend void resetRunState(SharedState& state);

    RunPhase m_phase = RunPhase::Running;
    bool m_endHandled = false;
    bool m_judgeBusy = false;
    ConfirmStep m_confirm = ConfirmStep::Entry;
    Judgement m_verdict = Judgement::None;
};

struct SharedState {
    // Selection, set on sign-in and level choice.
    int16_t CurrentStudentNumber = 0; // 1..5000
    std::string CurrentStudentName;
    std::string CurrentGradeLabel;
    int16_t CurrentLevel = 1;        // 1..LevelCount
    int32_t SessionStartSeconds = 0; // whole seconds since midnight at sign-in
    int64_t SessionStartDay = 0;     // the day of the sign-in (days since 1899-12-30)
    uint32_t SeasonColour = kColourLightGreen;

    // The run.
    RunFlags runFlags;
    int32_t RightCount = 0;
    int16_t ProblemsPerRun = 10;
    // Seconds of the monotonic clock when the run clock started; a wrong
    // answer moves it 10 s back. A change of the wall clock never moves it.
    double RunStartTime = 0;
    int32_t ElapsedSeconds = 0;
    int32_t TimeLimitSeconds = 0;
    double BarScale = 0; // twips of the time bar per second
    int32_t RunTime = 0; // the run's seconds, 99999 after a time-out
    int16_t TodayRunCount = 0;

    // Level menu: 1 once the student has cleared the last level, as of the
    // last refresh of the level buttons.
    int16_t GoalLevelCleared = 0;
    // Level menu choices that survive reloading the menu.
    int16_t ScrollPosition = 0; // level in the leftmost column; 0 before first use
    int16_t ListChoice = 0;     // list kind (1..3) the menu's activation selects
    int16_t AllPeriod = 3;      // period of the all-results list, 1 this week .. 5 ten years
};

// Resets the run flags and counters before a run starts.
void resetRunState(SharedState& state);

// Records the sign-in at `now`: SessionStartSeconds rounded to a whole
// second, and its day.
void markSignIn(SharedState& state, const LocalTime& now);
// Whole minutes since sign-in at `now`, right across midnight; never negative.
int minutesSinceSignIn(const SharedState& state, const LocalTime& now);

} // namespace kestrel
