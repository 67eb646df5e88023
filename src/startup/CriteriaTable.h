#pragma once
// The criteria of every level: target and minimum times, what clears a
// level, the point multiplier and the over-practice limits.
#include <array>
#include <cstdint>
#include <string>

#include "startup/ProgramDefinition.h"

namespace kestrel {

struct LevelCriteria {
    int32_t targetTime = 0;  // seconds
    int32_t minimumTime = 0; // seconds; the run's time-out is five times this
    int32_t clearPoints = 0;
    int16_t clearCount = 0;
    float pointMultiplier = 0;
    // Held as the text read from the file and compared numerically.
    std::string overPracticeCount;
    std::string overPracticePoints;
    std::string passPeriodDays;
    std::string overPracticePeriodDays;
    std::string reserved10;
    std::string reserved11;
    std::string reserved12;
};

struct CriteriaTable {
    std::array<LevelCriteria, kMaxLevel + 1> rows{}; // level L at index L; 0 unused

    LevelCriteria& operator[](int level) { return rows.at(static_cast<size_t>(level)); }
    const LevelCriteria& operator[](int level) const { return rows.at(static_cast<size_t>(level)); }
};

} // namespace kestrel
