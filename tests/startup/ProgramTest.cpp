#include <gtest/gtest.h>

#include "startup/ProgramDefinition.h"
#include "startup/Season.h"

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
