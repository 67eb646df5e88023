#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "drill/Problem.h"
#include "support/Fakes.h"

using namespace kestrel;
using kestrel::test::FakeRandom;

namespace {

// The random value that makes Int(r * count + first) draw `value`.
float drawing(int value, int first, int count) {
    return static_cast<float>((value - first + 0.5) / count);
}

int digitOf(int n, int place) {
    for (int i = 1; i < place; ++i)
        n /= 10;
    return n % 10;
}

// Rounding by looking at the rounded-off digit, independent of the generator.
int roundedAt(int n, int place) {
    int unit = 1;
    for (int i = 0; i < place; ++i)
        unit *= 10;
    const int kept = n / unit * unit;
    return digitOf(n, place) >= 5 ? kept + unit : kept;
}

// Writes the carry row over the problem the way the screen shows it, with
// the rounded-off places read as 0, and checks that the crossings are the
// rounded-off digit plus every 9 that rolled over.
void expectHintAgreesWithAnswer(const Problem& p) {
    SCOPED_TRACE(p.ProblemText + " at place " + std::to_string(p.RoundPlace));
    const Working w = workingFor(p.ProblemText, p.RoundPlace);
    const int k = p.RoundPlace;
    const int n = p.number;
    const int length = static_cast<int>(p.ProblemText.size());
    const std::string& row = w.carryRow;

    ASSERT_TRUE(w.crossed[static_cast<size_t>(k)]);
    EXPECT_EQ(row.empty(), digitOf(n, k) < 5);

    // A written digit of place j sits at row position size - j.
    auto written = [&](int place) -> int {
        const int index = static_cast<int>(row.size()) - place;
        if (index < 0) return -1;
        const char c = row[static_cast<size_t>(index)];
        return c == ' ' ? -1 : c - '0';
    };
    const int topWritten = static_cast<int>(row.size());
    long long rebuilt = 0, unit = 1;
    for (int place = 1; place <= length; ++place, unit *= 10) {
        const int above = written(place);
        if (place <= k) {
            EXPECT_EQ(above, -1) << "place " << place << " is rounded off";
            continue;
        }
        const int digit = above >= 0 ? above : digitOf(n, place);
        rebuilt += digit * unit;
        const bool rolledOver = above >= 0 && place < topWritten;
        EXPECT_EQ(w.crossed[static_cast<size_t>(place)], rolledOver) << "place " << place;
        if (rolledOver) {
            EXPECT_EQ(digitOf(n, place), 9);
        }
    }
    EXPECT_LE(topWritten, length) << "the carry row reaches past the two leading spaces";
    EXPECT_EQ(rebuilt, static_cast<long long>(p.CorrectAnswer));
    for (size_t j = 5; j < w.crossed.size(); ++j)
        EXPECT_FALSE(w.crossed[j]);
}

std::string expectedInstruction(int type, int k) {
    const char* names[] = {"", "一", "十", "百", "千"};
    if (type == 3) return std::string(names[k + 1]) + "の位までの概数にしなさい";
    if (type == 4) return "上から" + std::to_string(4 - k) + "桁の概数にしなさい";
    return std::string(names[k]) + "の位を四捨五入しなさい";
}

} // namespace

// Every number each level can draw, at every place, through the random
// values that draw it.
TEST(ProblemGenerator, EveryDrawableProblemHasItsRoundedAnswerInstructionAndHint) {
    struct Domain {
        int level, type, first, last, places;
    } domains[] = {{1, 1, 1, 99, 1},      {2, 2, 1000, 9999, 3}, {3, 3, 1000, 9999, 3},
                   {4, 4, 1000, 9999, 3}, {5, 2, 1000, 9999, 3}, {5, 3, 1000, 9999, 3},
                   {5, 4, 1000, 9999, 3}};
    for (const auto& dom : domains) {
        for (int k = 1; k <= dom.places; ++k) {
            for (int n = dom.first; n <= dom.last; ++n) {
                FakeRandom random;
                if (dom.level == 5) random.push(drawing(dom.type, 2, 3));
                random.push(drawing(n, dom.first, dom.last - dom.first + 1));
                random.push(dom.type == 1 ? 0.99f : drawing(k, 1, 3));
                const Problem p = drawProblem(problemTypeForLevel(dom.level, random), random);
                ASSERT_EQ(p.ProblemType, dom.type);
                ASSERT_EQ(p.number, n);
                ASSERT_EQ(p.RoundPlace, k);
                ASSERT_EQ(random.drawn, dom.level == 5 ? 3 : 2);
                ASSERT_EQ(p.ProblemText, "  " + std::to_string(n));
                ASSERT_EQ(p.CorrectAnswer, roundedAt(n, k)) << n << " at " << k;
                ASSERT_EQ(p.instruction, expectedInstruction(dom.type, k));
                expectHintAgreesWithAnswer(p);
                if (HasFailure()) return;
            }
        }
    }
}

TEST(ProblemGenerator, ExtremeRandomValuesStayInRange) {
    const float below1 = std::nextafter(1.0f, 0.0f);
    struct Case {
        int type;
        float numberDraw, placeDraw;
        int number, place;
    } cases[] = {{1, 0.0f, 0.0f, 1, 1},      {1, below1, below1, 99, 1},
                 {2, 0.0f, 0.0f, 1000, 1},   {2, below1, below1, 9999, 3},
                 {4, below1, 0.0f, 9999, 1}, {3, 0.0f, below1, 1000, 3}};
    for (const auto& c : cases) {
        FakeRandom random;
        random.push(c.numberDraw);
        random.push(c.placeDraw);
        const Problem p = drawProblem(c.type, random);
        EXPECT_EQ(p.number, c.number);
        EXPECT_EQ(p.RoundPlace, c.place);
    }
}

TEST(ProblemGenerator, MixedLevelAsksKindsTwoToFourOnly) {
    std::set<int> seen;
    const float below1 = std::nextafter(1.0f, 0.0f);
    for (float r : {0.0f, 0.2f, 0.3333333f, 0.3333334f, 0.5f, 0.6666666f, 0.6666667f, below1}) {
        FakeRandom random;
        random.push(r);
        const int type = problemTypeForLevel(5, random);
        EXPECT_GE(type, 2) << r;
        EXPECT_LE(type, 4) << r;
        seen.insert(type);
    }
    EXPECT_EQ(seen, (std::set<int>{2, 3, 4}));
    // Levels 1 to 4 ask their own kind without drawing.
    FakeRandom random;
    for (int level = 1; level <= 4; ++level)
        EXPECT_EQ(problemTypeForLevel(level, random), level);
    EXPECT_EQ(random.drawn, 0);
}

TEST(ProblemHint, ExamplesCrossAndCarryAsWorkedByHand) {
    struct Case {
        int type, number, place;
        double answer;
        std::set<int> crossed;
        const char* carryRow;
    } cases[] = {
        {1, 95, 1, 100, {1, 2}, "10 "},        {1, 4, 1, 0, {1}, ""},
        {2, 4350, 2, 4400, {2}, "4  "},        {2, 9999, 3, 10000, {3, 4}, "10   "},
        {3, 1996, 1, 2000, {1, 2, 3}, "200 "},
    };
    for (const auto& c : cases) {
        const Problem p = makeProblem(c.type, c.number, c.place);
        const Working w = workingFor(p.ProblemText, p.RoundPlace);
        std::set<int> crossed;
        for (int j = 1; j <= 7; ++j)
            if (w.crossed[static_cast<size_t>(j)]) crossed.insert(j);
        EXPECT_EQ(p.CorrectAnswer, c.answer) << c.number;
        EXPECT_EQ(crossed, c.crossed) << c.number;
        EXPECT_EQ(w.carryRow, c.carryRow) << c.number;
    }
}

TEST(ProblemHint, TextsWithoutAProblemOrWithLongRunsOfNinesAreSafe) {
    EXPECT_EQ(workingFor("", 0).carryRow, "");
    EXPECT_EQ(workingFor("", 1).carryRow, ""); // nothing to carry from
    // Seven 9s above the rounded digit: the chain stops after six places.
    const Working w = workingFor("  999999995", 1);
    EXPECT_EQ(w.carryRow, "10000000 ");
    for (int j = 1; j <= 7; ++j)
        EXPECT_TRUE(w.crossed[static_cast<size_t>(j)]) << j;
    // A place beyond the crossing strokes is not marked anywhere.
    const Working high = workingFor("  99999999", 3);
    EXPECT_EQ(high.carryRow, "100000   ");
}

TEST(ProblemHint, DelayGrowsWithTheRightAnswersOfTheRun) {
    const int expected[] = {5000, 10000, 20000, 20000, 20000, 30000, 30000, 30000, 30000, 30000};
    for (int c = 0; c < 10; ++c)
        EXPECT_EQ(hintDelayMs(c, 10), expected[c]) << c;
}
