#include "results/ResultsRules.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr int32_t kNoPointsFrom = 99998;
constexpr int32_t kMaxRunPoints = 100000;

// The number formed by the first three characters of `seconds` in decimal.
int64_t firstThreeCharacters(int32_t seconds) {
    if (seconds >= 0) {
        int64_t v = seconds;
        while (v >= 1000)
            v /= 10;
        return v;
    }
    int64_t v = -static_cast<int64_t>(seconds); // "-" takes one of the three
    while (v >= 100)
        v /= 10;
    return -v;
}

// Int(x) for x of either sign, saturated to 32 bits.
int32_t truncateDown(double x) {
    x = std::min(std::max(x, static_cast<double>(INT32_MIN)), static_cast<double>(INT32_MAX));
    auto i = static_cast<int32_t>(x);
    if (static_cast<double>(i) > x) --i;
    return i;
}

} // namespace

int32_t basePoints(int32_t seconds, int32_t targetTime, bool firstThreeDigits) {
    const int64_t t = targetTime;
    if (seconds >= kNoPointsFrom) return 0;
    if (seconds <= t) {
        if (t <= 0) return 0; // no target time: no ratio to score by
        const double v = firstThreeDigits ? static_cast<double>(firstThreeCharacters(seconds))
                                          : static_cast<double>(seconds);
        const double r = (static_cast<double>(t) - v) / static_cast<double>(t);
        return truncateDown(r * r * r * 50 + 5);
    }
    if (seconds < 2 * t) return 4;
    if (seconds < 10 * t) return 1;
    return 0;
}

int32_t scalePoints(int32_t points, float multiplier) {
    // In single precision, as the multiplier is held: 10 x 0.7 gives 7, not 6.
    const float product = static_cast<float>(points) * multiplier;
    if (!std::isfinite(product)) return 0;
    return truncateDown(static_cast<double>(product));
}

int32_t RunPoints(const CriteriaTable& criteria, int32_t seconds, int level) {
    const LevelCriteria& c = criteria[level];
    return scalePoints(basePoints(seconds, c.targetTime), c.pointMultiplier);
}

int32_t summaryPoints(int32_t seconds, int32_t targetTime, float multiplier) {
    return std::clamp(scalePoints(basePoints(seconds, targetTime, true), multiplier),
                      -kMaxRunPoints, kMaxRunPoints);
}

bool LevelCleared(const ResultsSummary& summary, const CriteriaTable& criteria, int level,
                  int student) {
    if (!inSummaryTables(level, student)) return false;
    const auto L = static_cast<size_t>(level);
    const auto S = static_cast<size_t>(student);
    const LevelCriteria& c = criteria[level];
    return summary.countPass[L][S] >= c.clearCount && summary.pointsPass[L][S] >= c.clearPoints;
}

bool OverPractice(const ResultsSummary& summary, const CriteriaTable& criteria, int level,
                  int student) {
    if (!inSummaryTables(level, student)) return false;
    const auto L = static_cast<size_t>(level);
    const auto S = static_cast<size_t>(student);
    const LevelCriteria& c = criteria[level];
    const double maxCount = leadingNumber(c.overPracticeCount);
    const double maxPoints = leadingNumber(c.overPracticePoints);
    return (maxCount != 0 && summary.countLimit[L][S] >= maxCount) ||
           (maxPoints != 0 && summary.pointsLimit[L][S] >= maxPoints);
}

} // namespace kestrel
