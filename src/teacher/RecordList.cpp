#include "teacher/RecordList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "roster/Grades.h"
#include "startup/Calendar.h"
#include "text/Characters.h"
#include "text/ItemReader.h"

namespace kestrel {
namespace {

const char* const kIdeographicSpace = "\u3000";
constexpr size_t kNameWidth = 6;
// Day numbers of years 100 to 9999, the dates a record can stand for.
constexpr double kFirstDay = -657434;
constexpr double kLastDay = 2958465;

std::string rightAligned(std::string text, size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string rightAligned(long long n, size_t width) {
    return rightAligned(std::to_string(n), width);
}

std::string numberText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string nameField(const std::string& name) {
    std::string padded = name;
    for (size_t n = characterCount(name); n < kNameWidth; ++n)
        padded += kIdeographicSpace;
    return firstCharacters(padded, kNameWidth);
}

class ListingReader : public LogReader {
public:
    ListingReader(const StudentLookups& students, const SharedConfig& config, RecordListing& out)
        : m_lines(students, config), m_out(out) {}
    void begin() override {
        m_out = RecordListing{};
        m_next = 1;
    }
    void extent(uint64_t bytes, uint64_t, uint64_t) override {
        m_out.lengthBytes = bytes;
        const size_t records = static_cast<size_t>(bytes / kResultRecordSize);
        m_out.lines.reserve(records);
        m_out.numbers.reserve(records);
        m_out.records.reserve(records);
    }
    void block(const unsigned char* bytes, size_t count) override {
        for (size_t i = 0; i < count; ++i, ++m_next) {
            const unsigned char* at = bytes + i * kResultRecordSize;
            const ResultRecord r = decodeResultRecord(at);
            if (r.level == 0) continue;
            m_out.lines.push_back(m_lines.line(m_next, r));
            m_out.numbers.push_back(m_next);
            ResultBytes& kept = m_out.records.emplace_back();
            std::copy(at, at + kResultRecordSize, kept.begin());
        }
    }

private:
    RecordLines m_lines;
    RecordListing& m_out;
    uint64_t m_next = 1;
};

} // namespace

StudentLookups studentLookups(const std::vector<RosterFileEntry>& entries, int schoolYear) {
    StudentLookups s;
    std::array<bool, kMaxStudent + 1> seen{};
    for (const RosterFileEntry& e : entries) {
        const int n = e.entry.number;
        if (n < 1 || n > kMaxStudent) continue;
        const auto k = static_cast<size_t>(n);
        s.names[k] = trimBlanks(e.entry.name);
        s.gradeLabels[k] = GradeLabel(GradeNumber(schoolYear, e.entry.birthYear));
        if (!seen[k]) s.roster.push_back(n);
        seen[k] = true;
    }
    return s;
}

std::string shortDate(double day) {
    if (!std::isfinite(day) || day < kFirstDay || day > kLastDay) return numberText(day);
    const CivilDate d = dateFromDayNumber(static_cast<int64_t>(std::floor(day)));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", d.year, d.month, d.day);
    return buf;
}

std::string timeOfDayText(double fraction) {
    if (!std::isfinite(fraction)) return numberText(fraction);
    const double part = std::fabs(fraction) - std::floor(std::fabs(fraction));
    const long long seconds = std::llround(part * 86400.0) % 86400;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return buf;
}

RecordLines::RecordLines(const StudentLookups& students, const SharedConfig& config)
    : m_students(students), m_schoolName(config.SchoolName) {
    // A code that does not fill the field's five bytes exactly is never a
    // record's: with an empty code every record is of another school.
    if (!config.SchoolCode.empty()) {
        m_code = resultText(config.SchoolCode);
        m_hasCode = resultTextUtf8(m_code) == config.SchoolCode;
    }
}

std::string RecordLines::line(uint64_t number, const ResultRecord& r) const {
    const bool known = r.studentNumber >= 1 && r.studentNumber <= kMaxStudent;
    const auto k = static_cast<size_t>(known ? r.studentNumber : 0);
    std::string line = rightAligned(static_cast<long long>(number), 4);
    line += " ";
    line += shortDate(r.date);
    line += kIdeographicSpace;
    line += rightAligned(timeOfDayText(r.timeOfDay), 9);
    line += "ﾚﾍﾞﾙ" + std::to_string(r.level) + kIdeographicSpace;
    line += rightAligned(r.seconds, 5) + "秒 " + kIdeographicSpace;
    line += rightAligned(r.studentNumber, 4) + " ";
    line += nameField(known ? m_students.names[k] : std::string());
    line += " ";
    if (known) line += m_students.gradeLabels[k];
    line += "++";
    line += m_hasCode && r.schoolCode == m_code ? m_schoolName : "他塾";
    return line;
}

std::string deletedLine(const DeletedRecord& e, const RecordLines& lines) {
    // Day and minute are enough to tell one delete from another.
    auto when = [](double date, double time) {
        const std::string d = shortDate(date), t = timeOfDayText(time);
        return (d.size() == 10 ? d.substr(5) : d) + " " +
               rightAligned(t.size() > 3 ? t.substr(0, t.size() - 3) : t, 5);
    };
    std::string line = lines.line(e.number, decodeResultRecord(e.record.data()));
    line += std::string(kIdeographicSpace) + "消去 " + when(e.deletedDate, e.deletedTime);
    if (e.restored)
        line += " → " + when(e.restoredDate, e.restoredTime) + " 元に戻しました（" +
                std::to_string(e.restoredAs) + "番）";
    return line;
}

std::string recordCountText(uint64_t lengthBytes) {
    return "総レコード数:" +
           numberText(static_cast<double>(lengthBytes) / static_cast<double>(kResultRecordSize));
}

LogStatus readRecordListing(const LogAccess& log, const StudentLookups& students,
                            const SharedConfig& config, RecordListing& out) {
    ListingReader reader(students, config, out);
    return readResultsLog(log, reader, {kWholeLog});
}

std::string studentChoice(int number, const StudentLookups& students) {
    const bool known = number >= 1 && number <= kMaxStudent;
    return std::to_string(number) + " /  " +
           (known ? students.names[static_cast<size_t>(number)] : std::string());
}

std::optional<int> chosenStudent(std::string_view text) {
    const size_t slash = text.find('/');
    const std::string number = trimBlanks(text.substr(0, slash));
    if (number.empty() || number.size() > 4) return std::nullopt;
    int n = 0;
    for (char c : number) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > kMaxStudent) return std::nullopt;
    return n;
}

std::optional<int32_t> typedSeconds(std::string_view text) {
    std::string number = trimBlanks(text);
    constexpr std::string_view kUnit = "秒";
    if (number.ends_with(kUnit))
        number = trimBlanks(number.substr(0, number.size() - kUnit.size()));
    if (number.empty() || number.size() > 5) return std::nullopt;
    int32_t seconds = 0;
    for (char c : number) {
        if (c < '0' || c > '9') return std::nullopt;
        seconds = seconds * 10 + (c - '0');
    }
    return seconds;
}

std::string typedSecondsExpectation() {
    return "秒は 0 から " + std::to_string(kTypedSecondsMax) + " までの整数で書いて下さい（" +
           std::to_string(kTypedSecondsMax) + " は時間切れの記録です）。";
}

ResultBytes correctedRecord(const ResultBytes& chosen, int16_t student, int32_t seconds) {
    ResultBytes b = chosen;
    writeRecordedRun(b.data(), student, seconds);
    return b;
}

} // namespace kestrel
