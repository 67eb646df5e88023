// The histograms beside the criteria grid: bins of ten seconds, the caps,
// the scale of the stars and the exact lines, from the whole log, and kept
// between keys as the log changes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"
#include "support/FakeSharedFile.h"
#include "teacher/TimeHistogram.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

TimeHistograms build(LogContext& t, const std::vector<ResultRecord>& records, int level) {
    writeBytes(t.log(), logBytes(records));
    TimeHistograms h;
    EXPECT_TRUE(buildTimeHistograms(resultsLog(t.ctx), level, h).ok());
    return h;
}

} // namespace

TEST(TimeHistogram, ALevelWithoutRecords) {
    LogContext t;
    const TimeHistograms h = build(t, {runRecord(45000, 1, 2, 50)}, 1);
    EXPECT_EQ(h.total, 0);
    for (const auto* lines : {&h.allRuns, &h.bestTimes})
        EXPECT_EQ(histogramScale(*lines), 1);
    const std::vector<std::string> all = allRunsLines(h);
    ASSERT_EQ(all.size(), 102u);
    EXPECT_EQ(all[0], "レベル1 今まで0回  （★=1）");
    EXPECT_EQ(all[1], "   0～");
    EXPECT_EQ(all[2], "  10～");
    EXPECT_EQ(all[101], "1000～");
    const std::vector<std::string> best = bestTimesLines(h);
    ASSERT_EQ(best.size(), 102u);
    EXPECT_EQ(best[0], "レベル1 （★=1）");
    for (size_t i = 1; i < 102; ++i)
        EXPECT_EQ(all[i].find("★"), std::string::npos) << i;
}

TEST(TimeHistogram, BinsCapsAndBestTimesPerStudent) {
    LogContext t;
    std::vector<ResultRecord> records;
    for (int i = 0; i < 25; ++i)
        records.push_back(runRecord(45000, 1 + i % 3, 2, 45)); // three students, bin 4
    records.push_back(runRecord(45000, 4, 2, 400));   // best 400 s: bin 30 of the best times
    records.push_back(runRecord(45000, 5, 2, 99999)); // a time-out: bin 100
    records.push_back(runRecord(45000, 5, 2, 99999));
    records.push_back(runRecord(45000, 6, 2, -5)); // damaged: bin 0
    records.push_back(runRecord(45000, 1, 3, 45)); // other levels are passed over
    records.push_back(runRecord(45000, 1, 0, 45));
    records.push_back(runRecord(45000, 1, 36, 45));
    const TimeHistograms h = build(t, records, 2);
    EXPECT_EQ(h.total, 29);
    EXPECT_EQ(h.allRuns[4], 25);
    EXPECT_EQ(h.allRuns[40], 1);
    EXPECT_EQ(h.allRuns[100], 2);
    EXPECT_EQ(h.allRuns[0], 1);
    EXPECT_EQ(h.bestTimes[4], 3);
    EXPECT_EQ(h.bestTimes[30], 2) << "400 s and a time-out";
    EXPECT_EQ(h.bestTimes[0], 1);

    const std::vector<std::string> all = allRunsLines(h);
    EXPECT_EQ(all[0], "レベル2 今まで29回  （★=2）");
    EXPECT_EQ(all[5], "  40～★★★★★★★★★★★★★"); // 25 / 2 + 0.5 = 13
    EXPECT_EQ(all[101], "1000～★");           // 2 / 2 + 0.5 = 1
    EXPECT_EQ(all[1], "   0～★");             // 1 / 2 + 0.5 = 1
    const std::vector<std::string> best = bestTimesLines(h);
    EXPECT_EQ(best[0], "レベル2 （★=1）");
    EXPECT_EQ(best[5], "  40～★★★");
    EXPECT_EQ(best[31], " 300～★★");
    EXPECT_EQ(best[32], " 310～");
}

TEST(TimeHistogram, TheWholeLogCounts) {
    // More records than a summary loads: every one is counted.
    LogContext t;
    std::vector<ResultRecord> records(25000, runRecord(45000, 7, 1, 35));
    records[0].seconds = 2; // the oldest record, far beyond the summary's reach
    const TimeHistograms h = build(t, records, 1);
    EXPECT_EQ(h.total, 25000);
    EXPECT_EQ(h.bestTimes[0], 1);
    EXPECT_EQ(h.allRuns[3], 24999);
    EXPECT_EQ(histogramScale(h.allRuns), 2499);
}

TEST(TimeHistogram, BinOfATime) {
    const struct {
        int64_t seconds;
        int last, bin;
    } cases[] = {{0, 100, 0},       {9, 100, 0},   {10, 100, 1},  {999, 100, 99}, {1000, 100, 100},
                 {99999, 100, 100}, {299, 30, 29}, {300, 30, 30}, {400, 30, 30},  {-1, 100, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(histogramBin(c.seconds, c.last), c.bin) << c.seconds;
}

TEST(TimeHistogramCache, FollowsTheLogAndReadsNothingNewForAKeyOnAnUnchangedLog) {
    // A log beyond the summary's window and one within it; between keys the
    // students append, the teacher corrects and deletes, the menu loads.
    for (const int size : {25000, 300}) {
        LogContext t;
        auto fake = std::make_unique<FakeSharedFileSystem>();
        FakeSharedFileSystem& files = *fake;
        t.ctx.sharedFiles = std::move(fake);
        std::vector<ResultRecord> records;
        for (int i = 0; i < size; ++i)
            records.push_back(runRecord(45000, 1 + i % 50, 1 + i % 5, 15 + i % 700));
        files.files[t.log()] = logBytes(records);
        const LogAccess log = resultsLog(t.ctx);
        const auto chosen = [&](uint64_t number) {
            ResultBytes b{};
            bool exists = false;
            EXPECT_TRUE(readResultRecord(log, number, b, exists).ok() && exists);
            return b;
        };
        const struct Step {
            const char* what;
            std::function<void()> change;
            uint64_t bound; // bytes a key may read, or 0 for no bound
        } steps[] = {
            {"the menu loaded, the editor opens", [&] { ASSERT_TRUE(BuildSummary(t.ctx)); },
             size > kMaxLoadedRecords ? 0u : 4096u},
            {"a key on an unchanged log", [] {}, 4096},
            {"five runs appended",
             [&] {
                 t.signIn(9, 3);
                 for (int i = 0; i < 5; ++i) {
                     t.ctx.state.RunTime = 1 + i * 300;
                     ASSERT_TRUE(t.append().ok());
                 }
             },
             5 * kResultRecordSize + 4096},
            {"the first record corrected",
             [&] {
                 ResultRecord r = decodeResultRecord(chosen(1).data());
                 r.seconds = 3;
                 ASSERT_TRUE(correctResultRecord(log, 1, chosen(1), encodeResultRecord(r)).ok());
             },
             0},
            {"the first record corrected again, then the menu loaded",
             [&] {
                 ResultRecord r = decodeResultRecord(chosen(1).data());
                 r.seconds = 900;
                 ASSERT_TRUE(correctResultRecord(log, 1, chosen(1), encodeResultRecord(r)).ok());
                 ASSERT_TRUE(BuildSummary(t.ctx));
             },
             0},
            {"a record deleted", [&] { ASSERT_TRUE(deleteResultRecord(log, 2, chosen(2)).ok()); },
             0},
            {"a run appended", [&] { ASSERT_TRUE(t.append().ok()); }, kResultRecordSize + 4096},
        };
        HistogramCache cache;
        for (const Step& step : steps) {
            step.change();
            for (int level = 0; level <= 6; ++level) {
                const uint64_t before = files.bytesRead;
                TimeHistograms cached;
                ASSERT_TRUE(
                    cachedTimeHistograms(log, t.ctx.resultsWindow, cache, level, cached).ok());
                const uint64_t read = files.bytesRead - before;
                if (level == 0 && step.bound) {
                    EXPECT_LE(read, step.bound) << step.what;
                } else if (level > 0) {
                    EXPECT_LE(read, 4096u) << step.what << ": a second key";
                }
                TimeHistograms whole;
                ASSERT_TRUE(buildTimeHistograms(log, level, whole).ok());
                const std::string what = std::string(step.what) + ", " + std::to_string(size) +
                                         " records, level " + std::to_string(level);
                EXPECT_EQ(cached.total, whole.total) << what;
                EXPECT_EQ(cached.allRuns, whole.allRuns) << what;
                EXPECT_EQ(cached.bestTimes, whole.bestTimes) << what;
            }
        }
    }
}
