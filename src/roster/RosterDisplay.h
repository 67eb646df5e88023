#pragma once
// Reading the roster into the roster tables and building the name screen's
// lists from it, with the figures of the results summary. A failed read is
// tried again every 5 seconds; the sixth failure in a row gives up.
#include <string>
#include <string_view>
#include <vector>

#include "results/ResultsSummary.h"
#include "roster/Roster.h"
#include "startup/AppFolders.h"
#include "text/SortedLines.h"

namespace kestrel {

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
    std::vector<int> numbers;       // line k-1: the student number of line k of List1
    int List1Index = -1;

    // The student number of List1's line k (1..), -1 for line 0 or none.
    int numberOfLine(int line) const;
};

// The entries of "新名簿.txt" in the shared folder, in file order. Throws
// RosterError naming the file and the problem.
std::vector<RosterFileEntry> readRosterEntries(const std::string& sharedFolder);

// Reads "新名簿.txt" of the shared folder into the roster tables and List2:
// names, birth years and grade labels of every entry, and one sort line per
// listed student with the figures of `summary` by NameListMode. SchoolYear
// must be set. Throws RosterError.
void readRoster(RosterTables& roster, NameListState& lists, const ResultsSummary& summary,
                const std::string& sharedFolder, const SharedConfig& config);
// The same from the roster's bytes, already read; `fileName` names the file
// in errors.
void readRosterBytes(RosterTables& roster, NameListState& lists, const ResultsSummary& summary,
                     std::string_view cp932Bytes, const std::string& fileName,
                     const SharedConfig& config);
// Starts the lists over: List1 holds line 0 only, nothing is selected.
void startNameLists(NameListState& lists);
// List1, List3 and the numbers from List2 by the grade filter; selects line 0.
void filterNameLists(NameListState& lists, const RosterTables& roster);

// The name screen's fixed texts: the prompt in Label1, and the captions of
// the four NameListMode options.
inline constexpr const char* kChooseName = "名前を選びなさい";
inline constexpr const char* kNameListModeCaptions[4] = {
    "回数(今日／今まで）", "ポイント（今日／今まで）", "本日（ポイント／回数）",
    "今まで（ポイント／回数）"};
// What Label1 shows for a chosen line of List1: its first ten characters
// (grade tag, name and padding) without the ASCII spaces at both ends; a
// double click shows the part before the line's last "/" instead.
std::string chosenNameText(std::string_view line);
std::string signedInNameText(std::string_view line);

// The progress marker as the failure message shows it ("3", "1.5").
std::string markerText(double marker);

} // namespace kestrel
