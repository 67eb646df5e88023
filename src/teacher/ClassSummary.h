#pragma once
// The class summary a teacher takes to the report cards: one row per
// listed student of the roster and, per level of the menu, the runs
// counted, the best time, the points in total and in the level's pass
// period, and whether the level is cleared. The figures come from the same
// summary and rules as the level menu's (BuildSummary, LevelCleared), over
// the whole log or the records of a chosen period. As CSV for a spreadsheet,
// and as A4 landscape pages, one grade a page (more when it does not fit).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Drawing.h"
#include "results/ResultsLogIO.h"
#include "results/ResultsSummary.h"
#include "roster/Roster.h"
#include "startup/AppFolders.h"
#include "startup/CriteriaTable.h"
#include "startup/ProgramDefinition.h"
#include "teacher/ResultsCsv.h"

namespace kestrel {

struct LevelFigures {
    int runs = 0;               // runs under 6000 seconds (countAll)
    int32_t bestTime = kNoTime; // seconds; kNoTime when none
    int64_t points = 0;         // pointsAll
    int64_t passPoints = 0;     // pointsPass
    bool cleared = false;       // LevelCleared
};

struct SummaryRow {
    int number = 0;
    std::string name; // blanks trimmed
    std::string gradeLabel;
    int gradeNumber = 0;
    std::vector<LevelFigures> levels; // levels 1..levelCount at 0..levelCount-1
};

struct ClassSummary {
    int levelCount = 0;
    std::vector<std::string> levelNames; // of levels 1..levelCount
    std::vector<int> passDays;           // each level's pass period in days, for the headings
    std::vector<SummaryRow> rows;        // by grade, youngest first, then in roster order
};

// The rows of the listed students (status 0, and 2 when the configuration
// lists those) of `entries`, teachers left out, from a built summary.
ClassSummary classSummary(const std::vector<RosterFileEntry>& entries,
                          const ResultsSummary& summary, const CriteriaTable& criteria,
                          const ProgramDefinition& program, int schoolYear, bool listStatus2);

struct ClassSummaryOptions {
    int periodDays = 0; // 0: the whole log; else records dated later than today - days
    double today = 0;   // day number of today
};

// Reads the log (never creating it) into a fresh summary and makes the rows.
LogStatus buildClassSummary(const LogAccess& log, const std::vector<RosterFileEntry>& entries,
                            const CriteriaTable& criteria, const ProgramDefinition& program,
                            const SharedConfig& config, int schoolYear,
                            const ClassSummaryOptions& options, ClassSummary& out);

// A header row and one row per student, CR LF, in the chosen encoding.
// Throws std::invalid_argument when a text has no CP932 counterpart.
std::string classSummaryCsv(const ClassSummary& summary, CsvEncoding encoding);

// What heads every printed page.
struct SummaryHeading {
    std::string title;  // the program's title
    std::string school; // the school's name
    std::string period; // "全期間", "今週", ...
    std::string made;   // the date it was made, as shown
};
// One page per grade (continued on further pages when a grade has more
// students than a page holds), laid out for A4 landscape in the fixed-pitch
// font `font`.
std::vector<Drawing> classSummaryPages(const ClassSummary& summary, const SummaryHeading& heading,
                                       const std::string& font);

} // namespace kestrel
