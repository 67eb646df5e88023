#pragma once
// Reading the roster into the roster tables and building the name screen's
// lists from it, with the figures of the results summary. A failed read is
// tried again every 5 seconds; the sixth failure in a row shows a message
// and ends the program.
#include <string>
#include <vector>

#include "roster/Roster.h"
#include "text/SortedLines.h"

namespace kestrel {

struct Context;

inline constexpr double kRosterRetrySeconds = 5;
inline constexpr int kRosterRetries = 6; // the sixth failure gives up

// The lists and variables of the name screen that a read fills.
struct NameListState {
    int NameListMode = 0;              // which figures the list shows, 0..3
    int RosterRetryCount = 0;          // failures of the read under way
    std::string filterText = "全学年"; // the grade box's current text
    double progressMarker = 0;         // the step under way, shown when the read gives up

    std::vector<std::string> List1; // line 0 "－－－－－－", then the shown lines
    SortedLines List2;              // one sort line per listed student
    std::vector<std::string> List3; // line k-1: line k of List1 through the student number
    std::vector<std::string> List4; // cleared by every read
    int List1Index = -1;
};

// Reads "新名簿.txt" of SharedFolder into ctx.roster, rebuilds the results
// summary and the four lists by NameListMode and filterText, and selects
// line 0 of List1.
void 名簿表示(Context& ctx, NameListState& lists);

// The progress marker as the failure message shows it ("3", "1.5").
std::string markerText(double marker);

} // namespace kestrel
