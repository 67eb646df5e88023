#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "startup/ProgramDefinition.h"
#include "startup/Season.h"
#include "startup/SharedState.h"

using namespace kestrel;

// Four seasons of three months each, turning over at March, June,
// September and December; the design names one month of each.
TEST(SeasonColour, EveryMonthHasItsSeasonsColourAndTheSeasonsTurnAtTheirMonths) {
    const uint32_t seasons[] = {kColourOrange, kColourLightGreen, kColourTurquoise, kColourBrown};
    for (int month = 1; month <= 12; ++month) {
        EXPECT_NE(std::find(std::begin(seasons), std::end(seasons), seasonColour(month)),
                  std::end(seasons))
            << month;
        const int previous = month == 1 ? 12 : month - 1;
        const bool turns = month % 3 == 0 || month == 1;
        EXPECT_EQ(seasonColour(month) != seasonColour(previous), turns) << month;
    }
    const std::pair<int, uint32_t> named[] = {
        {2, 33023}, {12, 12648384}, {7, 12632064}, {10, 16576}};
    for (const auto& [month, colour] : named)
        EXPECT_EQ(seasonColour(month), colour) << month;
    // Spring and the winter month share light green; a date outside the
    // calendar gets it too.
    EXPECT_EQ(seasonColour(4), seasonColour(12));
    for (int month : {0, 13, -1})
        EXPECT_EQ(seasonColour(month), kColourLightGreen) << month;
}

TEST(ProgramDefinition, EveryLevelOfferedIsNamedAndTimed) {
    ProgramDefinition p;
    DefineProgram(p);
    DefineLevelTable(p);
    EXPECT_EQ(p.LevelCount, 5);
    EXPECT_EQ(p.LastLevel, p.LevelCount);
    EXPECT_EQ(p.PrintButtonMode, 0);
    EXPECT_EQ(p.MenuOptionFlag, 1);
    // The levels offered: named, each differently, timed and recorded.
    std::set<std::string> names;
    for (int level = 1; level <= p.LevelCount; ++level) {
        EXPECT_FALSE(p.LevelNames[level].empty()) << level;
        names.insert(p.LevelNames[level]);
        EXPECT_EQ(p.LevelTimed[level], 1) << level;
        EXPECT_FALSE(isPracticeLevel(p, level)) << level;
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(p.LevelCount));
    EXPECT_EQ(p.LevelNames[5], "混合");
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
