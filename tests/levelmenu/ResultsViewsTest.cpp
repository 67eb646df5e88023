// The lists read from the results log: periods, the fields and lines of
// every view, which runs each view lists, and the graph panel's student list.
#include <gtest/gtest.h>

#include <algorithm>

#include "levelmenu/MenuFixture.h"
#include "levelmenu/ResultsViews.h"
#include "results/ResultsLogIO.h"
#include "results/ResultsTestSupport.h"
#include "text/Cp932.h"
#include "text/SortedLines.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

constexpr CivilDate kMonday{2025, 6, 9};
constexpr CivilDate kTuesday{2025, 6, 10};
constexpr CivilDate kSunday{2025, 6, 15};

double day(const CivilDate& d) {
    return static_cast<double>(dayNumber(d));
}

// h:mm:ss as a fraction of a day.
double at(int h, int m, int s) {
    return (h * 3600 + m * 60 + s) / 86400.0;
}

ResultRecord run(double date, double time, int student, int level, int32_t seconds) {
    ResultRecord r = runRecord(date, student, level, seconds);
    r.timeOfDay = time;
    return r;
}

// A school of a fourth-grader (signed in), a second-grader and a
// junior-high student over a log in a temporary folder.
struct Views : MenuFixture {
    TempDir dir;
    std::vector<ResultRecord> records;

    Views() {
        addStudent(4, "  たなか　はな", 4);
        addStudent(7, "すずき", 2);
        addStudent(12, "ちゅうがくせい", 8);
        signIn(4);
        ctx.criteria[2].targetTime = 40;
    }
    // The lines of every level, as the lists show them: sorted by their text.
    std::vector<std::vector<std::string>> scan(ViewKind kind, const CivilDate& today, int days,
                                               const std::string& group = "全学年",
                                               uint64_t last = kAllRunsViewRecords) {
        writeBytes(dir / "log.dat", logBytes(records));
        ViewSetup setup;
        setup.kind = kind;
        setup.today = day(today);
        setup.periodDays = days;
        setup.gradeGroup = group;
        setup.signedInStudent = 4;
        ViewScan s(setup, ctx.roster, ctx.criteria);
        LogReadOptions options;
        options.lastRecords = last;
        const LogStatus status =
            readResultsLog({*ctx.sharedFiles, dir / "log.dat", clock, events}, s, options);
        EXPECT_TRUE(status.ok()) << status.message;
        std::vector<std::vector<std::string>> sorted;
        for (const auto& level : s.lines()) {
            SortedLines lines;
            lines.assign(level);
            sorted.push_back(lines.lines());
        }
        return sorted;
    }
    size_t listed(const std::vector<std::vector<std::string>>& lines) {
        size_t n = 0;
        for (const auto& l : lines)
            n += l.size();
        return n;
    }
};

} // namespace

TEST(ResultsViewPeriods, WeekStartsOnMondayAndLongerPeriodsAreFixed) {
    const struct Case {
        int16_t allPeriod;
        CivilDate today;
        int days;
    } cases[] = {
        {1, kMonday, 1},   {1, kTuesday, 2},       {1, {2025, 6, 14}, 6}, {1, kSunday, 7},
        {2, kMonday, 8},   {2, {2025, 6, 14}, 13}, {2, kSunday, 14},      {3, kMonday, 30},
        {4, kSunday, 365}, {5, kTuesday, 3650},    {0, kTuesday, 30},
    };
    for (const Case& c : cases)
        EXPECT_EQ(periodDays(c.allPeriod, c.today), c.days)
            << c.allPeriod << " on " << c.today.month << "/" << c.today.day;
}

TEST(ResultsViewPeriods, ThisWeekAndSinceLastWeekOverADailyLog) {
    // One run a day over the last thirty days before each of the two days.
    for (const CivilDate today : {kMonday, kSunday}) {
        Views v;
        for (int back = 29; back >= 0; --back)
            v.records.push_back(run(day(today) - back, at(10, 0, 0), 7, 1, 50 + back));
        const size_t thisWeek = v.listed(v.scan(ViewKind::AllTimes, today, periodDays(1, today)));
        const size_t sinceLastWeek =
            v.listed(v.scan(ViewKind::AllTimes, today, periodDays(2, today)));
        if (today == kMonday) {
            EXPECT_EQ(thisWeek, 1u); // today only
            EXPECT_EQ(sinceLastWeek, 8u);
        } else {
            EXPECT_EQ(thisWeek, 7u);
            EXPECT_EQ(sinceLastWeek, 14u);
        }
    }
}

TEST(ResultsViewPeriods, TenYearsOverTheLast20000Records) {
    // 25000 records: the first 5000 are recent but not among the last
    // 20000; of those, the ones older than ten years are out of the period.
    Views v;
    const double today = day(kTuesday);
    for (int i = 0; i < 25000; ++i) {
        const double date = i < 5000 ? today : i < 8000 ? today - 3650 : today - 3649;
        v.records.push_back(run(date, at(9, 0, 0), 7, 1 + i % 5, 60));
    }
    EXPECT_EQ(v.listed(v.scan(ViewKind::AllTimes, kTuesday, periodDays(5, kTuesday))), 17000u);
    // Today's view reads only the last 1000 records, none of them today.
    EXPECT_EQ(v.listed(v.scan(ViewKind::Today, kTuesday, 1, "全学年", kTodayViewRecords)), 0u);
}

TEST(ResultsViewFields, FixedWidthFields) {
    EXPECT_EQ(secondsField(45), "  45秒");
    EXPECT_EQ(secondsField(9), "   9秒");
    EXPECT_EQ(secondsField(123), " 123秒");
    EXPECT_EQ(secondsField(12345), "2345秒");
    EXPECT_EQ(clockTime(at(9, 5, 3)), "9:05:03");
    EXPECT_EQ(clockField(at(9, 5, 3)), "09:05");
    EXPECT_EQ(clockField(at(14, 59, 59)), "14:59");
    EXPECT_EQ(clockTime(at(23, 59, 59) + 0.7 / 86400), "0:00:00"); // rounds past midnight
    EXPECT_EQ(fullDate(day({2025, 6, 9})), "2025/06/09");
    EXPECT_EQ(dateField(day({2025, 6, 9})), "06/09");
    EXPECT_EQ(viewNameField("  たなか　はな      "), "たなか　は");
    EXPECT_EQ(viewNameField("あお  "), "あお　　　");
    EXPECT_EQ(viewNameField(""), "　　　　");
    // Damaged records never break a line.
    EXPECT_EQ(fullDate(1e300), "----/--/--");
    EXPECT_EQ(clockTime(std::numeric_limits<double>::quiet_NaN()), "0:00:00");
}

TEST(ResultsViewLines, EveryViewsLineAsAWholeString) {
    const LineStudent own{viewNameField("たなか　はな"), "●"};
    const LineStudent other{viewNameField("すずき"), "②"};
    const ResultRecord fast = run(day(kTuesday), at(9, 5, 3), 7, 1, 45);
    const ResultRecord timeOut = run(day(kTuesday), at(10, 30, 0), 7, 1, 99999);
    const ResultRecord slow = run(day({2025, 5, 30}), at(13, 2, 9), 4, 2, 1234);
    const struct Case {
        ViewKind kind;
        ResultRecord run;
        LineStudent student;
        int32_t points;
        const char* line;
    } cases[] = {
        {ViewKind::Today, fast, other, 12, "  45秒 09:05②すずき　　②12"},
        {ViewKind::Today, timeOut, other, 0, "　　× 10:30②すずき　　②"},
        {ViewKind::Today, slow, own, 1, "1234秒 13:02●たなか　は●1"},
        {ViewKind::AllTimes, fast, other, 12, "  45秒 06/10②すずき　　②12"},
        {ViewKind::AllTimes, timeOut, other, 0, "　　× 06/10②すずき　　②"},
        {ViewKind::AllPoints, fast, other, 12, "   12 06/10②すずき　　②45秒"},
        {ViewKind::AllPoints, timeOut, other, 0, "　　× 06/10②すずき　　②"},
        {ViewKind::AllPoints, slow, own, 1, "    1 05/30●たなか　は●1234秒"},
        {ViewKind::Personal, fast, own, 12, "2025/06/10 9:05:03  45秒"},
        {ViewKind::Personal, slow, own, 1, "2025/05/30 13:02:091234秒"},
        {ViewKind::Personal, timeOut, own, 0, "2025/06/10 10:30:00 ×失敗"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(viewLine(c.kind, c.run, c.student, c.points), c.line) << c.line;
    // The lists' colouring skips failed lines by their third character.
    EXPECT_EQ(midChars(viewLine(ViewKind::AllTimes, timeOut, other, 0), 3, 1), "×");
}

TEST(ResultsViewScan, TodaysRunsSortFastestFirstWithMarksAndPoints) {
    Views v;
    const double today = day(kTuesday);
    v.records = {
        run(today, at(9, 0, 0), 7, 1, 45),     run(today, at(9, 10, 0), 4, 1, 123),
        run(today, at(9, 20, 0), 12, 1, 9),    run(today - 1, at(9, 30, 0), 7, 1, 5),
        run(today, at(9, 40, 0), 7, 6, 30),    run(today, at(9, 50, 0), 7, 0, 30),
        run(today, at(10, 0, 0), 7, 2, 99999), run(today, at(10, 5, 0), 0, 2, 35),
        run(today, at(10, 6, 0), 6000, 2, 36),
    };
    const auto lines = v.scan(ViewKind::Today, kTuesday, 1);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1],
              (std::vector<std::string>{"   9秒 09:20ⅡちゅうがくⅡ35", "  45秒 09:00②すずき　　②5",
                                        " 123秒 09:10●たなか　は●1"}));
    // Nobody's runs and runs of students outside the tables show without a name.
    EXPECT_EQ(lines[2],
              (std::vector<std::string>{"  35秒 10:05　　　　　　5", "  36秒 10:06　　　　　　5",
                                        "　　× 10:00②すずき　　②"}));
    EXPECT_EQ(v.listed(lines), 6u) << "levels 0 and 6 and yesterday's run are not listed";
}

TEST(ResultsViewScan, JuniorHighGroupHidesElementaryRunsInEveryView) {
    Views v;
    const double today = day(kTuesday);
    v.records = {run(today, at(9, 0, 0), 7, 1, 45), run(today, at(9, 1, 0), 12, 1, 50),
                 run(today, at(9, 2, 0), 4, 1, 55)};
    for (ViewKind kind : {ViewKind::Today, ViewKind::AllTimes, ViewKind::AllPoints}) {
        const auto lines = v.scan(kind, kTuesday, 30, "中学生全体");
        ASSERT_EQ(lines[1].size(), 1u);
        EXPECT_NE(lines[1][0].find("ちゅうがく"), std::string::npos);
    }
    // The signed-in fourth-grader's own runs are hidden too.
    EXPECT_EQ(v.listed(v.scan(ViewKind::Personal, kTuesday, 3650, "中学生全体")), 0u);
    EXPECT_EQ(v.listed(v.scan(ViewKind::Personal, kTuesday, 3650, "小４")), 1u);
}

TEST(ResultsViewScan, PersonalViewListsOwnRunsByDate) {
    Views v;
    const double today = day(kTuesday);
    v.records = {run(today, at(14, 0, 0), 4, 3, 70), run(today - 40, at(9, 0, 0), 4, 3, 90),
                 run(today, at(8, 0, 0), 7, 3, 20), run(today - 3650, at(9, 0, 0), 4, 3, 10),
                 run(today - 1, at(11, 0, 0), 4, 3, 99999)};
    const auto lines = v.scan(ViewKind::Personal, kTuesday, 3650);
    EXPECT_EQ(lines[3],
              (std::vector<std::string>{"2025/05/01 9:00:00  90秒", "2025/06/09 11:00:00 ×失敗",
                                        "2025/06/10 14:00:00  70秒"}));
}

TEST(ResultsViewScan, LogsBeyond32767RecordsAreReadFromTheirEnd) {
    // Record numbers past 16 bits: the views read the right records and
    // the progress reaches the last one.
    Views v;
    const double today = day(kTuesday);
    for (int i = 1; i <= 40000; ++i)
        v.records.push_back(run(today, at(9, 0, 0), 7, 1, i % 1000 + 1));
    writeBytes(v.dir / "log.dat", logBytes(v.records));
    for (const uint64_t last : {kTodayViewRecords, kAllRunsViewRecords}) {
        ViewSetup setup;
        setup.kind = ViewKind::Today;
        setup.today = today;
        setup.signedInStudent = 4;
        ViewScan s(setup, v.ctx.roster, v.ctx.criteria);
        uint64_t reached = 0, total = 0;
        s.onProgress = [&](uint64_t record, uint64_t records) {
            reached = record;
            total = records;
        };
        LogReadOptions options;
        options.lastRecords = last;
        ASSERT_TRUE(
            readResultsLog({*v.ctx.sharedFiles, v.dir / "log.dat", v.clock, v.events}, s, options)
                .ok());
        EXPECT_EQ(s.lines()[1].size(), last);
        EXPECT_EQ(reached, 40000u);
        EXPECT_EQ(total, 40000u);
    }
}

TEST(GraphStudentList, ListedStudentsByGradeLabelAndEveryNameKept) {
    MenuFixture f;
    f.ctx.roster.SchoolYear = 2025;
    f.ctx.roster.GradeLabels[30] = "前の";
    TempDir dir;
    writeCp932File(dir / kRosterFile, "3,2016,0,0,  あおき  ,0,,\r\n"
                                      "8,2012,0,0,いとう,0,,\r\n"
                                      "9,2016,0,0,うえだ,1,,\r\n"
                                      "5,2017,0,0,えもと,2,,\r\n"
                                      "30,2024,0,0,ようじ,0,,\r\n");
    const auto lines = graphStudentList(f.ctx.roster, dir.path().string() + "/");
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{"小３ /  あおき/3", "中１ /  いとう/8",
                                                "前の /  ようじ/30"}));
    EXPECT_EQ(f.ctx.roster.StudentNames[3], "あおき");
    EXPECT_EQ(f.ctx.roster.StudentNames[9], "うえだ"); // not listed, still named
    EXPECT_EQ(f.ctx.roster.BirthYears[5], 2017);
    EXPECT_EQ(f.ctx.roster.GradeLabels[9], "小３");
    EXPECT_EQ(f.ctx.roster.GradeLabels[30], "前の"); // a grade without a label
    EXPECT_EQ(graphListStudent("小３ /  あおき/3"), 3);
    EXPECT_EQ(graphListStudent("小３ /  a/b/1234"), 1234);

    // A roster that cannot be read leaves the tables alone.
    const std::string before = f.ctx.roster.StudentNames[3];
    EXPECT_FALSE(graphStudentList(f.ctx.roster, (dir / "missing").string() + "/"));
    writeBytes(dir / kRosterFile, "3,20x6,0,0,かわる,0,,\r\n");
    EXPECT_FALSE(graphStudentList(f.ctx.roster, dir.path().string() + "/"));
    EXPECT_EQ(f.ctx.roster.StudentNames[3], before);
}
