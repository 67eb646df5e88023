#pragma once
// The roster of the students who may use the program, as read from the
// shared folder's "新名簿.txt", the two grade code sets derived from a
// student's school year of birth, and the lines of the name list.
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "roster/Grades.h"
#include "startup/ProgramDefinition.h"
#include "text/Characters.h"

namespace kestrel {

struct ResultsSummary;

inline constexpr const char* kRosterFile = "新名簿.txt";
inline constexpr int kRosterTextLength = 20; // characters of every kept text field
inline constexpr int kRosterFields = 8;      // fields of one entry
// The fields by their position in an entry; the numeric ones, and the texts.
inline constexpr int kNumberField = 0, kBirthYearField = 1, kNameField = 4, kStatusField = 5;
inline constexpr int kNumberFields[] = {0, 1, 2, 3, 5};
inline constexpr int kTextFields[] = {4, 6, 7};
// Line 0 of the name list: nobody chosen.
inline constexpr const char* kNobodyLine = "－－－－－－";

// One entry of the roster file, in file order. The status field decides
// whether the entry is listed and is not kept.
struct RosterEntry {
    int16_t number = 0;    // student number 0..5000, key of every per-student table
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

// A roster text that cannot be used. `number` is the system's error number
// where there is one, otherwise EINVAL for a field, ERANGE for a value out
// of range or EILSEQ for bytes that are no CP932; `what()` is a Japanese
// description naming the file. A lasting fault (the file's encoding) stays
// however long one waits, so the name screen does not wait for it.
class RosterError : public std::runtime_error {
public:
    RosterError(const std::string& description, int number, bool lasting = false)
        : std::runtime_error(description), m_number(number), m_lasting(lasting) {}
    int number() const { return m_number; }
    bool lasting() const { return m_lasting; }

private:
    int m_number;
    bool m_lasting;
};

// What the teacher is told of a roster that is not CP932, with the fix:
// the roster tool reads it in whatever encoding and writes it anew, keeping
// the file as it was under a dated name. `file` as the teacher knows it.
std::string rosterEncodingMessage(const std::string& file);

struct RosterFileEntry {
    RosterEntry entry;
    int16_t status = 0; // 0 listed, 2 listed on request, anything else not listed
};

// A teacher signs in under a name that contains "★" or "先生".
bool isTeacherName(std::string_view name);

// A number field as the roster reader takes it: blanks around it dropped,
// an empty field 0, else a whole number of 16 bits.
enum class RosterNumber { Ok, NotANumber, TooLarge };
RosterNumber readRosterNumber(std::string_view text, int16_t& value);
// The Japanese name of field 0..7 in messages ("番号", "生まれ年", ...).
const char* rosterFieldName(int field);

// The entries of a roster text, eight fields each, fields read by items
// across line ends. `fileName` only names the file in errors. Throws
// RosterError on a number field that is not a whole number, a value out of
// range or an incomplete last entry.
std::vector<RosterFileEntry> parseRoster(std::string_view text, const std::string& fileName);

// One student's tallies summed over levels 1..35.
struct StudentFigures {
    int64_t countToday = 0;
    int64_t pointsToday = 0;
    int64_t countAll = 0;
    int64_t pointsAll = 0;
};
StudentFigures studentFigures(const ResultsSummary& summary, int number);
// The figures of every student 0..5000 at once, level by level in memory order.
std::vector<StudentFigures> allStudentFigures(const ResultsSummary& summary);

// The fixed-width figure texts of the name list.
std::string todayRunsText(int64_t n);
std::string todayPointsText(int64_t n);
std::string totalRunsText(int64_t n);
std::string totalPointsText(int64_t n);

// The birth year as it leads a name-list line: at least four digits, so
// that the lines sort by year as numbers do.
std::string birthYearText(int birthYear);

// The sort line of a listed student: year, tag, " ", name, ideographic
// padding to the name column, the two figures of NameListMode, "*", number.
// Nothing for a mode outside 0..3.
std::optional<std::string> RosterLine(const RosterEntry& entry, int gradeNumber, int NameListMode,
                                      const StudentFigures& figures);

// The parts of a sort line: the birth year that leads it, and the text
// after it up to (shown) or through (kept) the student number.
struct RosterLineParts {
    int birthYear = 0;
    int number = -1;   // the student number after the last "*", -1 without one
    std::string shown; // tag, name, padding and the figures
    std::string kept;  // the same followed by "*" and the number
};
RosterLineParts splitRosterLine(std::string_view line);

} // namespace kestrel
