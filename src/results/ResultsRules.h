#pragma once
// The rules that turn the results summary into decisions: the points of one
// run, whether a level is cleared, and whether it has been practised too much.
#include <cstdint>

#include "results/ResultsSummary.h"
#include "startup/CriteriaTable.h"

namespace kestrel {

constexpr int32_t kCountedSecondsBelow = 6000; // slower runs add points but no count
constexpr int kOverallBestStudents = 1000;     // students 1..1000 make the overall best

// Points of one run before the level's multiplier: 5 to 55 up to the target
// time, then 4, 1 and 0. With `firstThreeDigits` a time of 1000 seconds or
// more is judged by its first three digits (1234 counts as 123), as the log's
// figures are; without it, by its full value, as the end screen shows it.
int32_t basePoints(int32_t seconds, int32_t targetTime, bool firstThreeDigits = true);
// p times the multiplier (single precision, as the multiplier is held), truncated.
int32_t scalePoints(int32_t points, float multiplier);
// The points a run of the log adds at level L.
int32_t RunPoints(const CriteriaTable& criteria, int32_t seconds, int level);
// The points of a run as the summary adds them: scaled and held within a
// bound that keeps 20000 runs inside 32 bits whatever the multiplier.
int32_t summaryPoints(int32_t seconds, int32_t targetTime, float multiplier);

// Within the pass period: enough runs and enough points.
bool LevelCleared(const ResultsSummary& summary, const CriteriaTable& criteria, int level,
                  int student);
// Within the over-practice period: too many runs or too many points (a
// limit of 0 is off).
bool OverPractice(const ResultsSummary& summary, const CriteriaTable& criteria, int level,
                  int student);

} // namespace kestrel
