#include <gtest/gtest.h>

#include "levelmenu/LevelMenu.h"
#include "levelmenu/MenuFixture.h"

using namespace kestrel;
using namespace kestrel::test;

TEST(LevelColumnTexts, FiguresOfTheStudent) {
    MenuFixture f;
    ResultsSummary& s = f.summary();
    EXPECT_EQ(todayFigures(s, 2, 7), "-----");
    EXPECT_EQ(allTimeFigures(s, 2, 7), "------");
    s.countToday[2][7] = 3;
    s.pointsToday[2][7] = 12;
    s.countAll[2][7] = 41;
    s.pointsAll[2][7] = 345;
    s.countPass[2][7] = 5;
    s.pointsPass[2][7] = 60;
    EXPECT_EQ(todayFigures(s, 2, 7), "3回/12点");
    EXPECT_EQ(allTimeFigures(s, 2, 7), "41回/345点");
    EXPECT_EQ(passPeriodFigures(f.ctx.criteria[2], s, 2, 7), "最近7日=5回 / 60点");
    // Points without a counted run (a run of 6000 seconds or more) still show no figures.
    s.pointsToday[3][7] = 1;
    EXPECT_EQ(todayFigures(s, 3, 7), "-----");
}

TEST(LevelColumnTexts, TargetLine) {
    struct Case {
        int32_t target, points;
        int16_t count;
        float multiplier;
        const char* line;
    } cases[] = {
        {60, 30, 3, 1.5f, "目標=60秒 3回/30点(×1.5)"},
        {45, 100, 10, 1.0f, "目標=45秒 10回/100点(×1)"},
        {120, 50, 5, 0.1f, "目標=120秒 5回/50点(×0.1)"},
        {90, 9999, 5, 2.0f, "目標=90秒 --------"},
    };
    for (const Case& c : cases) {
        LevelCriteria row;
        row.targetTime = c.target;
        row.clearPoints = c.points;
        row.clearCount = c.count;
        row.pointMultiplier = c.multiplier;
        EXPECT_EQ(targetLine(row), c.line);
    }
}

TEST(LevelColumnTexts, TeacherNames) {
    EXPECT_TRUE(isTeacherName("山田先生"));
    EXPECT_TRUE(isTeacherName("★たなか"));
    EXPECT_FALSE(isTeacherName("さとう　はな"));
    EXPECT_FALSE(isTeacherName("先"));
}

TEST(ColumnLayoutTest, FewLevelsShareTheWidthAndManyScroll) {
    struct Case {
        int levels, width;
        bool scroll;
        int scrollMax;
    } cases[] = {{1, 14592, false, 1}, {2, 7296, false, 1}, {3, 4864, false, 1},
                 {4, 3648, false, 1},  {5, 3456, true, 2},  {13, 3456, true, 10}};
    for (const Case& c : cases) {
        const ColumnLayout l = columnLayout(c.levels);
        EXPECT_EQ(l.width, c.width) << c.levels;
        EXPECT_EQ(l.scrollBar, c.scroll) << c.levels;
        if (c.scroll) {
            EXPECT_EQ(l.scrollMax, c.scrollMax) << c.levels;
        }
    }
}

TEST(ColumnLayoutTest, ScrolledColumnsLeaveByTheRightEdge) {
    const int window = 15360;
    const int m = columnMargin(window);
    EXPECT_EQ(m, 307);
    const ColumnLayout l = columnLayout(5);
    for (int level = 1; level <= 5; ++level)
        EXPECT_EQ(columnLeft(level, 1, l.width, window), m + (level - 1) * 3456);
    EXPECT_EQ(columnLeft(1, 2, l.width, window), window);
    EXPECT_EQ(columnLeft(2, 2, l.width, window), m);
    EXPECT_EQ(columnLeft(5, 2, l.width, window), m + 3 * 3456);

    EXPECT_EQ(effectiveScrollPosition(0, l), 1);
    EXPECT_EQ(effectiveScrollPosition(2, l), 2);
    EXPECT_EQ(effectiveScrollPosition(3, l), 1);
    EXPECT_EQ(effectiveScrollPosition(2, columnLayout(4)), 1);
}

TEST(MenuKeys, DigitsAndLowerCaseLettersStartLevels) {
    using A = MenuKey::Action;
    struct Case {
        std::u32string typed;
        int levels;
        A action;
        int level;
    } cases[] = {
        {U"1", 5, A::StartLevel, 1}, {U"5", 5, A::StartLevel, 5},   {U"6", 5, A::None, 0},
        {U"9", 9, A::StartLevel, 9}, {U"a", 13, A::StartLevel, 10}, {U"d", 13, A::StartLevel, 13},
        {U"a", 9, A::None, 0},       {U"A", 13, A::None, 0},        {U"e", 20, A::None, 0},
        {U"0", 5, A::Back, 0},       {U"", 5, A::None, 0},          {U"１", 5, A::None, 0},
    };
    for (const Case& c : cases) {
        const MenuKey k = menuKey(c.typed, c.levels);
        EXPECT_EQ(k.action, c.action) << static_cast<int>(c.typed.empty() ? 0 : c.typed[0]);
        EXPECT_EQ(k.level, c.level) << static_cast<int>(c.typed.empty() ? 0 : c.typed[0]);
    }
}

TEST(LevelAvailabilityTest, OverPracticeClosesUnlessTheLastLevelIsCleared) {
    MenuFixture f;
    const int s = 7;
    ResultsSummary& sum = f.summary();
    f.ctx.criteria[1].overPracticeCount = "5";
    f.ctx.criteria[2].overPracticePoints = "100";
    f.ctx.criteria[3].overPracticeCount = "0"; // off
    f.ctx.criteria[5].overPracticeCount = "1";
    sum.countLimit[1][s] = 5;   // reaches the count
    sum.pointsLimit[2][s] = 99; // one short of the points
    sum.countLimit[3][s] = 500;
    sum.countLimit[5][s] = 9; // the last level stays open

    LevelAvailability a = levelAvailability(f.ctx.program, f.ctx.criteria, sum, s);
    EXPECT_EQ(a.goalLevelCleared, 0);
    ASSERT_EQ(a.closed.size(), 6u);
    EXPECT_EQ(a.closed, (std::vector<bool>{false, true, false, false, false, false}));

    sum.pointsLimit[2][s] = 100;
    a = levelAvailability(f.ctx.program, f.ctx.criteria, sum, s);
    EXPECT_EQ(a.closed, (std::vector<bool>{false, true, true, false, false, false}));

    // Clearing the last level within its pass period lifts the rule.
    sum.countPass[5][s] = 3;
    sum.pointsPass[5][s] = 29;
    EXPECT_EQ(levelAvailability(f.ctx.program, f.ctx.criteria, sum, s).goalLevelCleared, 0);
    sum.pointsPass[5][s] = 30;
    a = levelAvailability(f.ctx.program, f.ctx.criteria, sum, s);
    EXPECT_EQ(a.goalLevelCleared, 1);
    EXPECT_EQ(a.closed, std::vector<bool>(6, false));
}

TEST(ListColour, LastQualifyingLineDecides) {
    LevelCriteria c;
    c.targetTime = 60;
    c.minimumTime = 120;
    struct Case {
        std::vector<std::string> lines;
        std::optional<uint32_t> colour;
    } cases[] = {
        {{"   45秒 09:05①たなか　①12"}, kListGreen},
        {{"   60秒 09:05①たなか　①5"}, kListGreen},
        {{"   45秒 09:05①たなか　①12", "   61秒 10:00②すずき　②4"}, kListLightGreen},
        {{"   45秒 09:05①たなか　①12", "  121秒 10:00②すずき　②1"}, kListSilver},
        // A failed run at the end does not decide: the line above it does.
        {{"   45秒 09:05①たなか　①12", "　　× 10:00②すずき　②"}, kListGreen},
        {{"　　× 10:00②すずき　②"}, std::nullopt},
        {{}, std::nullopt},
        // Four-digit times are read whole, not from their second digit on.
        {{" 1050秒 06/01①たなか　①0"}, kListSilver},
    };
    for (const Case& k : cases)
        EXPECT_EQ(timeListColour(k.lines, c), k.colour);
}
