#include "teacher/ResultsCsv.h"

#include "results/ResultsRules.h"
#include "text/Characters.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

constexpr int32_t kTimeOutFrom = 99998; // a run without a time
const char* const kLineEnd = "\r\n";
const char* const kByteOrderMark = "\xEF\xBB\xBF";

// A record's text field without its padding (blanks and zero bytes).
std::string fieldText(const ResultText& field) {
    std::string text = resultTextUtf8(field);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

class CsvWriter : public LogReader {
public:
    CsvWriter(const StudentLookups& students, const ProgramDefinition& program,
              const CriteriaTable& criteria, const CsvOptions& options, std::string& out)
        : m_students(students), m_program(program), m_criteria(criteria), m_options(options),
          m_out(out) {}

    void begin() override {
        m_out = csvHeader() + kLineEnd;
        m_next = 1;
    }
    void extent(uint64_t, uint64_t, uint64_t skipped) override { m_next = skipped + 1; }
    void block(const unsigned char* bytes, size_t count) override {
        for (size_t k = 0; k < count; ++k, ++m_next) {
            const ResultRecord r = decodeResultRecord(&bytes[k * kResultRecordSize]);
            if (m_options.periodDays > 0 && !(r.date > m_options.today - m_options.periodDays))
                continue;
            m_out += csvRow(m_next, r, m_students, m_program, m_criteria);
            m_out += kLineEnd;
        }
    }

private:
    const StudentLookups& m_students;
    const ProgramDefinition& m_program;
    const CriteriaTable& m_criteria;
    const CsvOptions& m_options;
    std::string& m_out;
    uint64_t m_next = 1;
};

} // namespace

std::string csvHeader() {
    return "番号,日付,時刻,レベル,レベル名,秒,時間切れ,ポイント,生徒番号,名前,学年,学校コード";
}

std::string csvRow(uint64_t number, const ResultRecord& r, const StudentLookups& students,
                   const ProgramDefinition& program, const CriteriaTable& criteria) {
    const bool levelKnown = r.level >= 1 && r.level <= kMaxLevel;
    const bool studentKnown = r.studentNumber >= 1 && r.studentNumber <= kMaxStudent;
    const bool timeOut = r.seconds >= kTimeOutFrom;
    std::string row = std::to_string(number);
    row += "," + csvField(shortDate(r.date));
    row += "," + csvField(timeOfDayText(r.timeOfDay));
    row += "," + std::to_string(r.level);
    row += "," + csvField(levelKnown ? program.LevelNames[static_cast<size_t>(r.level)] : "");
    row += "," + (timeOut ? std::string() : std::to_string(r.seconds));
    row += std::string(",") + (timeOut ? "はい" : "");
    row += "," + (levelKnown ? std::to_string(RunPoints(criteria, r.seconds, r.level)) : "");
    row += "," + std::to_string(r.studentNumber);
    const auto s = static_cast<size_t>(studentKnown ? r.studentNumber : 0);
    row += "," + csvField(studentKnown ? students.names[s] : "");
    row += "," + csvField(studentKnown ? students.gradeLabels[s] : "");
    row += "," + csvField(fieldText(r.schoolCode));
    return row;
}

LogStatus exportResultsCsv(const LogAccess& log, const StudentLookups& students,
                           const ProgramDefinition& program, const CriteriaTable& criteria,
                           const CsvOptions& options, std::string& out) {
    std::string text;
    CsvWriter writer(students, program, criteria, options, text);
    LogReadOptions read;
    read.lastRecords = kWholeLog;
    read.missingIsEmpty = true;
    read.createMissing = false;
    const LogStatus status = readResultsLog(log, writer, read);
    if (!status.ok()) return status;
    try {
        out = csvFileBytes(text, options.encoding);
    } catch (const std::invalid_argument&) {
        // A character with no counterpart in CP932: the UTF-8 file still holds it.
        return {FileFault::Other, kCsvNotCp932};
    }
    return status;
}

std::string csvFileBytes(const std::string& utf8, CsvEncoding encoding) {
    return encoding == CsvEncoding::Utf8WithBom ? kByteOrderMark + utf8 : utf8ToCp932(utf8);
}

} // namespace kestrel
