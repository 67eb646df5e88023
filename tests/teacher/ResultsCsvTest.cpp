// The results log as CSV: the exact bytes of a known log in both encodings,
// the rows read back by an RFC 4180 reader, periods, an empty log, and the
// command-line program beside the main one.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "startup/Calendar.h"
#include "support/Installation.h"
#include "teacher/ResultsCsv.h"
#include "text/Cp932.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// An RFC 4180 reader: records of fields, quotes doubled inside quoted fields.
std::vector<std::vector<std::string>> readCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(field);
            rows.push_back(row);
            row.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(row.empty() && field.empty()) << "the last row ends with CR LF";
    return rows;
}

struct Class : LogContext {
    ProgramDefinition program;
    StudentLookups students;

    Class() {
        DefineProgram(program);
        DefineLevelTable(program);
        std::vector<RosterFileEntry> entries(3);
        entries[0].entry = {12, 2016, 0, 0, "佐藤,花子", "", ""};      // a comma in the name
        entries[1].entry = {13, 2014, 0, 0, "\"ゆう\"　鈴木", "", ""}; // quotes in the name
        entries[2].entry = {14, 2016, 0, 0, "高橋", "", ""};
        students = studentLookups(entries, 2025);
    }
    ResultRecord rec(double daysAgo, double timeOfDay, int student, int level, int32_t seconds,
                     const char* code = "12345") {
        ResultRecord r = runRecord(today() - daysAgo, student, level, seconds);
        r.timeOfDay = timeOfDay;
        r.schoolCode = resultText(code);
        return r;
    }
    std::string exported(CsvOptions options = {}) {
        options.today = today();
        std::string out;
        EXPECT_TRUE(
            exportResultsCsv(resultsLog(ctx), students, program, ctx.criteria, options, out).ok());
        return out;
    }
};

const char* const kHeader =
    "番号,日付,時刻,レベル,レベル名,秒,時間切れ,ポイント,生徒番号,名前,学年,学校コード";

} // namespace

TEST(ResultsCsv, AKnownLogToTheByte) {
    Class c;
    writeBytes(c.log(),
               logBytes({c.rec(1, 0.5, 12, 1, 30),
                         c.rec(0, (9 * 3600 + 5 * 60 + 7) / 86400.0, 13, 5, 99999),
                         c.rec(0, 0.75, 14, 3, 61, "OTHER"), c.rec(0, 0.25, 4000, 36, 10, "")},
                        std::string(20, 'x'))); // and a record cut short
    const std::string expected =
        std::string(kHeader) + "\r\n" +
        "1,2025/06/09,12:00:00,1,レベル１,30,,11,12,\"佐藤,花子\",小３,12345\r\n"
        "2,2025/06/10,9:05:07,5,混合,,はい,0,13,\"\"\"ゆう\"\"　鈴木\",小５,12345\r\n"
        "3,2025/06/10,18:00:00,3,レベル３,61,,4,14,高橋,小３,OTHER\r\n"
        "4,2025/06/10,6:00:00,36,,10,,,4000,,,\r\n";
    // CP932 with CR LF, as a Japanese spreadsheet opens it.
    EXPECT_EQ(c.exported(), utf8ToCp932(expected));
    // UTF-8 with a byte-order mark.
    CsvOptions utf8;
    utf8.encoding = CsvEncoding::Utf8WithBom;
    EXPECT_EQ(c.exported(utf8), "\xEF\xBB\xBF" + expected);
    // The log is read, never changed.
    EXPECT_EQ(readBytes(c.log()).size(), 4 * kResultRecordSize + 20);
}

TEST(ResultsCsv, ReadBackEveryFieldSurvives) {
    Class c;
    std::vector<ResultRecord> records;
    for (int i = 0; i < 50; ++i)
        records.push_back(c.rec(i % 7, (i * 997 % 86400) / 86400.0, 12 + i % 3, 1 + i % 5,
                                i % 9 == 0 ? 99999 : 20 + i * 3));
    writeBytes(c.log(), logBytes(records));
    const auto rows = readCsv(cp932ToUtf8(c.exported()));
    ASSERT_EQ(rows.size(), 51u);
    EXPECT_EQ(rows[0].size(), 12u);
    for (size_t i = 0; i < records.size(); ++i) {
        const std::vector<std::string>& row = rows[i + 1];
        ASSERT_EQ(row.size(), 12u) << i;
        EXPECT_EQ(row[0], std::to_string(i + 1));
        const ResultRecord& r = records[i];
        const bool timeOut = r.seconds == 99999;
        EXPECT_EQ(row[5], timeOut ? "" : std::to_string(r.seconds)) << i;
        EXPECT_EQ(row[6], timeOut ? "はい" : "") << i;
        EXPECT_EQ(row[7], std::to_string(RunPoints(c.ctx.criteria, r.seconds, r.level))) << i;
        EXPECT_EQ(row[9], c.students.names[static_cast<size_t>(r.studentNumber)]) << i;
    }
    EXPECT_EQ(rows[1][9], "佐藤,花子");
    EXPECT_EQ(rows[2][9], "\"ゆう\"　鈴木");
}

TEST(ResultsCsv, PeriodsAndAnEmptyLog) {
    Class c;
    // A missing log, then an empty one: the header row alone.
    EXPECT_EQ(c.exported(), utf8ToCp932(std::string(kHeader) + "\r\n"));
    // The export leaves the folder as it was: no log appears.
    EXPECT_FALSE(std::filesystem::exists(c.log()));
    writeBytes(c.log(), "");
    EXPECT_EQ(c.exported(), utf8ToCp932(std::string(kHeader) + "\r\n"));

    writeBytes(c.log(), logBytes({c.rec(10, 0.5, 12, 1, 30), c.rec(6, 0.5, 12, 1, 31),
                                  c.rec(0, 0.5, 12, 1, 32)}));
    CsvOptions week;
    week.periodDays = 7;
    const auto rows = readCsv(cp932ToUtf8(c.exported(week)));
    ASSERT_EQ(rows.size(), 3u);
    // Rows keep their record numbers in the log.
    EXPECT_EQ(rows[1][0], "2");
    EXPECT_EQ(rows[2][0], "3");
}

#ifdef KESTREL_CSV_PROGRAM
TEST(ResultsCsv, TheCommandLineProgramWritesTheSameFile) {
    // The program finds the shared folder through the path file beside its
    // own folder, as the main program does.
    Installation inst;
    const auto program = inst.installCommand(KESTREL_CSV_PROGRAM);
    const auto log = inst.root() / "共有データ" / "四捨五入" / kResultsLogName;
    writeBytes(log, logBytes({runRecord(46000, 1, 1, 45), runRecord(46001, 2, 2, 99999)}));

    const auto out = inst.root() / "out.csv";
    const std::string command = program.string() + " --utf8 -o " + out.string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto rows = readCsv(readBytes(out).substr(3));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][9], "山田　花子");
    EXPECT_EQ(rows[2][6], "はい");
    EXPECT_EQ(readBytes(out).substr(0, 3), "\xEF\xBB\xBF");

    // A wrong argument is refused with a usage line; no file, no log change.
    EXPECT_NE(std::system((program.string() + " --bogus 2>/dev/null").c_str()), 0);
    EXPECT_EQ(readBytes(log).size(), 2 * kResultRecordSize);
}
#endif
