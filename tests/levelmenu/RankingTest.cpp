#include <gtest/gtest.h>

#include "levelmenu/MenuFixture.h"
#include "levelmenu/Ranking.h"
#include "results/SortByKey.h"
#include "text/SortedLines.h"

#include <algorithm>
#include <random>

using namespace kestrel;
using namespace kestrel::test;

namespace {

std::vector<int> ranksOf(const std::vector<RankingLine>& lines) {
    std::vector<int> r;
    for (const RankingLine& l : lines)
        r.push_back(l.rank);
    return r;
}
std::vector<int> studentsOf(const std::vector<RankingLine>& lines) {
    std::vector<int> r;
    for (const RankingLine& l : lines)
        r.push_back(l.student);
    return r;
}
// The lines as the ranking list shows them.
std::vector<std::string> listed(const std::vector<RankingLine>& lines) {
    SortedLines list(true);
    for (const RankingLine& l : lines)
        list.add(l.text);
    return list.lines();
}

} // namespace

TEST(BestTimeRanking, EqualTimesShareARankAndTheNextSkips) {
    MenuFixture f;
    f.addStudent(11, "あおき", 3);
    f.addStudent(12, "いとう", 3);
    f.addStudent(13, "うえだ", 3);
    f.addStudent(14, "えもと", 3);
    f.best(1, 11, 45);
    f.best(1, 12, 40);
    f.best(1, 13, 40);
    f.signIn(14);
    const auto lines = f.ranking(1, RankingBasis::BestTime, "全学年");
    EXPECT_EQ(studentsOf(lines), (std::vector<int>{12, 13, 11, 14}));
    EXPECT_EQ(ranksOf(lines), (std::vector<int>{1, 1, 3, 4}));
    EXPECT_EQ(lines[0].text, " 1③いとう　　    40 　");
    EXPECT_EQ(lines[2].text, " 3③あおき　　    45 　");
    // Without a run: no rank, the student's own marks.
    EXPECT_EQ(lines[3].text, "--●えもと　　------ ●");
}

TEST(BestTimeRanking, FailedRunsAndLongNames) {
    MenuFixture f;
    f.addStudent(1, "ながいなまえのひと", 6);
    f.addStudent(2, "はやし", 6);
    f.best(2, 1, 99998);
    f.best(2, 2, 12345);
    const auto lines = f.ranking(2, RankingBasis::BestTime, "全学年");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, " 1⑥はやし　　 12345 　");
    EXPECT_EQ(lines[1].text, " 2⑥ながいなま*失敗* 　");
}

TEST(BestTimeRanking, GradeGroupFiltersButRanksOverTheWholeRoster) {
    MenuFixture f;
    f.addStudent(1, "ちゅうがく", 8);
    f.addStudent(2, "ごねんせい", 5);
    f.addStudent(3, "ろくねん", 6);
    f.addStudent(4, "ろくねんび", 6);
    f.best(1, 1, 30);
    f.best(1, 2, 35);
    f.best(1, 3, 50);
    const auto six = f.ranking(1, RankingBasis::BestTime, "小６");
    EXPECT_EQ(studentsOf(six), (std::vector<int>{3, 4}));
    EXPECT_EQ(six[0].text.substr(0, 2), " 3");
    const auto junior = f.ranking(1, RankingBasis::BestTime, "中学生全体");
    EXPECT_EQ(studentsOf(junior), (std::vector<int>{1}));
    EXPECT_EQ(junior[0].text, " 1Ⅱちゅうがく    30 　");
    EXPECT_TRUE(f.ranking(1, RankingBasis::BestTime, "大人").empty());
}

TEST(PointsRanking, CumulativeListsEveryoneAndTodayOnlyThoseWithPoints) {
    MenuFixture f;
    f.addStudent(1, "あ", 2);
    f.addStudent(2, "い", 2);
    f.addStudent(3, "う", 2);
    f.addStudent(4, "え", 2);
    f.points(3, 1, 0, 345);
    f.points(3, 2, 12, 345); // equal total: today's points order them
    f.points(3, 3, 5, 20);
    f.signIn(2);

    const auto all = f.ranking(3, RankingBasis::PointsAll, "全学年");
    EXPECT_EQ(studentsOf(all), (std::vector<int>{2, 1, 3, 4}));
    EXPECT_EQ(ranksOf(all), (std::vector<int>{1, 1, 3, 4}));
    // One blank, 12, "/", two blanks, 345.
    EXPECT_EQ(all[0].text, " 1●い　　　　 12/  345");
    EXPECT_EQ(all[3].text, " 4②え　　　　  0/    0");

    const auto today = f.ranking(3, RankingBasis::PointsToday, "全学年");
    EXPECT_EQ(studentsOf(today), (std::vector<int>{2, 3}));
    EXPECT_EQ(ranksOf(today), (std::vector<int>{1, 2}));
    EXPECT_EQ(today[1].text, " 2②う　　　　  5/   20");
}

TEST(PointsRanking, LargeSecondValuesDoNotOvertakeTheFirst) {
    MenuFixture f;
    f.addStudent(1, "たくさん", 4);
    f.addStudent(2, "きょう", 4);
    f.points(1, 1, 10, 5000); // many points so far, fewer today
    f.points(1, 2, 11, 0);
    f.points(2, 1, 1500, 2000);
    f.points(2, 2, 0, 2001);
    EXPECT_EQ(studentsOf(f.ranking(1, RankingBasis::PointsToday, "全学年")),
              (std::vector<int>{2, 1}));
    EXPECT_EQ(studentsOf(f.ranking(2, RankingBasis::PointsAll, "全学年")),
              (std::vector<int>{2, 1}));
}

TEST(RankingList, StudentsWithoutARunComeAfterEveryRankedLine) {
    MenuFixture f;
    for (int s = 1; s <= 14; ++s)
        f.addStudent(s, "せいと" + std::to_string(s), 1 + s % 6);
    for (int s = 1; s <= 12; ++s)
        f.best(4, s, 20 + s);
    const auto shown = listed(f.ranking(4, RankingBasis::BestTime, "全学年"));
    ASSERT_EQ(shown.size(), 14u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(shown[static_cast<size_t>(i)].substr(0, 2), rankField(i + 1)) << i;
    EXPECT_EQ(shown[12].substr(0, 2), "--");
    EXPECT_EQ(shown[13].substr(0, 2), "--");
}

TEST(RankingList, RanksFromAHundredOnKeepTheirDigitsAndTheirPlace) {
    MenuFixture f;
    for (int s = 1; s <= 120; ++s)
        f.addStudent(s, "s" + std::to_string(s), 3);
    for (int s = 1; s <= 118; ++s)
        f.best(1, s, 100 + s);
    const auto shown = listed(f.ranking(1, RankingBasis::BestTime, "全学年"));
    ASSERT_EQ(shown.size(), 120u);
    EXPECT_EQ(shown[98].substr(0, 2), "99");
    EXPECT_EQ(shown[99].substr(0, 3), "100");
    EXPECT_EQ(shown[117].substr(0, 3), "118");
    EXPECT_EQ(shown[118].substr(0, 2), "--");
    SortedLines mixed(true);
    mixed.assign({"1000①a", "--①b", "999①c", " 99①d", "100①e", "99①f", "10①g"});
    EXPECT_EQ(mixed.lines(), (std::vector<std::string>{" 99①d", "10①g", "99①f", "100①e", "999①c",
                                                       "1000①a", "--①b"}));
    EXPECT_EQ(rankField(7), " 7");
    EXPECT_EQ(rankField(42), "42");
    EXPECT_EQ(rankField(1234), "1234");
}

// The ranking's order against the record sort applied twice, which it
// replaces, and its lines against the sorted list, over random classes
// with many ties, ranks past 99, students without runs and names that
// differ in the case of their letters.
TEST(RankingOrder, SameAsTheTwoPassSortAndAsTheListShowsIt) {
    std::mt19937 rng(22);
    const char* const names[] = {"Aoki", "aoki", "いとう", "うえだ", "Emi", "EMI", "おの"};
    for (int round = 0; round < 40; ++round) {
        MenuFixture f;
        const int students = 1 + static_cast<int>(rng() % 260);
        std::vector<int> numbers(static_cast<size_t>(students));
        for (int i = 0; i < students; ++i)
            numbers[static_cast<size_t>(i)] = i + 1;
        std::shuffle(numbers.begin(), numbers.end(), rng);
        const int32_t spread = 1 + static_cast<int32_t>(rng() % 30);
        for (int s : numbers) {
            f.addStudent(s, names[rng() % 7] + std::to_string(rng() % 3), 1 + rng() % 9);
            f.best(1, s, rng() % 5 == 0 ? kNoTime : 20 + static_cast<int32_t>(rng() % spread));
            f.points(1, s, static_cast<int32_t>(rng() % 3), static_cast<int32_t>(rng() % spread));
        }
        f.signIn(numbers[rng() % numbers.size()]);
        for (const RankingBasis basis :
             {RankingBasis::BestTime, RankingBasis::PointsAll, RankingBasis::PointsToday}) {
            // The order of the record sort run twice over positions 1..n.
            std::vector<int32_t> keys(1);
            std::vector<int16_t> items(1);
            for (int s : numbers) {
                const auto S = static_cast<size_t>(s);
                const ResultsSummary& sum = f.summary();
                const int32_t all = sum.pointsAll[1][S], today = sum.pointsToday[1][S];
                keys.push_back(basis == RankingBasis::BestTime    ? sum.bestTime[1][S]
                               : basis == RankingBasis::PointsAll ? 1000000 - all * 1000 - today
                                                                  : 1000000 - today * 1000 - all);
                items.push_back(static_cast<int16_t>(s));
            }
            SortByKey(students, keys, items);
            SortByKey(students, keys, items);
            std::vector<int> expected;
            for (int k = 1; k <= students; ++k)
                if (basis != RankingBasis::PointsToday ||
                    f.summary()
                            .pointsToday[1][static_cast<size_t>(items[static_cast<size_t>(k)])] !=
                        0)
                    expected.push_back(items[static_cast<size_t>(k)]);

            std::vector<RankingLine> lines = f.ranking(1, basis, "全学年");
            EXPECT_EQ(studentsOf(lines), expected) << "round " << round;
            const std::vector<std::string> shown = listed(lines);
            sortTiesAsListed(lines);
            std::vector<std::string> texts;
            for (const RankingLine& l : lines)
                texts.push_back(l.text);
            EXPECT_EQ(texts, shown) << "round " << round;
            EXPECT_TRUE(
                std::is_sorted(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
                    return SortedLines::before(a, b, true);
                }));
        }
    }
}
