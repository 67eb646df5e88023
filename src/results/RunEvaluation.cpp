#include "results/RunEvaluation.h"

#include <charconv>
#include <cmath>

#include "results/ResultsRules.h"

namespace kestrel {
namespace {

constexpr int32_t kNoTimeFrom = 99998; // a run at or above this has no time to show
constexpr int16_t kNoGoalClearCount = 9999;

} // namespace

RunMessage runMessage(RunPhase ended, const RecordFlags& flags, int32_t runTime,
                      int32_t minimumTime) {
    if (ended == RunPhase::TimeUp) return RunMessage::TimeUp;
    if (flags.newOverallBest == 1) return RunMessage::OverallBest;
    if (flags.newPersonalBest == 1) return RunMessage::PersonalBest;
    if (runTime <= minimumTime) return RunMessage::WithinMinimum;
    return RunMessage::None;
}

std::string runMessageText(RunMessage message) {
    switch (message) {
    case RunMessage::TimeUp:
        return "時間切れ";
    case RunMessage::OverallBest:
        return "！！！最高新記録！！！";
    case RunMessage::PersonalBest:
        return "新記録おめでとう";
    case RunMessage::WithinMinimum:
    case RunMessage::None:
        break;
    }
    return {};
}

std::string multiplierText(float multiplier) {
    if (!std::isfinite(multiplier)) return "0";
    // Fixed notation, so that a large multiplier never turns into "1e+05".
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, multiplier, std::chars_format::fixed);
    if (result.ec != std::errc{}) return "0";
    std::string text(buf, result.ptr);
    return text == "-0" ? "0" : text;
}

std::string earnedPointsText(int32_t points, float multiplier) {
    return "獲得ポイント：" + std::to_string(points) + "点×" + multiplierText(multiplier) + "→" +
           std::to_string(scalePoints(points, multiplier)) + "点";
}

std::string runTimeText(int32_t runTime) {
    if (runTime >= kNoTimeFrom) return "記録なし";
    return "今の成績：" + std::to_string(runTime) + "秒";
}

std::string levelRunText(int count) {
    return " (このレベル　" + std::to_string(count) + "回目)";
}

std::string todayRunText(int count) {
    return "（" + std::to_string(count) + "回目)";
}

bool goalPanelAllowed(const CriteriaTable& criteria) {
    for (int level = 1; level <= kMaxLevel; ++level)
        if (criteria[level].clearCount == kNoGoalClearCount) return false;
    return true;
}

WaysOn waysOn(bool levelCleared, bool overPractised, bool lastLevel, bool goalLevelCleared) {
    WaysOn ways;
    if (!(levelCleared && overPractised)) return ways;
    if (lastLevel) {
        ways.label2 = WaysOn::Label2::Hide;
    } else if (!goalLevelCleared) {
        ways.label2 = WaysOn::Label2::NextLevel;
        ways.retry = false;
    }
    return ways;
}

} // namespace kestrel
