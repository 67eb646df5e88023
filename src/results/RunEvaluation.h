#pragma once
// What the end screen tells the student about the run just recorded: the
// texts of its time, points and run numbers, which message and sound the
// run earns, and which ways on the screen offers once it has been shown.
#include <cstdint>
#include <string>

#include "results/ResultsSummary.h"
#include "startup/CriteriaTable.h"
#include "startup/SharedState.h"

namespace kestrel {

// The run's message and sound, first matching case; `ended` is how the run
// ended.
enum class RunMessage {
    TimeUp,        // "時間切れ", no sound
    OverallBest,   // "！！！最高新記録！！！", the fixed overall-best sound
    PersonalBest,  // "新記録おめでとう", the personal-best cue
    WithinMinimum, // no message, the cue of a run within the minimum line
    None,          // no message, no sound
};

RunMessage runMessage(RunPhase ended, const RecordFlags& flags, int32_t runTime,
                      int32_t minimumTime);
// The message's text; empty for the cases without one.
std::string runMessageText(RunMessage message);

// The multiplier in its shortest decimal form: 2, 1.5, 1.25, 0.7.
std::string multiplierText(float multiplier);
// "獲得ポイント：23点×1.5→34点": the points before and after the multiplier.
std::string earnedPointsText(int32_t points, float multiplier);
// "今の成績：N秒", or "記録なし" for a run without a time.
std::string runTimeText(int32_t runTime);
// " (このレベル　N回目)" and "（N回目)".
std::string levelRunText(int count);
std::string todayRunText(int count);

// The end screen's fixed texts.
inline constexpr const char* kLevelClearedText = "このレベルクリア";              // Label2
inline constexpr const char* kNextLevelText = "次のレベルへ進みましょう";         // Label2 later
inline constexpr const char* kGoalClearedText = "目標レベルクリア。おめでとう！"; // Label1
inline constexpr const char* kToMenuCaption = "メニューへ";                       // Command4
inline constexpr const char* kRetryCaption = "もう一度";                          // Command5

// The goal panel is for courses that have a goal: no level of the table
// may be closed off with a clear count of 9999.
bool goalPanelAllowed(const CriteriaTable& criteria);

// The ways on offered when the end screen's timer fires.
struct WaysOn {
    enum class Label2 { Keep, Hide, NextLevel };
    bool retry = true;            // "もう一度" is shown
    Label2 label2 = Label2::Keep; // Hide empties it, NextLevel asks to move on
};
// A level that is both cleared and over-practised can be repeated only when
// it is the last level or once the last level has been cleared.
WaysOn waysOn(bool levelCleared, bool overPractised, bool lastLevel, bool goalLevelCleared);

} // namespace kestrel
