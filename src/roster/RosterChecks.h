#pragma once
// The roster's rules as a school's IT person and the roster tool need them:
// what in a roster makes the program stop, leaves a child's runs uncounted
// or shows a student where nobody expects. The name screen's reader stops
// at the first fault; these rules go through every entry and say all.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "roster/Roster.h"

namespace kestrel {

// One entry of a roster as text, before its numbers are read.
struct RosterRow {
    std::string where; // names the entry in messages: "3人目", "CSV の 4行目"
    std::array<std::string, kRosterFields> fields;
    bool complete = true; // false: the text ended inside the entry
};

// The entries of a roster text, read by items as the program reads them
// (eight a time, across line ends); `where` counts them: "1人目", ...
std::vector<RosterRow> rosterRows(std::string_view text);

enum class FindingLevel {
    Warning, // works, but probably not what the school wants
    Error,   // the program stops, or results are wrong or lost
};

struct RosterFinding {
    size_t row = 0; // index of the entry in the rows checked
    FindingLevel level = FindingLevel::Error;
    std::string message; // Japanese: the entry, what is wrong, what to do
};

struct RosterCheckSettings {
    int schoolYear = 0;       // the school year under way, for the grades
    bool listStatus2 = false; // the shared configuration lists status-2 entries
};

// Every problem of every entry, in the order of the entries.
std::vector<RosterFinding> checkRosterRows(const std::vector<RosterRow>& rows,
                                           const RosterCheckSettings& settings);

// The most characters of a name that every list shows whole: the name
// list's column holds grade tag, blank and name in nine characters, and the
// results manager cuts names to six.
inline constexpr int kNameCharactersShown = 6;

} // namespace kestrel
