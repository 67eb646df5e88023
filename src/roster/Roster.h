#pragma once
// The roster of the students who may use the program, as read from the
// shared folder's "新名簿.txt", and the two grade code sets derived from a
// student's school year of birth.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "startup/ProgramDefinition.h"

namespace kestrel {

inline constexpr const char* kRosterFile = "新名簿.txt";
inline constexpr int kRosterTextLength = 20; // characters of every kept text field

// One entry of the roster file, in file order. The status field decides
// whether the entry is listed and is not kept.
struct RosterEntry {
    int16_t number = 0;    // student number 1..5000, key of every per-student table
    int16_t birthYear = 0; // school year of birth, four digits
    int16_t extra1 = 0;
    int16_t extra2 = 0;
    std::string name; // exactly 20 characters, space-padded
    std::string extraText1;
    std::string extraText2;
};

// The roster tables, filled by every read of the roster. Names, birth years
// and grade labels are kept for every entry of the file, listed or not, so
// that old results still find their names.
struct RosterTables {
    RosterTables();

    std::vector<RosterEntry> Roster; // listed entries; position p at index p, 0 unused
    std::array<std::string, kMaxStudent + 1> StudentNames{};
    std::array<int16_t, kMaxStudent + 1> BirthYears{};
    std::array<std::string, kMaxStudent + 1> GradeLabels{}; // kept when a grade has no label
    std::array<int16_t, kMaxStudent + 1> RosterNumbers{};   // list position 1..RosterCount
    int16_t RosterCount = 0;
    int16_t SchoolYear = 0;             // the school year under way
    std::string GradeFilter = "全学年"; // the name screen's grade box
};

// SchoolYear: the calendar year, one less before the school year's start month.
int16_t schoolYearOf(int year, int month, int startMonth);

// 1..6 elementary, 7..9 junior high, 10..12 senior high, 0 and below kindergarten.
int GradeNumber(int schoolYear, int birthYear);
// The full-width label ("幼３", "小１".."小６", "中１".."中３", "高１"); empty when the grade has
// none.
std::string GradeLabel(int gradeNumber);
// The short tag of the name list ("幼-" .. "大+"), always present.
std::string GradeTag(int gradeNumber);

} // namespace kestrel
