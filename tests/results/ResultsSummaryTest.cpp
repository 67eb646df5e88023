#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <utility>

#include "context/Procedures.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const ResultsSummary& summaryOf(const LogContext& t) {
    return *t.ctx.summary;
}

} // namespace

TEST(RunPoints, FollowsTheTargetTime) {
    LogContext t;
    t.ctx.criteria[2].targetTime = 2000;
    t.ctx.criteria[3].targetTime = 0; // a level without criteria
    struct Case {
        int level;
        int32_t seconds;
        int32_t points;
    } cases[] = {
        {1, 0, 55},   {1, 17, 23},   {1, 30, 11},   {1, 59, 5},    {1, 60, 5},
        {1, 61, 4},   {1, 119, 4},   {1, 120, 1},   {1, 599, 1},   {1, 600, 0},
        {1, 6000, 0}, {1, 99998, 0}, {1, 99999, 0}, {2, 1234, 46}, // judged as 123 seconds
        {2, 6000, 1}, {2, 99998, 0}, {3, 0, 0},     {3, 5, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunPoints(t.ctx.criteria, c.seconds, c.level), c.points)
            << "level " << c.level << ", " << c.seconds << " s";
    // The end screen judges the full time.
    EXPECT_EQ(basePoints(1234, 2000, false), 7);
}

TEST(RunPoints, MultiplierTruncates) {
    LogContext t;
    t.ctx.criteria[1].pointMultiplier = 1.5f;
    EXPECT_EQ(RunPoints(t.ctx.criteria, 17, 1), 34); // 23 x 1.5 = 34.5
    t.ctx.criteria[1].pointMultiplier = 2.0f;
    EXPECT_EQ(RunPoints(t.ctx.criteria, 60, 1), 10);
    EXPECT_EQ(scalePoints(10, 0.7f), 7);
    EXPECT_EQ(scalePoints(55, 0.0f), 0);
    EXPECT_EQ(scalePoints(55, 1e30f), INT32_MAX);
    EXPECT_EQ(scalePoints(4, 100000.0f), 400000);

    // However large the multiplier, the summary's sums stay in range.
    t.ctx.criteria[1].pointMultiplier = 1e9f;
    writeBytes(t.log(), logBytes({runRecord(t.today(), 5, 1, 0), runRecord(t.today(), 5, 1, 0)}));
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(t.ctx.summary->pointsAll[1][5], 200000);
}

TEST(BuildSummary, SumsAgreeWithRunPointsForEveryTime) {
    // The summary scores times below 1024 seconds from a table per level.
    const struct Level {
        int32_t target;
        float multiplier;
    } levels[] = {{0, 1.0f}, {1, 1.0f}, {60, 1.5f}, {150, 0.7f}, {2000, 1.0f}};
    LogContext t;
    std::vector<ResultRecord> records;
    for (int i = 0; i < 5; ++i) {
        t.ctx.criteria[i + 1].targetTime = levels[i].target;
        t.ctx.criteria[i + 1].pointMultiplier = levels[i].multiplier;
        for (int32_t sec = -3; sec < 1100; ++sec)
            records.push_back(runRecord(t.today(), sec + 4, i + 1, sec));
    }
    writeBytes(t.log(), logBytes(records));
    ASSERT_TRUE(BuildSummary(t.ctx));
    for (int level = 1; level <= 5; ++level)
        for (int32_t sec = -3; sec < 1100; ++sec)
            ASSERT_EQ(summaryOf(t).pointsAll[level][sec + 4], RunPoints(t.ctx.criteria, sec, level))
                << "level " << level << ", " << sec << " s";
}

TEST(LoadResults, ReadsTheLast20000WholeRecords) {
    LogContext t;
    std::vector<ResultRecord> records;
    for (int i = 1; i <= 25000; ++i)
        records.push_back(runRecord(t.today(), 1 + i % 30, 1, i));
    writeBytes(t.log(), logBytes(records, std::string(30, '\x55')));

    ASSERT_TRUE(LoadResults(t.ctx));
    const RunEntries& e = t.ctx.runEntries;
    ASSERT_EQ(e.count(), 20000);
    EXPECT_EQ(e.entrySlots.front().seconds, 5001);
    EXPECT_EQ(e.entrySlots.back().seconds, 25000);
    // Earlier, faster records of a student are not among those read.
    EXPECT_EQ(summaryOf(t).bestTime[1][22], 5001);
    EXPECT_EQ(summaryOf(t).bestTime[1][2], 5011);
    EXPECT_EQ(summaryOf(t).overallBest[1], 5001);
    EXPECT_EQ(summaryOf(t).overallBest[2], kNoTime);
}

TEST(LoadResults, RecordsOutsideTheTablesStayOut) {
    LogContext t;
    const double d = t.today();
    writeBytes(t.log(), logBytes({
                            runRecord(d, 3, 0, 10),    // no level: dropped
                            runRecord(d, 3, 36, 10),   // kept, outside the tables
                            runRecord(d, 0, 1, 10),    // no student: dropped
                            runRecord(d, 5001, 1, 10), // kept, outside the tables
                            runRecord(d, 3, -2, 10),   // dropped
                            runRecord(d, -4, 2, 10),   // kept, outside the tables
                            runRecord(-1, 3, 1, 12),   // dropped, but its time counts
                            runRecord(d, 3, 1, 70),
                        }));
    ASSERT_TRUE(BuildSummary(t.ctx));
    const auto& e = t.ctx.runEntries.entrySlots;
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].level, 36);
    EXPECT_EQ(e[1].studentNumber, 5001);
    EXPECT_EQ(e[2].studentNumber, -4);
    EXPECT_EQ(e[3].seconds, 70);

    const ResultsSummary& s = summaryOf(t);
    EXPECT_EQ(s.bestTime[1][3], 12);
    EXPECT_EQ(s.countAll[1][3], 1);
    EXPECT_EQ(s.pointsAll[1][3], RunPoints(t.ctx.criteria, 70, 1));
    // The neighbours a stray index would reach.
    for (size_t level : {0u, 1u, 2u}) {
        for (size_t student : {0u, 3u, 5000u}) {
            if (level == 1 && student == 3) continue;
            EXPECT_EQ(s.bestTime[level][student], kNoTime) << level << "/" << student;
            EXPECT_EQ(s.countAll[level][student], 0) << level << "/" << student;
            EXPECT_EQ(s.pointsAll[level][student], 0) << level << "/" << student;
        }
    }
    EXPECT_EQ(s.bestTime[kMaxLevel][3], kNoTime);
}

TEST(LoadResults, OverallBestTakesStudentsUpTo1000Only) {
    LogContext t;
    const double d = t.today();
    writeBytes(t.log(), logBytes({runRecord(d, 1000, 1, 40), runRecord(d, 1001, 1, 20),
                                  runRecord(d, 3000, 1, 10), runRecord(d, 1001, 2, 20)}));
    ASSERT_TRUE(LoadResults(t.ctx));
    EXPECT_EQ(summaryOf(t).overallBest[1], 40);
    EXPECT_EQ(summaryOf(t).overallBest[2], kNoTime);
    EXPECT_EQ(summaryOf(t).bestTime[1][3000], 10);
}

TEST(BuildSummary, PeriodsCoverTodayAndTheDaysBefore) {
    const struct Case {
        const char* days;
        int16_t count;
        int32_t points;
    } cases[] = {{"0", 0, 0},  {"1", 1, 11},    {"2", 2, 17},
                 {"7", 3, 22}, {" 2日", 2, 17}, {"", 0, 0}};
    for (const Case& c : cases) {
        LogContext t;
        t.ctx.criteria[1].passPeriodDays = c.days;
        t.ctx.criteria[1].overPracticePeriodDays = c.days;
        const double d = t.today();
        // 30 s = 11 points, 40 s = 6, 50 s = 5, 45 s = 5. The runs dated
        // after today (a PC whose clock is ahead) are in no period.
        writeBytes(t.log(), logBytes({runRecord(d, 9, 1, 30), runRecord(d - 1, 9, 1, 40),
                                      runRecord(d - 6, 9, 1, 50), runRecord(d - 7, 9, 1, 45),
                                      runRecord(d + 1, 9, 1, 30), runRecord(d + 40, 9, 1, 30)}));
        ASSERT_TRUE(BuildSummary(t.ctx));
        const ResultsSummary& s = summaryOf(t);
        EXPECT_EQ(s.countPass[1][9], c.count) << "period " << c.days;
        EXPECT_EQ(s.pointsPass[1][9], c.points) << "period " << c.days;
        EXPECT_EQ(s.countLimit[1][9], c.count) << "period " << c.days;
        EXPECT_EQ(s.pointsLimit[1][9], c.points) << "period " << c.days;
        EXPECT_EQ(s.countAll[1][9], 6);
        EXPECT_EQ(s.pointsAll[1][9], 49);
        EXPECT_EQ(s.countToday[1][9], 1.0f);
        EXPECT_EQ(s.pointsToday[1][9], 11);
    }
}

TEST(BuildSummary, SlowRunsAddPointsButNoCount) {
    LogContext t;
    t.ctx.criteria[3].targetTime = 1000; // 6000 s is under 10 x target: 1 point
    const double d = t.today();
    writeBytes(t.log(), logBytes({runRecord(d, 5, 3, 5999), runRecord(d, 5, 3, 6000),
                                  runRecord(d, 5, 3, 99999), runRecord(d - 1, 5, 3, 100)}));
    ASSERT_TRUE(BuildSummary(t.ctx));
    const ResultsSummary& s = summaryOf(t);
    EXPECT_EQ(s.countAll[3][5], 2);
    EXPECT_EQ(s.pointsAll[3][5], 1 + 1 + 0 + RunPoints(t.ctx.criteria, 100, 3));
    EXPECT_EQ(s.countToday[3][5], 1.0f);
    EXPECT_EQ(s.pointsToday[3][5], 2);
    EXPECT_EQ(s.bestTime[3][5], 100);
}

TEST(BuildSummary, RebuildReplacesTheFormerFigures) {
    LogContext t;
    writeBytes(t.log(), logBytes({runRecord(t.today(), 5, 1, 30), runRecord(t.today(), 5, 1, 31)}));
    ASSERT_TRUE(BuildSummary(t.ctx));
    ASSERT_EQ(summaryOf(t).countAll[1][5], 2);
    writeBytes(t.log(), logBytes({runRecord(t.today(), 5, 1, 50)}));
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(summaryOf(t).countAll[1][5], 1);
    EXPECT_EQ(summaryOf(t).bestTime[1][5], 50);
    EXPECT_EQ(t.ctx.runEntries.count(), 1);
}

// Whatever a cell held before, in any table, level or student (row and
// column 0 and the last ones too, a negative zero among them), a rebuild
// leaves the summary bit for bit as a first build makes it.
TEST(BuildSummary, ARebuildLeavesNothingOfWhatTheTablesHeld) {
    LogContext t;
    writeBytes(t.log(),
               logBytes({runRecord(t.today(), 5, 1, 30), runRecord(t.today() - 3, 7, 2, 45),
                         runRecord(t.today(), 900, 5, 99999)}));
    ASSERT_TRUE(BuildSummary(t.ctx));
    const auto first = std::make_unique<ResultsSummary>(*t.ctx.summary);
    const std::pair<size_t, size_t> cells[] = {{0, 0},    {0, 5000}, {35, 0},  {35, 5000}, {1, 5},
                                               {6, 2500}, {2, 7},    {5, 900}, {17, 1000}};
    for (const auto& [L, S] : cells) {
        ResultsSummary& s = *t.ctx.summary;
        s.bestTime[L][S] = 3;
        s.countAll[L][S] = -1;
        s.countPass[L][S] = 2;
        s.countLimit[L][S] = 3;
        s.countToday[L][S] = -0.0f;
        s.pointsAll[L][S] = 4;
        s.pointsPass[L][S] = 5;
        s.pointsLimit[L][S] = 6;
        s.pointsToday[L][S] = INT32_MIN;
        s.overallBest[L] = 1;
    }
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(std::memcmp(t.ctx.summary.get(), first.get(), sizeof(ResultsSummary)), 0);
    for (const auto& [L, S] : cells) {
        EXPECT_EQ(t.ctx.summary->countAll[L][S], first->countAll[L][S]) << L << "/" << S;
        EXPECT_EQ(t.ctx.summary->bestTime[L][S], first->bestTime[L][S]) << L << "/" << S;
    }
}

TEST(RecordRun, BestTimeFlagsAreStrict) {
    const struct Case {
        int32_t runTime;
        int16_t personal, overall;
    } cases[] = {{41, 0, 0}, {40, 0, 0}, {39, 1, 0}, {35, 1, 0}, {34, 1, 1}, {kNoTime, 0, 0}};
    for (const Case& c : cases) {
        LogContext t;
        writeBytes(t.log(),
                   logBytes({runRecord(t.today(), 5, 1, 40), runRecord(t.today(), 6, 1, 35)}));
        ASSERT_TRUE(BuildSummary(t.ctx));
        t.signIn(5, 1);
        t.ctx.state.RunTime = c.runTime;
        const std::optional<RecordFlags> flags = RecordRun(t.ctx, 1);
        ASSERT_TRUE(flags);
        EXPECT_EQ(flags->newPersonalBest, c.personal) << c.runTime;
        EXPECT_EQ(flags->newOverallBest, c.overall) << c.runTime;
        EXPECT_EQ(summaryOf(t).bestTime[1][5], std::min(40, c.runTime));
        EXPECT_EQ(summaryOf(t).overallBest[1], std::min(35, c.runTime));
        const auto records = decodeLog(readBytes(t.log()));
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[2].seconds, c.runTime);
    }
}

TEST(RecordRun, StudentsAbove1000SetNoOverallBest) {
    LogContext t;
    writeBytes(t.log(), logBytes({runRecord(t.today(), 6, 1, 35)}));
    ASSERT_TRUE(BuildSummary(t.ctx));
    t.signIn(1500, 1);
    t.ctx.state.RunTime = 10;
    const std::optional<RecordFlags> flags = RecordRun(t.ctx, 1);
    ASSERT_TRUE(flags);
    EXPECT_EQ(flags->newPersonalBest, 1);
    EXPECT_EQ(flags->newOverallBest, 0);
    EXPECT_EQ(summaryOf(t).overallBest[1], 35);
    // And the rebuilt summary agrees.
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(summaryOf(t).overallBest[1], 35);
}

TEST(RecordRun, ClearedBeforeLooksAtAllRunsBeforeThisOne) {
    // clearCount 3 and clearPoints 30; a 30-second run is worth 11 points.
    const struct Case {
        int runs;
        int32_t seconds;
        int16_t cleared;
    } cases[] = {{2, 30, 0}, {3, 30, 1}, {3, 59, 0}, {4, 30, 1}};
    for (const Case& c : cases) {
        LogContext t;
        std::vector<ResultRecord> old;
        for (int i = 0; i < c.runs; ++i)
            old.push_back(runRecord(t.today() - 100, 5, 1, c.seconds));
        writeBytes(t.log(), logBytes(old));
        ASSERT_TRUE(BuildSummary(t.ctx));
        t.signIn(5, 1);
        t.ctx.state.RunTime = 20;
        const std::optional<RecordFlags> flags = RecordRun(t.ctx, 1);
        ASSERT_TRUE(flags);
        EXPECT_EQ(flags->clearedBefore, c.cleared) << c.runs << " x " << c.seconds;
    }
}

TEST(RecordRun, StudentOutsideTheTablesEndsTheProgramUnrecorded) {
    LogContext t;
    t.signIn(5001, 1);
    t.ctx.state.RunTime = 50;
    EXPECT_THROW(RecordRun(t.ctx, 1), ProgramEnded);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_EQ(t.dialogs.shown[0].text.rfind("Seisekikiroku", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(t.log()));
    EXPECT_NE(t.exit.statuses.at(0), 0);
}

TEST(LevelRules, ClearedAndOverPracticeWithinTheirPeriods) {
    const struct Case {
        const char* maxCount;
        const char* maxPoints;
        bool over;
    } cases[] = {{"0", "0", false}, {"", "", false},    {"2", "0", true}, {"3", "0", false},
                 {"0", "22", true}, {"0", "23", false}, {"3", "22", true}};
    for (const Case& c : cases) {
        LogContext t;
        t.ctx.criteria[1].overPracticeCount = c.maxCount;
        t.ctx.criteria[1].overPracticePoints = c.maxPoints;
        t.ctx.criteria[1].overPracticePeriodDays = "2";
        t.ctx.criteria[1].passPeriodDays = "2";
        // Two runs of 11 points in the period, one long before.
        writeBytes(t.log(),
                   logBytes({runRecord(t.today(), 5, 1, 30), runRecord(t.today() - 1, 5, 1, 30),
                             runRecord(t.today() - 30, 5, 1, 30)}));
        ASSERT_TRUE(BuildSummary(t.ctx));
        EXPECT_EQ(OverPractice(*t.ctx.summary, t.ctx.criteria, 1, 5), c.over)
            << c.maxCount << "/" << c.maxPoints;
        EXPECT_FALSE(
            LevelCleared(*t.ctx.summary, t.ctx.criteria, 1, 5)); // 2 of 3 runs, 22 of 30 points
        t.ctx.criteria[1].clearCount = 2;
        t.ctx.criteria[1].clearPoints = 22;
        EXPECT_TRUE(LevelCleared(*t.ctx.summary, t.ctx.criteria, 1, 5));
        EXPECT_FALSE(LevelCleared(*t.ctx.summary, t.ctx.criteria, 1, 5001));
        EXPECT_FALSE(OverPractice(*t.ctx.summary, t.ctx.criteria, 0, 5));
    }
}

TEST(SortByKey, EqualKeysSwapAcrossHalves) {
    std::vector<int32_t> keys{0, 3, 1, 3};
    std::vector<char> items{'-', 'a', 'b', 'c'};
    SortByKey(3, keys, items);
    EXPECT_EQ(keys, (std::vector<int32_t>{0, 1, 3, 3}));
    EXPECT_EQ(items, (std::vector<char>{'-', 'b', 'c', 'a'}));
}

TEST(SortByKey, SortsAscendingAndKeepsEveryPair) {
    std::mt19937 rng(7);
    for (int n = 0; n <= 70; ++n) {
        std::vector<int32_t> keys(static_cast<size_t>(n) + 1, -99);
        std::vector<int> items(static_cast<size_t>(n) + 1, -1);
        std::vector<std::pair<int32_t, int>> pairs;
        for (int i = 1; i <= n; ++i) {
            keys[static_cast<size_t>(i)] = static_cast<int32_t>(rng() % 5) - 2;
            items[static_cast<size_t>(i)] = i;
            pairs.emplace_back(keys[static_cast<size_t>(i)], i);
        }
        SortByKey(n, keys, items);
        EXPECT_EQ(keys[0], -99);
        EXPECT_TRUE(std::is_sorted(keys.begin() + 1, keys.end())) << n;
        std::vector<std::pair<int32_t, int>> after;
        for (int i = 1; i <= n; ++i)
            after.emplace_back(keys[static_cast<size_t>(i)], items[static_cast<size_t>(i)]);
        std::sort(pairs.begin(), pairs.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, pairs) << n;
    }
}

TEST(GradeHelpers, MarksAndGroups) {
    const char* marks[] = {"　", "①", "②", "③", "④", "⑤", "⑥", "Ⅰ", "Ⅱ", "Ⅲ", "　"};
    for (int g = 0; g <= 10; ++g)
        EXPECT_EQ(GradeMark(g), marks[g]) << g;
    EXPECT_EQ(GradeMark(-1), "　");

    const struct Case {
        const char* group;
        int from, to; // the grades 0..10 that belong
    } cases[] = {{"全学年", 0, 10}, {"家族", 0, 10}, {"小学生全体", 1, 6}, {"中学生全体", 7, 9},
                 {"小１", 1, 1},    {"小４", 4, 4},  {"小６", 6, 6},       {"中１", 7, 7},
                 {"中３", 9, 9},    {"小1", 99, 99}, {"", 99, 99},         {"高１", 99, 99}};
    for (const Case& c : cases)
        for (int g = 0; g <= 10; ++g)
            EXPECT_EQ(InGradeGroup(g, c.group), g >= c.from && g <= c.to) << c.group << " " << g;
}
