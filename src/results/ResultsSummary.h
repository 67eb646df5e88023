#pragma once
// The figures recomputed from the results log on every build: per level
// (1..35) and student (1..5000) the best time, run counts and point sums over
// all loaded runs, the pass period, the over-practice period and today.
// Row and column 0 exist but are never filled.
#include <array>
#include <cstdint>
#include <vector>

#include "results/ResultsLogIO.h"
#include "startup/CriteriaTable.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {

constexpr int32_t kNoTime = 99999; // a run without a result, or no run at all

template <typename T>
using LevelStudentTable = std::array<std::array<T, kMaxStudent + 1>, kMaxLevel + 1>;

// Whether level and student index the filled part of the tables (1..35, 1..5000).
inline bool inSummaryTables(int level, int student) {
    return level >= 1 && level <= kMaxLevel && student >= 1 && student <= kMaxStudent;
}

// About 5.4 MB: hold it on the heap.
struct ResultsSummary {
    ResultsSummary();

    LevelStudentTable<int32_t> bestTime;            // seconds; kNoTime when none
    std::array<int32_t, kMaxLevel + 1> overallBest; // over students 1..1000; kNoTime when none
    // Runs under 6000 seconds.
    LevelStudentTable<int16_t> countAll;
    LevelStudentTable<int16_t> countPass;
    LevelStudentTable<int16_t> countLimit;
    LevelStudentTable<float> countToday; // whole numbers
    // Points of every run, whatever its time.
    LevelStudentTable<int32_t> pointsAll;
    LevelStudentTable<int32_t> pointsPass;
    LevelStudentTable<int32_t> pointsLimit;
    LevelStudentTable<int32_t> pointsToday;

    // Zeroes every count and points table.
    void clearCounts();
    // Every best time and overall best back to kNoTime.
    void clearBestTimes();
};

// One run as the loader keeps it.
struct RunEntry {
    double date = 0;
    double timeOfDay = 0;
    int16_t studentNumber = 0;
    int16_t level = 0;
    int32_t seconds = 0;
};

// The records kept by the last load, in file order: slot i (1-based) is
// entrySlots[i - 1]. At most the 20000 most recent records of the log.
struct RunEntries {
    std::vector<RunEntry> entrySlots;
    int32_t count() const { return static_cast<int32_t>(entrySlots.size()); }
};

// What a recorded run achieved, for the end screen; each 0 or 1.
struct RecordFlags {
    int16_t newPersonalBest = 0;
    int16_t newOverallBest = 0;
    int16_t clearedBefore = 0; // the level met its clear values before this run
};

// Reads the 20000 most recent whole records of the log into `entries` and
// sets the best times and overall bests of `summary` from them.
LogStatus LoadResults(ResultsSummary& summary, RunEntries& entries, const LogAccess& log);

// Clears and rebuilds the whole summary from the log: best times, and the
// counts and points of every period by the criteria of each level, dated
// against the log's clock.
LogStatus BuildSummary(ResultsSummary& summary, RunEntries& entries, const CriteriaTable& criteria,
                       const LogAccess& log);

// Which records a summary is built from, when not the level menu's.
struct SummaryScope {
    LogReadOptions read;         // how many of the most recent records, and a missing log
    bool datedAfterOnly = false; // only records dated later than `after`
    double after = 0;            // a day number
};
// The same rules over the records of `scope`; records outside it count for
// nothing, best times included.
LogStatus BuildSummary(ResultsSummary& summary, RunEntries& entries, const CriteriaTable& criteria,
                       const LogAccess& log, const SummaryScope& scope);
// The same from `window`, brought up to the log first: only the records
// appended since the window's last load are read, unless the log changed
// otherwise (see LogWindow). The figures are those of a whole read.
LogStatus LoadResults(ResultsSummary& summary, RunEntries& entries, const LogAccess& log,
                      LogWindow& window);
LogStatus BuildSummary(ResultsSummary& summary, RunEntries& entries, const CriteriaTable& criteria,
                       const LogAccess& log, LogWindow& window);

// The student's runs today (under 6000 seconds) over levels 1..lastLevel,
// rounded to a whole number.
int todayRunCount(const ResultsSummary& summary, int student, int lastLevel = kMaxLevel);
// The student's runs today at one level.
int todayRunCountAt(const ResultsSummary& summary, int level, int student);

} // namespace kestrel
