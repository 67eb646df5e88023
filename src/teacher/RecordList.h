#pragma once
// What the results manager shows of the shared results log: one line per
// record in file order with the student's name and grade from this PC's
// roster, the record count, the student chooser, and reading back what the
// teacher typed into a correction.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/DeletedRecords.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogIO.h"
#include "roster/Roster.h"
#include "startup/AppFolders.h"

namespace kestrel {

// Names (blanks trimmed) and grade labels of students 1..5000, and the
// roster's students in file order for the chooser.
struct StudentLookups {
    std::array<std::string, kMaxStudent + 1> names{};
    std::array<std::string, kMaxStudent + 1> gradeLabels{};
    std::vector<int> roster; // student numbers, file order, each once
};
// From the roster's entries, listed or not; grades by `schoolYear`.
StudentLookups studentLookups(const std::vector<RosterFileEntry>& entries, int schoolYear);

// "yyyy/mm/dd" of a day number; the number itself when it is no date.
std::string shortDate(double dayNumber);
// "h:mm:ss" of a fraction of a day.
std::string timeOfDayText(double fraction);

// The line of record `number`: number, date, time of day, level, seconds,
// student number, name, grade label, "++" and the school's name when the
// record's school code is SchoolCode (all five characters), else "他塾".
// Numbers are right-aligned in their fields and never cut.
class RecordLines {
public:
    RecordLines(const StudentLookups& students, const SharedConfig& config);
    std::string line(uint64_t number, const ResultRecord& record) const;

private:
    const StudentLookups& m_students;
    bool m_hasCode = false;
    ResultText m_code{}; // the bytes a record of this school carries
    std::string m_schoolName;
};
// A line of the list of deleted records: the record's line as it stood
// when deleted, when that was, and when it was put back and as which number.
std::string deletedLine(const DeletedRecord& entry, const RecordLines& lines);

// "総レコード数:" and the length in records, with a fraction for a record
// cut short at the end.
std::string recordCountText(uint64_t lengthBytes);

// The list of the whole log: a line per record whose level is not 0, with
// its record number.
struct RecordListing {
    uint64_t lengthBytes = 0;
    std::vector<std::string> lines;
    std::vector<uint64_t> numbers;    // numbers[i] is the record of lines[i]
    std::vector<ResultBytes> records; // and its bytes as read
};
LogStatus readRecordListing(const LogAccess& log, const StudentLookups& students,
                            const SharedConfig& config, RecordListing& out);

// A chooser entry: the number, " /  ", the name.
std::string studentChoice(int number, const StudentLookups& students);
// The student a chooser text names: the whole number before its first "/",
// or the whole text when it has no "/"; 1..5000. Nothing for any other text,
// so that a mistyped choice never becomes a record's student.
std::optional<int> chosenStudent(std::string_view text);
// The seconds a typed text stands for: a whole number from 0 to 99999 (the
// time a timed-out run is recorded with), blanks around it and a "秒" after
// it allowed. Nothing for any other text, so that a mistyped time never
// becomes a run's time: an empty box or "abc" would be a best time of 0 s,
// and "-7" one worth more points than any run can earn.
inline constexpr int32_t kTypedSecondsMax = 99999;
std::optional<int32_t> typedSeconds(std::string_view text);
// What the teacher is told when typedSeconds() takes nothing: the range.
std::string typedSecondsExpectation();
// `chosen` with the student and the seconds replaced, every other byte kept.
ResultBytes correctedRecord(const ResultBytes& chosen, int16_t student, int32_t seconds);

} // namespace kestrel
