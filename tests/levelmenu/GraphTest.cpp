// The graph panel's charts: the time scale, the plotted runs and record
// runs, their labels, the statistics box and the pages.
#include <gtest/gtest.h>

#include <algorithm>

#include "levelmenu/Graph.h"
#include "levelmenu/MenuFixture.h"
#include "platform/Utf8Path.h"
#include "results/ResultsRules.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const double kToday = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));

RunEntry entry(int student, int level, int32_t seconds, double date = kToday) {
    return {date, 0.5, static_cast<int16_t>(student), static_cast<int16_t>(level), seconds};
}

std::vector<int32_t> recordSeconds(const ChartData& d) {
    std::vector<int32_t> out;
    for (size_t i : d.records)
        out.push_back(d.points[i].seconds);
    return out;
}

// Texts of a page that stand at about the height `y` (a fraction of the page).
std::vector<std::string> textsNear(const Drawing& page, double y) {
    std::vector<std::string> out;
    for (const DrawStep& s : page.steps)
        if (s.kind == DrawStep::Kind::Text && std::abs(s.y - y) < 1e-9) out.push_back(s.text);
    return out;
}

} // namespace

TEST(GraphChart, TimeScaleIsTheLargestRunRoundedUpToTensAtMost1000) {
    const struct Case {
        int runs;
        int32_t largest;
        int32_t scale;
    } cases[] = {{0, 0, 10}, {1, 0, 10}, {1, 9, 10}, {2, 10, 20}, {3, 995, 1000}, {4, 1799, 1000}};
    for (const Case& c : cases)
        EXPECT_EQ(timeScale(c.runs, c.largest), c.scale) << c.largest;
}

TEST(GraphChart, RecordRunsAreTheStrictlyFasterRunsAndSlowRunsKeepTheirPlace) {
    // The subject (5) at level 2, with runs of others, of other levels and
    // of more than ten years ago in between.
    const std::vector<RunEntry> log = {
        entry(5, 2, 50),
        entry(9, 2, 15),
        entry(5, 2, 40),
        entry(5, 1, 10),
        entry(5, 2, 45),
        entry(5, 2, 2000),
        entry(9, 2, 1900),
        entry(5, 2, 30),
        entry(5, 2, 30),
        entry(5, 2, 35),
        entry(5, 2, 20),
        entry(5, 2, 5, kToday - 3650),
        entry(9, 3, 1, kToday - 1),
    };
    const ChartData d = chartData(log, 2, 5, true, kToday);
    EXPECT_EQ(d.n, 7);
    EXPECT_EQ(d.sum, 250);
    EXPECT_EQ(d.largest, 50);
    EXPECT_EQ(d.timeScale, 60);
    EXPECT_EQ(d.allCount, 8);
    EXPECT_EQ(d.allSum, 265);
    EXPECT_EQ(d.allBest, 15);
    ASSERT_EQ(d.points.size(), 8u);
    EXPECT_EQ(recordSeconds(d), (std::vector<int32_t>{50, 40, 30, 20}));

    // Run k of n lies at 0.2 + 0.7 k / n; the 2000-second run keeps k = 3.
    const int ks[] = {1, 2, 3, 3, 4, 5, 6, 7};
    for (size_t i = 0; i < d.points.size(); ++i) {
        EXPECT_NEAR(d.points[i].x, 0.2 + 0.7 * ks[i] / 7, 1e-12) << i;
        if (!d.points[i].offScale) {
            EXPECT_NEAR(d.points[i].a, 0.8 - 0.7 * d.points[i].seconds / 60.0, 1e-12) << i;
        }
    }
    EXPECT_TRUE(d.points[3].offScale);
    EXPECT_FALSE(d.points[3].record);
    EXPECT_GT(d.points[3].a, 0.09) << "inside its own chart, below the heading";
    EXPECT_LT(d.points[3].a, 0.1) << "above the time axis";
    EXPECT_TRUE(d.hasLastDate);
    EXPECT_EQ(d.lastDate, kToday - 1);

    // Outside the lists' grade group nothing is plotted; the figures stay.
    const ChartData hidden = chartData(log, 2, 5, false, kToday);
    EXPECT_EQ(hidden.n, 7);
    EXPECT_TRUE(hidden.points.empty());
    EXPECT_TRUE(hidden.records.empty());
}

TEST(GraphChart, OnlySlowRunsGiveNoRecordAndNoDivisionByZero) {
    const ChartData d = chartData({entry(5, 1, 99999), entry(5, 1, 1800)}, 1, 5, true, kToday);
    EXPECT_EQ(d.n, 0);
    EXPECT_EQ(d.timeScale, 10);
    ASSERT_EQ(d.points.size(), 2u);
    for (const ChartPoint& p : d.points) {
        EXPECT_DOUBLE_EQ(p.x, 0.2);
        EXPECT_TRUE(p.offScale);
    }
    EXPECT_TRUE(d.records.empty());
    EXPECT_EQ(d.allBest, 1800);
}

TEST(GraphChart, LabelsOfTheFirstEveryThirdAndLastRecordRunWithShortDates) {
    // Record runs on dates across a new year: a label's date is cut to
    // month/day when the record run before it was in the same year.
    const double newYear = static_cast<double>(dayNumber(CivilDate{2025, 1, 1}));
    auto recordsOn = [&](int count) {
        std::vector<RunEntry> log;
        for (int i = 0; i < count; ++i)
            log.push_back(entry(5, 1, 100 - i, newYear - 4 + i));
        return chartData(log, 1, 5, true, kToday);
    };
    using P = RecordLabel::Place;
    const std::vector<RecordLabel> eight = recordLabels(recordsOn(8));
    ASSERT_EQ(eight.size(), 4u);
    const struct Want {
        P place;
        size_t record;
        const char* seconds;
        const char* date;
    } want[] = {{P::First, 0, "100秒", "2024/12/28"},
                {P::Every3rd, 2, "98秒", "12/30"},
                {P::Every3rd, 5, "95秒", "01/02"},
                {P::Last, 7, "93秒", "01/04"}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(eight[i].place, want[i].place) << i;
        EXPECT_EQ(eight[i].record, want[i].record) << i;
        EXPECT_EQ(eight[i].seconds, want[i].seconds) << i;
        EXPECT_EQ(eight[i].date, want[i].date) << i;
    }
    // The third before the last but one only: with seven, the sixth is left out.
    const std::vector<RecordLabel> seven = recordLabels(recordsOn(7));
    ASSERT_EQ(seven.size(), 3u);
    EXPECT_EQ(seven[1].record, 2u);
    // Five or fewer: the first and the last.
    const std::vector<RecordLabel> five = recordLabels(recordsOn(5));
    ASSERT_EQ(five.size(), 2u);
    EXPECT_EQ(five[0].place, P::First);
    EXPECT_EQ(five[1].place, P::Last);
    EXPECT_EQ(five[1].date, "2025/01/01"); // the run before was in 2024
    EXPECT_TRUE(recordLabels(recordsOn(0)).empty());
}

TEST(GraphChart, HashPatternRoundsNumbersAndKeepsOtherTexts) {
    const struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"3", "3"},   {" 3●", " 3●"}, {"--③", "--③"}, {"100", "100"}, {" 12", "12"},
                 {"2.5", "3"}, {"-2.5", "-3"}, {"", ""},       {"0012", "12"}, {"1.2.3", "1.2.3"}};
    for (const Case& c : cases)
        EXPECT_EQ(hashPattern(c.in), c.out) << c.in;
    EXPECT_EQ(hashPattern(99999.0), "99999");
    EXPECT_EQ(hashPattern(0.0), "0");
}

TEST(GraphStatistics, BoxWithoutRunsAndWithPointsAverages) {
    const ChartData none = chartData({entry(9, 1, 40)}, 1, 5, true, kToday);
    EXPECT_EQ(none.n, 0);
    std::vector<std::string> texts;
    for (const StatisticsLine& l : statisticsLines(none, "--③あおき", "", {" 1①いとう  0/    0"}))
        texts.push_back(l.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "回数　　　　　　　  0回",
                         "タイム  　　 　    本人 / 塾全体",
                         "　　順位　　　　  --③位",
                         "　　最高　　　　       /   40秒",
                         "ポイント  　　　",
                         "　　順位　　　　     位",
                         "　　獲得ポイント    0点",
                         "　　　　　　　　　　　　 (塾平均)",
                     }));

    const std::vector<RunEntry> log = {entry(5, 1, 61), entry(9, 1, 40), entry(5, 1, 50),
                                       entry(9, 1, 44), entry(5, 1, 99999)};
    const ChartData d = chartData(log, 1, 5, true, kToday);
    const std::vector<std::string> points = {" 1●あおき 10/  123", " 2②いとう  0/   20",
                                             " 3③うえだ  0/    0", " 3③えもと  0/    2"};
    const std::vector<StatisticsLine> lines =
        statisticsLines(d, " 2●あおき    50 ●", points[0], points);
    texts.clear();
    for (const StatisticsLine& l : lines)
        texts.push_back(l.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "回数　　　　　　　  2回",
                         "タイム  　　 　    本人 / 塾全体",
                         "　　順位　　　　   2●位",
                         "　　最高　　　　   50秒 /   40秒",
                         "　　平均　　　　   55秒 /   49秒", // 111 / 2 whole; 195 / 4 rounded
                         "ポイント  　　　",
                         "　　順位　　　　   1●位",
                         "　　獲得ポイント  123点",
                         "　　　　　　　　　　　　/   48点", // (123 + 20 + 2) / 3 rounded
                         "　　　　　　　　　　　　 (塾平均)",
                     }));
    EXPECT_EQ(lines.back().advance, 0.5);
    EXPECT_EQ(lines.front().advance, 1.0);
}

TEST(GraphPages, ThreeChartsAPageAndTheOutputsOwnSizes) {
    MenuFixture f;
    f.addStudent(5, "あおき　ゆい", 3);
    f.addStudent(9, "いとう", 3);
    f.signIn(9);
    f.best(1, 5, 40);
    f.points(1, 5, 3, 30);
    std::vector<RunEntry> log;
    for (int level = 1; level <= 5; ++level)
        for (int i = 0; i < 4; ++i)
            log.push_back(entry(5, level, 60 - 5 * i + level));
    const GraphSources sources{f.ctx.program, f.ctx.roster, *f.ctx.summary, "全学年", 9, 1, kToday};

    const std::vector<Drawing> screen =
        graphPages(sources, GraphOutput::Screen, "ＭＳ ゴシック", 5, {1, 2, 3, 4, 5}, log);
    ASSERT_EQ(screen.size(), 2u);
    EXPECT_EQ(screen[0].fontFamily, "ＭＳ ゴシック");
    // The student's name heads each page; the charts stand at 0.05, 0.35, 0.65.
    const std::string title = f.ctx.program.ProgramTitle + " ";
    EXPECT_EQ(textsNear(screen[0], 0.02 / 3), std::vector<std::string>{"あおき　ゆい"});
    EXPECT_EQ(textsNear(screen[0], 0.05 + 0.01 / 3),
              std::vector<std::string>{title + f.ctx.program.LevelNames[1]});
    EXPECT_EQ(textsNear(screen[0], 0.35 + 0.01 / 3),
              std::vector<std::string>{title + f.ctx.program.LevelNames[2]});
    EXPECT_EQ(textsNear(screen[0], 0.65 + 0.01 / 3),
              std::vector<std::string>{title + f.ctx.program.LevelNames[3]});
    EXPECT_EQ(textsNear(screen[1], 0.02 / 3), std::vector<std::string>{"あおき　ゆい"});
    EXPECT_EQ(textsNear(screen[1], 0.35 + 0.01 / 3),
              std::vector<std::string>{title + f.ctx.program.LevelNames[5]});
    // First by time and by points at level 1; first by points at levels 2
    // and 3 too, where nobody has points, and without a time there.
    const std::vector<std::string> texts = screen[0].texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "　　順位　　　　   1③位"), 4);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "　　順位　　　　  --③位"), 2);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "　　獲得ポイント   30点"), texts.end());

    auto dotsOf = [](const Drawing& page, uint32_t colour) {
        int n = 0;
        double pen = 0;
        for (const DrawStep& s : page.steps)
            if (s.kind == DrawStep::Kind::Dot && s.colour == colour) {
                ++n;
                pen = s.pen;
            }
        return std::pair{n, pen};
    };
    // Every run a record (each faster than the one before): four red dots a chart.
    EXPECT_EQ(dotsOf(screen[0], kRecordColour), (std::pair{12, 5.0}));
    EXPECT_EQ(dotsOf(screen[0], kRunColour).first, 0);

    const std::vector<Drawing> paper =
        graphPages(sources, GraphOutput::Printer, "ＭＳ ゴシック", 5, {1, 2, 3, 4, 5}, log);
    ASSERT_EQ(paper.size(), 2u);
    EXPECT_EQ(dotsOf(paper[0], kRecordColour), (std::pair{12, 30.0}));
    double screenTitle = 0, paperTitle = 0;
    for (const DrawStep& s : screen[0].steps)
        if (s.text == title + f.ctx.program.LevelNames[1]) screenTitle = s.points;
    for (const DrawStep& s : paper[0].steps)
        if (s.text == title + f.ctx.program.LevelNames[1]) paperTitle = s.points;
    EXPECT_EQ(screenTitle, 12);
    EXPECT_EQ(paperTitle, 18);

    // A level past the menu's last ends the charts; no level, no page.
    EXPECT_EQ(graphPages(sources, GraphOutput::Screen, "", 5, {2, 6, 1}, log).size(), 1u);
    EXPECT_TRUE(graphPages(sources, GraphOutput::Printer, "", 5, {}, log).empty());
}

TEST(GraphPrinting, JobNameFileNameAndWhatTheTeacherIsTold) {
    ProgramDefinition program;
    DefineProgram(program);
    const PrintRequest r = graphPrintRequest(program, {{2025, 6, 9}, 8 * 3600 + 5 * 60 + 7.6});
    EXPECT_EQ(r.documentName, program.ProgramTitle + " グラフ");
    EXPECT_EQ(r.fileBaseName, "成績グラフ_20250609_080507");

    EXPECT_FALSE(printOutcomeMessage({}));
    PrintResult saved;
    saved.outcome = PrintResult::Outcome::SavedAsPdf;
    saved.file = pathFromUtf8("/home/sensei/ドキュメント/成績グラフ_20250609_080507.pdf");
    EXPECT_EQ(printOutcomeMessage(saved),
              "プリンターが見つからないので、グラフをPDFファイルに保存しました。\r\n"
              "保存した場所： /home/sensei/ドキュメント/成績グラフ_20250609_080507.pdf");
    PrintResult failed;
    failed.outcome = PrintResult::Outcome::Failed;
    failed.error = "印刷を始められません。";
    EXPECT_EQ(printOutcomeMessage(failed),
              "グラフを印刷できませんでした。\r\n印刷を始められません。");
}
