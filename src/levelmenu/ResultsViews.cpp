#include "levelmenu/ResultsViews.h"

#include <cmath>

#include "platform/Utf8Path.h"
#include "results/ResultsRules.h"
#include "roster/Grades.h"
#include "startup/Calendar.h"
#include "text/Characters.h"
#include "text/Cp932.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr const char* kOwnMark = "●";
constexpr const char* kNamePadding = "　　　　";
// The dates a calendar shows: 100-01-01 to 9999-12-31.
constexpr double kFirstDay = -657434;
constexpr double kLastDay = 2958465;

// Whole seconds of the time of day, rounded; the date part is dropped.
int64_t secondsOfDay(double timeOfDay) {
    if (!std::isfinite(timeOfDay)) return 0;
    const double fraction = std::fabs(timeOfDay - std::trunc(timeOfDay));
    return std::llround(fraction * 86400.0) % 86400;
}

} // namespace

int periodDays(int16_t allPeriod, const CivilDate& today) {
    const int w = weekday(today); // 0 Sunday .. 6 Saturday
    switch (allPeriod) {
    case 1:
        return w == 0 ? 7 : w;
    case 2:
        return w == 0 ? 14 : w + 7;
    case 4:
        return 365;
    case 5:
        return 3650;
    default:
        return 30;
    }
}

std::string secondsField(int32_t seconds) {
    return rightChars("     " + std::to_string(seconds) + "秒", 5);
}

std::string clockTime(double timeOfDay) {
    const auto s = static_cast<int>(secondsOfDay(timeOfDay));
    std::string text = std::to_string(s / 3600);
    for (const int part : {s / 60 % 60, s % 60}) {
        text += ':';
        text += static_cast<char>('0' + part / 10);
        text += static_cast<char>('0' + part % 10);
    }
    return text;
}

std::string clockField(double timeOfDay) {
    return firstCharacters(rightChars("00" + clockTime(timeOfDay), 8), 5);
}

std::string fullDate(double date) {
    if (!(date >= kFirstDay && date < kLastDay + 1)) return "----/--/--";
    const CivilDate d = dateFromDayNumber(static_cast<int64_t>(std::floor(date)));
    std::string text(10, '/');
    for (int i = 3, y = d.year; i >= 0; --i, y /= 10)
        text[static_cast<size_t>(i)] = static_cast<char>('0' + y % 10);
    text[5] = static_cast<char>('0' + d.month / 10);
    text[6] = static_cast<char>('0' + d.month % 10);
    text[8] = static_cast<char>('0' + d.day / 10);
    text[9] = static_cast<char>('0' + d.day % 10);
    return text;
}

std::string dateField(double date) {
    return rightChars(fullDate(date), 5);
}

std::string viewNameField(std::string_view name) {
    return firstCharacters(trimSpaces(name) + kNamePadding, 5);
}

std::string viewLine(ViewKind kind, const ResultRecord& run, const LineStudent& student,
                     int32_t points) {
    const bool failed = run.seconds >= kFailedRunSeconds;
    std::string line;
    line.reserve(64);
    switch (kind) {
    case ViewKind::Today:
        if (failed)
            line = kFailedPrefix + clockField(run.timeOfDay);
        else
            line = secondsField(run.seconds) + " " + clockField(run.timeOfDay);
        break;
    case ViewKind::AllTimes:
    case ViewKind::AllPoints:
        if (failed)
            line = kFailedPrefix + dateField(run.date);
        else if (kind == ViewKind::AllTimes)
            line = secondsField(run.seconds) + " " + dateField(run.date);
        else
            line = rightChars("     " + std::to_string(points), 5) + " " + dateField(run.date);
        break;
    case ViewKind::Personal:
        line = rightChars(fullDate(run.date), 10) + " " + rightChars(clockTime(run.timeOfDay), 10);
        // A failed run keeps the date and time in front, so that it sorts
        // among the others by when it was made.
        line += failed ? std::string(" ×失敗") : secondsField(run.seconds);
        return line;
    }
    line += student.mark;
    line += student.nameField;
    line += student.mark;
    if (failed) return line;
    if (kind == ViewKind::AllPoints)
        line += std::to_string(run.seconds) + "秒";
    else
        line += std::to_string(points);
    return line;
}

ViewScan::ViewScan(ViewSetup setup, const RosterTables& roster, const CriteriaTable& criteria)
    : m_setup(std::move(setup)), m_roster(roster), m_criteria(criteria) {
    if (m_setup.levelCount < 0) m_setup.levelCount = 0;
    if (m_setup.levelCount > kMaxLevel) m_setup.levelCount = kMaxLevel;
    m_nobody.nameField = viewNameField("");
    m_nobody.mark = GradeMark(GradeNumber(m_roster.SchoolYear, 0));
}

void ViewScan::begin() {
    m_lines.assign(static_cast<size_t>(m_setup.levelCount) + 1, {});
    m_students.assign(kMaxStudent + 1, {});
    m_known.assign(kMaxStudent + 1, false);
    m_records = 0;
    m_next = 1;
}

void ViewScan::extent(uint64_t, uint64_t records, uint64_t skipped) {
    m_records = records;
    m_next = skipped + 1;
}

int ViewScan::gradeOf(int number) const {
    const int birth =
        number >= 0 && number <= kMaxStudent ? m_roster.BirthYears[static_cast<size_t>(number)] : 0;
    return GradeNumber(m_roster.SchoolYear, birth);
}

const LineStudent& ViewScan::student(int number) {
    if (number < 0 || number > kMaxStudent) return m_nobody;
    const auto s = static_cast<size_t>(number);
    if (!m_known[s]) {
        LineStudent& l = m_students[s];
        // Student 0 is nobody: no name, but the grade of its table row.
        l.nameField = viewNameField(number == 0 ? std::string_view() : m_roster.StudentNames[s]);
        l.mark = number == m_setup.signedInStudent ? kOwnMark : GradeMark(gradeOf(number));
        m_known[s] = true;
    }
    return m_students[s];
}

bool ViewScan::listed(const ResultRecord& r) {
    if (r.level < 1 || r.level > m_setup.levelCount) return false;
    switch (m_setup.kind) {
    case ViewKind::Today:
        if (r.date != m_setup.today) return false;
        break;
    case ViewKind::AllTimes:
    case ViewKind::AllPoints:
        if (!inPeriod(r.date, m_setup.today, m_setup.periodDays)) return false;
        break;
    case ViewKind::Personal:
        if (r.studentNumber != m_setup.signedInStudent) return false;
        if (!inPeriod(r.date, m_setup.today, kPersonalPeriodDays)) return false;
        break;
    }
    return InGradeGroup(gradeOf(r.studentNumber), m_setup.gradeGroup);
}

void ViewScan::block(const unsigned char* bytes, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const ResultRecord r = decodeResultRecord(&bytes[k * kResultRecordSize]);
        if (!listed(r)) continue;
        const LevelCriteria& c = m_criteria[r.level];
        const int32_t points = basePoints(r.seconds, c.targetTime, true);
        m_lines[static_cast<size_t>(r.level)].push_back(
            viewLine(m_setup.kind, r, student(r.studentNumber), points));
    }
    m_next += count;
    if (onProgress) onProgress(m_next - 1, m_records);
}

GraphStudents graphStudentList(RosterTables& roster, const std::string& sharedFolder) {
    const std::filesystem::path path = pathFromUtf8(sharedFolder, kRosterFile);
    GraphStudents out;
    std::vector<RosterFileEntry> entries;
    try {
        entries = parseRoster(readCp932File(path), displayPath(path));
    } catch (const FileError& e) {
        out.error = e.what(); // names the file
        return out;
    } catch (const RosterError& e) {
        out.error = e.what();
        return out;
    } catch (const std::exception& e) {
        out.error = "名簿「" + displayPath(path) + "」を読めません。(" + e.what() + ")";
        return out;
    }
    std::vector<std::string>& lines = out.lines;
    lines.reserve(entries.size());
    for (const RosterFileEntry& fe : entries) {
        const RosterEntry& e = fe.entry;
        if (e.number < 0 || e.number > kMaxStudent) continue;
        const auto s = static_cast<size_t>(e.number);
        const std::string name = trimSpaces(e.name);
        roster.StudentNames[s] = name;
        roster.BirthYears[s] = e.birthYear;
        const std::string label = GradeLabel(GradeNumber(roster.SchoolYear, e.birthYear));
        if (!label.empty()) roster.GradeLabels[s] = label;
        if (fe.status == 0)
            lines.push_back(roster.GradeLabels[s] + " /  " + name + "/" + std::to_string(e.number));
    }
    return out;
}

int graphListStudent(std::string_view line) {
    const size_t slash = line.rfind('/');
    if (slash == std::string_view::npos) return 0;
    return static_cast<int>(leadingNumber(line.substr(slash + 1)));
}

} // namespace kestrel
