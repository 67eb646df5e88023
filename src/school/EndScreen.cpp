#include "school/EndScreen.h"

#include "results/ResultsRules.h"
#include "text/Characters.h"

namespace kestrel {

int runNumberBeforeRebuild(const School& school, const SharedState& state) {
    return todayRunCountAt(*school.summary, state.CurrentLevel, state.CurrentStudentNumber) + 1;
}

LogStatus evaluateRun(School& school, SharedState& state, const RecordFlags& outcome, Clock& clock,
                      EventPump& events, EndScreenFacts& facts) {
    if (LogStatus status = buildSummary(school, clock, events); !status.ok()) return status;
    const ResultsSummary& summary = *school.summary;
    const int L = state.CurrentLevel;
    const int s = state.CurrentStudentNumber;
    const bool inTable = inLevelStudentArrays(L, s);
    const LevelCriteria& criteria = school.criteria[inTable ? L : 0];
    const int32_t t = state.RunTime;

    EndScreenFacts f;
    f.cleared = LevelCleared(summary, school.criteria, L, s);
    f.lastLevel = L == school.program.LastLevel;
    f.goalPanel = f.cleared && f.lastLevel && goalPanelAllowed(school.criteria);
    f.points =
        earnedPointsText(basePoints(t, criteria.targetTime, false), criteria.pointMultiplier);
    f.runTime = runTimeText(t);
    f.studentName = trimSpaces(state.CurrentStudentName);
    f.title = school.program.ProgramTitle;
    f.levelName = inTable ? school.program.LevelNames[static_cast<size_t>(L)] : std::string();
    f.levelRun = levelRunText(todayRunCountAt(summary, L, s));
    state.TodayRunCount = static_cast<int16_t>(todayRunCount(summary, s));
    f.todayRun = todayRunText(state.TodayRunCount);

    f.message = runMessage(state.runFlags.phase(), outcome, t, criteria.minimumTime);
    f.messageText = runMessageText(f.message);
    if (f.message == RunMessage::OverallBest) f.messageSound.file = kOverallBestSound;
    if (f.message == RunMessage::PersonalBest) f.messageSound.cue = SoundTable::kPersonalBestCue;
    if (f.message == RunMessage::WithinMinimum) f.messageSound.cue = SoundTable::kFailedCue;
    // The goal's own sound only the first time its clear values are met.
    if (f.cleared && f.lastLevel && outcome.clearedBefore == 0)
        f.goalSound.file = kGoalClearedSound;

    f.ways = waysOn(f.cleared, OverPractice(summary, school.criteria, L, s), f.lastLevel,
                    state.GoalLevelCleared != 0);
    facts = std::move(f);
    return {};
}

} // namespace kestrel
