#include <gtest/gtest.h>

#include <limits>

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
        {10, 0.7f, "獲得ポイント：10点×0.7→7点"},            // single precision: not 6
        {4, 100000.0f, "獲得ポイント：4点×100000→400000点"}, // never "1e+05"
        {4, -0.0f, "獲得ポイント：4点×0→0点"},
        {4, std::numeric_limits<float>::quiet_NaN(), "獲得ポイント：4点×0→0点"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(earnedPointsText(c.points, c.multiplier), c.text) << c.points;
}

TEST(RunEvaluation, RunTimeAndRunNumberTexts) {
    EXPECT_EQ(runTimeText(0), "今の成績：0秒");
    EXPECT_EQ(runTimeText(99997), "今の成績：99997秒");
    EXPECT_EQ(runTimeText(99998), "記録なし");
    EXPECT_EQ(levelRunText(3), " (このレベル　3回目)");
    EXPECT_EQ(todayRunText(12), "（12回目)");
}
