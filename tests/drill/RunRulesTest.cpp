#include <gtest/gtest.h>

#include "drill/RunRules.h"
#include "startup/Calendar.h"

using namespace kestrel;

namespace {

LocalTime at(CivilDate date, double seconds) {
    return LocalTime{date, seconds};
}

constexpr CivilDate kDay{2026, 12, 9};
constexpr CivilDate kNextDay{2026, 12, 10};
constexpr CivilDate kNewYear{2027, 1, 1};

} // namespace

TEST(RunRules, TheRunClockStaysRightAcrossMidnight) {
    struct Case {
        const char* what;
        LocalTime start, now;
        int wrongAnswers;
        int32_t elapsed;
    } cases[] = {
        {"same day", at(kDay, 36000), at(kDay, 36042.4), 0, 42},
        {"penalties", at(kDay, 36000), at(kDay, 36042.6), 3, 73},
        {"across midnight", at(kDay, 86390), at(kNextDay, 20), 0, 30},
        {"across midnight, penalties before it", at(kDay, 86395), at(kNextDay, 5), 2, 30},
        {"penalties reach back past midnight", at(kNextDay, 5), at(kNextDay, 8), 1, 13},
        {"across the year's end", at(CivilDate{2026, 12, 31}, 86399.5), at(kNewYear, 0.4), 0, 1},
    };
    for (const Case& c : cases) {
        SharedState st;
        RunRules rules(st);
        rules.start(c.start);
        for (int i = 0; i < c.wrongAnswers; ++i)
            rules.penalise();
        EXPECT_EQ(rules.elapsedAt(c.now), c.elapsed) << c.what;
        rules.tick(c.now);
        EXPECT_EQ(st.ElapsedSeconds, c.elapsed) << c.what;
    }
}

TEST(RunRules, ATimeOutAcrossMidnightIsATimeOut) {
    // A run from 23:59:50 that is still going at 00:04:50 has run 300 s.
    SharedState st;
    RunRules rules(st);
    LevelCriteria c;
    c.minimumTime = 60;
    rules.setLimits(c, 15015);
    rules.start(at(kDay, 86390));
    EXPECT_EQ(rules.tick(at(kNextDay, 289)), RunRules::Tick::Running);
    EXPECT_EQ(st.TimeUp, 0);
    // An answer being judged is finished first.
    st.JudgeBusy = 1;
    EXPECT_EQ(rules.tick(at(kNextDay, 290)), RunRules::Tick::AtLimit);
    EXPECT_EQ(st.TimeUp, 0);
    st.JudgeBusy = 0;
    EXPECT_EQ(rules.tick(at(kNextDay, 291)), RunRules::Tick::TimeOut);
    EXPECT_EQ(st.TimeUp, 1);
    EXPECT_EQ(rules.runTime(), 99999);
}

TEST(RunRules, LimitsAndTheTimeBar) {
    SharedState st;
    RunRules rules(st);
    LevelCriteria c;
    c.minimumTime = 60;
    rules.setLimits(c, 15015);
    EXPECT_EQ(st.TimeLimitSeconds, 300);
    EXPECT_DOUBLE_EQ(rules.barWidth(150), 7507.5);
    EXPECT_DOUBLE_EQ(rules.barWidth(400), 15015) << "held within the full scale";
    EXPECT_DOUBLE_EQ(rules.barWidth(-5), 0);

    // No minimum time: no limit, no scale, and the run never times out.
    c.minimumTime = 0;
    rules.setLimits(c, 15015);
    EXPECT_FALSE(rules.hasLimit());
    EXPECT_DOUBLE_EQ(rules.barWidth(100), 0);
    rules.start(at(kDay, 0));
    EXPECT_EQ(rules.tick(at(kDay, 80000)), RunRules::Tick::Running);
    EXPECT_EQ(st.TimeUp, 0);

    // A minimum time whose five times overflows 32 bits is held at the largest limit.
    c.minimumTime = 1'000'000'000;
    rules.setLimits(c, 15015);
    EXPECT_EQ(st.TimeLimitSeconds, 2147483647);
}
