#pragma once
// The rules of one drill run, apart from its widgets: the time limit and
// the time bar's scale, the run clock with its 10-second penalties, the
// answer typed so far, judging, the "+" "+" confirmation after a wrong
// answer, and the time-out. The drill screen drives it and draws what it
// returns. The run's flags live in SharedState (RunFlags), where every
// handler that pending events may re-enter reads them; only this class
// changes them.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "startup/CriteriaTable.h"
#include "startup/SharedState.h"

namespace kestrel {

class RunRules {
public:
    static constexpr int kMaxEntryLength = 10;
    static constexpr double kWrongAnswerPenalty = 10; // seconds
    static constexpr int32_t kNoTime = 99999;         // RunTime after a time-out

    explicit RunRules(SharedState& state) : m_st(state) {}

    const RunFlags& flags() const { return m_st.runFlags; }

    // A fresh drill screen begins the run: the finish and the end's hand-off
    // are cleared, no verdict stands, the entry is empty and ten problems
    // are to be answered. A time-out stands until resetRunState.
    void begin();

    // TimeLimitSeconds = 5 × the minimum time, and BarScale = the full scale
    // over it. Without a minimum time there is no limit and no scale: the
    // run goes on until its last answer.
    void setLimits(const LevelCriteria& criteria, double fullScale);
    bool hasLimit() const { return m_st.TimeLimitSeconds > 0; }
    // Width of the bar that stands for `seconds`, held within the full scale.
    double barWidth(double seconds) const;
    double fullScale() const { return m_fullScale; }

    // Starts the run clock at `monotonicNow` (seconds of the monotonic
    // clock, which a change of the wall clock never moves).
    void start(double monotonicNow);
    // Seconds since the start, penalties included, to the nearest second.
    int32_t elapsedAt(double monotonicNow) const;

    // The run clock's tick: sets ElapsedSeconds. At the limit the run times
    // out (TimeUp) unless an answer is being judged (the next tick tries
    // again) or the run has ended already.
    enum class Tick { Running, AtLimit, TimeOut };
    Tick tick(double monotonicNow);
    // The tick in its two halves, for a screen that lets pending events run
    // between them: measure sets ElapsedSeconds and tells whether the limit
    // is reached (Running or AtLimit); timeOut then decides on the flags as
    // they stand, so that an answer whose key was already waiting is judged
    // and counted before the run is ended by time.
    Tick measure(double monotonicNow);
    bool timeOut();

    // Whether `entry` could have been typed with the keys: at most 10 of
    // the characters * + , - . / and the digits.
    static bool isTypedEntry(std::string_view entry);
    // The verdict on an entry: right when it starts with a number and that
    // number is the answer. An entry without one ("", "*", "+") is wrong
    // even against the answer 0, which such an entry would otherwise read as.
    static bool isRightAnswer(std::string_view entry, double correctAnswer);

    // What a typed character asks the screen to do.
    enum class Key {
        Ignored,      // the run has ended, an answer is judged, or the key types nothing
        Judge,        // the space bar: JudgeBusy until judgingDone; judge EntryText
        EntryChanged, // a character added or removed
        Refused,      // the entry is full: the warning sound
        Confirm,      // the second "+" in a row after a wrong answer
        Waiting,      // a wrong answer is shown: the key only counts towards "+" "+"
    };
    Key keyPress(char16_t c);
    // Return or an arrow key (Windows codes 13, 37..40) empty the entry,
    // whatever the run's state. True when it did.
    bool keyDown(uint16_t keyCode);

    // JudgeResult: Right when EntryText is a right answer (isRightAnswer),
    // else Wrong. Once the run has ended nothing is judged and JudgeBusy falls.
    void judge(double correctAnswer);
    // What follows the judgement: None once the run has ended or when
    // nothing was judged. Right clears the verdict; Wrong costs the penalty
    // and waits for "+" "+" (the verdict stands until the next judgement).
    Judgement afterJudgement();
    // A right answer counted; true when it was the last of the run
    // (RunFinished, unless the run had ended already).
    bool countRight();
    // After a right answer that was not the last: judging is over and the
    // entry is emptied for the next problem.
    void readyForNext();
    // The judgement and what follows it are over: keys count again.
    void judgingDone();
    // A wrong answer: the run clock jumps 10 seconds ahead and the screen
    // waits for "+" "+".
    void penalise();
    // The correct answer has been confirmed: the entry starts afresh.
    void confirmed();
    // The end of the run is handed off once: true the first time only
    // (EndHandled).
    bool claimEnd();
    // A new problem may be drawn: the run goes on and no answer is judged.
    bool mayDrawProblem() const { return !flags().ended() && !flags().JudgeBusy(); }
    // Problems still to answer right.
    int remaining() const { return m_st.ProblemsPerRun - m_st.RightCount; }
    // The run's time for the log: 99999 after a time-out, else the clock's
    // last whole-second value.
    int32_t runTime() const;

    // The answer typed so far: at most 10 of the characters * + , - . / 0-9.
    std::string EntryText;

private:
    SharedState& m_st;
    double m_fullScale = 0;
};

} // namespace kestrel
