// A program that keeps the records it read and reads only what was appended,
// while other programs append, correct, delete, and die in the middle of a
// record or of a delete: after every load its summary, best times, results
// lists, rankings, charts and histograms must be those of a whole read of
// the same file. The changes come in a random order from a seed
// (KESTREL_DIFFERENTIAL_SEED, KESTREL_DIFFERENTIAL_ROUNDS to explore more).
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>

#include "context/Procedures.h"
#include "levelmenu/Graph.h"
#include "levelmenu/Ranking.h"
#include "levelmenu/ResultsViews.h"
#include "results/ResultsTestSupport.h"
#include "support/HelperProcesses.h"
#include "teacher/TimeHistogram.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

constexpr int kLevels = 5;
constexpr int kStudents = 12;

unsigned envNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text && *text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}

// The program under test: a context on the real folder, dated today (the
// helpers date their records by the system's clock).
struct Classroom : LogContext {
    std::mt19937 rng;
    int grownLoads = 0;        // loads that read only what was appended
    HistogramCache histograms; // the criteria editor's, kept between loads

    explicit Classroom(unsigned seed) : rng(seed) {
        const CivilDate today = SystemClock().today();
        clock.set(today, 12 * 3600.0);
        ctx.state.CurrentStudentNumber = 3;
        RosterTables& r = ctx.roster;
        r.SchoolYear = static_cast<int16_t>(today.year);
        for (int s = 1; s <= kStudents; ++s) {
            r.RosterNumbers[static_cast<size_t>(s)] = static_cast<int16_t>(s);
            r.StudentNames[static_cast<size_t>(s)] = "せいと" + std::to_string(s);
            r.BirthYears[static_cast<size_t>(s)] = static_cast<int16_t>(today.year - 8 - s % 6);
        }
        r.RosterCount = kStudents;
        // Nearly a window's worth of earlier runs, so that appends slide it.
        std::vector<ResultRecord> earlier;
        const double day = this->today();
        for (int i = 0; i < kMaxLoadedRecords - 40; ++i)
            earlier.push_back(runRecord(day - 40 + i / 500, 1 + static_cast<int>(rng() % kStudents),
                                        1 + static_cast<int>(rng() % kLevels),
                                        static_cast<int32_t>(10 + rng() % 400)));
        writeBytes(log(), logBytes(earlier));
    }

    uint64_t records() {
        std::error_code ec;
        return std::filesystem::file_size(log(), ec) / kResultRecordSize;
    }
    uint64_t anyRecord() { return 1 + rng() % std::max<uint64_t>(1, records()); }
    std::string folder() const { return ctx.folders.DataFolder; }

    // One change by another program; what it was, for the messages.
    std::string change() {
        switch (rng() % 7) {
        case 0:
        case 1: {
            const std::string n = std::to_string(1 + rng() % 60);
            EXPECT_EQ(
                waitFor(spawnHelper("ResultsWriter", {folder(), std::to_string(1 + rng() % 8), n})),
                0);
            return n + " appended";
        }
        case 2: {
            const std::string at = std::to_string(anyRecord());
            EXPECT_EQ(waitFor(spawnHelper("ResultsEditor", {folder(), "correct", at,
                                                            std::to_string(1 + rng() % 8)})),
                      0);
            return "record " + at + " corrected";
        }
        case 3: {
            const std::string at = std::to_string(anyRecord());
            EXPECT_EQ(waitFor(spawnHelper("ResultsEditor", {folder(), "delete", at})), 0);
            return "record " + at + " deleted";
        }
        case 4: {
            const std::string at = std::to_string(anyRecord());
            const std::string step = std::to_string(1 + rng() % 3);
            EXPECT_EQ(waitFor(spawnHelper("ResultsEditor", {folder(), "delete", at, step})),
                      128 + SIGKILL);
            return "delete of record " + at + " stopped after step " + step;
        }
        case 5: {
            const auto ready = dir / ("ready-" + std::to_string(rng()));
            const pid_t pid = spawnHelper("ResultsHalfWriter", {folder(), ready.string()});
            EXPECT_TRUE(waitForFile(ready));
            ::kill(pid, SIGKILL);
            EXPECT_EQ(waitFor(pid), 128 + SIGKILL);
            return "a writer died in the middle of a record";
        }
        default: {
            // An earlier version's delete: the log rebuilt through a copy
            // without the record, another file under the log's name.
            std::string bytes = readBytes(log());
            const uint64_t at = anyRecord();
            if (at * kResultRecordSize <= bytes.size())
                bytes.erase((at - 1) * kResultRecordSize, kResultRecordSize);
            writeBytes(dir / "copy.dat", bytes);
            std::filesystem::rename(dir / "copy.dat", log());
            return "record " + std::to_string(at) + " deleted through a copy";
        }
        }
    }
};

void expectSameSummary(const ResultsSummary& a, const RunEntries& ea, const ResultsSummary& b,
                       const RunEntries& eb, const std::string& what) {
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(ResultsSummary)), 0) << what << ": summary";
    ASSERT_EQ(ea.count(), eb.count()) << what;
    for (size_t i = 0; i < ea.entrySlots.size(); ++i) {
        const RunEntry &x = ea.entrySlots[i], &y = eb.entrySlots[i];
        ASSERT_TRUE(x.date == y.date && x.timeOfDay == y.timeOfDay &&
                    x.studentNumber == y.studentNumber && x.level == y.level &&
                    x.seconds == y.seconds)
            << what << ": slot " << i;
    }
}

// Everything the screens show from the log, incrementally and from a whole
// read of the same file.
void compareWithWholeRead(Classroom& t, const std::string& what) {
    Context& ctx = t.ctx;
    const LogAccess log = resultsLog(ctx);
    ASSERT_TRUE(BuildSummary(ctx)) << what;
    if (!ctx.resultsWindow.lastWhole) ++t.grownLoads;
    auto whole = std::make_unique<ResultsSummary>();
    RunEntries wholeEntries;
    ASSERT_TRUE(BuildSummary(*whole, wholeEntries, ctx.criteria, log).ok());
    expectSameSummary(*ctx.summary, ctx.runEntries, *whole, wholeEntries, what);

    for (int level = 1; level <= kLevels; ++level)
        for (const RankingBasis basis :
             {RankingBasis::BestTime, RankingBasis::PointsAll, RankingBasis::PointsToday}) {
            const auto a = buildRanking(ctx.roster, *ctx.summary, level, basis, "全学年", 3);
            const auto b = buildRanking(ctx.roster, *whole, level, basis, "全学年", 3);
            ASSERT_EQ(a.size(), b.size()) << what;
            for (size_t i = 0; i < a.size(); ++i)
                EXPECT_EQ(a[i].text, b[i].text) << what << ": ranking of level " << level;
        }

    // One list view, as the student picks it.
    ViewSetup setup;
    setup.kind = static_cast<ViewKind>(t.rng() % 4);
    setup.levelCount = kLevels;
    setup.today = t.today();
    setup.periodDays = 30;
    setup.signedInStudent = 3;
    const uint64_t records =
        setup.kind == ViewKind::Today ? kTodayViewRecords : kAllRunsViewRecords;
    ViewScan kept(setup, ctx.roster, ctx.criteria), read(setup, ctx.roster, ctx.criteria);
    ASSERT_TRUE(ReadRecentResults(ctx, kept, records));
    LogReadOptions options;
    options.lastRecords = records;
    ASSERT_TRUE(readResultsLog(log, read, options).ok());
    EXPECT_EQ(kept.lines(), read.lines()) << what << ": list view " << int(setup.kind);

    RunCollector keptRuns, readRuns;
    ASSERT_TRUE(ReadRecentResults(ctx, keptRuns, kAllRunsViewRecords));
    ASSERT_TRUE(readResultsLog(log, readRuns).ok());
    const int subject = 1 + static_cast<int>(t.rng() % kStudents);
    for (int level = 1; level <= kLevels; ++level) {
        const ChartData a = chartData(keptRuns.runs, level, subject, true, t.today());
        const ChartData b = chartData(readRuns.runs, level, subject, true, t.today());
        EXPECT_TRUE(a.n == b.n && a.sum == b.sum && a.allSum == b.allSum &&
                    a.allCount == b.allCount && a.allBest == b.allBest &&
                    a.points.size() == b.points.size() && a.records == b.records)
            << what << ": chart of level " << level;
    }

    for (int level = 1; level <= kLevels; ++level) {
        TimeHistograms a, b;
        ASSERT_TRUE(cachedTimeHistograms(log, ctx.resultsWindow, t.histograms, level, a).ok());
        ASSERT_TRUE(buildTimeHistograms(log, level, b).ok());
        EXPECT_TRUE(a.total == b.total && a.allRuns == b.allRuns && a.bestTimes == b.bestTimes)
            << what << ": histograms of level " << level;
    }
}

} // namespace

TEST(WindowDifferential, EveryLoadMatchesAWholeReadWhileOtherProgramsChangeTheLog) {
    const unsigned seed = envNumber("KESTREL_DIFFERENTIAL_SEED", 2025);
    const unsigned rounds = envNumber("KESTREL_DIFFERENTIAL_ROUNDS", 16);
    Classroom t(seed);
    compareWithWholeRead(t, "the first load");
    std::string history;
    for (unsigned round = 1; round <= rounds && !HasFailure(); ++round) {
        // One change or two between loads.
        const int changes = 1 + static_cast<int>(t.rng() % 2);
        for (int i = 0; i < changes; ++i)
            history += " / " + t.change();
        compareWithWholeRead(t, "seed " + std::to_string(seed) + " round " + std::to_string(round) +
                                    ":" + history);
    }
    EXPECT_GT(t.ctx.resultsWindow.first, 0u) << "the window never slid";
    EXPECT_GT(t.grownLoads, 0) << "no load read only what was appended";
}
