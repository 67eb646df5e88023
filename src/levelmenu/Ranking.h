#pragma once
// The rankings of a level column: every listed student of the roster in
// order of best time, of points earned so far, or of points earned today.
// Students of the whole roster are ranked; the grade group only decides
// whose lines are shown.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "results/ResultsSummary.h"
#include "roster/Roster.h"

namespace kestrel {

enum class RankingBasis {
    BestTime,    // fastest first; students without a run last
    PointsAll,   // most points so far first, today's points break ties
    PointsToday, // most points today first; students without points today are left out
};

// The basis a list takes from the menu's display mode (1 time, 2 points; 0
// counts as 1) and ranking kind (1 cumulative, 2 today; 0 counts as 1).
RankingBasis rankingBasis(int16_t displayMode, int16_t rankingKind);

struct RankingLine {
    std::string text;
    int student = 0; // student number
    int rank = 0;    // competition rank over every listed student (not shown without a run)
};

// The shown lines of level L's ranking, in ranking order (students of equal
// rank in roster order). The signed-in student is marked "●" at both ends.
std::vector<RankingLine> buildRanking(const RosterTables& roster, const ResultsSummary& summary,
                                      int level, RankingBasis basis, std::string_view gradeGroup,
                                      int signedInStudent);

// Puts the students of each rank in the order the ranking's sorted list
// shows them (see text/SortedLines.h). Lines of different ranks already
// stand in that order, so the list then takes them without sorting.
void sortTiesAsListed(std::vector<RankingLine>& lines);

// The rank field: right-aligned in two characters up to 99; larger ranks
// keep all their digits rather than losing the leading ones.
std::string rankField(int rank);
// The name field: the name without trailing blanks, padded with U+3000 to
// five characters and cut there.
std::string rankingNameField(std::string_view name);

} // namespace kestrel
