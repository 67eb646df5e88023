// The name list's cost: reading a roster of 5000 students and building its
// lines over a results log of 20000 runs, and the part the log's summary
// takes of it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "BenchContext.h"
#include "context/Procedures.h"
#include "roster/RosterDisplay.h"
#include "startup/Calendar.h"
#include "text/Cp932.h"

using namespace kestrel;

namespace {

struct BenchSchool {
    bench::QuietServices quiet;
    Context ctx{quiet.services(), bench::localFiles(), bench::localMounts()};
    test::TempDir dir;

    BenchSchool(int students, int records) {
        ctx.folders.SharedFolder = dir.path().string() + "/";
        ctx.folders.DataFolder = dir.path().string() + "/";
        ctx.config.SchoolYearStartMonth = "4";
        ctx.config.ListStatus2Entries = "0";
        for (int level = 1; level <= 5; ++level) {
            LevelCriteria& c = ctx.criteria[level];
            c.targetTime = 40 + 10 * level;
            c.minimumTime = 2 * c.targetTime;
            c.pointMultiplier = 1.0f;
            c.passPeriodDays = "14";
            c.overPracticePeriodDays = "3";
        }
        std::mt19937 rng(7);
        static const char* const kFamily[] = {"山田", "佐藤", "鈴木", "高橋", "田中", "伊藤"};
        static const char* const kGiven[] = {"花子", "一郎", "ゆう", "さくら", "大輔", "みく"};
        std::string roster;
        for (int n = 1; n <= students; ++n) {
            roster += std::to_string(n) + "," + std::to_string(2008 + rng() % 14) + ",0,0," +
                      kFamily[rng() % 6] + "　" + kGiven[rng() % 6] + "," +
                      (rng() % 20 == 0 ? "1" : "0") + ",,\r\n";
        }
        writeCp932File(dir / kRosterFile, roster);

        const double today = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));
        std::string bytes;
        for (int i = 0; i < records; ++i) {
            ResultRecord r;
            r.date = today - static_cast<double>(rng() % 30);
            r.timeOfDay = 0.5;
            r.studentNumber = static_cast<int16_t>(1 + rng() % students);
            r.level = static_cast<int16_t>(1 + rng() % 5);
            r.seconds = static_cast<int32_t>(20 + rng() % 300);
            const ResultBytes b = encodeResultRecord(r);
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        std::ofstream(resultsLogPath(ctx.folders), std::ios::binary) << bytes;
    }
};

void BM_RosterDisplay5000(benchmark::State& state) {
    BenchSchool school(5000, 20000);
    NameListState lists;
    lists.NameListMode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        名簿表示(school.ctx, lists);
        benchmark::DoNotOptimize(lists.List1.data());
    }
    state.counters["lines"] = static_cast<double>(lists.List1.size());
}
BENCHMARK(BM_RosterDisplay5000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The summary rebuild alone, which every roster read starts with.
void BM_RosterDisplaySummaryPart(benchmark::State& state) {
    BenchSchool school(5000, 20000);
    for (auto _ : state) {
        BuildSummary(school.ctx);
        benchmark::DoNotOptimize(school.ctx.summary->pointsAll[1][1]);
    }
}
BENCHMARK(BM_RosterDisplaySummaryPart)->Unit(benchmark::kMillisecond);

} // namespace
