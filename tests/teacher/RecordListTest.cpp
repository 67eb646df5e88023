// The results manager's lines, counts and readings of what the teacher typed.
#include <gtest/gtest.h>

#include "results/ResultsTestSupport.h"
#include "startup/Calendar.h"
#include "teacher/RecordList.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct TestSchool {
    SharedConfig config;
    StudentLookups students;
    TestSchool() {
        config.SchoolCode = "12345";
        config.SchoolName = "みなみ小学校";
        std::vector<RosterFileEntry> entries(3);
        entries[0].entry.number = 12;
        entries[0].entry.name = "あおき　たろう      ";
        entries[0].entry.birthYear = 2016; // 小３ in the school year 2025
        entries[1].entry.number = 3;
        entries[1].entry.name = "  いとう            ";
        entries[1].entry.birthYear = 2021; // two years before school: no grade label
        entries[2].entry.number = 9000;    // out of range: passed over
        students = studentLookups(entries, 2025);
    }
    ResultRecord record(int student, int level, int seconds, const char* code = "12345") {
        ResultRecord r = runRecord(static_cast<double>(dayNumber(CivilDate{2025, 6, 10})), student,
                                   level, seconds);
        r.timeOfDay = (9 * 3600 + 5 * 60 + 7) / 86400.0;
        r.schoolCode = resultText(code);
        return r;
    }
};

} // namespace

TEST(RecordList, LineLayout) {
    TestSchool s;
    const RecordLines lines(s.students, s.config);
    EXPECT_EQ(lines.line(1, s.record(12, 3, 45)),
              "   1 2025/06/10　  9:05:07ﾚﾍﾞﾙ3　   45秒 　  12 あおき　たろ 小３++みなみ小学校");
    EXPECT_EQ(lines.line(20, s.record(3, 1, 99999, "99999")),
              "  20 2025/06/10　  9:05:07ﾚﾍﾞﾙ1　99999秒 　   3 いとう　　　 ++他塾");
    // Numbers wider than their fields are never cut: a record number must
    // lead to its record.
    const std::string wide = lines.line(123456, s.record(4321, 12, 123456));
    EXPECT_EQ(wide.rfind("123456 2025/06/10", 0), 0u) << wide;
    EXPECT_NE(wide.find("ﾚﾍﾞﾙ12　123456秒 　4321 　　　　　　 ++"), std::string::npos) << wide;
}

TEST(RecordList, AnotherSchoolOrNoSchoolCodeIsHiJuku) {
    TestSchool s;
    for (const char* code : {"54321", "1234", ""}) {
        SharedConfig config = s.config;
        const RecordLines lines(s.students, config);
        const std::string line = lines.line(1, s.record(12, 1, 30, code));
        EXPECT_EQ(line.substr(line.size() - 6), "他塾") << code;
    }
    // An empty school code: records carry five spaces, none is this school's.
    s.config.SchoolCode = "";
    const RecordLines lines(s.students, s.config);
    for (const char* code : {"", "     ", "12345"}) {
        const std::string line = lines.line(1, s.record(12, 1, 30, code));
        EXPECT_EQ(line.substr(line.size() - 6), "他塾") << code;
    }
}

TEST(RecordList, RecordCount) {
    EXPECT_EQ(recordCountText(0), "総レコード数:0");
    EXPECT_EQ(recordCountText(132), "総レコード数:3");
    EXPECT_EQ(recordCountText(154), "総レコード数:3.5");
    EXPECT_EQ(recordCountText(1343), "総レコード数:30.5227272727273");
}

TEST(RecordList, TheWholeLogInFileOrderWithoutLevelZero) {
    TestSchool s;
    LogContext t;
    std::vector<ResultRecord> records;
    for (int i = 0; i < 25003; ++i)
        records.push_back(s.record(12, 1 + i % 5, i % 600));
    records[1].level = 0; // passed over, but counted
    writeBytes(t.log(), logBytes(records, std::string(10, '\0')));
    RecordListing listing;
    ASSERT_TRUE(readRecordListing(resultsLog(t.ctx), s.students, s.config, listing).ok());
    EXPECT_EQ(listing.lengthBytes, 25003 * kResultRecordSize + 10);
    ASSERT_EQ(listing.lines.size(), 25002u);
    EXPECT_EQ(listing.numbers[0], 1u);
    EXPECT_EQ(listing.numbers[1], 3u);
    EXPECT_EQ(listing.numbers.back(), 25003u);
    EXPECT_EQ(listing.lines.back().rfind("25003 ", 0), 0u);
}

TEST(RecordList, DatesAndTimes) {
    EXPECT_EQ(shortDate(static_cast<double>(dayNumber(CivilDate{2025, 6, 10}))), "2025/06/10");
    EXPECT_EQ(shortDate(0), "1899/12/30");
    EXPECT_EQ(shortDate(1e300), "1e+300");
    EXPECT_EQ(timeOfDayText(0), "0:00:00");
    EXPECT_EQ(timeOfDayText(0.5), "12:00:00");
    EXPECT_EQ(timeOfDayText((23 * 3600 + 59 * 60 + 59.4) / 86400.0), "23:59:59");
}

TEST(RecordList, StudentsOfTheRosterForTheChooser) {
    TestSchool s;
    EXPECT_EQ(s.students.roster, (std::vector<int>{12, 3}));
    EXPECT_EQ(s.students.names[12], "あおき　たろう");
    EXPECT_EQ(s.students.names[3], "いとう");
    EXPECT_EQ(s.students.gradeLabels[12], "小３");
    EXPECT_EQ(studentChoice(12, s.students), "12 /  あおき　たろう");
    EXPECT_EQ(studentChoice(44, s.students), "44 /  ");
}

TEST(RecordList, WhatTheTeacherTyped) {
    const struct {
        const char* text;
        std::optional<int> student;
    } choices[] = {{"12 /  あおき", 12}, {" 7 / x", 7},    {"12", 12},     {"5000", 5000},
                   {"abc", {}},          {"", {}},         {"0 / x", {}},  {"5001", {}},
                   {"12a / b", {}},      {"/ あおき", {}}, {"-3 / x", {}}, {"1.5 / x", {}}};
    for (const auto& c : choices)
        EXPECT_EQ(chosenStudent(c.text), c.student) << c.text;

    const struct {
        const char* text;
        std::optional<int32_t> seconds;
    } times[] = {{"45", 45},       {" 45秒", 45},  {"45 秒 ", 45},     {"0", 0},
                 {"99999", 99999}, {"00045", 45},  {"", {}},           {"abc", {}},
                 {"秒", {}},       {"-7", {}},     {"+7", {}},         {"45.5", {}},
                 {"4 5", {}},      {"100000", {}}, {"3000000000", {}}, {"45x", {}}};
    for (const auto& c : times)
        EXPECT_EQ(typedSeconds(c.text), c.seconds) << c.text;

    ResultRecord r = runRecord(45000, 12, 3, 45);
    r.countText = {'7', 'x', ' ', ' ', '\0'};
    const ResultBytes chosen = encodeResultRecord(r);
    const ResultBytes corrected = correctedRecord(chosen, 31, 77);
    ResultRecord expected = r;
    expected.studentNumber = 31;
    expected.seconds = 77;
    EXPECT_EQ(corrected, encodeResultRecord(expected));
}
