#pragma once
// The end screen of a recorded run, as every front shows it: the summary is
// rebuilt with the run, and the run is evaluated (its time and points, the
// run numbers, the record message and its sound, the level cleared, the
// goal panel, the level-cleared sound, and the ways on offered once the
// screen's timer has fired).
#include <string>

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "results/ResultsLogIO.h"
#include "results/ResultsSummary.h"
#include "results/RunEvaluation.h"
#include "school/School.h"
#include "sound/SoundCues.h"
#include "startup/SharedState.h"

namespace kestrel {

struct EndScreenFacts {
    std::string title;       // Label15
    std::string levelName;   // Label16
    std::string studentName; // Label17, blanks trimmed
    std::string levelRun;    // Label13: " (このレベル　N回目)"
    std::string todayRun;    // Label14: "（N回目)"
    std::string runTime;     // Label18
    std::string points;      // Label19
    RunMessage message = RunMessage::None;
    std::string messageText; // Label20; empty: no message
    Sound messageSound;      // the record's sound
    bool cleared = false;    // Label2 "このレベルクリア"
    bool lastLevel = false;  // the run was at the goal level
    bool goalPanel = false;  // Picture1, until the timer fires
    Sound goalSound;         // the goal level cleared for the first time
    WaysOn ways;             // what the timer offers
};

// The run number Label13 shows before the summary is rebuilt: the runs of
// today at this level so far, and this one.
int runNumberBeforeRebuild(const School& school, const SharedState& state);

// Rebuilds the summary with the run just recorded and evaluates it for the
// signed-in student at CurrentLevel, with RunTime, the run's phase (a
// time-out) and what RecordRun found. TodayRunCount is set to the runs of
// today over every level. On failure `facts` is left as it was.
LogStatus evaluateRun(School& school, SharedState& state, const RecordFlags& outcome, Clock& clock,
                      EventPump& events, EndScreenFacts& facts);

} // namespace kestrel
