// The graph panel's figures against the results summary, for random classes
// after random choices of display mode, list kind and grade group: whatever
// was chosen before, the statistics box shows the student's own ranks,
// points, count and best time.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QRadioButton>
#include <random>

#include "levelmenu/Graph.h"
#include "levelmenu/ui/MenuScreen.h"
#include "platform/ui/DrawingArea.h"
#include "roster/Grades.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const char* const kGroups[] = {"全学年", "中学生全体", "小学生全体", "中３", "中２", "中１",
                               "小６",   "小５",       "小４",       "小３", "小２", "小１"};
constexpr int kStudents = 14;

// A class of random grades with random runs over three weeks, a few of
// them time-outs; the signed-in student is one of them.
struct RandomClass : Menu {
    explicit RandomClass(std::mt19937& rng) {
        for (int s = 1; s <= kStudents; ++s)
            addStudent(s, "せいと" + std::to_string(s), 1 + static_cast<int>(rng() % 9));
        signIn(1 + static_cast<int>(rng() % kStudents));
        for (int s = 1; s <= kStudents; ++s)
            for (int level = 1; level <= 5; ++level)
                for (int k = static_cast<int>(rng() % 5); k > 0; --k)
                    run(s, level, rng() % 20 == 0 ? 99999 : 20 + static_cast<int32_t>(rng() % 200),
                        static_cast<int>(rng() % 21));
        open();
    }
    void choose(const char* group, int index) {
        element<QRadioButton>(group, index)->setChecked(true);
        if (group[6] == '2')
            form->Option2_Click(index);
        else
            form->Option1_Click(index);
    }
    QStringList statistics(const QString& start) {
        QStringList out;
        for (const std::string& t : element<DrawingArea>("Picture12")->drawing().texts())
            if (QString::fromStdString(t).startsWith(start))
                out.push_back(QString::fromStdString(t));
        return out;
    }
    int grade(int s) const {
        return GradeNumber(ctx.roster.SchoolYear, ctx.roster.BirthYears[static_cast<size_t>(s)]);
    }
    // Competition rank of student s by `value`, larger first (or smaller first).
    template <class T> int rank(int s, const T& table, bool smallerFirst) const {
        int r = 1;
        for (int t = 1; t <= kStudents; ++t) {
            const auto a = table[static_cast<size_t>(t)], b = table[static_cast<size_t>(s)];
            r += smallerFirst ? a < b : a > b;
        }
        return r;
    }
};

// The number in a statistics line, or -1 without one ("--" for no run gives -2).
int numberIn(const QString& line) {
    if (line.contains(QStringLiteral("--"))) return -2;
    QString digits;
    for (QChar c : line)
        if (c.isDigit() && c.unicode() < 128) digits += c;
    return digits.isEmpty() ? -1 : digits.toInt();
}

} // namespace

TEST(GraphPanelFigures, MatchTheSummaryUnderEveryGroupAndListKind) {
    std::mt19937 rng(2025);
    for (int round = 0; round < 8; ++round) {
        RandomClass m(rng);
        const ResultsSummary& sum = *m.ctx.summary;
        const int s = m.ctx.state.CurrentStudentNumber;
        // The activation shows the points so far.
        bool todaysPoints = false;
        for (int step = 0; step < 5; ++step) {
            const int mode = static_cast<int>(rng() % 2);
            const int kind = 1 + static_cast<int>(rng() % 3);
            m.choose("Option2", mode);
            m.choose("Option1", kind);
            if (mode == 1 && kind != 3) todaysPoints = kind == 2;
            // Half of the time a group that holds the student.
            const std::string group = rng() % 2 ? GradeLabel(m.grade(s)) : kGroups[rng() % 12];
            auto* box = m.element<QComboBox>("Combo1");
            box->setCurrentIndex(box->findText(QString::fromStdString(group)));
            box->setEditText(QString::fromStdString(group));
            m.form->Combo1_Click();
            if (!m.element<QRadioButton>("Option2", 0)->isChecked() && kind != 3)
                todaysPoints = kind == 2;
            m.choose("Option2", 2);
            m.form->Command17_Click();

            const std::string what = "round " + std::to_string(round) + " step " +
                                     std::to_string(step) + " mode " + std::to_string(mode) +
                                     " kind " + std::to_string(kind) + " group " + group;
            const bool shown = InGradeGroup(m.grade(s), group);
            const bool today = todaysPoints && m.element<QRadioButton>("Option1", 2)->isChecked();
            const QStringList ranks = m.statistics(QStringLiteral("　　順位"));
            const QStringList points = m.statistics(QStringLiteral("　　獲得ポイント"));
            const QStringList counts = m.statistics(QStringLiteral("回数"));
            const QStringList bests = m.statistics(QStringLiteral("　　最高"));
            ASSERT_EQ(ranks.size(), 6) << what;
            ASSERT_EQ(points.size(), 3) << what;
            for (int level = 1; level <= 3; ++level) {
                const auto L = static_cast<size_t>(level), i = L - 1;
                const std::string at = what + " level " + std::to_string(level);
                const int32_t best = sum.bestTime[L][static_cast<size_t>(s)];
                EXPECT_EQ(numberIn(counts[static_cast<int>(i)]),
                          sum.countAll[L][static_cast<size_t>(s)])
                    << at;
                if (!shown) {
                    EXPECT_EQ(numberIn(ranks[static_cast<int>(2 * i)]), -1) << at;
                    EXPECT_EQ(numberIn(points[static_cast<int>(i)]), 0) << at;
                    continue;
                }
                const int timeRank = best == kNoTime ? -2 : m.rank(s, sum.bestTime[L], true);
                EXPECT_EQ(numberIn(ranks[static_cast<int>(2 * i)]), timeRank) << at;
                if (best < kChartedBelow) {

                    EXPECT_EQ(
                        numberIn(bests[static_cast<int>(i)].section(QStringLiteral(" /"), 0, 0)),
                        best)
                        << at;
                }
                const int pointsRank = !today ? m.rank(s, sum.pointsAll[L], false)
                                       : sum.pointsToday[L][static_cast<size_t>(s)] == 0
                                           ? -1
                                           : m.rank(s, sum.pointsToday[L], false);
                EXPECT_EQ(numberIn(ranks[static_cast<int>(2 * i + 1)]), pointsRank) << at;
                EXPECT_EQ(numberIn(points[static_cast<int>(i)]),
                          sum.pointsAll[L][static_cast<size_t>(s)])
                    << at << " today " << today;
            }
        }
    }
}
