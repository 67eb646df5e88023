#pragma once
// The results lists of the level menu that come from the results log itself:
// today's runs, every run of a period, and the signed-in student's own runs.
// A scan reads the most recent records and builds, per level, the lines the
// level's list shows; the lists sort them by their text.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogIO.h"
#include "roster/Roster.h"
#include "startup/CriteriaTable.h"

namespace kestrel {

// Records a view reads: today's view the last 1000, the others the last 20000.
inline constexpr uint64_t kTodayViewRecords = 1000;
inline constexpr uint64_t kAllRunsViewRecords = 20000;
inline constexpr int kPersonalPeriodDays = 3650;
// A run of this many seconds or more failed (a time-out is 99999).
inline constexpr int32_t kFailedRunSeconds = 90000;

enum class ViewKind {
    Today,     // seconds, clock time, student, points
    AllTimes,  // seconds, date, student, points
    AllPoints, // points, date, student, seconds
    Personal,  // date, clock time, seconds of the signed-in student's runs
};

// The period of the all-runs view in days (D), by AllPeriod (1 this week,
// 2 since last week, 3 a month, 4 a year, 5 ten years) and today's weekday:
// the week begins on Monday. Other values give a month.
int periodDays(int16_t allPeriod, const CivilDate& today);
// The period box's items, AllPeriod 1..5 in order.
inline constexpr const char* kPeriodItems[] = {"　　　今週の全成績", "　　先週からの全成績",
                                               "　　１ヶ月間の全成績", "　　１年間の全成績",
                                               "　　今までの全成績\""};
// A record lies in a period of D days when its date is later than today - D.
inline bool inPeriod(double date, double today, int days) {
    // A record dated after today (a PC with a wrong clock) is in no period.
    return date > today - days && date <= today;
}

// Fields of the list lines.
std::string secondsField(int32_t seconds);   // "  45秒": right-aligned, five characters
std::string clockField(double timeOfDay);    // "09:05"
std::string clockTime(double timeOfDay);     // "9:05:03"
std::string fullDate(double date);           // "2025/06/10"
std::string dateField(double date);          // "06/10"
std::string viewNameField(std::string_view); // trimmed, padded with U+3000, five characters
inline constexpr const char* kFailedPrefix = "　　× ";

// What a line shows of its student.
struct LineStudent {
    std::string nameField; // viewNameField of the name
    std::string mark;      // "●" for the signed-in student, else the grade's mark
};
// The line of `kind` for a run; `points` are the run's points before the
// level's multiplier.
std::string viewLine(ViewKind kind, const ResultRecord& run, const LineStudent& student,
                     int32_t points);

struct ViewSetup {
    ViewKind kind = ViewKind::Today;
    int levelCount = 5;
    double today = 0;   // day number
    int periodDays = 0; // runs dated within the period are listed (not the today view)
    std::string gradeGroup = "全学年";
    int signedInStudent = 0;
};

// Collects a view's lines from the records of a scan: per level (index
// 1..levelCount) the lines of the runs the view lists, in file order.
class ViewScan : public LogReader {
public:
    ViewScan(ViewSetup setup, const RosterTables& roster, const CriteriaTable& criteria);

    void begin() override;
    void extent(uint64_t bytes, uint64_t records, uint64_t skipped) override;
    void block(const unsigned char* bytes, size_t count) override;

    const std::vector<std::vector<std::string>>& lines() const { return m_lines; }
    std::vector<std::vector<std::string>> takeLines() { return std::move(m_lines); }
    // Called after each block with the number of the last record read and
    // the records in the log.
    std::function<void(uint64_t record, uint64_t records)> onProgress;

private:
    bool listed(const ResultRecord& r);
    const LineStudent& student(int number);
    int gradeOf(int number) const;

    ViewSetup m_setup;
    const RosterTables& m_roster;
    const CriteriaTable& m_criteria;
    std::vector<std::vector<std::string>> m_lines;
    std::vector<LineStudent> m_students; // by student number, made on first use
    std::vector<bool> m_known;
    LineStudent m_nobody;
    uint64_t m_records = 0;
    uint64_t m_next = 0; // number of the next record
};

// The graph panel's student list, or why it could not be made.
struct GraphStudents {
    std::vector<std::string> lines;
    // Empty when the roster was read; otherwise a Japanese message that
    // names the roster file and the problem.
    std::string error;

    explicit operator bool() const { return error.empty(); }
    const std::vector<std::string>& operator*() const { return lines; }
    std::vector<std::string>& operator*() { return lines; }
};
// The roster file of the shared folder read entry by entry. Every entry's
// trimmed name, birth year and grade label (when its grade has one) go to
// the roster tables; a listed entry (status 0) adds grade label & " /  " &
// name & "/" & number. When the file cannot be read the tables stay as
// they were and the result holds the error.
GraphStudents graphStudentList(RosterTables& roster, const std::string& sharedFolder);
// The student number at the end of a student list line, after its last "/".
int graphListStudent(std::string_view line);

} // namespace kestrel
