#include <gtest/gtest.h>

#include "startup/ProgramDefinition.h"
#include "startup/Season.h"
#include "startup/SharedState.h"

using namespace kestrel;

TEST(SeasonColour, FollowsTheMonth) {
    const uint32_t expected[13] = {kColourLightGreen, // outside the calendar
                                   33023,
                                   33023,
                                   12648384,
                                   12648384,
                                   12648384,
                                   12632064,
                                   12632064,
                                   12632064,
                                   16576,
                                   16576,
                                   16576,
                                   12648384};
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(seasonColour(month), expected[month]) << month;
    EXPECT_EQ(seasonColour(0), kColourLightGreen);
    EXPECT_EQ(seasonColour(13), kColourLightGreen);
}

TEST(ProgramDefinition, LevelTableNamesAndTimedFlags) {
    ProgramDefinition p;
    p.LevelNames[30] = "stale";
    p.LevelTimed[30] = 1;
    DefineProgram(p);
    DefineLevelTable(p);
    EXPECT_EQ(p.LevelCount, 5);
    EXPECT_EQ(p.LastLevel, 5);
    EXPECT_EQ(p.PrintButtonMode, 0);
    EXPECT_EQ(p.MenuOptionFlag, 1);
    const char* names[] = {"", "レベル１", "レベル２", "レベル３", "レベル４", "混合"};
    for (int level = 0; level <= 5; ++level)
        EXPECT_EQ(p.LevelNames[level], names[level]);
    // Half-width katakana ﾚﾍﾞﾙ and ASCII digits.
    EXPECT_EQ(p.LevelNames[6], "\uFF9A\uFF8D\uFF9E\uFF996");
    EXPECT_EQ(p.LevelNames[12], "\uFF9A\uFF8D\uFF9E\uFF9912");
    for (int level = 13; level <= kMaxLevel; ++level)
        EXPECT_EQ(p.LevelNames[level], "") << level;
    for (int level = 0; level <= kMaxLevel; ++level)
        EXPECT_EQ(p.LevelTimed[level], level >= 1 && level <= 25 ? 1 : 0) << level;
    for (int level = 1; level <= 5; ++level)
        EXPECT_FALSE(isPracticeLevel(p, level));
}

TEST(SignInTime, MinutesSinceSignInStayRightAcrossMidnight) {
    const CivilDate day{2026, 12, 9};
    const CivilDate next{2026, 12, 10};
    struct Case {
        const char* what;
        LocalTime signIn, now;
        int minutes;
    } cases[] = {
        {"at once", {day, 36000.2}, {day, 36000.4}, 0},
        {"59 s", {day, 36000}, {day, 36059.4}, 0},
        {"three hours", {day, 36000}, {day, 36000 + 3 * 3600 + 60}, 181},
        {"the sign-in rounded up", {day, 36000.6}, {day, 36000.2}, 0},
        {"across midnight", {day, 85800}, {next, 600}, 20},
        {"signed in at midnight's last second", {day, 86399.6}, {next, 60.4}, 1},
        {"a day later", {day, 85800}, {CivilDate{2026, 12, 11}, 600}, 1460},
        {"the clock set back", {day, 36000}, {day, 30000}, 0},
    };
    for (const Case& c : cases) {
        SharedState st;
        markSignIn(st, c.signIn);
        EXPECT_GE(st.SessionStartSeconds, 0) << c.what;
        EXPECT_LT(st.SessionStartSeconds, 86400) << c.what;
        EXPECT_EQ(minutesSinceSignIn(st, c.now), c.minutes) << c.what;
    }
}
