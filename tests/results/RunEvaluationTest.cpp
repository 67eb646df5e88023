#include <gtest/gtest.h>

#include <limits>

#include "results/ResultsLog.h"
#include "results/RunEvaluation.h"

using namespace kestrel;

TEST(RunEvaluation, PointsTextShowsTheMultiplierInItsShortestForm) {
    struct Case {
        int32_t points;
        float multiplier;
        const char* text;
    } cases[] = {
        {23, 1.5f, "獲得ポイント：23点×1.5→34点"},
        {5, 2.0f, "獲得ポイント：5点×2→10点"},
        {55, 1.25f, "獲得ポイント：55点×1.25→68点"},
        {10, 0.7f, "獲得ポイント：10点×0.7→7点"}, // single precision: not 6
        {0, 1.0f, "獲得ポイント：0点×1→0点"},
        {4, 100000.0f, "獲得ポイント：4点×100000→400000点"}, // never "1e+05"
        {4, 0.0f, "獲得ポイント：4点×0→0点"},
        {4, std::numeric_limits<float>::quiet_NaN(), "獲得ポイント：4点×0→0点"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(earnedPointsText(c.points, c.multiplier), c.text) << c.points;
}

TEST(RunEvaluation, EndScreenJudgesTheRunByItsFullSeconds) {
    struct Case {
        int32_t seconds, target, points;
    } cases[] = {
        {60, 60, 5},     {0, 60, 55},        {28, 100, 23},  {61, 60, 4},
        {119, 60, 4},    {120, 60, 1},       {599, 60, 1},   {600, 60, 0},
        {1234, 2000, 7}, {99998, 200000, 0}, {99999, 60, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(basePoints(c.seconds, c.target, false), c.points) << c.seconds;
    // The log's own rule reads 1234 as 123; the screen must not.
    EXPECT_EQ(basePoints(1234, 2000, true), 46);
}

TEST(RunEvaluation, RunTimeAndRunNumberTexts) {
    EXPECT_EQ(runTimeText(0), "今の成績：0秒");
    EXPECT_EQ(runTimeText(99997), "今の成績：99997秒");
    EXPECT_EQ(runTimeText(99998), "記録なし");
    EXPECT_EQ(runTimeText(99999), "記録なし");
    EXPECT_EQ(levelRunText(3), " (このレベル　3回目)");
    EXPECT_EQ(todayRunText(12), "（12回目)");
}

TEST(RunEvaluation, MessageTakesTheFirstMatchingCase) {
    struct Case {
        bool timeUp;
        int16_t personal, overall;
        int32_t runTime;
        RunMessage message;
        const char* text;
    } cases[] = {
        {true, 1, 1, 99999, RunMessage::TimeUp, "時間切れ"},
        {false, 1, 1, 50, RunMessage::OverallBest, "！！！最高新記録！！！"},
        {false, 0, 1, 50, RunMessage::OverallBest, "！！！最高新記録！！！"},
        {false, 1, 0, 50, RunMessage::PersonalBest, "新記録おめでとう"},
        {false, 0, 0, 120, RunMessage::WithinMinimum, ""}, // minimum line 120: inclusive
        {false, 0, 0, 121, RunMessage::None, ""},
    };
    for (const Case& c : cases) {
        RecordFlags flags;
        flags.newPersonalBest = c.personal;
        flags.newOverallBest = c.overall;
        const RunMessage m = runMessage(c.timeUp, flags, c.runTime, 120);
        EXPECT_EQ(m, c.message) << c.runTime;
        EXPECT_EQ(runMessageText(m), c.text);
    }
}

TEST(RunEvaluation, WaysOnCloseOnlyALevelClearedAndOverPractisedBeforeTheGoal) {
    using L2 = WaysOn::Label2;
    struct Case {
        bool cleared, over, last, goal;
        bool retry;
        L2 label2;
    } cases[] = {
        {false, false, false, false, true, L2::Keep},
        {true, false, false, false, true, L2::Keep},
        {false, true, false, false, true, L2::Keep},
        {true, true, false, false, false, L2::NextLevel},
        {true, true, false, true, true, L2::Keep},
        {true, true, true, false, true, L2::Hide},
        {true, true, true, true, true, L2::Hide},
    };
    for (const Case& c : cases) {
        const WaysOn w = waysOn(c.cleared, c.over, c.last, c.goal);
        EXPECT_EQ(w.retry, c.retry) << c.cleared << c.over << c.last << c.goal;
        EXPECT_EQ(w.label2, c.label2) << c.cleared << c.over << c.last << c.goal;
    }
}

TEST(RunEvaluation, TodayCountsAndGoalPanel) {
    auto summary = std::make_unique<ResultsSummary>();
    summary->countToday[1][7] = 2;
    summary->countToday[5][7] = 1;
    summary->countToday[35][7] = 1;
    summary->countToday[2][8] = 9; // another student
    EXPECT_EQ(todayRunCount(*summary, 7), 4);
    EXPECT_EQ(todayRunCount(*summary, 0), 0);
    EXPECT_EQ(todayRunCount(*summary, 5001), 0);

    CriteriaTable table;
    for (int level = 1; level <= 5; ++level)
        table[level].clearCount = 3;
    EXPECT_TRUE(goalPanelAllowed(table));
    table[35].clearCount = 9999; // a row past the drill's levels counts too
    EXPECT_FALSE(goalPanelAllowed(table));
}
