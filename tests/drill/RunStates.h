#pragma once
// Puts the run's flags into the states the drill's handlers meet, through
// the run's own rules as keys and the clock would. The rules work on a copy,
// so that only the flags change: counters, clock and entry stay as they are.
#include "drill/RunRules.h"
#include "startup/SharedState.h"

namespace kestrel::test {

// An answer is being judged: the space bar has been pressed.
inline void judging(SharedState& st) {
    SharedState copy = st;
    copy.runFlags = RunFlags{};
    RunRules(copy).keyPress(u' ');
    st.runFlags = copy.runFlags;
}

// The run's last problem has been answered right.
inline void runFinished(SharedState& st) {
    SharedState copy = st;
    RunRules rules(copy);
    copy.RightCount = copy.ProblemsPerRun - 1;
    rules.countRight();
    st.runFlags = copy.runFlags;
}

// The run clock has reached the time limit.
inline void timedOut(SharedState& st) {
    SharedState copy = st;
    RunRules rules(copy);
    LevelCriteria criteria;
    criteria.minimumTime = 1;
    rules.setLimits(criteria, 1);
    rules.start(0);
    rules.tick(5);
    st.runFlags = copy.runFlags;
}

} // namespace kestrel::test
