#pragma once
// The shared results log as a CSV file for a spreadsheet: a header row and
// one row per record in file order, with the student's name and grade from
// the roster and the points by the log's rule. Fields are quoted as RFC 4180
// says, lines end with CR LF, and the text is CP932 (what a Japanese
// spreadsheet opens with a double click) or UTF-8 with a byte-order mark.
// The log is read under its sharing protocol and never changed.
#include <cstdint>
#include <string>
#include <string_view>

#include "results/ResultRecord.h"
#include "results/ResultsLogIO.h"
#include "startup/CriteriaTable.h"
#include "startup/ProgramDefinition.h"
#include "teacher/RecordList.h"
#include "text/CsvText.h"

namespace kestrel {

enum class CsvEncoding { Cp932, Utf8WithBom };

// What a teacher is told when a text has no CP932 counterpart.
inline constexpr const char* kCsvNotCp932 =
    "CP932 で書けない文字があります。UTF-8 で書き出してください。";

// The file's bytes of a CSV text (UTF-8): with a byte-order mark, or in
// CP932, which throws std::invalid_argument for a text it cannot hold.
std::string csvFileBytes(const std::string& utf8, CsvEncoding encoding);

struct CsvOptions {
    CsvEncoding encoding = CsvEncoding::Cp932;
    // 0: every record. Otherwise only records dated later than today - days,
    // as the results views choose a period.
    int periodDays = 0;
    double today = 0; // day number of today, for the period
};

// The header row, and the row of record `number` (UTF-8, without line end).
std::string csvHeader();
std::string csvRow(uint64_t number, const ResultRecord& record, const StudentLookups& students,
                   const ProgramDefinition& program, const CriteriaTable& criteria);

// Reads the whole log and makes the file's text in the chosen encoding. An
// empty log gives the header row alone.
LogStatus exportResultsCsv(const LogAccess& log, const StudentLookups& students,
                           const ProgramDefinition& program, const CriteriaTable& criteria,
                           const CsvOptions& options, std::string& out);

} // namespace kestrel
