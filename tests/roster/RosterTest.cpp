#include <gtest/gtest.h>

#include "roster/Roster.h"
#include "text/SortedLines.h"

using namespace kestrel;

namespace {

RosterEntry entry(int number, int birthYear, const std::string& name) {
    RosterEntry e;
    e.number = static_cast<int16_t>(number);
    e.birthYear = static_cast<int16_t>(birthYear);
    e.name = fixedText(name, kRosterTextLength);
    return e;
}

const std::string I = "\u3000"; // ideographic space

} // namespace

TEST(GradeCodes, EveryGradeHasItsTagAndOnlyZeroToTenALabel) {
    struct Case {
        int grade;
        const char* label;
        const char* tag;
    } cases[] = {{-7, "", "幼-"},    {-3, "", "幼-"},    {-2, "", "幼1"},     {-1, "", "幼2"},
                 {0, "幼３", "幼3"}, {1, "小１", "小1"}, {4, "小４", "小4"},  {6, "小６", "小6"},
                 {7, "中１", "中1"}, {9, "中３", "中3"}, {10, "高１", "高1"}, {11, "", "高2"},
                 {12, "", "高3"},    {13, "", "大+"},    {40, "", "大+"}};
    for (const auto& c : cases) {
        EXPECT_EQ(GradeLabel(c.grade), c.label) << c.grade;
        EXPECT_EQ(GradeTag(c.grade), c.tag) << c.grade;
    }
}

TEST(GradeCodes, TheSchoolYearTurnsInItsStartMonth) {
    // Born 2016, school year starting in April.
    EXPECT_EQ(schoolYearOf(2025, 3, 4), 2024);
    EXPECT_EQ(schoolYearOf(2025, 4, 4), 2025);
    EXPECT_EQ(GradeNumber(schoolYearOf(2025, 3, 10), 2016), 2);
    EXPECT_EQ(GradeNumber(schoolYearOf(2025, 4, 1), 2016), 3);
    // A start month of 1 (or an unreadable 0) never goes back a year.
    EXPECT_EQ(schoolYearOf(2025, 1, 1), 2025);
    EXPECT_EQ(schoolYearOf(2025, 1, 0), 2025);
}

TEST(RosterLine, FiguresOfEveryModeWithAndWithoutRuns) {
    const RosterEntry e = entry(12, 2016, "山田花子");
    const StudentFigures none;
    StudentFigures some;
    some.countToday = 3;
    some.pointsToday = 45;
    some.countAll = 27;
    some.pointsAll = 1234;
    const std::string head = "2016小3 山田花子" + I + I; // 7 characters, W = 9
    struct Case {
        int mode;
        const StudentFigures* figures;
        std::string tail;
    } cases[] = {
        {0, &none, "     /     " + I},   {1, &none, "  " + I + "/       "},
        {2, &none, "  " + I + "/     "}, {3, &none, "       /     " + I},
        {0, &some, "  3回/   27回"},     {1, &some, "  45/   1234"},
        {2, &some, "  45/  3回"},        {3, &some, "   1234/   27回"},
    };
    for (const auto& c : cases) {
        const auto line = RosterLine(e, 3, c.mode, *c.figures);
        ASSERT_TRUE(line.has_value()) << c.mode;
        EXPECT_EQ(*line, head + c.tail + "*12") << c.mode;
    }
    EXPECT_FALSE(RosterLine(e, 3, 4, some).has_value());
    EXPECT_FALSE(RosterLine(e, 3, -1, some).has_value());
}

TEST(RosterLine, LongNumbersKeepTheirLastDigits) {
    StudentFigures f;
    f.countToday = 1234;     // 3 characters
    f.pointsToday = 98765;   // 4
    f.countAll = 1234567;    // 5
    f.pointsAll = 123456789; // 7
    EXPECT_EQ(todayRunsText(f.countToday), "234回");
    EXPECT_EQ(todayPointsText(f.pointsToday), "8765");
    EXPECT_EQ(totalRunsText(f.countAll), "34567回");
    EXPECT_EQ(totalPointsText(f.pointsAll), "3456789");
}

TEST(RosterLine, KindergartenNamesGetTheWiderColumnExceptInPointsMode) {
    const RosterEntry e = entry(7, 2020, "すずき");
    const StudentFigures none;
    // Grade 0: "幼3 すずき" is 6 characters.
    EXPECT_EQ(*RosterLine(e, 0, 0, none),
              "2020幼3 すずき" + I + I + I + I + I + "     /     " + I + "*7");
    EXPECT_EQ(*RosterLine(e, 0, 1, none), "2020幼3 すずき" + I + I + I + "  " + I + "/       *7");
    EXPECT_EQ(*RosterLine(e, -1, 3, none),
              "2020幼2 すずき" + I + I + I + I + I + "       /     " + I + "*7");
}

TEST(RosterLine, ALongNameGetsNoPaddingAndTheNumberIsStillFound) {
    const RosterEntry e = entry(4999, 2014, "寿限無寿限無五劫の擦り切れ*海砂利水魚");
    const std::string line = *RosterLine(e, 5, 1, StudentFigures{});
    EXPECT_EQ(line, "2014小5 寿限無寿限無五劫の擦り切れ*海砂利水魚  " + I + "/       *4999");
    const RosterLineParts parts = splitRosterLine(line);
    EXPECT_EQ(parts.birthYear, 2014);
    EXPECT_EQ(parts.shown, "小5 寿限無寿限無五劫の擦り切れ*海砂利水魚  " + I + "/       ");
    EXPECT_EQ(parts.kept, parts.shown + "*4999");
}

TEST(RosterLine, YearsThatAreNotFourDigitsAreCutWhereTheyEnd) {
    struct Case {
        int birthYear;
        const char* lead;
    } cases[] = {{999, "0999"}, {7, "0007"}, {12345, "12345"}, {-5, "-5"}, {2016, "2016"}};
    for (const auto& c : cases) {
        const RosterEntry e = entry(3, c.birthYear, "田中");
        const int grade = GradeNumber(2025, c.birthYear);
        const std::string line = *RosterLine(e, grade, 1, StudentFigures{});
        EXPECT_TRUE(line.starts_with(c.lead)) << line;
        const RosterLineParts parts = splitRosterLine(line);
        EXPECT_EQ(parts.birthYear, c.birthYear);
        EXPECT_TRUE(parts.shown.starts_with(GradeTag(grade) + " 田中")) << parts.shown;
        EXPECT_TRUE(parts.kept.ends_with("*3"));
    }
}

TEST(GradeFilter, KeepsTheGradesOfEachBoxText) {
    struct Case {
        const char* filter;
        std::vector<int> kept; // of grades -1..12
    } cases[] = {
        {"全学年", {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"小学生全体", {1, 2, 3, 4, 5, 6}},
        {"中学生全体", {7, 8, 9}},
        {"小３", {3}},
        {"中１", {7}},
        {"幼３", {}},
        {"高１", {}},
        {"小3", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::vector<int> kept;
        for (int g = -1; g <= 12; ++g)
            if (GradeFilterKeeps(c.filter, g)) kept.push_back(g);
        EXPECT_EQ(kept, c.kept) << c.filter;
    }
}

TEST(RosterFile, EightFieldsAnEntryAcrossLinesWithQuotedTexts) {
    const std::string text =
        "1,2016,5,6,\"山田, 花子\",0,\"  x  \",y\r\n"
        "2, 2015 ,0,0,   佐藤一郎   ,2,,\r\n"
        "3,2014,0\r\n0,長い名前の生徒はここで二十文字に切られますよ本当に,1,,\r\n"
        "\r\n";
    const auto entries = parseRoster(text, "新名簿.txt");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].entry.number, 1);
    EXPECT_EQ(entries[0].entry.extra1, 5);
    EXPECT_EQ(entries[0].entry.extra2, 6);
    EXPECT_EQ(entries[0].entry.name, fixedText("山田, 花子", 20));
    EXPECT_EQ(characterCount(entries[0].entry.name), 20u);
    EXPECT_EQ(entries[0].entry.extraText1, "  x" + std::string(17, ' '));
    EXPECT_EQ(entries[1].entry.birthYear, 2015);
    EXPECT_EQ(entries[1].entry.name, "佐藤一郎" + std::string(16, ' '));
    EXPECT_EQ(entries[1].status, 2);
    EXPECT_EQ(entries[2].entry.name, "長い名前の生徒はここで二十文字に切られま");
    EXPECT_EQ(entries[2].status, 1);
    EXPECT_TRUE(parseRoster("", "x").empty());
    EXPECT_TRUE(parseRoster("\r\n\r\n", "x").empty());
}

TEST(RosterFile, FieldsThatCannotBeReadAreErrorsThatNameTheFile) {
    struct Case {
        const char* text;
        int number;
        const char* part;
    } cases[] = {
        {"1,二千,0,0,a,0,,\r\n", EINVAL, "生まれ年「二千」"},
        {"1,2016,0,0,a,0,,\r\n2,2016,0,0,b\r\n", EINVAL, "2人目"},
        {"1x,2016,0,0,a,0,,\r\n", EINVAL, "番号「1x」"},
        {"40000,2016,0,0,a,0,,\r\n", ERANGE, "大きすぎます"},
    };
    for (const auto& c : cases) {
        try {
            parseRoster(c.text, "/srv/新名簿.txt");
            ADD_FAILURE() << c.text;
        } catch (const RosterError& e) {
            EXPECT_EQ(e.number(), c.number) << c.text;
            EXPECT_NE(std::string(e.what()).find("「/srv/新名簿.txt」"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find(c.part), std::string::npos) << e.what();
        }
    }
}
